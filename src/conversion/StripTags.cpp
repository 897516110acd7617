#include "StripTags.h"

#include <algorithm>
#include <cstring>
#include <vector>

// The stripper reads the input in large blocks and treats it as a stream of bytes rather than of
// lines. What is left of a line is the concatenation of its text segments (the runs between line
// start, tags and line end), each without its leading and trailing spaces; a line end inside a
// tag belongs to the tag and produces nothing. That gives the same result as working line by
// line, while holding only the two buffers and the number of spaces seen at the end of the
// current segment, which are written only once more text follows them.

namespace plaintrove::conversion {

namespace {

constexpr std::string_view lineEnd = "\r\n";

class OutputBuffer
{
public:
    OutputBuffer(ByteSink &sink, std::size_t capacity)
        : m_sink(sink)
        , m_buffer(capacity)
    { }

    void append(std::string_view bytes)
    {
        if (bytes.size() > m_buffer.size() - m_used) {
            flush();
            if (bytes.size() >= m_buffer.size()) {
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
    std::size_t m_used = 0;
};

// Remembers where the next occurrence of one byte lies in the current block, so that each
// byte of the block is searched at most once per delimiter, however many segments it holds.
class NextOccurrence
{
public:
    explicit NextOccurrence(char wanted)
        : m_wanted(wanted)
    { }

    void reset() { m_known = false; }

    const char *from(const char *position, const char *end)
    {
        if (!m_known || m_next < position) {
            const void *found
                = std::memchr(position, m_wanted, static_cast<std::size_t>(end - position));
            m_next = found ? static_cast<const char *>(found) : end;
            m_known = true;
        }
        return m_next;
    }

private:
    char m_wanted;
    const char *m_next = nullptr;
    bool m_known = false;
};

class Stripper
{
public:
    Stripper(ByteSink &sink, std::size_t bufferSize)
        : m_out(sink, bufferSize)
    { }

    void consume(const char *position, const char *end)
    {
        m_nextOpen.reset();
        m_nextCr.reset();
        m_nextLf.reset();
        while (position < end) {
            if (m_insideTag) {
                const void *close
                    = std::memchr(position, '>', static_cast<std::size_t>(end - position));
                if (!close)
                    return;
                position = static_cast<const char *>(close) + 1;
                m_insideTag = false;
                startSegment();
                continue;
            }
            if (m_lfEndsPreviousLine) {
                m_lfEndsPreviousLine = false;
                if (*position == '\n') {
                    ++position;
                    continue;
                }
            }
            m_lineOpen = true;
            const char *stop = nextDelimiter(position, end);
            writeText(position, stop);
            if (stop == end)
                return;
            position = stop + 1;
            if (*stop == '<') {
                m_insideTag = true;
            } else {
                m_out.append(lineEnd);
                m_lineOpen = false;
                m_lfEndsPreviousLine = *stop == '\r';
                startSegment();
            }
        }
    }

    StripOutcome finish()
    {
        if (!m_insideTag && m_lineOpen)
            m_out.append(lineEnd);
        m_out.flush();
        return m_insideTag ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    }

private:
    const char *nextDelimiter(const char *position, const char *end)
    {
        return std::min({ m_nextOpen.from(position, end), m_nextCr.from(position, end),
            m_nextLf.from(position, end) });
    }

    void startSegment()
    {
        m_segmentHasText = false;
        m_heldSpaces = 0;
    }

    // Writes a run of segment text that holds no delimiter. Leading spaces of a segment are
    // dropped at once; trailing ones are held back until text follows them in the segment.
    void writeText(const char *begin, const char *end)
    {
        if (!m_segmentHasText) {
            while (begin < end && *begin == ' ')
                ++begin;
            if (begin == end)
                return;
            m_segmentHasText = true;
        }
        const char *textEnd = end;
        while (textEnd > begin && textEnd[-1] == ' ')
            --textEnd;
        if (textEnd > begin) {
            m_out.appendSpaces(m_heldSpaces);
            m_heldSpaces = 0;
            m_out.append({ begin, static_cast<std::size_t>(textEnd - begin) });
        }
        m_heldSpaces += static_cast<std::size_t>(end - textEnd);
    }

    OutputBuffer m_out;
    NextOccurrence m_nextOpen { '<' };
    NextOccurrence m_nextCr { '\r' };
    NextOccurrence m_nextLf { '\n' };
    std::size_t m_heldSpaces = 0;
    bool m_insideTag = false;
    bool m_lineOpen = false; // a line has begun and its line end is still owed
    bool m_segmentHasText = false; // the current segment's leading spaces are behind us
    bool m_lfEndsPreviousLine = false; // the last line ended in CR: a following LF is its pair
};

} // namespace

StripOutcome StripTags(ByteSource &input, ByteSink &output, std::size_t bufferSize)
{
    bufferSize = std::max<std::size_t>(bufferSize, 1);
    std::vector<char> block(bufferSize);
    Stripper stripper(output, bufferSize);
    for (;;) {
        const std::size_t count = input.read(block);
        if (count == 0)
            break;
        stripper.consume(block.data(), block.data() + count);
    }
    return stripper.finish();
}

} // namespace plaintrove::conversion
