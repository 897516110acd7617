#include "StripTags.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The stripper treats its input as a stream of bytes rather than of lines. What is left of a line
// is the concatenation of its text runs (between line start, tags and line end), each without
// its leading and trailing spaces; a line end inside a tag belongs to the tag and yields
// nothing. That is the same result as working line by line, while holding only the two buffers
// and the number of spaces seen at the end of the current run, which are written only once more
// text follows them in the same run.
//
// The input is scanned in windows of 64 bytes: one pass marks the tag openings, the tag ends,
// the line ends and the spaces of the window in four bit masks, and the stripper then jumps
// from one marked byte to the next. Typical HTML has a tag every couple of dozen bytes, so
// finding them is most of the work.

namespace plaintrove::conversion {

namespace {

constexpr std::string_view lineEnd = "\r\n";

// Reads and writes may run this far past the bytes that count (never past the allocation): the
// scanner loads whole windows and the writer copies short pieces in one fixed-size move.
constexpr std::size_t window = 64;
constexpr std::size_t shortPiece = 32;

struct WindowMasks
{
    std::uint64_t open; // '<'
    std::uint64_t close; // '>'
    std::uint64_t lineEnd; // CR, LF
    std::uint64_t space; // ' ', the only character trimmed
};

#if defined(__SSE2__)
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
    WindowMasks masks { 0, 0, 0, 0 };
    for (unsigned part = 0; part < window / 16; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * part));
        masks.open |= bits(_mm_cmpeq_epi8(v, open), part);
        masks.close |= bits(_mm_cmpeq_epi8(v, close), part);
        masks.lineEnd |= bits(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), part);
        masks.space |= bits(_mm_cmpeq_epi8(v, space), part);
    }
    return masks;
}
#else
WindowMasks scanWindow(const char *bytes)
{
    WindowMasks masks { 0, 0, 0, 0 };
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
        case '\n':
            masks.lineEnd |= bit;
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

class OutputBuffer
{
public:
    OutputBuffer(ByteSink &sink, std::size_t capacity)
        : m_sink(sink)
        , m_buffer(capacity + shortPiece)
        , m_capacity(capacity)
    { }

    // `bytes` may be read up to shortPiece bytes past `count`.
    void appendPadded(const char *bytes, std::size_t count)
    {
        if (count <= shortPiece && count <= m_capacity - m_used) {
            std::memcpy(m_buffer.data() + m_used, bytes, shortPiece);
            m_used += count;
            return;
        }
        append({ bytes, count });
    }

    void appendLineEnd()
    {
        if (m_capacity - m_used < lineEnd.size())
            return append(lineEnd);
        m_buffer[m_used] = '\r';
        m_buffer[m_used + 1] = '\n';
        m_used += 2;
    }

    void append(std::string_view bytes)
    {
        if (bytes.size() > m_capacity - m_used) {
            flush();
            if (bytes.size() >= m_capacity) {
                m_sink.write(bytes);
                return;
            }
        }
        std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
        m_used += bytes.size();
    }

    void appendSpaces(std::size_t count)
    {
        static constexpr std::string_view spaces = "                                ";
        while (count > 0) {
            const std::size_t chunk = std::min(count, spaces.size());
            append(spaces.substr(0, chunk));
            count -= chunk;
        }
    }

    void flush()
    {
        if (m_used == 0)
            return;
        m_sink.write({ m_buffer.data(), m_used });
        m_used = 0;
    }

private:
    ByteSink &m_sink;
    std::vector<char> m_buffer;
    std::size_t m_capacity;
    std::size_t m_used = 0;
};

// Where the stripper stands between two blocks of input.
struct StripState
{
    std::size_t heldSpaces = 0;
    bool insideTag = false;
    bool lineOpen = false; // a line has begun and its line end is still owed
    bool runHasText = false; // the current run's leading spaces are behind us
    bool lfEndsPreviousLine = false; // the last block ended in CR: an LF next is its pair
};

class Stripper
{
public:
    Stripper(ByteSink &sink, std::size_t bufferSize)
        : m_out(sink, bufferSize)
    { }

    // [begin, end) is followed by at least `window` readable zero bytes.
    void consume(const char *begin, const char *end)
    {
        // A local copy, so that the state can live in registers while the block is scanned.
        StripState state = m_state;
        const char *position = begin;
        if (state.lfEndsPreviousLine) {
            state.lfEndsPreviousLine = false;
            if (*position == '\n')
                ++position;
        }
        for (const char *base = begin; base < end; base += window) {
            if (position >= base + window)
                continue;
            const auto length = static_cast<unsigned>(std::min<std::ptrdiff_t>(end - base, window));
            const WindowMasks masks = scanWindow(base);
            auto at = static_cast<unsigned>(std::max(position, base) - base);
            // One turn: a text run up to its end, then, if a tag ends it, the tag. Only the first
            // turn of a window can begin inside a tag.
            while (at < length) {
                if (!state.insideTag) {
                    // The padding is zeros, so no delimiter is found past `length`.
                    const std::uint64_t ends = (masks.open | masks.lineEnd) & fromBit(at);
                    const unsigned stop
                        = ends == 0 ? length : static_cast<unsigned>(std::countr_zero(ends));
                    writeText(state, base, at, stop, masks.space);
                    if (ends == 0) {
                        at = length;
                        break;
                    }
                    at = stop + 1;
                    if (((masks.open >> stop) & 1) == 0) {
                        m_out.appendLineEnd();
                        state.lineOpen = false;
                        startRun(state);
                        if (base[stop] == '\r') {
                            if (base + at == end)
                                state.lfEndsPreviousLine = true;
                            else if (base[at] == '\n')
                                ++at; // may step into the next window
                        }
                        continue;
                    }
                    state.lineOpen = true;
                    state.insideTag = true;
                    if (at == window)
                        break;
                }
                const std::uint64_t close = masks.close & fromBit(at);
                if (close == 0) {
                    at = length;
                    break;
                }
                at = static_cast<unsigned>(std::countr_zero(close)) + 1;
                state.insideTag = false;
                startRun(state);
            }
            position = base + at;
        }
        m_state = state;
    }

    StripOutcome finish()
    {
        if (!m_state.insideTag && m_state.lineOpen)
            m_out.appendLineEnd();
        m_out.flush();
        return m_state.insideTag ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    }

private:
    static void startRun(StripState &state)
    {
        state.runHasText = false;
        state.heldSpaces = 0;
    }

    // Writes the piece [first, last) of a text run within the window at `base`. Leading spaces of
    // a run are dropped at once; trailing ones are held back until more text of the same run
    // follows them. Pieces without text are common (indentation, tags side by side), and which
    // piece has text is hard to foresee, so both kinds take the same path.
    void writeText(
        StripState &state, const char *base, unsigned first, unsigned last, std::uint64_t spaces)
    {
        const std::uint64_t text = ~spaces & fromBit(first) & belowBit(last);
        const bool hasText = text != 0;
        state.lineOpen = state.lineOpen || first != last;
        if (hasText && state.heldSpaces > 0) {
            m_out.appendSpaces(state.heldSpaces);
            state.heldSpaces = 0;
        }
        const unsigned textEnd
            = hasText ? window - static_cast<unsigned>(std::countl_zero(text)) : first;
        const unsigned textStart
            = state.runHasText || !hasText ? first : static_cast<unsigned>(std::countr_zero(text));
        m_out.appendPadded(base + textStart, textEnd - textStart);
        const std::size_t spacesAfter = hasText ? 0 : state.heldSpaces;
        state.heldSpaces = state.runHasText || hasText ? spacesAfter + (last - textEnd) : 0;
        state.runHasText = state.runHasText || hasText;
    }

    OutputBuffer m_out;
    StripState m_state;
};

} // namespace

StripOutcome StripTags(ByteSource &input, ByteSink &output, std::size_t bufferSize)
{
    bufferSize = std::max<std::size_t>(bufferSize, 1);
    // Zeroed padding behind the bytes read: whole windows can be scanned and short pieces
    // copied without a bounds check, and a zero byte is no delimiter and no space.
    std::vector<char> block(bufferSize + window);
    Stripper stripper(output, bufferSize);
    for (;;) {
        const std::size_t count = input.read({ block.data(), bufferSize });
        if (count == 0)
            break;
        std::memset(block.data() + count, 0, window);
        stripper.consume(block.data(), block.data() + count);
    }
    return stripper.finish();
}

} // namespace plaintrove::conversion
