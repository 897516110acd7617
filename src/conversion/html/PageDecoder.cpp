#include "PageDecoder.h"

#include "CharacterReferences.h"
#include "TextScan.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <tuple>
#include <utility>

namespace plaintrove::conversion {

namespace {

using html::Byte;
using html::replacementCharacter;

constexpr std::size_t headSize = 1024; // what HTML's prescan looks at
constexpr std::size_t choiceWindow = 4096; // what the choice of UTF-8 or windows-1252 looks at
constexpr std::size_t bufferSize = 64 * 1024;
constexpr std::size_t utf8Piece = 16 * 1024;

// How many bytes from the start are ASCII; sixteen at a time where SSE2 is there.
std::size_t asciiPrefix(std::string_view bytes)
{
    std::size_t i = 0;
#if defined(PLAINTROVE_HAVE_SSE2_TEXT)
    for (; bytes.size() - i >= 64; i += 64) { // four vectors with one test, as most is ASCII
        const auto *p = reinterpret_cast<const __m128i *>(bytes.data() + i);
        const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
            _mm_or_si128(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
        if (_mm_movemask_epi8(any) != 0)
            break;
    }
    for (; bytes.size() - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes.data() + i));
        if (const auto high = static_cast<unsigned>(_mm_movemask_epi8(v)))
            return i + static_cast<std::size_t>(__builtin_ctz(high));
    }
#endif
    while (i < bytes.size() && static_cast<Byte>(bytes[i]) < 0x80)
        ++i;
    return i;
}

// The UTF-8 sequence at the start of `bytes`, by the Encoding Standard's decoder: its length
// when it is whole and valid; else the length of the part that is wrong (0 < length), which one
// U+FFFD stands for, with `cut` true when that part is only cut short by the end of `bytes`.
struct Sequence
{
    std::size_t length;
    bool valid;
    bool cut;
};

Sequence utf8Sequence(std::string_view bytes)
{
    const auto lead = static_cast<Byte>(bytes[0]);
    if (lead < 0x80)
        return { 1, true, false };
    std::size_t length = 0;
    Byte low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return { 1, false, false };
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i == bytes.size())
            return { i, false, true };
        const auto c = static_cast<Byte>(bytes[i]);
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF))
            return { i, false, false };
    }
    return { length, true, false };
}

// How many bytes from the start are valid UTF-8 in whole sequences.
std::size_t validUtf8Prefix(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<Byte>(bytes[i]) < 0x80) { // not after each character of other scripts
            i += asciiPrefix(bytes.substr(i));
            continue;
        }
        const Sequence sequence = utf8Sequence(bytes.substr(i));
        if (!sequence.valid)
            break;
        i += sequence.length;
    }
    return i;
}

// The Encoding Standard's windows-* indexes give a byte from 0x80 to 0x9F that has no character
// the C1 control of its number, where glibc's iconv rejects it: written here as UTF-8.
std::string_view c1Control(const Encoding &encoding, Byte byte, char (&out)[2])
{
    if (!encoding.name.starts_with("windows-") || byte < 0x80 || byte > 0x9F)
        return {};
    out[0] = '\xC2';
    out[1] = static_cast<char>(byte);
    return { out, 2 };
}

} // namespace

// glibc's iconv from an encoding to UTF-8, held open for the page.
class PageDecoder::Converter
{
public:
    explicit Converter(const char *from)
        : m_descriptor(::iconv_open("UTF-8", from))
    { }
    ~Converter()
    {
        if (ready())
            ::iconv_close(m_descriptor);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool ready() const { return m_descriptor != reinterpret_cast<iconv_t>(-1); }

    // Converts what it can; returns 0, or the errno of why it stopped.
    int convert(const char *&in, std::size_t &inLeft, char *&out, std::size_t &outLeft)
    {
        char *input = const_cast<char *>(in); // iconv's signature; it never writes there
        const std::size_t result = ::iconv(m_descriptor, &input, &inLeft, &out, &outLeft);
        in = input;
        return result == static_cast<std::size_t>(-1) ? errno : 0;
    }

private:
    iconv_t m_descriptor;
};

PageDecoder::PageDecoder(const Encoding *given)
    : m_given(given)
{ }

PageDecoder::~PageDecoder() = default;

void PageDecoder::put(std::string_view bytes)
{
    m_input = bytes;
}

void PageDecoder::finish()
{
    m_finished = true;
}

std::string_view PageDecoder::take()
{
    for (;;) {
        if (m_encoding == nullptr) {
            const auto state = [this] {
                return std::tuple(
                    m_input.size(), m_pendingHeld.size(), m_held.size(), m_prescanned);
            };
            const auto before = state();
            const std::string_view text = m_prescanned ? undecided() : sniff();
            if (!text.empty())
                return text;
            if (m_encoding == nullptr && state() == before)
                return {}; // waiting for more of the page
            continue;
        }
        if (!m_held.empty()) {
            if (m_pendingHeld.empty() && m_input.empty() && !m_finished)
                return {};
            const std::string_view text = completeHeldSequence();
            if (!text.empty())
                return text;
            continue;
        }
        std::string_view &source = m_pendingHeld.empty() ? m_input : m_pendingHeld;
        if (source.empty())
            return {};
        const std::string_view text = decode(source);
        if (!text.empty())
            return text;
    }
}

// The first bytes: a byte-order mark, the user's encoding, or the prescan of the head.
std::string_view PageDecoder::sniff()
{
    const std::size_t wanted = m_given != nullptr ? 3 : headSize;
    const std::size_t count = std::min(wanted - m_held.size(), m_input.size());
    m_held.append(m_input.substr(0, count));
    m_input.remove_prefix(count);
    if (m_held.size() < wanted && !m_finished)
        return {};
    const std::string_view head = m_held;
    if (head.starts_with("\xEF\xBB\xBF")) {
        m_held.erase(0, 3);
        decide(utf8Encoding());
    } else if (head.starts_with("\xFE\xFF") || head.starts_with("\xFF\xFE")) {
        const bool bigEndian = head[0] == '\xFE';
        m_held.erase(0, 2);
        decide(*encodingForLabel(bigEndian ? "utf-16be" : "utf-16le"));
    } else if (m_given != nullptr) {
        decide(*m_given);
    } else if (const Encoding *declared = prescanForEncoding(head)) {
        decide(*declared);
    } else {
        m_prescanned = true;
        m_heldCopy = std::move(m_held);
        m_held.clear();
        m_pendingHeld = m_heldCopy;
    }
    return {};
}

// No encoding found: ASCII passes on; the first non-ASCII bytes choose UTF-8 or windows-1252.
std::string_view PageDecoder::undecided()
{
    std::string_view &source = m_pendingHeld.empty() ? m_input : m_pendingHeld;
    if (m_held.empty()) {
        const std::size_t ascii = asciiPrefix(source);
        if (ascii > 0) {
            const std::string_view text = source.substr(0, ascii);
            source.remove_prefix(ascii);
            return text;
        }
    }
    const std::size_t count = std::min(choiceWindow - m_held.size(), source.size());
    m_held.append(source.substr(0, count));
    source.remove_prefix(count);
    const bool pageEnded = m_finished && m_pendingHeld.empty() && m_input.empty();
    if (m_held.size() < choiceWindow && !pageEnded)
        return {};
    const std::size_t valid = validUtf8Prefix(m_held);
    const bool utf8 = valid == m_held.size()
        || (!pageEnded && utf8Sequence(std::string_view(m_held).substr(valid)).cut);
    // What is left of the head follows the window.
    m_held += m_pendingHeld;
    m_pendingHeld = {};
    decide(utf8 ? utf8Encoding() : windows1252Encoding());
    return {};
}

// From now on the page is decoded as `encoding`, starting with the bytes held back.
void PageDecoder::decide(const Encoding &encoding)
{
    m_encoding = &encoding;
    m_heldCopy = std::move(m_held);
    m_held.clear();
    m_pendingHeld = m_heldCopy;
    m_buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    if (!encoding.iconvName[0] || encoding.kind == Encoding::Kind::Utf8)
        return;
    m_converter = std::make_unique<Converter>(encoding.iconvName);
}

std::string_view PageDecoder::decode(std::string_view &input)
{
    switch (m_encoding->kind) {
    case Encoding::Kind::Utf8:
        return decodeUtf8(input);
    case Encoding::Kind::UserDefined:
        return userDefined(input);
    case Encoding::Kind::Replacement:
        input = {};
        return std::exchange(m_replaced, true) ? std::string_view() : replacementCharacter;
    default:
        return convert(input);
    }
}

// Valid UTF-8 goes on as it is, without a copy.
std::string_view PageDecoder::decodeUtf8(std::string_view &input)
{
    // A piece at a time, checked just before the tokenizer reads it, while it is in cache.
    if (const std::size_t valid = validUtf8Prefix(input.substr(0, utf8Piece))) {
        const std::string_view text = input.substr(0, valid);
        input.remove_prefix(valid);
        return text;
    }
    const Sequence sequence = utf8Sequence(input);
    if (sequence.cut) {
        m_held.assign(input);
        input = {};
        return {};
    }
    input.remove_prefix(sequence.length);
    return replacementCharacter;
}

// x-user-defined: the bytes 0x80 to 0xFF are U+F780 to U+F7FF.
std::string_view PageDecoder::userDefined(std::string_view &input)
{
    std::size_t used = 0;
    while (!input.empty() && used + 3 <= bufferSize) {
        const auto c = static_cast<Byte>(input[0]);
        used += encodeUtf8(c < 0x80 ? c : 0xF700U + c, m_buffer.get() + used);
        input.remove_prefix(1);
    }
    return { m_buffer.get(), used };
}

// Through iconv; in an encoding that keeps ASCII as it is, runs of ASCII are copied instead.
std::string_view PageDecoder::convert(std::string_view &input)
{
    const bool asciiRuns = m_encoding->kind == Encoding::Kind::AsciiCompatible;
    const std::size_t unit
        = m_encoding->kind == Encoding::Kind::Utf16Le || m_encoding->kind == Encoding::Kind::Utf16Be
        ? 2
        : 1;
    char *out = m_buffer.get();
    std::size_t outLeft = bufferSize;
    while (!input.empty() && outLeft >= 16) {
        if (asciiRuns) {
            const std::size_t ascii = std::min(asciiPrefix(input), outLeft);
            std::memcpy(out, input.data(), ascii);
            out += ascii;
            outLeft -= ascii;
            input.remove_prefix(ascii);
            if (input.empty() || outLeft < 16)
                break;
        }
        // A run that ends where two ASCII bytes meet: the second can be no part of a sequence.
        std::size_t end = input.size();
        if (asciiRuns) {
            for (end = 1; end < input.size(); ++end) {
                if (static_cast<Byte>(input[end]) < 0x80
                    && static_cast<Byte>(input[end - 1]) < 0x80)
                    break;
            }
        }
        const char *in = input.data();
        std::size_t inLeft = end;
        const int error = m_converter && m_converter->ready()
            ? m_converter->convert(in, inLeft, out, outLeft)
            : EILSEQ;
        input.remove_prefix(end - inLeft);
        if (error == EINVAL) { // cut short by the end of what was put
            m_held.assign(input);
            input = {};
        } else if (error == EILSEQ) {
            char control[2];
            std::string_view character = input.empty()
                ? std::string_view()
                : c1Control(*m_encoding, static_cast<Byte>(input[0]), control);
            if (character.empty())
                character = replacementCharacter;
            if (outLeft < character.size())
                break; // it is written the next time
            std::memcpy(out, character.data(), character.size());
            out += character.size();
            outLeft -= character.size();
            input.remove_prefix(std::min(unit, input.size()));
        } else if (error == E2BIG) {
            break;
        }
    }
    return { m_buffer.get(), bufferSize - outLeft };
}

// A sequence cut by the end of one piece, decoded with the start of the next.
std::string_view PageDecoder::completeHeldSequence()
{
    std::string_view &next = m_pendingHeld.empty() ? m_input : m_pendingHeld;
    constexpr std::size_t lookAhead = 16; // longer than any sequence of any encoding
    const std::size_t held = m_held.size();
    const bool nextIsAll = next.size() <= lookAhead;
    const std::string joined = m_held + std::string(next.substr(0, lookAhead));
    std::string_view rest = joined;
    m_held.clear();
    std::string_view text = decode(rest);
    std::size_t used = joined.size() - rest.size();
    if (!m_held.empty()) { // cut short again at the end of `joined`
        if (nextIsAll) {
            next = {};
            const bool pageEnded = m_finished && m_pendingHeld.empty() && m_input.empty();
            if (pageEnded)
                m_held.clear();
            return pageEnded && text.empty() ? replacementCharacter : text;
        }
        used -= m_held.size(); // those bytes are read again from `next`
        m_held.clear();
    }
    if (used < held) { // the held bytes were wrong: those after the wrong part go round again
        m_held = joined.substr(used, held - used);
        return text;
    }
    next.remove_prefix(used - held);
    if (text.data() == joined.data()) { // valid UTF-8 seen in `joined`: copied to outlive it
        std::memcpy(m_buffer.get(), text.data(), text.size());
        text = { m_buffer.get(), text.size() };
    }
    return text;
}

} // namespace plaintrove::conversion
