#pragma once

// What the readable mode makes of the open and close events of a page (html/OpenElements.h):
// where lines end, which text is preformatted, the markers of list items, and what is never
// shown: script, style, template, what is hidden (the hidden attribute, an inline style of
// display: none) and whatever follows a frameset a browser would use.

#include "ListMarkers.h"
#include "TextLayout.h"
#include "html/Display.h"
#include "html/OpenElements.h"

#include <algorithm>
#include <array>
#include <string>
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
        if (m_hidden != 0)
            return;
        if (m_beforeText)
            beforeText();
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
        if (fromReference && (whiteSpace[0] == '\r' || whiteSpace[0] == '\n'))
            return m_out.preformattedLineBreak();
        if (fromReference)
            return preformattedText(whiteSpace);
        preformattedSpace(whiteSpace);
    }

    void markup() { m_skipLineFeed = m_afterCarriageReturn = false; }

    // Inline, as most tags need no more than this; the rest are out of line.
    [[gnu::always_inline]] std::uint8_t open(const html::Tag &tag)
    {
        constexpr std::uint16_t rules = NeverShown | KeepsSpaces | FramesetNotOk | ListOrFrameset;
        const bool hidden = !tag.endTag && tag.hasAttributes() && html::hiddenByPage(tag);
        if ((tag.kind.flags & rules) == 0 && !hidden) {
            layOut(tag.kind.layout); // the most of tags: no more to them
            return 0;
        }
        return openByRules(tag, hidden);
    }

    [[gnu::always_inline]] void close(const html::OpenElement &element)
    {
        const ElementLayout layout = element.kind.layout;
        if (element.mark == 0) {
            if (laidOutAtTheEnd(layout))
                layOut(layout);
            return;
        }
        closeByRules(element);
    }

    bool failed() const { return m_out.failed(); }

    // Ends the last line; false when the sink failed.
    bool finish() { return m_out.finish(); }

private:
    // A cell and a line break are laid out where they start only.
    static bool laidOutAtTheEnd(ElementLayout layout)
    {
        return layout != ElementLayout::Cell && layout != ElementLayout::Break;
    }

    [[gnu::noinline]] std::uint8_t openByRules(const html::Tag &tag, bool hidden)
    {
        const ElementKind &kind = tag.kind;
        std::uint8_t mark = 0;
        if (hidden) {
            ++m_hidden;
            mark |= hiddenMark;
        }
        if ((kind.flags & (NeverShown | KeepsSpaces | FramesetNotOk)) != 0)
            mark |= openSpecial(tag);
        if (tag.foreign) {
            layOut(kind.layout);
            return mark;
        }
        switch (kind.element) {
        case Element::Ul:
        case Element::Ol:
        case Element::Menu:
        case Element::Dir:
            openList(tag);
            mark |= listMark;
            break;
        case Element::Title:
            ++m_inTitle;
            mark |= titleMark;
            break;
        case Element::Frameset:
            if (m_framesetOk)
                ++m_hidden; // for good: nothing after a frameset is shown
            break;
        default:
            break;
        }
        layOut(mark & listMark ? listLayout() : kind.layout);
        if (kind.element == Element::Li) {
            openItem(tag);
            mark |= itemMark;
        }
        return mark;
    }

    [[gnu::noinline]] void closeByRules(const html::OpenElement &element)
    {
        const ElementLayout layout = element.kind.layout;
        if ((element.mark & itemMark) != 0 && m_hidden == 0 && m_markerCount != 0)
            writeMarkers(true); // an empty item shows its marker alone
        if ((element.mark & listMark) != 0)
            layOut(listLayout());
        else if (laidOutAtTheEnd(layout))
            layOut(layout);
        m_hidden -= (element.mark & hiddenMark) != 0 ? 1 : 0;
        m_preformatted -= (element.mark & preformattedMark) != 0 ? 1 : 0;
        m_inTitle -= (element.mark & titleMark) != 0 ? 1 : 0;
        if ((element.mark & listMark) != 0)
            closeList();
    }

    static constexpr std::uint8_t hiddenMark = 1, preformattedMark = 2, listMark = 4, itemMark = 8,
                                  titleMark = 16;

    struct List
    {
        MarkerStyle style;
        bool reversed;
        std::int64_t next; // the number of the next item
        std::int32_t count = -1; // in m_counts: a reversed list counts down from its items
        bool waiting = false; // its numbers wait for the count: none has been given yet
    };

    // A marker that waits for the item's first text; with `count`, `number` is the item's
    // place in its list, from 0, and its number is known when the list ends.
    struct Marker
    {
        MarkerStyle style;
        std::int64_t number;
        std::int32_t count = -1;
        bool alone = false; // the marker of an empty item: no space after it
    };
    static constexpr std::size_t maxLists = html::OpenElements<ReadableLayout>::maxDepth;

    std::uint8_t openSpecial(const html::Tag &tag)
    {
        const ElementKind &kind = tag.kind;
        std::uint8_t mark = 0;
        if (kind.is(FramesetNotOk))
            m_framesetOk = false;
        if (kind.is(NeverShown)) {
            ++m_hidden;
            mark |= hiddenMark;
        }
        if (!tag.foreign && kind.is(KeepsSpaces)) {
            ++m_preformatted;
            mark |= preformattedMark;
            m_skipLineFeed = kind.is(DropsFirstLineFeed);
        }
        return mark;
    }

    void openList(const html::Tag &tag)
    {
        const bool ordered = tag.kind.element == Element::Ol;
        const std::optional<MarkerStyle> given = styleAttribute(tag);
        List opened { bulletForLevel(m_listDepth + 1), false, 1 };
        if (ordered) {
            opened.style = given && *given < MarkerStyle::Disc ? *given : MarkerStyle::Decimal;
            opened.reversed = tag.attribute("reversed").has_value();
            const std::optional<std::int64_t> start = integerAttribute(tag, "start");
            opened.next = start.value_or(1);
            if (opened.reversed && !start && m_hidden == 0 && m_counts.size() < maxCountedLists) {
                // Its numbers wait for its end, and the text with them (TextLayout::hold()).
                opened.count = static_cast<std::int32_t>(m_counts.size());
                opened.waiting = true;
                m_counts.push_back(0);
                ++m_countingLists;
                m_out.hold();
            }
        } else if (given && *given >= MarkerStyle::Disc) {
            opened.style = *given;
        }
        if (m_listDepth < maxLists)
            m_lists[m_listDepth] = opened;
        ++m_listDepth;
    }

    static std::optional<MarkerStyle> styleAttribute(const html::Tag &tag)
    {
        const std::optional<std::string_view> type = tag.attribute("type");
        return type ? markerStyleOf(*type) : std::nullopt;
    }

    static std::optional<std::int64_t> integerAttribute(const html::Tag &tag, std::string_view name)
    {
        const std::optional<std::string_view> value = tag.attribute(name);
        return value ? parseHtmlInteger(*value) : std::nullopt;
    }

    // A list in a list has no empty lines around it.
    ElementLayout listLayout() const
    {
        return m_listDepth > 1 ? ElementLayout::Line : ElementLayout::Paragraph;
    }

    // An item's marker waits for its first text, on the item's first line.
    void openItem(const html::Tag &tag)
    {
        if (m_hidden != 0)
            return;
        List outside { MarkerStyle::Disc, false, 1 };
        List &list = m_listDepth == 0 ? outside : m_lists[std::min(m_listDepth, maxLists) - 1];
        const std::optional<std::int64_t> value = integerAttribute(tag, "value");
        // Written in its place, field by field: a marker made aside and copied there would
        // wait for its own narrow writes. Past the markers that wait together, it is dropped.
        Marker dropped;
        Marker &marker = m_markerCount < m_markers.size() ? m_markers[m_markerCount++] : dropped;
        marker.style = styleAttribute(tag).value_or(list.style);
        marker.number = value.value_or(list.next);
        marker.count = -1;
        marker.alone = false;
        const std::int64_t place
            = list.count >= 0 ? m_counts[static_cast<std::size_t>(list.count)]++ : 0;
        list.waiting = list.waiting && !value; // from a given value on, the numbers are known
        if (list.waiting) {
            marker.number = place;
            marker.count = list.count;
        } else {
            list.next = list.reversed ? marker.number - 1 : marker.number + 1;
        }
        m_beforeText = true;
    }

    void closeList()
    {
        if (m_listDepth <= maxLists && m_lists[m_listDepth - 1].count >= 0
            && --m_countingLists == 0)
            releaseHeldText();
        --m_listDepth;
    }

    // The text of reversed lists, held until their items were counted, with their numbers.
    void releaseHeldText()
    {
        m_out.release([this](std::uint32_t token) {
            const Marker &marker = m_heldMarkers[token];
            const std::int64_t count = m_counts[static_cast<std::size_t>(marker.count)];
            const std::string_view text
                = listMarker(marker.style, count - marker.number, m_markerText);
            return marker.alone ? text.substr(0, text.size() - 1) : text;
        });
        m_heldMarkers.clear();
        m_counts.clear();
        m_countingLists = 0;
    }

    // Past the limits of what is held: the lists still open are numbered as if they ended here.
    void stopCounting()
    {
        for (std::size_t i = 0; i < std::min(m_listDepth, maxLists); ++i) {
            List &list = m_lists[i];
            list.next = list.waiting ? 0 : list.next; // after n items numbered n down to 1
            list.waiting = false;
            list.count = -1;
        }
        releaseHeldText();
    }

    void writeMarkers(bool emptyItem)
    {
        for (std::size_t i = 0; i < m_markerCount; ++i) {
            Marker &marker = m_markers[i];
            marker.alone = emptyItem && i + 1 == m_markerCount;
            if (marker.count >= 0 && m_out.holding()) {
                m_out.text({}); // the line ends owed before it
                m_heldMarkers.push_back(marker);
                if (m_out.placeholder(static_cast<std::uint32_t>(m_heldMarkers.size() - 1)))
                    continue;
                m_heldMarkers.pop_back();
                for (std::size_t j = i; j < m_markerCount; ++j) { // numbered as the held ones
                    Marker &waiting = m_markers[j];
                    if (waiting.count >= 0)
                        waiting.number
                            = m_counts[static_cast<std::size_t>(waiting.count)] - waiting.number;
                    waiting.count = -1;
                }
                stopCounting();
            }
            std::string_view text = listMarker(marker.style, marker.number, m_markerText);
            if (marker.alone)
                text.remove_suffix(1);
            m_out.text(text);
        }
        m_markerCount = 0;
    }

    // Before the first text: a marker that waits, and no frameset from now on.
    void beforeText()
    {
        if (m_inTitle == 0)
            m_framesetOk = false;
        if (m_markerCount != 0)
            writeMarkers(false);
        m_beforeText = m_framesetOk;
    }

    void preformattedText(std::string_view bytes)
    {
        m_skipLineFeed = m_afterCarriageReturn = false;
        if (m_beforeText)
            beforeText();
        m_out.text(bytes);
    }

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
            const std::size_t run = std::min(whiteSpace.find_first_of("\r\n"), whiteSpace.size());
            preformattedText(whiteSpace.substr(0, run));
            whiteSpace.remove_prefix(run);
        }
    }

    void layOut(ElementLayout layout)
    {
        if (layout == ElementLayout::Inline || m_hidden != 0)
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
    std::size_t m_hidden = 0; // open elements whose text is never shown; one more after a frameset
    std::size_t m_preformatted = 0; // open elements that keep spaces and line breaks
    std::size_t m_inTitle = 0;
    std::size_t m_listDepth = 0; // open ul, ol, menu and dir elements
    std::array<List, maxLists> m_lists; // the innermost maxLists of them
    std::array<Marker, 8> m_markers; // of the items whose first text has not come yet
    std::size_t m_markerCount = 0;
    char m_markerText[48];
    // Reversed lists without a start: their items counted so far, and the markers they wait for.
    static constexpr std::size_t maxCountedLists = 64;
    std::vector<std::int64_t> m_counts;
    std::size_t m_countingLists = 0; // of them open
    std::vector<Marker> m_heldMarkers;
    bool m_beforeText = true; // beforeText() has something to do
    bool m_framesetOk = true; // nothing yet has made a frameset start tag one to ignore
    bool m_skipLineFeed = false; // just after <pre>, <listing> or <textarea>
    bool m_afterCarriageReturn = false; // in preformatted text: an LF next pairs with it
};

} // namespace plaintrove::conversion
