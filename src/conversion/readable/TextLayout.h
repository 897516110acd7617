#pragma once

// Lays out the text of a page as the readable stripper finds it: a run of white space becomes
// one space, but none at the start or the end of a line; block elements end lines, with at most
// one empty line in a row; preformatted text keeps its spaces and line breaks. Line ends are
// owed rather than written, so that nothing trails the last line but its own line end.

#include "OutputBuffer.h"
#include "TextSink.h"

#include <algorithm>
#include <string_view>

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
            m_out.append(bytes, readable);
            m_started = true;
            return;
        }
        textAfterBreaks(bytes);
    }

    // Shown bytes after the line ends or the gap owed before them.
    void textAfterBreaks(std::string_view bytes)
    {
        if (m_owedLines > 0) {
            for (; m_owedLines > 0; --m_owedLines)
                m_out.append(m_lineEnd);
        } else if (m_gap != 0 && m_started) {
            m_out.append({ &m_gap, 1 });
        }
        m_gap = 0;
        m_started = true;
        m_out.append(bytes);
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

    // Ends the last line and hands everything to the sink; false when the sink failed.
    bool finish()
    {
        if (m_started)
            m_out.append(m_lineEnd);
        m_started = false;
        m_owedLines = 0;
        return m_out.flush();
    }

    bool failed() const { return m_out.failed(); }

private:
    OutputBuffer<16> m_out; // a word is seldom longer
    const std::string_view m_lineEnd;
    int m_owedLines = 0; // line ends to write before the next text
    char m_gap = 0; // ' ' or '\t' to write before the next text on the same line
    bool m_started = false; // some text was written
};

} // namespace plaintrove::conversion
