#pragma once

// The stack of open elements: turns the tokenizer's tags into balanced open and close events,
// closing what a page leaves open as HTML's tree builder does.
//
// How to use it: a consumer, a class with these members, sits behind it; the stack is the
// tokenizer's sink (HtmlTokenizer.h), and hands text on as it comes:
//
//     HtmlTokenizer<OpenElements<Consumer>> tokenizer(elements); // OpenElements elements(consumer)
//
//     std::uint8_t open(const html::Tag &tag);
//         An element starts. What it returns is kept with the element and given back by close().
//         For the p that an unmatched </p> makes, and the br of a </br>, `tag` is that end tag.
//     void close(const html::OpenElement &element);
//         (element.kind says what it is; element.nameKey tells apart elements of unknown names.)
//         An element ends: every element opened is closed once, innermost first, the last ones
//         by finish().
//     void text(std::string_view bytes, std::size_t readable);
//     void space(std::string_view whiteSpace, bool fromReference);
//         As the tokenizer reports them, inside the innermost open element.
//     void markup();
//         A tag, comment or doctype came, whether or not it opened or closed anything.
//     bool failed() const;
//
// What it applies: a start tag of a block closes an open p; li, dd and dt close their open
// siblings, option the option before it; a cell, row or section of a table closes the cell or
// row open in that table; an end tag closes its element only when it is in scope, with every
// element opened inside it, and is otherwise ignored; </p> alone makes an empty p, </br> a br;
// void elements close at once; svg and math elements close when the tokenizer leaves them. An
// end tag of a, b, i and the like that would cross a block is left alone (a browser reopens the
// element inside the block instead); whatever opens past `maxDepth` closes at once. Elements
// are told apart by name, not by namespace, but for the svg and math ones the tokenizer marks.

#include "Tag.h"

#include <array>

namespace plaintrove::conversion::html {

struct OpenElement
{
    ElementKind kind; // of the HTML element by that name
    bool foreign = false; // an svg or MathML element
    std::uint8_t mark = 0; // the consumer's, from open()
    std::uint32_t nameKey = 0; // for an element of no known name, a hash of its name
};

template <typename Consumer> class OpenElements
{
public:
    static constexpr std::size_t maxDepth = 512;

    explicit OpenElements(Consumer &consumer)
        : m_consumer(consumer)
    { }

    void text(std::string_view bytes, std::size_t readable) { m_consumer.text(bytes, readable); }
    void space(std::string_view whiteSpace, bool fromReference)
    {
        m_consumer.space(whiteSpace, fromReference);
    }
    void markup() { m_consumer.markup(); }
    bool failed() const { return m_consumer.failed(); }
    bool inForeignContent() const { return m_foreign > 0 && top().foreign; }

    // Inline where the tokenizer reports a tag, which saves a call on every tag; the rules
    // that only some tags need stay out of line.
    [[gnu::always_inline]] void tag(const Tag &tag)
    {
        m_consumer.markup();
        if (tag.foreign)
            return tag.endTag ? foreignEndTag(tag) : push(tag, tag.selfClosing);
        if (m_foreign > 0)
            leaveForeignContent();
        if (!tag.endTag) {
            if ((tag.kind.flags & (ClosesParagraph | ImpliedEnd | Special)) == 0)
                return push(tag, false); // an inline element, and any unknown one
            return startTag(tag);
        }
        // Most end tags close the current element: whatever the rules, that is what they do.
        if (m_depth > 0 && sameName(top(), tag) && tag.kind.element != Element::Body
            && tag.kind.element != Element::Html)
            return pop();
        endTag(tag);
    }

    // Closes every element still open.
    void finish() { popTo(0); }

private:
    enum class Scope { Default, ListItem, Button, Table };

    const OpenElement &top() const { return m_stack[m_depth - 1]; }
    Element topElement() const
    {
        return m_depth > 0 && !top().foreign ? top().kind.element : Element::Other;
    }

    // Inline, as for most tags it is all there is to do: the counts are made before open(),
    // which could otherwise change what they are read from.
    [[gnu::always_inline]] void push(const Tag &tag, bool closesAtOnce)
    {
        // Made in its place, one past the top, and field by field as the tokenizer wrote the
        // tag's just now: a copy of freshly written memory in wider pieces stalls.
        OpenElement &element = m_stack[m_depth];
        element.kind.layout = tag.kind.layout;
        element.kind.content = tag.kind.content;
        element.kind.element = tag.kind.element;
        element.kind.flags = tag.kind.flags;
        element.foreign = tag.foreign;
        element.nameKey = tag.kind.element == Element::Other ? tag.nameHash() : 0;
        const bool stays = !closesAtOnce && m_depth < maxDepth;
        if (stays) {
            ++m_depth;
            m_open[static_cast<std::size_t>(tag.kind.element)] += tag.foreign ? 0U : 1U;
            m_foreign += tag.foreign ? 1U : 0U;
        }
        element.mark = m_consumer.open(tag);
        if (!stays)
            m_consumer.close(element);
    }

    [[gnu::always_inline]] void pop()
    {
        const OpenElement &element = m_stack[--m_depth];
        m_open[index(element)] -= element.foreign ? 0U : 1U;
        m_foreign -= element.foreign ? 1U : 0U;
        m_consumer.close(element);
    }

    // A tag that is not read as svg or MathML closes the svg and MathML elements open on top.
    void leaveForeignContent()
    {
        while (m_foreign > 0 && top().foreign)
            pop();
    }

    static std::size_t index(const OpenElement &element)
    {
        return static_cast<std::size_t>(element.kind.element);
    }

    bool isOpen(Element element) const { return m_open[static_cast<std::size_t>(element)] != 0; }

    void popTo(std::size_t depth)
    {
        while (m_depth > depth)
            pop();
    }

    static bool sameName(const OpenElement &element, const Tag &tag)
    {
        return element.kind.element == tag.kind.element
            && (tag.kind.element != Element::Other || element.nameKey == tag.nameHash());
    }

    static bool isHeading(Element element)
    {
        return element >= Element::H1 && element <= Element::H6;
    }

    bool boundary(const OpenElement &element, Scope scope) const
    {
        if (element.foreign)
            return element.kind.is(ForeignScopeBoundary);
        const Element name = element.kind.element;
        switch (scope) {
        case Scope::Table:
            return name == Element::Html || name == Element::Table || name == Element::Template;
        case Scope::ListItem:
            return element.kind.is(ScopeBoundary) || name == Element::Ol || name == Element::Ul;
        case Scope::Button:
            return element.kind.is(ScopeBoundary) || name == Element::Button;
        case Scope::Default:
            break;
        }
        return element.kind.is(ScopeBoundary);
    }

    // The depth below the innermost HTML element that `matches`, if it is in `scope`; else 0.
    template <typename Matches> std::size_t inScope(Matches matches, Scope scope) const
    {
        for (std::size_t i = m_depth; i > 0; --i) {
            const OpenElement &element = m_stack[i - 1];
            if (!element.foreign && matches(element.kind.element))
                return i;
            if (boundary(element, scope))
                return 0;
        }
        return 0;
    }

    std::size_t inScope(Element wanted, Scope scope) const
    {
        if (!isOpen(wanted))
            return 0; // the usual case, found without a look at the stack
        return inScope([wanted](Element element) { return element == wanted; }, scope);
    }

    void closeParagraph() { closeIfInScope(inScope(Element::P, Scope::Button)); }

    // An li closes the li open around it, a dd or dt the dd or dt, unless a block other than
    // address, div and p lies between.
    void closeListItem(bool definition)
    {
        if (definition ? !isOpen(Element::Dd) && !isOpen(Element::Dt) : !isOpen(Element::Li))
            return;
        for (std::size_t i = m_depth; i > 0; --i) {
            const OpenElement &element = m_stack[i - 1];
            const Element name = element.kind.element;
            if (definition ? name == Element::Dd || name == Element::Dt : name == Element::Li)
                return popTo(i - 1);
            if (element.kind.is(Special) && name != Element::Address && name != Element::Div
                && name != Element::P)
                return;
        }
    }

    // Before a part of a table: the open cell closes, and every part that cannot hold `part`.
    void clearTable(Element part)
    {
        if (inScope(Element::Table, Scope::Table) == 0)
            return; // in a template
        const auto isCell = [](Element name) { return name == Element::Td || name == Element::Th; };
        if (isOpen(Element::Td) || isOpen(Element::Th)) {
            closeIfInScope(inScope(isCell, Scope::Table));
        }
        const bool cell = part == Element::Td || part == Element::Th;
        const bool row = cell || part == Element::Tr;
        // Down to what can hold `part`, or to the table, which is in scope below.
        for (;;) {
            const Element name = topElement();
            if (name == Element::Table
                || (row
                    && (name == Element::Tbody || name == Element::Thead || name == Element::Tfoot))
                || (cell && name == Element::Tr))
                return;
            pop();
        }
    }

    // A start tag of an element that may close others.
    [[gnu::noinline]] void startTag(const Tag &tag)
    {
        const Element name = tag.kind.element;
        if ((name == Element::Html || name == Element::Body || name == Element::Head)
            && isOpen(name))
            return; // a second one adds nothing
        if (tag.kind.is(ClosesParagraph))
            closeParagraph();
        switch (name) {
        case Element::H1:
        case Element::H2:
        case Element::H3:
        case Element::H4:
        case Element::H5:
        case Element::H6:
            if (isHeading(topElement()))
                pop();
            break;
        case Element::Li:
        case Element::Dd:
        case Element::Dt:
            closeListItem(name != Element::Li);
            closeParagraph();
            break;
        case Element::Option:
        case Element::Optgroup:
            if (topElement() == Element::Option)
                pop();
            break;
        case Element::Td:
        case Element::Th:
        case Element::Tr:
        case Element::Tbody:
        case Element::Thead:
        case Element::Tfoot:
        case Element::Caption:
        case Element::Colgroup:
            if (inScope(Element::Table, Scope::Table) == 0 && !isOpen(Element::Template))
                return; // outside a table, HTML ignores a table's parts
            clearTable(name);
            break;
        case Element::Button:
            closeIfInScope(inScope(Element::Button, Scope::Default));
            break;
        default:
            break;
        }
        push(tag, tag.kind.is(Void));
    }

    [[gnu::noinline]] void endTag(const Tag &tag)
    {
        const Element name = tag.kind.element;
        switch (name) {
        case Element::Html:
        case Element::Body:
            return; // what follows is still part of the body
        case Element::P:
            if (inScope(Element::P, Scope::Button) == 0)
                return push(tag, true);
            return closeParagraph();
        case Element::Br:
            return push(tag, true);
        case Element::Template: // closes the innermost template, whatever is open inside it
            for (std::size_t i = m_depth; i > 0; --i) {
                if (!m_stack[i - 1].foreign && m_stack[i - 1].kind.element == Element::Template)
                    return popTo(i - 1);
            }
            return;
        case Element::Li:
            return closeIfInScope(inScope(Element::Li, Scope::ListItem));
        case Element::H1:
        case Element::H2:
        case Element::H3:
        case Element::H4:
        case Element::H5:
        case Element::H6:
            return closeIfInScope(inScope(isHeading, Scope::Default));
        case Element::Td:
        case Element::Th:
        case Element::Tr:
        case Element::Tbody:
        case Element::Thead:
        case Element::Tfoot:
        case Element::Table:
        case Element::Caption:
        case Element::Colgroup:
            return closeIfInScope(inScope(name, Scope::Table));
        default:
            break;
        }
        if (tag.kind.is(Formatting))
            return formattingEndTag(tag);
        if (tag.kind.is(Special) && name != Element::Other)
            return closeIfInScope(inScope(name, Scope::Default));
        otherEndTag(tag);
    }

    void closeIfInScope(std::size_t at)
    {
        if (at != 0)
            popTo(at - 1);
    }

    // An end tag closes the innermost element by its name unless a block lies between.
    void formattingEndTag(const Tag &tag)
    {
        for (std::size_t i = m_depth; i > 0; --i) {
            const OpenElement &element = m_stack[i - 1];
            if (!element.foreign && sameName(element, tag))
                return popTo(i - 1);
            if (element.kind.is(Special) || boundary(element, Scope::Default))
                return;
        }
    }

    void otherEndTag(const Tag &tag)
    {
        for (std::size_t i = m_depth; i > 0; --i) {
            const OpenElement &element = m_stack[i - 1];
            if (!element.foreign && sameName(element, tag))
                return popTo(i - 1);
            if (element.foreign ? element.kind.is(ForeignScopeBoundary) : element.kind.is(Special))
                return;
        }
    }

    // Inside svg or math: an end tag closes the innermost foreign element by its name.
    void foreignEndTag(const Tag &tag)
    {
        for (std::size_t i = m_depth; i > 0 && m_stack[i - 1].foreign; --i) {
            if (sameName(m_stack[i - 1], tag))
                return popTo(i - 1);
        }
    }

    Consumer &m_consumer;
    std::array<OpenElement, maxDepth + 1> m_stack; // the last for one that closes at once
    std::size_t m_depth = 0;
    std::array<std::uint32_t, 256> m_open {}; // how many HTML elements of each kind are open
    std::size_t m_foreign = 0; // how many svg and MathML elements are open
};

} // namespace plaintrove::conversion::html
