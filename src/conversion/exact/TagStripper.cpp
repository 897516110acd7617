#include "TagStripper.h"

#include "OutputBuffer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

// The tests build the engine twice more, without the AVX2 scanner and without any vector
// instructions, so that every scanner is tried on the machine that runs them.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(PLAINTROVE_NO_AVX2)
#define PLAINTROVE_HAVE_AVX2_SCAN 1
#include <immintrin.h>
#endif
#if defined(__SSE2__) && !defined(PLAINTROVE_NO_SSE2)
#define PLAINTROVE_HAVE_SSE2_SCAN 1
#include <emmintrin.h>
#endif

// The stripper treats its input as a stream of bytes rather than of lines. What is left of a line
// is the concatenation of its text runs (between line start, tags and line end), each without
// its leading and trailing spaces; a line end inside a tag belongs to the tag and yields
// nothing. That is the same result as working line by line, while holding only the output buffer
// and the number of spaces seen at the end of the current run, which are written only once more
// text follows them in the same run.
//
// The input is scanned in windows of 64 bytes: one pass marks the tag openings, the tag ends,
// the line ends and the spaces of the window in four bit masks, and the stripper then jumps
// from one marked byte to the next. Typical HTML has a tag every couple of dozen bytes, so
// finding them is most of the work.

namespace plaintrove::conversion {

namespace {

// Reads and writes may run this far past the bytes that count (never past the allocation): the
// scanner loads whole windows and the writer copies short pieces in one fixed-size move.
constexpr std::size_t window = 64;
constexpr std::size_t shortPiece = 32;

struct WindowMasks
{
    std::uint64_t open; // '<'
    std::uint64_t close; // '>'
    std::uint64_t cr;
    std::uint64_t lf;
    std::uint64_t space; // ' ', the only character trimmed
};

#if defined(PLAINTROVE_HAVE_AVX2_SCAN)
// The same with 32-byte vectors, for processors that have them (checked at run time).
__attribute__((target("avx2"))) void scanWindowsAvx2(
    const char *bytes, std::size_t count, WindowMasks *masks)
{
    const __m256i open = _mm256_set1_epi8('<');
    const __m256i close = _mm256_set1_epi8('>');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i space = _mm256_set1_epi8(' ');
    const auto bits = [](__m256i low, __m256i high, __m256i wanted) __attribute__((target("avx2")))
    {
        const auto lowBits
            = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
        const auto highBits
            = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
        return std::uint64_t { lowBits } | (std::uint64_t { highBits } << 32);
    };
    for (std::size_t i = 0; i < count; ++i, bytes += window) {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes + 32));
        masks[i] = { bits(low, high, open), bits(low, high, close), bits(low, high, cr),
            bits(low, high, lf), bits(low, high, space) };
    }
}
#endif

#if defined(PLAINTROVE_HAVE_SSE2_SCAN)
WindowMasks scanWindow(const char *bytes)
{
    const __m128i open = _mm_set1_epi8('<');
    const __m128i close = _mm_set1_epi8('>');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i space = _mm_set1_epi8(' ');
    const auto bits = [](__m128i matches, unsigned part) {
        return std::uint64_t { static_cast<std::uint32_t>(_mm_movemask_epi8(matches)) }
        << (16 * part);
    };
    WindowMasks masks { 0, 0, 0, 0, 0 };
    for (unsigned part = 0; part < window / 16; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * part));
        masks.open |= bits(_mm_cmpeq_epi8(v, open), part);
        masks.close |= bits(_mm_cmpeq_epi8(v, close), part);
        masks.cr |= bits(_mm_cmpeq_epi8(v, cr), part);
        masks.lf |= bits(_mm_cmpeq_epi8(v, lf), part);
        masks.space |= bits(_mm_cmpeq_epi8(v, space), part);
    }
    return masks;
}
#else
WindowMasks scanWindow(const char *bytes)
{
    WindowMasks masks { 0, 0, 0, 0, 0 };
    for (unsigned i = 0; i < window; ++i) {
        const std::uint64_t bit = std::uint64_t { 1 } << i;
        switch (bytes[i]) {
        case '<':
            masks.open |= bit;
            break;
        case '>':
            masks.close |= bit;
            break;
        case '\r':
            masks.cr |= bit;
            break;
        case '\n':
            masks.lf |= bit;
            break;
        case ' ':
            masks.space |= bit;
            break;
        default:
            break;
        }
    }
    return masks;
}
#endif

void scanWindowsPortable(const char *bytes, std::size_t count, WindowMasks *masks)
{
    for (std::size_t i = 0; i < count; ++i, bytes += window)
        masks[i] = scanWindow(bytes);
}

using WindowScanner = void (*)(const char *bytes, std::size_t count, WindowMasks *masks);

// The widest vector instructions the processor has; both scanners give the same masks.
WindowScanner windowScanner()
{
#if defined(PLAINTROVE_HAVE_AVX2_SCAN)
    if (__builtin_cpu_supports("avx2"))
        return scanWindowsAvx2;
#endif
    return scanWindowsPortable;
}

// The bits at `first` and above; `first` is below 64.
constexpr std::uint64_t fromBit(unsigned first)
{
    return ~std::uint64_t { 0 } << first;
}

// The bits below `last`; `last` is at most 64.
constexpr std::uint64_t belowBit(unsigned last)
{
    return last >= window ? ~std::uint64_t { 0 } : (std::uint64_t { 1 } << last) - 1;
}

// Bit positions are found with the compiler's builtins rather than std::countr_zero and
// std::countl_zero: for the baseline x86-64 those test for an empty mask with a branch, which
// the scanner cannot afford on masks whose emptiness changes at random.

// The lowest set bit; the mask is not empty.
inline unsigned firstBit(std::uint64_t mask)
{
    return static_cast<unsigned>(__builtin_ctzll(mask));
}

// The lowest set bit, or 64 when there is none, without a branch.
inline unsigned firstBitOrEnd(std::uint64_t mask)
{
    return firstBit(mask | (std::uint64_t { 1 } << (window - 1))) + (mask == 0 ? 1U : 0U);
}

// The highest set bit; the mask is not empty.
inline unsigned lastBit(std::uint64_t mask)
{
    return window - 1 - static_cast<unsigned>(__builtin_clzll(mask));
}

// The lowest set bit alone, or 0.
constexpr std::uint64_t lowestBit(std::uint64_t mask)
{
    return mask & (0 - mask);
}

// Where the stripper stands between two windows of input.
struct StripState
{
    std::size_t heldSpaces = 0; // spaces after the last text of an unfinished run
    bool insideTag = false;
    bool lineOpen = false; // a line has begun and its line end is still owed
    bool runHasText = false; // the unfinished run has had text other than spaces
    bool lfEndsPreviousLine = false; // the last byte was a CR: an LF next is its pair
};

// Fills each run of set bits of `runs` upward from the lowest bit of `starts` in it, through the
// run and the clear bit just above it. Adding a start bit to a run of ones clears the run and
// carries one bit past its top: the bits that flip are the fill. `carriedOut` tells whether a
// fill ran past bit 63.
constexpr std::uint64_t fillUp(std::uint64_t starts, std::uint64_t runs, bool &carriedOut)
{
    const std::uint64_t sum = runs + starts;
    carriedOut = sum < runs;
    return (sum ^ runs) | starts;
}

} // namespace

class TagStripper::Stripper
{
public:
    Stripper(TextSink &sink, LineEnd lineEnd)
        : m_out(sink)
        , m_lineEnd(lineEndText(lineEnd))
        , m_scan(windowScanner())
    { }

    bool feed(std::string_view bytes)
    {
        if (bytes.empty())
            return !m_out.failed();
        // Whole windows are scanned straight from the caller's bytes, as long as a short piece
        // copied from them cannot run past their end; the rest goes through a zero-padded copy.
        const std::size_t direct
            = bytes.size() < shortPiece ? 0 : (bytes.size() - shortPiece) / window * window;
        consume(bytes.data(), direct);
        const std::size_t rest = bytes.size() - direct;
        std::memcpy(m_tail.data(), bytes.data() + direct, rest);
        std::memset(m_tail.data() + rest, 0, m_tail.size() - rest);
        consume(m_tail.data(), rest);
        return !m_out.failed();
    }

    StripOutcome finish()
    {
        if (!m_state.insideTag && m_state.lineOpen)
            m_out.append(m_lineEnd);
        if (!m_out.flush())
            return StripOutcome::SinkFailed;
        return m_state.insideTag ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    }

private:
    // [begin, begin + count) is whole windows, or followed by zero bytes up to a whole window
    // and shortPiece more.
    void consume(const char *begin, std::size_t count)
    {
        const char *const end = begin + count;
        // A local copy, so that the state can live in registers while the block is scanned.
        StripState state = m_state;
        // The masks are made for a group of windows at a time: one call of the scanner, whose
        // best version is only known at run time, per few kilobytes.
        constexpr std::size_t group = 64;
        std::array<WindowMasks, group> masks;
        for (const char *base = begin; base < end;) {
            const auto windows = std::min<std::size_t>(
                group, (static_cast<std::size_t>(end - base) + window - 1) / window);
            m_scan(base, windows, masks.data());
            for (std::size_t i = 0; i < windows; ++i, base += window) {
                const auto length
                    = static_cast<unsigned>(std::min<std::ptrdiff_t>(end - base, window));
                stripWindow(state, base, length, masks[i]);
            }
        }
        m_state = state;
    }

    void stripWindow(StripState &state, const char *base, unsigned length, const WindowMasks &masks)
    {
        const std::uint64_t valid = belowBit(length);

        // A tag runs from a '<' outside a tag up to and including the next '>'; every '<' goes,
        // the first one of a tag and those inside it. The complement of the '>' mask has a run
        // of ones up to each '>', which the openers fill; the padding is no '>', so a tag that is
        // still open at the end of the block carries out of the window.
        bool tagGoesOn = false;
        const std::uint64_t tag
            = fillUp(masks.open | (state.insideTag ? 1U : 0U), ~masks.close, tagGoesOn)
            | masks.open;
        state.insideTag = tagGoesOn;
        const std::uint64_t outside = valid & ~tag;

        // Line ends: CR LF, a bare CR and a bare LF each end a line.
        const std::uint64_t cr = masks.cr & outside;
        const std::uint64_t lf = masks.lf & outside;
        const std::uint64_t pairedLf = lf & ((cr << 1) | (state.lfEndsPreviousLine ? 1U : 0U));
        const std::uint64_t lineEnds = cr | (lf & ~pairedLf);
        state.lfEndsPreviousLine = ((cr >> (length - 1)) & 1) != 0;
        const std::uint64_t lineBytes = valid & ~lineEnds & ~pairedLf;
        if (lineEnds == 0)
            state.lineOpen = state.lineOpen || lineBytes != 0;
        else
            state.lineOpen = (lineBytes & ~belowBit(lastBit(lineEnds) + 1)) != 0;

        // Text runs lie between tags and line ends; letters are their bytes other than spaces.
        // The padding counts as a boundary, so a run that reaches the end of the block ends at
        // `length` and goes on in the next block.
        const std::uint64_t text = outside & ~cr & ~lf;
        const std::uint64_t letters = text & ~masks.space;
        const std::uint64_t boundaries = ~text;

        // A run carried over from the previous window: it ends here without more letters (its
        // held spaces were trailing ones), or its letters come first (they were inner ones).
        if (state.runHasText) {
            const unsigned firstBoundary = firstBitOrEnd(boundaries & valid);
            const unsigned firstLetter = firstBitOrEnd(letters);
            if (firstBoundary < firstLetter) {
                state.runHasText = false;
                state.heldSpaces = 0;
            } else if (firstLetter == window) {
                state.heldSpaces += length; // all spaces, and the run goes on
                return;
            }
        }

        unsigned at = 0;
        while (at < window) {
            const std::uint64_t nextLetters = letters & fromBit(at);
            const std::uint64_t nextLineEnds = lineEnds & fromBit(at);
            const std::uint64_t letterBit = lowestBit(nextLetters);
            const std::uint64_t lineEndBit = lowestBit(nextLineEnds);
            // Minus one turns "none" into the highest value: a line end comes first.
            if (lineEndBit - 1 < letterBit - 1) {
                m_out.append(m_lineEnd);
                state.runHasText = false;
                state.heldSpaces = 0;
                at = firstBit(lineEndBit) + 1;
                continue;
            }
            if (letterBit == 0)
                break;
            const unsigned letter = firstBit(letterBit);
            const unsigned runEnd = firstBitOrEnd(boundaries & fromBit(letter));
            const unsigned lastLetter = lastBit(letters & belowBit(runEnd));
            // A run that goes on from the previous window starts at bit 0 with its spaces.
            const unsigned start = state.runHasText ? 0 : letter;
            appendSpaces(std::exchange(state.heldSpaces, 0));
            // Up to a short piece past the run may be read.
            m_out.append({ base + start, lastLetter + 1 - start }, shortPiece);
            const bool goesOn = runEnd >= length;
            state.runHasText = goesOn;
            state.heldSpaces = goesOn ? length - 1 - lastLetter : 0;
            at = runEnd;
        }
    }

    void appendSpaces(std::size_t count)
    {
        static constexpr std::string_view spaces = "                                ";
        for (; count > 0; count -= std::min(count, spaces.size()))
            m_out.append(spaces.substr(0, std::min(count, spaces.size())));
    }

    OutputBuffer<shortPiece> m_out;
    const std::string_view m_lineEnd;
    StripState m_state;
    WindowScanner m_scan;
    // Fewer than a window and a short piece of input, with room for the padding behind them.
    std::array<char, 2 * window + shortPiece> m_tail {};
};

TagStripper::TagStripper(TextSink &sink, LineEnd lineEnd)
    : m_stripper(std::make_unique<Stripper>(sink, lineEnd))
{ }

TagStripper::~TagStripper() = default;

bool TagStripper::feed(std::string_view bytes)
{
    return m_stripper->feed(bytes);
}

StripOutcome TagStripper::finish()
{
    return m_stripper->finish();
}

} // namespace plaintrove::conversion
