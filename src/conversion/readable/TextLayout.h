#pragma once

// Lays out the text of a page as the readable stripper finds it: a run of white space becomes
// one space, but none at the start or the end of a line; block elements end lines, with at most
// one empty line in a row; preformatted text keeps its spaces and line breaks. Line ends are
// owed rather than written, so that nothing trails the last line but its own line end.

#include "OutputBuffer.h"
#include "TextSink.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plaintrove::conversion {

class TextLayout
{
public:
    TextLayout(TextSink &sink, LineEnd lineEnd)
        : m_out(sink)
        , m_lineEnd(lineEndText(lineEnd))
    { }

    // Shown bytes; outside preformatted text they hold no white space. `readable` bytes from
    // the start of `bytes` may be read, which lets a short piece be copied in one fixed move.
    void text(std::string_view bytes, std::size_t readable = 0)
    {
        if (m_owedLines == 0 && m_gap == 0) {
            append(bytes, readable);
            m_started = true;
            return;
        }
        textAfterBreaks(bytes);
    }

    // White space between words.
    void space()
    {
        if (m_gap == 0)
            m_gap = ' ';
    }

    // Between two table cells on a line.
    void cellGap() { m_gap = '\t'; }

    // A line break of preformatted text: empty lines are kept.
    void preformattedLineBreak()
    {
        if (m_started)
            ++m_owedLines;
    }

    // A block element starts or ends: `lines` is 1 to end the line, 2 for an empty line too.
    void blockBreak(int lines)
    {
        if (m_started)
            m_owedLines = std::max(std::min(m_owedLines, 2), lines);
    }

    // <br>: ends the line, or makes an empty one.
    void lineBreak()
    {
        if (m_started)
            m_owedLines = std::min(m_owedLines + 1, 2);
    }

    // From now until release(), text is held instead of written, up to `holdLimit` bytes and
    // `placeholderLimit` placeholders: what it needs is only known later (the numbers of a
    // reversed list are counted from its end).
    static constexpr std::size_t holdLimit = 1 << 20, placeholderLimit = 4096;
    void hold() { m_holding = true; }
    bool holding() const { return m_holding; }
    // Room for a text that release() asks for; false when the limits are reached.
    bool placeholder(std::uint32_t token)
    {
        if (m_held.size() > holdLimit || m_placeholders.size() >= placeholderLimit)
            return false;
        m_placeholders.push_back({ m_held.size(), token });
        return true;
    }
    // Writes what was held, each placeholder filled with fill(token).
    template <typename Fill> void release(Fill fill)
    {
        m_holding = false;
        std::size_t written = 0;
        for (const auto &[offset, token] : m_placeholders) {
            m_out.append(std::string_view(m_held).substr(written, offset - written));
            m_out.append(fill(token));
            written = offset;
        }
        m_out.append(std::string_view(m_held).substr(written));
        m_held.clear();
        m_held.shrink_to_fit();
        m_placeholders.clear();
    }

    // Ends the last line and hands everything to the sink; false when the sink failed.
    bool finish()
    {
        if (m_started)
            append(m_lineEnd);
        m_started = false;
        m_owedLines = 0;
        return m_out.flush();
    }

    bool failed() const { return m_out.failed(); }

private:
    // Shown bytes after the line ends or the gap owed before them.
    void textAfterBreaks(std::string_view bytes)
    {
        if (m_owedLines > 0) {
            for (; m_owedLines > 0; --m_owedLines)
                append(m_lineEnd);
        } else if (m_gap != 0 && m_started) {
            append({ &m_gap, 1 });
        }
        m_gap = 0;
        m_started = true;
        append(bytes);
    }

    void append(std::string_view bytes, std::size_t readable = 0)
    {
        if (m_holding) [[unlikely]]
            m_held.append(bytes);
        else
            m_out.append(bytes, readable);
    }

    OutputBuffer<16> m_out; // a word is seldom longer
    bool m_holding = false;
    std::string m_held;
    struct Placeholder
    {
        std::size_t offset; // in m_held
        std::uint32_t token;
    };
    std::vector<Placeholder> m_placeholders;
    const std::string_view m_lineEnd;
    int m_owedLines = 0; // line ends to write before the next text
    char m_gap = 0; // ' ' or '\t' to write before the next text on the same line
    bool m_started = false; // some text was written
};

} // namespace plaintrove::conversion
