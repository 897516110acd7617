#include "HtmlElements.h"

#include <array>

namespace plaintrove::conversion {

namespace {

constexpr auto Inline = ElementLayout::Inline;
constexpr auto Line = ElementLayout::Line;
constexpr auto Paragraph = ElementLayout::Paragraph;
constexpr auto Markup = ElementContent::Markup;
constexpr bool leaves = true;

struct Element
{
    std::string_view name;
    ElementKind kind;
};

// Every name not here is an inline element with markup inside.
constexpr Element elements[] = {
    { "p", { Paragraph, Markup, leaves } },
    { "h1", { Paragraph, Markup, leaves } },
    { "h2", { Paragraph, Markup, leaves } },
    { "h3", { Paragraph, Markup, leaves } },
    { "h4", { Paragraph, Markup, leaves } },
    { "h5", { Paragraph, Markup, leaves } },
    { "h6", { Paragraph, Markup, leaves } },
    { "ul", { Paragraph, Markup, leaves } },
    { "ol", { Paragraph, Markup, leaves } },
    { "dl", { Paragraph, Markup, leaves } },
    { "menu", { Paragraph, Markup, leaves } },
    { "table", { Paragraph, Markup, leaves } },
    { "hr", { Paragraph, Markup, leaves } },
    { "blockquote", { Paragraph, Markup, leaves } },
    { "dir", { Paragraph } },
    { "figure", { Paragraph } },
    { "pre", { Paragraph, ElementContent::Preformatted, leaves } },
    { "listing", { Paragraph, ElementContent::Preformatted, leaves } },
    { "xmp", { Paragraph, ElementContent::Xmp } },
    { "plaintext", { Paragraph, ElementContent::Plaintext } },
    { "div", { Line, Markup, leaves } },
    { "li", { Line, Markup, leaves } },
    { "dd", { Line, Markup, leaves } },
    { "dt", { Line, Markup, leaves } },
    { "center", { Line, Markup, leaves } },
    { "section", { Line } },
    { "article", { Line } },
    { "aside", { Line } },
    { "nav", { Line } },
    { "header", { Line } },
    { "footer", { Line } },
    { "main", { Line } },
    { "address", { Line } },
    { "hgroup", { Line } },
    { "search", { Line } },
    { "details", { Line } },
    { "summary", { Line } },
    { "dialog", { Line } },
    { "form", { Line } },
    { "fieldset", { Line } },
    { "legend", { Line } },
    { "figcaption", { Line } },
    { "tr", { Line } },
    { "thead", { Line } },
    { "tbody", { Line } },
    { "tfoot", { Line } },
    { "caption", { Line } },
    { "option", { Line } },
    { "optgroup", { Line } },
    { "frameset", { Line } },
    { "frame", { Line } },
    { "td", { ElementLayout::Cell } },
    { "th", { ElementLayout::Cell } },
    { "br", { ElementLayout::Break, Markup, leaves } },
    { "title", { Line, ElementContent::Title } },
    { "textarea", { Line, ElementContent::Textarea } },
    { "script", { Inline, ElementContent::Script } },
    { "style", { Inline, ElementContent::Style } },
    { "template", { Inline, ElementContent::Template } },
    { "iframe", { Inline, ElementContent::RawText } },
    { "noembed", { Inline, ElementContent::RawText } },
    { "noframes", { Inline, ElementContent::RawText } },
    { "svg", { Inline, ElementContent::Foreign } },
    { "math", { Inline, ElementContent::Foreign } },
    // Inline elements that close svg and math when they start inside them.
    { "b", { Inline, Markup, leaves } },
    { "big", { Inline, Markup, leaves } },
    { "body", { Inline, Markup, leaves } },
    { "code", { Inline, Markup, leaves } },
    { "em", { Inline, Markup, leaves } },
    { "embed", { Inline, Markup, leaves } },
    { "head", { Inline, Markup, leaves } },
    { "i", { Inline, Markup, leaves } },
    { "img", { Inline, Markup, leaves } },
    { "meta", { Inline, Markup, leaves } },
    { "nobr", { Inline, Markup, leaves } },
    { "ruby", { Inline, Markup, leaves } },
    { "s", { Inline, Markup, leaves } },
    { "small", { Inline, Markup, leaves } },
    { "span", { Inline, Markup, leaves } },
    { "strong", { Inline, Markup, leaves } },
    { "strike", { Inline, Markup, leaves } },
    { "sub", { Inline, Markup, leaves } },
    { "sup", { Inline, Markup, leaves } },
    { "tt", { Inline, Markup, leaves } },
    { "u", { Inline, Markup, leaves } },
    { "var", { Inline, Markup, leaves } },
};

// A page has a tag every couple of dozen bytes: the names are found by a hash of their first
// eight bytes, with a multiplier chosen at compile time so that no two of them collide.
constexpr unsigned slotBits = 10;

constexpr std::uint64_t firstBytesOf(std::string_view name)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < name.size() && i < 8; ++i)
        value |= std::uint64_t { static_cast<unsigned char>(name[i]) } << (8 * i);
    return value;
}

constexpr std::size_t slotOf(std::uint64_t key, std::uint64_t multiplier)
{
    return static_cast<std::size_t>((key * multiplier) >> (64 - slotBits));
}

constexpr std::uint64_t collisionFreeMultiplier()
{
    for (std::uint64_t multiplier = 0x9E3779B97F4A7C15;; multiplier += 0x2545F4914F6CDD1E) {
        std::array<bool, std::size_t { 1 } << slotBits> taken {};
        bool collides = false;
        for (const Element &element : elements) {
            bool &slot = taken[slotOf(firstBytesOf(element.name), multiplier)];
            collides = collides || slot;
            slot = true;
        }
        if (!collides)
            return multiplier;
    }
}

constexpr std::uint64_t multiplier = collisionFreeMultiplier();

// A slot holds all a tag is compared with and all it looks up, in a quarter of a cache line.
struct Slot
{
    std::uint64_t firstBytes = 0;
    std::uint8_t size = 0;
    std::uint8_t index = 0; // in elements[], for the rest of a name longer than eight bytes
    ElementKind kind;
};
static_assert(sizeof(Slot) == 16 && std::size(elements) < 256);

constexpr auto slots = [] {
    std::array<Slot, std::size_t { 1 } << slotBits> table {};
    for (std::size_t i = 0; i < std::size(elements); ++i) {
        const std::uint64_t key = firstBytesOf(elements[i].name);
        table[slotOf(key, multiplier)] = { key, static_cast<std::uint8_t>(elements[i].name.size()),
            static_cast<std::uint8_t>(i), elements[i].kind };
    }
    return table;
}();

} // namespace

ElementKind elementKind(std::string_view name, std::uint64_t firstBytes)
{
    const Slot &slot = slots[slotOf(firstBytes, multiplier)];
    const bool found = slot.size != 0 && slot.firstBytes == firstBytes && slot.size == name.size()
        && (name.size() <= 8 || elements[slot.index].name.substr(8) == name.substr(8));
    return found ? slot.kind : ElementKind {};
}

} // namespace plaintrove::conversion
