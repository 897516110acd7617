#pragma once

// What the readable mode makes of the open and close events of a page (html/OpenElements.h):
// where lines end, which text is preformatted, and what is never shown.

#include "TextLayout.h"
#include "html/OpenElements.h"

#include <utility>

namespace plaintrove::conversion {

class ReadableLayout
{
public:
    ReadableLayout(TextSink &sink, LineEnd lineEnd)
        : m_out(sink, lineEnd)
    { }

    void text(std::string_view bytes, std::size_t readable)
    {
        m_skipLineFeed = m_afterCarriageReturn = false;
        if (m_hidden == 0)
            m_out.text(bytes, readable);
    }

    void space(std::string_view whiteSpace, bool fromReference)
    {
        if (fromReference) {
            m_afterCarriageReturn = false;
            // A line feed written as a reference is dropped after <pre> too.
            if (std::exchange(m_skipLineFeed, false) && whiteSpace == "\n")
                return;
        }
        if (m_hidden != 0)
            return;
        if (m_preformatted == 0)
            return m_out.space();
        if (fromReference)
            return whiteSpace[0] == '\r' || whiteSpace[0] == '\n' ? m_out.preformattedLineBreak()
                                                                  : m_out.text(whiteSpace);
        preformattedSpace(whiteSpace);
    }

    void markup() { m_skipLineFeed = m_afterCarriageReturn = false; }

    std::uint8_t open(const html::Tag &tag)
    {
        const ElementKind kind = tag.kind;
        if ((kind.flags & (NeverShown | KeepsSpaces)) == 0) {
            layOut(kind.layout);
            return 0;
        }
        std::uint8_t mark = 0;
        if (kind.is(NeverShown)) {
            ++m_hidden;
            mark |= hidden;
        }
        layOut(kind.layout);
        if (!tag.foreign && kind.is(KeepsSpaces)) {
            ++m_preformatted;
            mark |= preformatted;
            m_skipLineFeed = kind.is(DropsFirstLineFeed);
        }
        return mark;
    }

    void close(const html::OpenElement &element)
    {
        const ElementLayout layout = element.kind.layout;
        layOut(layout == ElementLayout::Cell || layout == ElementLayout::Break
                ? ElementLayout::Inline
                : layout);
        m_hidden -= (element.mark & hidden) != 0 ? 1 : 0;
        m_preformatted -= (element.mark & preformatted) != 0 ? 1 : 0;
    }

    bool failed() const { return m_out.failed(); }

    // Ends the last line; false when the sink failed.
    bool finish() { return m_out.finish(); }

private:
    static constexpr std::uint8_t hidden = 1, preformatted = 2;

    // CR LF, CR and LF each break a line; a line break just after the start tag is dropped.
    void preformattedSpace(std::string_view whiteSpace)
    {
        while (!whiteSpace.empty()) {
            const char c = whiteSpace[0];
            if (c == '\r' || c == '\n') {
                const bool pairedLineFeed = c == '\n' && m_afterCarriageReturn;
                m_afterCarriageReturn = c == '\r';
                if (!pairedLineFeed && !m_skipLineFeed)
                    m_out.preformattedLineBreak();
                m_skipLineFeed = false; // the LF of a CR LF pairs with the CR all the same
                whiteSpace.remove_prefix(1);
                continue;
            }
            m_skipLineFeed = m_afterCarriageReturn = false;
            const std::size_t run = std::min(whiteSpace.find_first_of("\r\n"), whiteSpace.size());
            m_out.text(whiteSpace.substr(0, run));
            whiteSpace.remove_prefix(run);
        }
    }

    void layOut(ElementLayout layout)
    {
        if (m_hidden != 0)
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

    TextLayout m_out;
    std::size_t m_hidden = 0; // open elements whose text is never shown
    std::size_t m_preformatted = 0; // open elements that keep spaces and line breaks
    bool m_skipLineFeed = false; // just after <pre>, <listing> or <textarea>
    bool m_afterCarriageReturn = false; // in preformatted text: an LF next pairs with it
};

} // namespace plaintrove::conversion
