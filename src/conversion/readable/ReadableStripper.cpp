#include "ReadableStripper.h"

#include "html/CharacterReferences.h"
#include "html/HtmlElements.h"
#include "TextLayout.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__) && !defined(PLAINTROVE_NO_SSE2)
#define PLAINTROVE_HAVE_SSE2_TEXT 1
#include <emmintrin.h>
#endif

// The tokenizer walks the states of HTML's own tokenizer, as a browser does, but keeps nothing
// of a tag but its name: attributes are read only to find where the tag ends. Of the tree a
// browser builds it keeps just what changes the text: how many template, pre and foreign (svg,
// math) elements are open. Every state can stop at the end of a piece of input and go on with
// the next one; the few bytes a decision may wait for (a tag name, a reference's name, the
// letters after "</" in raw text) are held in small fixed buffers.

namespace plaintrove::conversion {

namespace {

using Byte = unsigned char;

enum class State : std::uint8_t {
    Data,
    Rcdata, // title, textarea: text and references
    Rawtext, // style, xmp, iframe...: text only
    ScriptData,
    Plaintext,
    TagOpen,
    EndTagOpen,
    TagName,
    BeforeAttributeName,
    AttributeName,
    AfterAttributeName,
    BeforeAttributeValue,
    AttributeValueDoubleQuoted,
    AttributeValueSingleQuoted,
    AttributeValueUnquoted,
    AfterAttributeValueQuoted,
    SelfClosingStartTag,
    MarkupDeclarationOpen,
    BogusComment, // also doctypes and processing instructions: up to the next '>'
    CommentStart,
    CommentStartDash,
    Comment,
    CommentEndDash,
    CommentEnd,
    CommentEndBang,
    CdataSection,
    CdataSectionBracket,
    CdataSectionEnd,
    CharacterReference,
    NamedCharacterReference,
    NumericCharacterReference,
    NumericDigitsStart,
    NumericDigits,
    RawLessThanSign, // in the four raw states; m_textState says which
    RawEndTagOpen,
    RawEndTagName,
    ScriptEscapeStart,
    ScriptEscapeStartDash,
    ScriptEscaped,
    ScriptEscapedDash,
    ScriptEscapedDashDash,
    ScriptDoubleEscapeStart,
    ScriptDoubleEscaped,
    ScriptDoubleEscapedDash,
    ScriptDoubleEscapedDashDash,
    ScriptDoubleEscapedLessThanSign,
    ScriptDoubleEscapeEnd,
};

constexpr bool isSpace(Byte c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

constexpr bool isLetter(Byte c)
{
    return static_cast<Byte>((c | 0x20) - 'a') < 26;
}

constexpr bool isDigit(Byte c)
{
    return static_cast<Byte>(c - '0') < 10;
}

constexpr Byte lowered(Byte c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<Byte>(c | 0x20) : c;
}

// The value of a digit in `base` (10 or 16), or -1.
constexpr int digitValue(Byte c, std::uint32_t base)
{
    if (isDigit(c))
        return c - '0';
    if (base == 16 && static_cast<Byte>((c | 0x20) - 'a') < 6)
        return (c | 0x20) - 'a' + 10;
    return -1;
}

// How the text states see a byte: part of a word, white space, or one that ends the run.
enum ByteClass : std::uint8_t { Ordinary, Space, Stop };
using ByteClasses = std::array<ByteClass, 256>;

constexpr ByteClasses byteClasses(std::string_view stops)
{
    ByteClasses classes {};
    for (unsigned c = 0; c < 256; ++c)
        classes[c] = isSpace(static_cast<Byte>(c)) ? Space : Ordinary;
    for (const char c : stops)
        classes[static_cast<Byte>(c)] = Stop;
    return classes;
}

constexpr ByteClasses dataBytes = byteClasses({ "<&\0", 3 }); // also RCDATA
constexpr ByteClasses rawtextBytes = byteClasses({ "<\0", 2 });
constexpr ByteClasses plaintextBytes = byteClasses({ "\0", 1 });

using ByteSet = std::array<bool, 256>;

constexpr ByteSet byteSet(std::string_view bytes)
{
    ByteSet set {};
    for (const char c : bytes)
        set[static_cast<Byte>(c)] = true;
    return set;
}

constexpr ByteSet tagNameEnds = byteSet("\t\n\f\r />");
constexpr ByteSet attributeNameEnds = byteSet("\t\n\f\r />=");
constexpr ByteSet unquotedValueEnds = byteSet("\t\n\f\r >");

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";
// Longer than any named reference, so that holding this many bytes decides the match.
constexpr std::size_t longestReferenceName = 32;

// A short piece of markup kept a byte at a time: a tag name, or what follows "<!" or "</".
template <std::size_t capacity> class ShortText
{
public:
    void clear()
    {
        m_length = 0;
        m_firstBytes = 0;
    }
    // Bytes past the capacity are counted, not kept: the text then matches nothing.
    void add(Byte c)
    {
        if (m_length < 8)
            m_firstBytes |= std::uint64_t { c } << (8 * m_length);
        if (m_length < capacity)
            m_bytes[m_length] = static_cast<char>(c);
        if (m_length <= capacity)
            ++m_length;
    }
    // The tag name at `begin` (up to its end or `end`) as add() takes it; returns where it ends.
    const Byte *assignName(const Byte *begin, const Byte *end)
    {
        std::size_t length = 0;
        std::uint64_t firstBytes = 0;
        for (; begin + length < end && !tagNameEnds[begin[length]]; ++length) {
            const Byte c = begin[length] == 0 ? 0xFF : lowered(begin[length]);
            if (length < 8)
                firstBytes |= std::uint64_t { c } << (8 * length);
            if (length < capacity)
                m_bytes[length] = static_cast<char>(c);
        }
        m_length = std::min(length, capacity + 1);
        m_firstBytes = firstBytes;
        return begin + length;
    }
    std::uint64_t firstBytes() const { return m_firstBytes; }
    std::size_t size() const { return m_length; }
    bool overflowed() const { return m_length > capacity; }
    std::string_view view() const
    {
        return overflowed() ? std::string_view() : std::string_view(m_bytes.data(), m_length);
    }
    bool equalsIgnoringCase(std::string_view lower) const
    {
        if (overflowed() || m_length != lower.size())
            return false;
        for (std::size_t i = 0; i < m_length; ++i) {
            if (lowered(static_cast<Byte>(m_bytes[i])) != static_cast<Byte>(lower[i]))
                return false;
        }
        return true;
    }

private:
    std::array<char, capacity> m_bytes {};
    std::size_t m_length = 0;
    std::uint64_t m_firstBytes = 0; // the first eight bytes as one number, the first lowest
};

const Byte *skipOrdinary(const Byte *p, const Byte *end, const ByteClasses &classes)
{
    while (p < end && classes[*p] == Ordinary)
        ++p;
    return p;
}

// A space between two ordinary bytes stays as it is: copying it with the words around it saves
// a call for each word.
bool singleSpace(const Byte *p, const Byte *end)
{
    return *p == ' ' && p + 1 < end && dataBytes[p[1]] == Ordinary;
}

// Words of Data with single spaces between them, up to a byte that ends the run; sixteen bytes
// at a time where SSE2 is there. A space at `p` itself ends it: no line may start with one.
const Byte *skipWords(const Byte *p, const Byte *end)
{
    const Byte *const begin = p;
#if defined(PLAINTROVE_HAVE_SSE2_TEXT)
    const __m128i aboveNul = _mm_set1_epi8(-1), belowSo = _mm_set1_epi8(14);
    const __m128i space = _mm_set1_epi8(' '), amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // NUL to CR, which holds the white space and a few ordinary control characters.
        const __m128i low = _mm_and_si128(_mm_cmpgt_epi8(v, aboveNul), _mm_cmplt_epi8(v, belowSo));
        const __m128i spaces = _mm_cmpeq_epi8(v, space);
        const __m128i other
            = _mm_or_si128(spaces, _mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, lt)));
        const auto marked = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(low, other)));
        // A space before an unmarked byte, which is ordinary, is a single space between words;
        // the last byte's successor is not in view, and a space at `begin` ends the run.
        const unsigned single = static_cast<unsigned>(_mm_movemask_epi8(spaces)) & ~(marked >> 1)
            & (p == begin ? 0x7FFEU : 0x7FFFU);
        const unsigned stops = marked & ~single;
        if (stops == 0) {
            p += 16;
            continue;
        }
        p += __builtin_ctz(stops);
        if (dataBytes[*p] != Ordinary && (p == begin || !singleSpace(p, end)))
            return p;
        ++p;
    }
#endif
    while (p < end && (dataBytes[*p] == Ordinary || (p != begin && singleSpace(p, end))))
        ++p;
    return p;
}

// Preformatted text up to a line break or a byte that `classes` stops at; sixteen bytes at a
// time for the classes of Data where SSE2 is there (code in `pre` runs long between tags).
const Byte *skipPreformatted(const Byte *p, const Byte *end, const ByteClasses &classes)
{
#if defined(PLAINTROVE_HAVE_SSE2_TEXT)
    if (&classes == &dataBytes) {
        const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&'), nul = _mm_setzero_si128();
        const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
        for (; end - p >= 16; p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i stops
                = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp)),
                    _mm_or_si128(_mm_cmpeq_epi8(v, nul),
                        _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
            if (const auto marked = static_cast<unsigned>(_mm_movemask_epi8(stops)))
                return p + __builtin_ctz(marked);
        }
    }
#endif
    while (p < end && classes[*p] != Stop && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

// The first `c` in [p, end), or null: memchr, but inline, as most quoted values are short.
const Byte *findByte(const Byte *p, const Byte *end, Byte c)
{
#if defined(PLAINTROVE_HAVE_SSE2_TEXT)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(c));
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, wanted))))
            return p + __builtin_ctz(hits);
    }
#endif
    for (; p < end; ++p) {
        if (*p == c)
            return p;
    }
    return nullptr;
}

std::string_view bytesBetween(const Byte *begin, const Byte *end)
{
    return { reinterpret_cast<const char *>(begin), static_cast<std::size_t>(end - begin) };
}

} // namespace

class ReadableStripper::Tokenizer
{
public:
    Tokenizer(TextSink &sink, LineEnd lineEnd)
        : m_out(sink, lineEnd)
    { }

    bool feed(std::string_view bytes)
    {
        const auto *p = reinterpret_cast<const Byte *>(bytes.data());
        const Byte *const end = p + bytes.size();
        while (p < end && !m_out.failed())
            p = step(p, end);
        return !m_out.failed();
    }

    StripOutcome finish()
    {
        bool unclosed = false;
        switch (m_state) {
        case State::TagOpen:
            show("<");
            break;
        case State::EndTagOpen:
            show("</");
            break;
        case State::CharacterReference:
            show("&");
            break;
        case State::NamedCharacterReference:
            resolveNamedReference();
            break;
        case State::NumericCharacterReference:
        case State::NumericDigitsStart:
            showUnmatchedNumericReference();
            break;
        case State::NumericDigits:
            showNumericReference();
            break;
        case State::RawLessThanSign:
            showRaw("<");
            break;
        case State::RawEndTagOpen:
        case State::RawEndTagName:
            showRawEndTagCandidate();
            break;
        case State::TagName:
        case State::BeforeAttributeName:
        case State::AttributeName:
        case State::AfterAttributeName:
        case State::BeforeAttributeValue:
        case State::AttributeValueDoubleQuoted:
        case State::AttributeValueSingleQuoted:
        case State::AttributeValueUnquoted:
        case State::AfterAttributeValueQuoted:
        case State::SelfClosingStartTag:
        case State::MarkupDeclarationOpen:
        case State::BogusComment:
        case State::CommentStart:
        case State::CommentStartDash:
        case State::Comment:
        case State::CommentEndDash:
        case State::CommentEnd:
        case State::CommentEndBang:
        case State::CdataSection:
        case State::CdataSectionBracket:
        case State::CdataSectionEnd:
            unclosed = true;
            break;
        default:
            break;
        }
        m_state = State::Data;
        if (!m_out.finish())
            return StripOutcome::SinkFailed;
        return unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    }

private:
    // Reads at least one byte in the current state; returns where it stopped.
    const Byte *step(const Byte *p, const Byte *end)
    {
        switch (m_state) {
        case State::Data:
            return data(p, end);
        case State::Rcdata:
            p = readText(p, end, dataBytes, m_rawShown);
            if (p < end)
                dataStop(*p++, State::Rcdata);
            return p;
        case State::Rawtext:
            p = readText(p, end, rawtextBytes, m_rawShown);
            if (p < end)
                dataStop(*p++, State::Rawtext);
            return p;
        case State::Plaintext:
            p = readText(p, end, plaintextBytes, true);
            if (p < end)
                dataStop(*p++, State::Plaintext);
            return p;
        case State::ScriptData:
            return scriptData(p, end);
        case State::TagOpen:
            return tagOpen(p);
        case State::EndTagOpen:
            return endTagOpen(p);
        case State::TagName:
            return tagName(p, end);
        case State::BeforeAttributeName:
        case State::AttributeName:
        case State::AfterAttributeName:
        case State::BeforeAttributeValue:
        case State::AttributeValueDoubleQuoted:
        case State::AttributeValueSingleQuoted:
        case State::AttributeValueUnquoted:
        case State::AfterAttributeValueQuoted:
        case State::SelfClosingStartTag:
            return attributes(p, end);
        case State::MarkupDeclarationOpen:
            return markupDeclarationOpen(p);
        case State::BogusComment:
            return skipPast(p, end, '>', State::Data);
        case State::CommentStart:
        case State::CommentStartDash:
        case State::Comment:
        case State::CommentEndDash:
        case State::CommentEnd:
        case State::CommentEndBang:
            return comment(p, end);
        case State::CdataSection:
        case State::CdataSectionBracket:
        case State::CdataSectionEnd:
            return cdataSection(p, end);
        case State::CharacterReference:
        case State::NamedCharacterReference:
        case State::NumericCharacterReference:
        case State::NumericDigitsStart:
        case State::NumericDigits:
            return characterReference(p, end);
        case State::RawLessThanSign:
        case State::RawEndTagOpen:
        case State::RawEndTagName:
            return rawEndTag(p);
        default:
            return scriptEscapes(p, end);
        }
    }

    // --- Text --------------------------------------------------------------------------------

    // Text and the tags between: the bulk of a page, read without leaving this loop for as
    // long as each tag lies whole within the piece.
    const Byte *data(const Byte *p, const Byte *end)
    {
        while (p < end) {
            p = readText(p, end, dataBytes, true);
            if (p == end)
                break;
            if (*p != '<') {
                dataStop(*p++, State::Data);
                return p;
            }
            m_skipLineFeed = false;
            const Byte *const afterTag = readWholeTag(p + 1, end);
            if (afterTag == nullptr) {
                m_textState = State::Data;
                m_state = State::TagOpen;
                return p + 1;
            }
            p = afterTag;
            if (m_state != State::Data)
                break;
        }
        return p;
    }

    // Reads the tag after a '<' at once when it is a start or end tag that ends within the
    // piece, going through the same states as the tag states below. Null when it is not.
    const Byte *readWholeTag(const Byte *p, const Byte *end)
    {
        const bool endTag = p < end && *p == '/';
        p += endTag ? 1 : 0;
        if (p == end || !isLetter(*p))
            return nullptr;
        p = m_name.assignName(p, end); // taken now: the states below start it again if need be
        bool selfClosing = false;
        for (;;) { // before attribute name
            while (p < end && isSpace(*p))
                ++p;
            if (p == end)
                return nullptr;
            if (*p == '>')
                break;
            if (*p == '/') {
                if (++p == end)
                    return nullptr;
                if (*p != '>')
                    continue;
                selfClosing = true;
                break;
            }
            // The attribute's name; its first byte may be '='.
            while (++p < end && !attributeNameEnds[*p]) { }
            while (p < end && isSpace(*p))
                ++p;
            if (p == end)
                return nullptr;
            if (*p != '=')
                continue;
            while (++p < end && isSpace(*p)) { }
            if (p == end)
                return nullptr;
            if (*p == '"' || *p == '\'') {
                const Byte *const quote = findByte(p + 1, end, *p);
                if (quote == nullptr)
                    return nullptr;
                p = quote + 1;
                continue;
            }
            while (p < end && !unquotedValueEnds[*p])
                ++p;
            if (p == end)
                return nullptr;
            if (*p == '>')
                break;
        }
        m_endTag = endTag;
        m_selfClosing = selfClosing;
        emitTag();
        return p + 1;
    }

    bool preformatted() const { return m_preDepth > 0 || m_rawPreformatted; }

    // Reads text up to the next byte that `classes` stops at.
    const Byte *readText(const Byte *p, const Byte *end, const ByteClasses &classes, bool shown)
    {
        if (!shown || !m_visible) {
            while (p < end && classes[*p] != Stop)
                ++p;
            return p;
        }
        if (preformatted())
            return readPreformatted(p, end, classes);
        while (p < end) {
            const Byte *const word = p;
            p = &classes == &dataBytes ? skipWords(p, end) : skipOrdinary(p, end, classes);
            if (p != word)
                m_out.text(bytesBetween(word, p), static_cast<std::size_t>(end - word));
            if (p == end || classes[*p] == Stop)
                return p;
            while (++p < end && classes[*p] == Space) { }
            m_out.space();
        }
        return p;
    }

    // CR LF, CR and LF each break a line; a line break just after the start tag is dropped.
    const Byte *readPreformatted(const Byte *p, const Byte *end, const ByteClasses &classes)
    {
        while (p < end) {
            const Byte c = *p;
            if (classes[c] == Stop) {
                // A line feed written as a reference is dropped after the start tag too.
                m_afterCarriageReturn = false;
                m_skipLineFeed = m_skipLineFeed && c == '&';
                return p;
            }
            const bool lineBreak = c == '\r' || c == '\n';
            const bool pairedLineFeed = c == '\n' && m_afterCarriageReturn;
            m_afterCarriageReturn = c == '\r';
            if (lineBreak) {
                if (!pairedLineFeed && !m_skipLineFeed)
                    m_out.preformattedLineBreak();
                m_skipLineFeed = false; // the LF of a CR LF pairs with the CR all the same
                ++p;
                continue;
            }
            m_skipLineFeed = false;
            const Byte *const run = p;
            p = skipPreformatted(p, end, classes);
            m_out.text(bytesBetween(run, p), static_cast<std::size_t>(end - run));
        }
        return p;
    }

    // The byte a text state stopped at: '<', '&' or NUL.
    void dataStop(Byte c, State textState)
    {
        if (c == '<') {
            m_textState = textState;
            m_state = textState == State::Data ? State::TagOpen : State::RawLessThanSign;
            m_skipLineFeed = false;
        } else if (c == '&') {
            m_textState = textState;
            m_state = State::CharacterReference;
        } else if (textState != State::Data) {
            showRaw(replacementCharacter); // a NUL in the body of a page is dropped
        }
    }

    // Shows bytes without white space, unless they are in a template or the like.
    void show(std::string_view bytes)
    {
        m_skipLineFeed = m_skipLineFeed && bytes.empty();
        if (m_visible && !bytes.empty())
            m_out.text(bytes);
    }

    // Shows bytes of raw text, unless it is that of a script or a style.
    void showRaw(std::string_view bytes)
    {
        if (m_rawShown)
            show(bytes);
    }

    // A decoded reference: white space stays white space.
    void showDecoded(std::string_view text)
    {
        if (std::exchange(m_skipLineFeed, false) && text == "\n")
            return;
        if (!m_visible)
            return;
        if (text.size() != 1 || !isSpace(static_cast<Byte>(text[0])))
            return m_out.text(text);
        if (!preformatted())
            return m_out.space();
        if (text[0] == '\r' || text[0] == '\n')
            return m_out.preformattedLineBreak();
        m_out.text(text);
    }

    // --- Tags --------------------------------------------------------------------------------

    const Byte *tagOpen(const Byte *p)
    {
        const Byte c = *p;
        if (isLetter(c)) {
            beginTag(false);
        } else if (c == '!') {
            m_buffer.clear();
            m_state = State::MarkupDeclarationOpen;
            return p + 1;
        } else if (c == '/') {
            m_state = State::EndTagOpen;
            return p + 1;
        } else if (c == '?') {
            m_state = State::BogusComment;
        } else {
            show("<");
            m_state = State::Data;
        }
        return p;
    }

    const Byte *endTagOpen(const Byte *p)
    {
        const Byte c = *p;
        if (isLetter(c)) {
            beginTag(true);
            return p;
        }
        // "</>" is nothing at all; "</" before anything else starts a comment.
        m_state = c == '>' ? State::Data : State::BogusComment;
        return c == '>' ? p + 1 : p;
    }

    void beginTag(bool endTag)
    {
        m_endTag = endTag;
        m_selfClosing = false;
        m_name.clear();
        m_state = State::TagName;
    }

    const Byte *tagName(const Byte *p, const Byte *end)
    {
        while (p < end) {
            const Byte c = *p++;
            if (!tagNameEnds[c]) {
                // A NUL makes a name that no element has.
                m_name.add(c == 0 ? 0xFF : lowered(c));
                continue;
            }
            if (c == '>')
                emitTag();
            else
                m_state = c == '/' ? State::SelfClosingStartTag : State::BeforeAttributeName;
            break;
        }
        return p;
    }

    // The attributes of a tag, read only as far as they tell where the tag ends.
    const Byte *attributes(const Byte *p, const Byte *end)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::BeforeAttributeName:
            if (isSpace(c))
                return p + 1;
            if (c == '/' || c == '>') {
                m_state = State::AfterAttributeName;
                return p;
            }
            m_state = State::AttributeName;
            return c == '=' ? p + 1 : p; // "=" can start a name here
        case State::AttributeName:
            while (p < end && !attributeNameEnds[*p])
                ++p;
            if (p < end)
                m_state = *p == '=' ? State::BeforeAttributeValue : State::AfterAttributeName;
            return p < end && *p == '=' ? p + 1 : p;
        case State::AfterAttributeName:
            if (isSpace(c))
                return p + 1;
            if (c == '/')
                m_state = State::SelfClosingStartTag;
            else if (c == '=')
                m_state = State::BeforeAttributeValue;
            else if (c == '>')
                emitTag();
            else
                return enter(State::AttributeName, p);
            return p + 1;
        case State::BeforeAttributeValue:
            if (isSpace(c))
                return p + 1;
            if (c == '"')
                m_state = State::AttributeValueDoubleQuoted;
            else if (c == '\'')
                m_state = State::AttributeValueSingleQuoted;
            else if (c == '>')
                emitTag();
            else
                return enter(State::AttributeValueUnquoted, p);
            return p + 1;
        case State::AttributeValueDoubleQuoted:
            return skipPast(p, end, '"', State::AfterAttributeValueQuoted);
        case State::AttributeValueSingleQuoted:
            return skipPast(p, end, '\'', State::AfterAttributeValueQuoted);
        case State::AttributeValueUnquoted:
            while (p < end && !unquotedValueEnds[*p])
                ++p;
            if (p == end)
                return p;
            if (*p == '>')
                emitTag();
            else
                m_state = State::BeforeAttributeName;
            return p + 1;
        case State::AfterAttributeValueQuoted:
            if (c == '/')
                m_state = State::SelfClosingStartTag;
            else if (c == '>')
                emitTag();
            else
                return enter(State::BeforeAttributeName, isSpace(c) ? p + 1 : p);
            return p + 1;
        default: // SelfClosingStartTag
            if (c != '>')
                return enter(State::BeforeAttributeName, p);
            m_selfClosing = true;
            emitTag();
            return p + 1;
        }
    }

    const Byte *enter(State state, const Byte *p)
    {
        m_state = state;
        return p;
    }

    // Past the next `c`, then in `next`; or the whole piece when it holds none.
    const Byte *skipPast(const Byte *p, const Byte *end, char c, State next)
    {
        const void *found = std::memchr(p, c, static_cast<std::size_t>(end - p));
        if (found == nullptr)
            return end;
        m_state = next;
        return static_cast<const Byte *>(found) + 1;
    }

    // A whole tag has been read: what it does to the text and to the states that follow.
    void emitTag()
    {
        m_state = State::Data;
        m_skipLineFeed = false;
        const ElementKind kind = elementKind(m_name.view(), m_name.firstBytes());
        if (kind.content == ElementContent::Template) {
            if (!m_endTag || m_templateDepth > 0)
                hide(m_templateDepth, !m_endTag);
            return;
        }
        if (m_foreignDepth > 0 && foreignTag(kind))
            return;
        if (m_endTag)
            endTag(kind);
        else
            startTag(kind);
    }

    // Inside svg or math: true when the tag was dealt with as foreign content.
    bool foreignTag(const ElementKind &kind)
    {
        const bool scriptOrStyle
            = kind.content == ElementContent::Script || kind.content == ElementContent::Style;
        if (!m_endTag && !kind.leavesForeignContent) {
            if (!m_selfClosing && kind.content == ElementContent::Foreign)
                ++m_foreignDepth;
            else if (!m_selfClosing && scriptOrStyle)
                hide(m_hiddenForeign, true); // read as markup, but never shown all the same
            layOut(kind.layout);
            return true;
        }
        if (m_endTag) {
            if (kind.content == ElementContent::Foreign) {
                leaveForeignContent(m_foreignDepth - 1);
                return true;
            }
            if (scriptOrStyle && m_hiddenForeign > 0) {
                hide(m_hiddenForeign, false);
                return true;
            }
            // The end tag of an HTML block closes the svg or math element inside it.
            if ((kind.layout == ElementLayout::Inline && !kind.leavesForeignContent)
                || kind.content == ElementContent::Title) {
                layOut(kind.layout);
                return true;
            }
        }
        leaveForeignContent(0);
        return false;
    }

    // Closing an svg or math element closes the script or style inside it too.
    void leaveForeignContent(std::size_t depth)
    {
        m_foreignDepth = depth;
        m_hiddenForeign = 1;
        hide(m_hiddenForeign, false);
    }

    void startTag(const ElementKind &kind)
    {
        layOut(kind.layout);
        switch (kind.content) {
        case ElementContent::Markup:
            break;
        case ElementContent::Preformatted:
            ++m_preDepth;
            m_skipLineFeed = true;
            break;
        case ElementContent::Script:
            enterRawText(State::ScriptData, false);
            break;
        case ElementContent::Style:
            enterRawText(State::Rawtext, false);
            break;
        case ElementContent::Template: // dealt with before
            break;
        case ElementContent::Title:
            enterRawText(State::Rcdata, true);
            break;
        case ElementContent::Textarea:
            enterRawText(State::Rcdata, true);
            m_rawPreformatted = m_skipLineFeed = true;
            break;
        case ElementContent::Xmp:
            enterRawText(State::Rawtext, true);
            m_rawPreformatted = true;
            break;
        case ElementContent::RawText:
            enterRawText(State::Rawtext, true);
            break;
        case ElementContent::Plaintext:
            enterRawText(State::Plaintext, true);
            m_rawPreformatted = true;
            break;
        case ElementContent::Foreign:
            if (!m_selfClosing)
                ++m_foreignDepth;
            break;
        }
    }

    void endTag(const ElementKind &kind)
    {
        if (kind.content == ElementContent::Preformatted && m_preDepth > 0)
            --m_preDepth;
        m_rawPreformatted = false; // raw text only ends at its own end tag
        // "</br>" is read as "<br>".
        layOut(kind.layout == ElementLayout::Cell ? ElementLayout::Inline : kind.layout);
    }

    void layOut(ElementLayout layout)
    {
        if (!m_visible)
            return;
        switch (layout) {
        case ElementLayout::Inline:
            break;
        case ElementLayout::Line:
            m_out.blockBreak(1);
            break;
        case ElementLayout::Paragraph:
            m_out.blockBreak(2);
            break;
        case ElementLayout::Cell:
            m_out.cellGap();
            break;
        case ElementLayout::Break:
            m_out.lineBreak();
            break;
        }
    }

    void enterRawText(State state, bool shown)
    {
        m_state = state;
        m_rawShown = shown;
        m_rawName = m_name;
    }

    void hide(std::size_t &depth, bool more)
    {
        depth = more ? depth + 1 : depth - 1;
        m_visible = m_templateDepth == 0 && m_hiddenForeign == 0;
    }

    // --- Comments and declarations -----------------------------------------------------------

    // After "<!": a comment, a doctype, a CDATA section, or a comment up to the next '>'.
    const Byte *markupDeclarationOpen(const Byte *p)
    {
        m_buffer.add(*p);
        const std::string_view held = m_buffer.view();
        const auto startsWith
            = [&](std::string_view word) { return word.substr(0, held.size()) == held; };
        if (held == "--") {
            m_state = State::CommentStart;
        } else if (m_buffer.equalsIgnoringCase("doctype")) {
            m_state = State::BogusComment;
        } else if (held == "[CDATA[") {
            // Only svg and math have CDATA sections; elsewhere it is a comment.
            m_state = m_foreignDepth > 0 ? State::CdataSection : State::BogusComment;
        } else if (!startsWith("--") && !startsWith("[CDATA[")
            && !m_buffer.equalsIgnoringCase(std::string_view("doctype").substr(0, held.size()))) {
            m_state = State::BogusComment; // the byte that did not fit is read again
            return p;
        }
        return p + 1;
    }

    // From "<!--" to "-->" or "--!>"; "<!-->" and "<!--->" are whole comments.
    const Byte *comment(const Byte *p, const Byte *end)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::CommentStart:
            if (c == '-')
                m_state = State::CommentStartDash;
            else
                return enter(c == '>' ? State::Data : State::Comment, c == '>' ? p + 1 : p);
            return p + 1;
        case State::CommentStartDash:
            if (c == '-')
                m_state = State::CommentEnd;
            else
                return enter(c == '>' ? State::Data : State::Comment, c == '>' ? p + 1 : p);
            return p + 1;
        case State::Comment:
            return skipPast(p, end, '-', State::CommentEndDash);
        case State::CommentEndDash:
            if (c != '-')
                return enter(State::Comment, p);
            m_state = State::CommentEnd;
            return p + 1;
        case State::CommentEnd:
            if (c == '>')
                m_state = State::Data;
            else if (c == '!')
                m_state = State::CommentEndBang;
            else if (c != '-')
                return enter(State::Comment, p);
            return p + 1;
        default: // CommentEndBang
            if (c == '-')
                m_state = State::CommentEndDash;
            else if (c == '>')
                m_state = State::Data;
            else
                return enter(State::Comment, p);
            return p + 1;
        }
    }

    // Up to "]]>", never shown.
    const Byte *cdataSection(const Byte *p, const Byte *end)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::CdataSection:
            return skipPast(p, end, ']', State::CdataSectionBracket);
        case State::CdataSectionBracket:
            return enter(
                c == ']' ? State::CdataSectionEnd : State::CdataSection, c == ']' ? p + 1 : p);
        default: // CdataSectionEnd
            if (c == '>')
                m_state = State::Data;
            else if (c != ']')
                return enter(State::CdataSection, p);
            return p + 1;
        }
    }

    // --- Character references ----------------------------------------------------------------

    const Byte *characterReference(const Byte *p, const Byte *end)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::CharacterReference:
            if (isLetter(c) || isDigit(c)) {
                m_referenceName.clear();
                return enter(State::NamedCharacterReference, p);
            }
            if (c == '#') {
                m_hexadecimal = 0;
                m_state = State::NumericCharacterReference;
                return p + 1;
            }
            show("&");
            return enter(m_textState, p);
        case State::NamedCharacterReference:
            for (; p < end; ++p) {
                const bool fits = m_referenceName.size() < longestReferenceName;
                if (fits && (isLetter(*p) || isDigit(*p))) {
                    m_referenceName.add(*p);
                    continue;
                }
                if (fits && *p == ';')
                    m_referenceName.add(*p++);
                resolveNamedReference();
                m_state = m_textState;
                break;
            }
            return p;
        case State::NumericCharacterReference:
            m_hexadecimal = c == 'x' || c == 'X' ? c : 0;
            m_number = 0;
            m_state = State::NumericDigitsStart;
            return m_hexadecimal != 0 ? p + 1 : p;
        case State::NumericDigitsStart:
            if (digitValue(c, base()) < 0) {
                showUnmatchedNumericReference();
                return enter(m_textState, p);
            }
            return enter(State::NumericDigits, p);
        default: // NumericDigits
            for (; p < end; ++p) {
                const int digit = digitValue(*p, base());
                if (digit < 0)
                    break;
                m_number = std::min(
                    m_number * base() + static_cast<std::uint32_t>(digit), tooLargeNumber);
            }
            if (p == end)
                return p;
            showNumericReference();
            m_state = m_textState;
            return *p == ';' ? p + 1 : p;
        }
    }

    std::uint32_t base() const { return m_hexadecimal != 0 ? 16 : 10; }

    // The longest name the held bytes start with; what follows it stays text.
    void resolveNamedReference()
    {
        const std::string_view held = m_referenceName.view();
        const NamedReferenceMatch match = longestNamedReference(held);
        if (match.length == 0)
            show("&");
        else
            showDecoded(match.text);
        show(held.substr(match.length));
    }

    void showNumericReference()
    {
        char utf8[4];
        showDecoded({ utf8, encodeNumericReference(m_number, utf8) });
    }

    void showUnmatchedNumericReference()
    {
        show("&#");
        if (m_hexadecimal != 0) {
            const char x = static_cast<char>(m_hexadecimal);
            show({ &x, 1 });
        }
    }

    // --- Raw text ----------------------------------------------------------------------------

    // After a '<' in RCDATA, RAWTEXT or script data: only the end tag of the element that
    // started it ends it; anything else is text.
    const Byte *rawEndTag(const Byte *p)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::RawLessThanSign:
            if (c == '/') {
                m_buffer.clear();
                m_state = State::RawEndTagOpen;
                return p + 1;
            }
            if (m_textState == State::ScriptData && c == '!') {
                m_state = State::ScriptEscapeStart;
                return p + 1;
            }
            if (m_textState == State::ScriptEscaped && isLetter(c)) {
                m_buffer.clear();
                return enter(State::ScriptDoubleEscapeStart, p);
            }
            showRaw("<");
            return enter(m_textState, p);
        case State::RawEndTagOpen:
            if (isLetter(c))
                return enter(State::RawEndTagName, p);
            showRawEndTagCandidate();
            return enter(m_textState, p);
        default: // RawEndTagName
            if (isLetter(c) && m_buffer.size() < m_rawName.size()) {
                m_buffer.add(c);
                return p + 1;
            }
            if ((isSpace(c) || c == '/' || c == '>')
                && m_buffer.equalsIgnoringCase(m_rawName.view())) {
                m_endTag = true;
                m_selfClosing = false;
                m_name = m_rawName;
                m_rawPreformatted = false;
                m_state = c == '>' ? State::Data
                    : c == '/'     ? State::SelfClosingStartTag
                                   : State::BeforeAttributeName;
                if (c == '>')
                    emitTag();
                return p + 1;
            }
            showRawEndTagCandidate();
            return enter(m_textState, p);
        }
    }

    void showRawEndTagCandidate()
    {
        if (m_textState == State::Rcdata || m_textState == State::Rawtext) {
            showRaw("</");
            showRaw(m_buffer.view());
        }
    }

    const Byte *scriptData(const Byte *p, const Byte *end)
    {
        p = skipPast(p, end, '<', State::RawLessThanSign);
        m_textState = State::ScriptData;
        return p;
    }

    // Inside "<!--" in a script, "<script" opens a part where "</script>" does not end it.
    const Byte *scriptEscapes(const Byte *p, const Byte *end)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::ScriptEscapeStart:
        case State::ScriptEscapeStartDash:
            if (c != '-')
                return enter(State::ScriptData, p);
            m_state = m_state == State::ScriptEscapeStart ? State::ScriptEscapeStartDash
                                                          : State::ScriptEscapedDashDash;
            return p + 1;
        case State::ScriptEscaped:
            while (p < end && *p != '-' && *p != '<')
                ++p;
            if (p < end)
                escapedDashOrLessThan(*p, State::ScriptEscapedDash);
            return p < end ? p + 1 : p;
        case State::ScriptEscapedDash:
        case State::ScriptEscapedDashDash:
            if (c == '>' && m_state == State::ScriptEscapedDashDash)
                m_state = State::ScriptData;
            else if (c == '-' || c == '<')
                escapedDashOrLessThan(c, State::ScriptEscapedDashDash);
            else
                m_state = State::ScriptEscaped;
            return p + 1;
        case State::ScriptDoubleEscapeStart:
        case State::ScriptDoubleEscapeEnd:
            if (isLetter(c)) {
                m_buffer.add(c);
                return p + 1;
            }
            {
                const bool script
                    = (isSpace(c) || c == '/' || c == '>') && m_buffer.equalsIgnoringCase("script");
                const bool starting = m_state == State::ScriptDoubleEscapeStart;
                if (!script)
                    return enter(starting ? State::ScriptEscaped : State::ScriptDoubleEscaped, p);
                m_state = starting ? State::ScriptDoubleEscaped : State::ScriptEscaped;
            }
            return p + 1;
        case State::ScriptDoubleEscaped:
            while (p < end && *p != '-' && *p != '<')
                ++p;
            if (p < end)
                m_state = *p == '-' ? State::ScriptDoubleEscapedDash
                                    : State::ScriptDoubleEscapedLessThanSign;
            return p < end ? p + 1 : p;
        case State::ScriptDoubleEscapedDash:
        case State::ScriptDoubleEscapedDashDash:
            if (c == '>' && m_state == State::ScriptDoubleEscapedDashDash)
                m_state = State::ScriptData;
            else if (c == '-')
                m_state = State::ScriptDoubleEscapedDashDash;
            else if (c == '<')
                m_state = State::ScriptDoubleEscapedLessThanSign;
            else
                m_state = State::ScriptDoubleEscaped;
            return p + 1;
        default: // ScriptDoubleEscapedLessThanSign
            if (c != '/')
                return enter(State::ScriptDoubleEscaped, p);
            m_buffer.clear();
            m_state = State::ScriptDoubleEscapeEnd;
            return p + 1;
        }
    }

    void escapedDashOrLessThan(Byte c, State afterDash)
    {
        if (c == '-') {
            m_state = afterDash;
            return;
        }
        m_textState = State::ScriptEscaped;
        m_state = State::RawLessThanSign;
    }

    TextLayout m_out;
    State m_state = State::Data;
    State m_textState = State::Data; // where a reference or a failed end tag goes back to
    ShortText<15> m_name; // of the tag being read, lower-cased
    ShortText<15> m_rawName; // of the element whose raw text is being read
    ShortText<15> m_buffer; // after "<!", after "</" in raw text, or "script" in a script
    ShortText<longestReferenceName> m_referenceName;
    std::uint32_t m_number = 0; // of a numeric reference
    Byte m_hexadecimal = 0; // the 'x' or 'X' of a hexadecimal reference
    bool m_endTag = false;
    bool m_selfClosing = false;
    bool m_rawShown = false; // the raw text being read is shown: not a script's or a style's
    bool m_rawPreformatted = false; // it keeps its spaces: textarea, xmp, plaintext
    bool m_visible = true; // neither in a template nor in a script or style of svg or math
    bool m_skipLineFeed = false; // just after <pre>, <listing> or <textarea>
    bool m_afterCarriageReturn = false; // in preformatted text: an LF next pairs with it
    std::size_t m_preDepth = 0;
    std::size_t m_templateDepth = 0;
    std::size_t m_foreignDepth = 0;
    std::size_t m_hiddenForeign = 0;
};

ReadableStripper::ReadableStripper(TextSink &sink, LineEnd lineEnd)
    : m_tokenizer(std::make_unique<Tokenizer>(sink, lineEnd))
{ }

ReadableStripper::~ReadableStripper() = default;

bool ReadableStripper::feed(std::string_view bytes)
{
    return m_tokenizer->feed(bytes);
}

StripOutcome ReadableStripper::finish()
{
    return m_tokenizer->finish();
}

} // namespace plaintrove::conversion
