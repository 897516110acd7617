#pragma once

// The byte-level pieces of the tokenizer (HtmlTokenizer.h): classes of bytes, and the scans that
// find the end of a run of text or of a quoted value, sixteen bytes at a time where SSE2 is there.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) && !defined(PLAINTROVE_NO_SSE2)
#define PLAINTROVE_HAVE_SSE2_TEXT 1
#include <emmintrin.h>
#endif

namespace plaintrove::conversion::html {

using Byte = unsigned char;

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

// ASCII letters compared without their case; `lower` is lower-case.
constexpr bool equalsIgnoringCase(std::string_view text, std::string_view lower)
{
    return std::equal(text.begin(), text.end(), lower.begin(), lower.end(),
        [](char a, char b) { return lowered(static_cast<Byte>(a)) == static_cast<Byte>(b); });
}

// Without HTML's white space at either end.
constexpr std::string_view trimmedSpace(std::string_view text)
{
    constexpr std::string_view space = " \t\n\f\r";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
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
constexpr ByteClasses cdataBytes = byteClasses("]");

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

// The length of the tag name that starts the 16 bytes at `begin`, with those bytes lowered into
// `lower`; 16 when it is longer or holds a control character, which the byte loop then reads.
inline std::size_t shortNameLength([[maybe_unused]] const Byte *begin, [[maybe_unused]] char *lower)
{
#if defined(PLAINTROVE_HAVE_SSE2_TEXT)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin));
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i atMostSpace = _mm_cmpeq_epi8(_mm_min_epu8(v, space), v);
    const __m128i ends = _mm_or_si128(atMostSpace,
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('/')), _mm_cmpeq_epi8(v, _mm_set1_epi8('>'))));
    const auto found = static_cast<unsigned>(_mm_movemask_epi8(ends));
    const auto length = static_cast<std::size_t>(__builtin_ctz(found | 0x10000U));
    if (length == 16 || !tagNameEnds[begin[length]])
        return 16;
    // Moved so that 'A' is -128: 'A' to 'Z' are the only bytes below -128 + 26.
    const __m128i upper = _mm_cmplt_epi8(
        _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - 'A'))), _mm_set1_epi8(-128 + 26));
    _mm_storeu_si128(
        reinterpret_cast<__m128i *>(lower), _mm_or_si128(v, _mm_and_si128(upper, space)));
    return length;
#else
    return 16;
#endif
}

// A short piece of markup kept a byte at a time: a tag name, or what follows "<!" or "</".
template <std::size_t capacity> class ShortText
{
public:
    void clear()
    {
        m_length = 0;
        m_firstBytes = 0;
        m_tailHash = 0;
    }
    // Bytes past the capacity are counted and hashed, not kept: the text then matches nothing.
    void add(Byte c)
    {
        if (m_length < 8)
            m_firstBytes |= std::uint64_t { c } << (8 * m_length);
        if (m_length < capacity)
            m_bytes[m_length] = static_cast<char>(c);
        else
            m_tailHash = (m_tailHash ^ c) * fnvPrime;
        if (m_length <= capacity)
            ++m_length;
    }
    // The tag name at `begin` (up to its end or `end`) as add() takes it; returns where it ends.
    const Byte *assignName(const Byte *begin, const Byte *end)
    {
        static_assert(capacity >= 16);
        if (end - begin >= 16) { // most names: at once
            if (const std::size_t length = shortNameLength(begin, m_bytes.data()); length < 16) {
                std::uint64_t first = 0;
                std::memcpy(&first, m_bytes.data(), 8);
                m_firstBytes
                    = length >= 8 ? first : first & ((std::uint64_t { 1 } << (8 * length)) - 1);
                m_length = length;
                return begin + length;
            }
        }
        std::size_t length = 0;
        std::uint64_t firstBytes = 0;
        std::uint64_t tailHash = 0;
        for (; begin + length < end && !tagNameEnds[begin[length]]; ++length) {
            const Byte c = begin[length] == 0 ? 0xFF : lowered(begin[length]);
            if (length < 8)
                firstBytes |= std::uint64_t { c } << (8 * length);
            if (length < capacity)
                m_bytes[length] = static_cast<char>(c);
            else
                tailHash = (tailHash ^ c) * fnvPrime;
        }
        m_length = std::min(length, capacity + 1);
        m_firstBytes = firstBytes;
        m_tailHash = tailHash;
        return begin + length;
    }
    std::uint64_t firstBytes() const { return m_firstBytes; }
    // A hash (FNV-1a) of every byte, also those past the capacity.
    std::uint32_t hash() const
    {
        std::uint64_t hash = 14695981039346656037ULL ^ m_tailHash;
        for (std::size_t i = 0; i < std::min(m_length, capacity); ++i)
            hash = (hash ^ static_cast<Byte>(m_bytes[i])) * fnvPrime;
        return static_cast<std::uint32_t>(hash ^ (hash >> 32));
    }
    std::size_t size() const { return m_length; }
    bool overflowed() const { return m_length > capacity; }
    std::string_view view() const
    {
        return overflowed() ? std::string_view() : std::string_view(m_bytes.data(), m_length);
    }
    bool equalsIgnoringCase(std::string_view lower) const
    {
        return !overflowed() && html::equalsIgnoringCase({ m_bytes.data(), m_length }, lower);
    }

private:
    static constexpr std::uint64_t fnvPrime = 1099511628211ULL;

    std::array<char, capacity> m_bytes {};
    std::size_t m_length = 0;
    std::uint64_t m_firstBytes = 0; // the first eight bytes as one number, the first lowest
    std::uint64_t m_tailHash = 0; // of the bytes past the capacity
};

inline const Byte *skipOrdinary(const Byte *p, const Byte *end, const ByteClasses &classes)
{
    while (p < end && classes[*p] == Ordinary)
        ++p;
    return p;
}

// A space between two ordinary bytes stays as it is: copying it with the words around it saves
// a call for each word.
inline bool singleSpace(const Byte *p, const Byte *end)
{
    return *p == ' ' && p + 1 < end && dataBytes[p[1]] == Ordinary;
}

// Words of Data with single spaces between them, up to a byte that ends the run; sixteen bytes
// at a time where SSE2 is there. A space at `p` itself ends it: no line may start with one.
inline const Byte *skipWords(const Byte *p, const Byte *end)
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

// The first `c` in [p, end), or null: memchr, but inline, as most quoted values are short.
inline const Byte *findByte(const Byte *p, const Byte *end, Byte c)
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

inline std::string_view bytesBetween(const Byte *begin, const Byte *end)
{
    return { reinterpret_cast<const char *>(begin), static_cast<std::size_t>(end - begin) };
}

} // namespace plaintrove::conversion::html
