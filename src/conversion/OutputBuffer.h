#pragma once

// Gathers the many short pieces of text a stripper makes into large writes to its sink.

#include "TextSink.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace plaintrove::conversion {

// A piece up to `shortPiece` long, with that many bytes readable from its start, is copied in
// one fixed-size move.
template <std::size_t shortPiece> class OutputBuffer
{
public:
    explicit OutputBuffer(TextSink &sink)
        : m_sink(sink)
        , m_buffer(std::make_unique_for_overwrite<char[]>(capacity + shortPiece))
    { }

    // `readable` bytes from the start of `bytes` may be read, however few of them it holds.
    void append(std::string_view bytes, std::size_t readable = 0)
    {
        if (bytes.size() > capacity - m_used)
            return appendAfterFlush(bytes);
        if (bytes.size() <= shortPiece && readable >= shortPiece)
            std::memcpy(m_buffer.get() + m_used, bytes.data(), shortPiece); // a constant: inline
        else
            std::memcpy(m_buffer.get() + m_used, bytes.data(), bytes.size());
        m_used += bytes.size();
    }

    // False once the sink has refused a write.
    bool flush()
    {
        if (m_used > 0 && !m_failed)
            m_failed = !m_sink.write({ m_buffer.get(), m_used });
        m_used = 0;
        return !m_failed;
    }

    bool failed() const { return m_failed; }

private:
    static constexpr std::size_t capacity = 256 * 1024;

    // Rare, and kept out of the short path above, which runs for every word.
    void appendAfterFlush(std::string_view bytes)
    {
        if (flush() && bytes.size() > capacity)
            m_failed = !m_sink.write(bytes);
        else if (!m_failed)
            append(bytes);
    }

    TextSink &m_sink;
    // Not zeroed: a batch makes one for each file, and only written bytes are read.
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    bool m_failed = false;
};

} // namespace plaintrove::conversion
