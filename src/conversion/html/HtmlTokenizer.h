#pragma once

// HTML's tokenizer, as a browser runs it, over a page in UTF-8 fed in pieces of any size. A
// page's own bytes are made UTF-8 by PageDecoder.h, which finds their encoding as a browser
// does: feed the tokenizer what PageDecoder::take() hands on (HtmlReader.h does so).
//
// How to use it: give it a sink, a class with these members (called directly, no virtual calls),
// then feed() the pieces and finish():
//
//     void text(std::string_view bytes, std::size_t readable);
//         Characters shown on a page: no white space in them but single spaces between two
//         other characters. `readable` bytes from bytes.data() may be read (0: only size()),
//         which lets a short piece be copied in one fixed move.
//     void space(std::string_view whiteSpace, bool fromReference);
//         A run of ASCII white space (CR LF and CR as the page has them), or one character of
//         white space that a reference stands for.
//     void tag(const html::Tag &tag);
//         A start or end tag, with its attributes (Tag.h).
//     void markup();
//         A comment, doctype or processing instruction, which text is not joined across.
//     bool failed() const;
//         True stops the tokenizer: feed() then returns false at once.
//     bool inForeignContent() const;
//         The current element is one of svg or MathML: the tree decides, as in HTML.
//
// Text of script and style is never reported; that of template is. The tokenizer keeps what
// its own states depend on: the raw text of title, textarea, style, script, xmp, iframe,
// noembed, noframes and plaintext, which ends only at the element's own end tag. Inside svg and
// math, which the sink tells, those rules do not hold and CDATA sections are text. Which
// elements are open, and which a tag closes, is for OpenElements.h, a sink that hands balanced
// open and close events on. Every state can stop at the end of a piece and go on with the next; the
// few bytes a decision may wait for are held in small fixed buffers, and a tag keeps at most a
// fixed number of attributes of a bounded length (Tag.h).

#include "Tag.h"
#include "TextScan.h"

#include <cstring>
#include <utility>

namespace plaintrove::conversion::html {

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

template <typename Sink> class HtmlTokenizer
{
public:
    explicit HtmlTokenizer(Sink &sink)
        : m_sink(sink)
    { }

    // Reads the next bytes of the page. False once the sink has failed.
    bool feed(std::string_view bytes)
    {
        const auto *p = reinterpret_cast<const Byte *>(bytes.data());
        const Byte *const end = p + bytes.size();
        while (p < end && !m_sink.failed())
            p = step(p, end);
        return !m_sink.failed();
    }

    // Ends the page: reports what was held back. True when it ended inside a tag, a comment or
    // a declaration, whose bytes are then lost.
    bool finish()
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
            unclosed = true;
            break;
        case State::CdataSectionBracket:
            show("]");
            unclosed = true;
            break;
        case State::CdataSectionEnd:
            show("]]");
            unclosed = true;
            break;
        default:
            break;
        }
        m_state = State::Data;
        return unclosed;
    }

private:
    // Reads at least one byte in the current state; returns where it stopped.
    const Byte *step(const Byte *p, const Byte *end)
    {
        switch (m_state) {
        case State::Data:
            return data(p, end);
        case State::Rcdata:
            return rawText(p, end, dataBytes, m_rawShown, State::Rcdata);
        case State::Rawtext:
            return rawText(p, end, rawtextBytes, m_rawShown, State::Rawtext);
        case State::Plaintext:
            return rawText(p, end, plaintextBytes, true, State::Plaintext);
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
            if (const void *close = std::memchr(p, '>', static_cast<std::size_t>(end - p))) {
                endMarkup();
                return static_cast<const Byte *>(close) + 1;
            }
            return end;
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
    // Inline in data(), as is readText(): a call for every tag and every run of text saved and
    // restored registers each time, a tenth of the instructions on a page of short elements.
    [[gnu::always_inline]] const Byte *readWholeTag(const Byte *p, const Byte *end)
    {
        const bool endTag = p < end && *p == '/';
        p += endTag ? 1 : 0;
        if (p == end || !isLetter(*p))
            return nullptr;
        m_tag.begin(endTag);
        p = m_tag.nameText().assignName(p, end); // the states below start again if need be
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
            const Byte *const name = p;
            while (++p < end && !attributeNameEnds[*p]) { }
            m_tag.addAttribute(name, p);
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
                m_tag.setValue(p + 1, quote);
                p = quote + 1;
                continue;
            }
            const Byte *const value = p;
            while (p < end && !unquotedValueEnds[*p])
                ++p;
            if (p == end)
                return nullptr;
            m_tag.setValue(value, p);
            if (*p == '>')
                break;
        }
        m_tag.selfClosing = selfClosing;
        reportTag();
        return p + 1;
    }

    // Reads text up to the next byte that `classes` stops at.
    [[gnu::always_inline]] const Byte *readText(
        const Byte *p, const Byte *end, const ByteClasses &classes, bool shown)
    {
        if (!shown) {
            while (p < end && classes[*p] != Stop)
                ++p;
            return p;
        }
        while (p < end) {
            const Byte *const word = p;
            p = &classes == &dataBytes ? skipWords(p, end) : skipOrdinary(p, end, classes);
            if (p != word)
                m_sink.text(bytesBetween(word, p), static_cast<std::size_t>(end - word));
            if (p == end || classes[*p] == Stop)
                return p;
            const Byte *const spaces = p;
            while (++p < end && classes[*p] == Space) { }
            m_sink.space(bytesBetween(spaces, p), false);
        }
        return p;
    }

    // The text of a state other than Data, up to the byte it stops at, and that byte.
    const Byte *rawText(
        const Byte *p, const Byte *end, const ByteClasses &classes, bool shown, State state)
    {
        p = readText(p, end, classes, shown);
        if (p < end)
            dataStop(*p++, state);
        return p;
    }

    // The byte a text state stopped at: '<', '&' or NUL.
    void dataStop(Byte c, State textState)
    {
        if (c == '<') {
            m_textState = textState;
            m_state = textState == State::Data ? State::TagOpen : State::RawLessThanSign;
        } else if (c == '&') {
            m_textState = textState;
            m_state = State::CharacterReference;
        } else if (textState != State::Data) {
            showRaw(replacementCharacter); // a NUL in the body of a page is dropped
        }
    }

    // Shows bytes without white space.
    void show(std::string_view bytes)
    {
        if (!bytes.empty())
            m_sink.text(bytes, 0);
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
        if (text.size() == 1 && isSpace(static_cast<Byte>(text[0])))
            m_sink.space(text, true);
        else
            m_sink.text(text, 0);
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
        m_tag.begin(endTag);
        m_tag.nameText().clear();
        m_state = State::TagName;
    }

    const Byte *tagName(const Byte *p, const Byte *end)
    {
        while (p < end) {
            const Byte c = *p++;
            if (!tagNameEnds[c]) {
                // A NUL makes a name that no element has.
                m_tag.nameText().add(c == 0 ? 0xFF : lowered(c));
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

    // The attributes of a tag.
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
            m_tag.beginAttribute();
            m_state = State::AttributeName;
            if (c != '=')
                return p;
            m_tag.addToName(p, p + 1); // "=" can start a name here
            return p + 1;
        case State::AttributeName: {
            const Byte *const name = p;
            while (p < end && !attributeNameEnds[*p])
                ++p;
            m_tag.addToName(name, p);
            if (p < end)
                m_state = *p == '=' ? State::BeforeAttributeValue : State::AfterAttributeName;
            return p < end && *p == '=' ? p + 1 : p;
        }
        case State::AfterAttributeName:
            if (isSpace(c))
                return p + 1;
            if (c == '/')
                m_state = State::SelfClosingStartTag;
            else if (c == '=')
                m_state = State::BeforeAttributeValue;
            else if (c == '>')
                emitTag();
            else {
                m_tag.beginAttribute();
                return enter(State::AttributeName, p);
            }
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
            return quotedValue(p, end, '"');
        case State::AttributeValueSingleQuoted:
            return quotedValue(p, end, '\'');
        case State::AttributeValueUnquoted: {
            const Byte *const value = p;
            while (p < end && !unquotedValueEnds[*p])
                ++p;
            m_tag.addToValue(value, p);
            if (p == end)
                return p;
            if (*p == '>')
                emitTag();
            else
                m_state = State::BeforeAttributeName;
            return p + 1;
        }
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
            m_tag.selfClosing = true;
            emitTag();
            return p + 1;
        }
    }

    // A quoted value up to its closing quote, or the whole piece.
    const Byte *quotedValue(const Byte *p, const Byte *end, char quote)
    {
        const auto *found
            = static_cast<const Byte *>(std::memchr(p, quote, static_cast<std::size_t>(end - p)));
        m_tag.addToValue(p, found == nullptr ? end : found);
        if (found == nullptr)
            return end;
        m_state = State::AfterAttributeValueQuoted;
        return found + 1;
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

    // Out of line for the tag states; readWholeTag() has it inline.
    void emitTag() { reportTag(); }

    // A whole tag has been read: the states that follow it, then the sink.
    [[gnu::always_inline]] void reportTag()
    {
        m_state = State::Data;
        m_tag.kind = elementKind(m_tag.name(), m_tag.nameFirstBytes());
        if (m_sink.inForeignContent() && foreignTag(m_tag.kind))
            m_tag.foreign = true;
        else if (!m_tag.endTag && m_tag.kind.content != ElementContent::Markup)
            startTag(m_tag.kind);
        m_sink.tag(m_tag);
    }

    // Inside svg or math: true when the tag is read as one of theirs, false when it ends them.
    bool foreignTag(const ElementKind &kind) const
    {
        if (!m_tag.endTag)
            return !kind.is(LeavesForeignContent);
        // The end tag of an HTML block closes the svg or math element inside it.
        return kind.content == ElementContent::Foreign || kind.content == ElementContent::Title
            || (kind.layout == ElementLayout::Inline && !kind.is(LeavesForeignContent));
    }

    void startTag(const ElementKind &kind)
    {
        switch (kind.content) {
        case ElementContent::Markup:
        case ElementContent::Preformatted:
        case ElementContent::Template:
            break;
        case ElementContent::Script:
            enterRawText(State::ScriptData, false);
            break;
        case ElementContent::Style:
            enterRawText(State::Rawtext, false);
            break;
        case ElementContent::Title:
        case ElementContent::Textarea:
            enterRawText(State::Rcdata, true);
            break;
        case ElementContent::Xmp:
        case ElementContent::RawText:
            enterRawText(State::Rawtext, true);
            break;
        case ElementContent::Plaintext:
            enterRawText(State::Plaintext, true);
            break;
        case ElementContent::Foreign:
            m_tag.foreign = true;
            break;
        }
    }

    void enterRawText(State state, bool shown)
    {
        m_state = state;
        m_rawShown = shown;
        m_rawName = m_tag.nameText();
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
            m_state = m_sink.inForeignContent() ? State::CdataSection : State::BogusComment;
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
        case State::CommentStartDash:
            if (c == '-')
                m_state
                    = m_state == State::CommentStart ? State::CommentStartDash : State::CommentEnd;
            else if (c == '>')
                endMarkup();
            else
                return enter(State::Comment, p);
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
                endMarkup();
            else if (c == '!')
                m_state = State::CommentEndBang;
            else if (c != '-')
                return enter(State::Comment, p);
            return p + 1;
        default: // CommentEndBang
            if (c == '-')
                m_state = State::CommentEndDash;
            else if (c == '>')
                endMarkup();
            else
                return enter(State::Comment, p);
            return p + 1;
        }
    }

    // A comment, a doctype or a processing instruction has ended.
    void endMarkup()
    {
        m_state = State::Data;
        m_sink.markup();
    }

    // Up to "]]>": text, in svg and math.
    const Byte *cdataSection(const Byte *p, const Byte *end)
    {
        const Byte c = *p;
        switch (m_state) {
        case State::CdataSection:
            p = readText(p, end, cdataBytes, true);
            return p < end ? enter(State::CdataSectionBracket, p + 1) : p;
        case State::CdataSectionBracket:
            if (c == ']')
                return enter(State::CdataSectionEnd, p + 1);
            show("]");
            return enter(State::CdataSection, p);
        default: // CdataSectionEnd
            if (c == '>')
                return enter(State::Data, p + 1);
            if (c == ']') {
                show("]");
                return p + 1;
            }
            show("]]");
            return enter(State::CdataSection, p);
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
                m_tag.begin(true);
                m_tag.nameText() = m_rawName;
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

    Sink &m_sink;
    Tag m_tag; // the tag being read
    State m_state = State::Data;
    State m_textState = State::Data; // where a reference or a failed end tag goes back to
    ShortText<Tag::nameCapacity> m_rawName; // of the element whose raw text is being read
    ShortText<15> m_buffer; // after "<!", after "</" in raw text, or "script" in a script
    ShortText<longestReferenceName> m_referenceName;
    std::uint32_t m_number = 0; // of a numeric reference
    Byte m_hexadecimal = 0; // the 'x' or 'X' of a hexadecimal reference
    bool m_rawShown = false; // the raw text being read is shown: not a script's or a style's
};

} // namespace plaintrove::conversion::html
