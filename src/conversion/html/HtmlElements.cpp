#include "HtmlElements.h"

#include <array>

namespace plaintrove::conversion {

namespace {

constexpr auto Inline = ElementLayout::Inline;
constexpr auto Line = ElementLayout::Line;
constexpr auto Paragraph = ElementLayout::Paragraph;
constexpr auto Markup = ElementContent::Markup;
constexpr std::uint16_t Leaves = LeavesForeignContent;

struct NamedElement
{
    std::string_view name;
    ElementKind kind;
};

// Every name not here is an inline element with markup inside, of no category.
constexpr NamedElement elements[] = {
    { "p", { Paragraph, Markup, Element::P, Special | ClosesParagraph | ImpliedEnd | Leaves } },
    { "h1", { Paragraph, Markup, Element::H1, Special | ClosesParagraph | Leaves } },
    { "h2", { Paragraph, Markup, Element::H2, Special | ClosesParagraph | Leaves } },
    { "h3", { Paragraph, Markup, Element::H3, Special | ClosesParagraph | Leaves } },
    { "h4", { Paragraph, Markup, Element::H4, Special | ClosesParagraph | Leaves } },
    { "h5", { Paragraph, Markup, Element::H5, Special | ClosesParagraph | Leaves } },
    { "h6", { Paragraph, Markup, Element::H6, Special | ClosesParagraph | Leaves } },
    { "ul",
        { Paragraph, Markup, Element::Ul, Special | ClosesParagraph | Leaves | ListOrFrameset } },
    { "ol",
        { Paragraph, Markup, Element::Ol, Special | ClosesParagraph | Leaves | ListOrFrameset } },
    { "dl", { Paragraph, Markup, Element::Dl, Special | ClosesParagraph | Leaves } },
    { "menu",
        { Paragraph, Markup, Element::Menu, Special | ClosesParagraph | Leaves | ListOrFrameset } },
    { "table",
        { Paragraph, Markup, Element::Table,
            Special | ScopeBoundary | ClosesParagraph | FramesetNotOk | Leaves } },
    { "hr",
        { Paragraph, Markup, Element::Hr,
            Special | Void | ClosesParagraph | FramesetNotOk | Leaves } },
    { "blockquote",
        { Paragraph, Markup, Element::Blockquote, Special | ClosesParagraph | Leaves } },
    { "dir", { Paragraph, Markup, Element::Dir, Special | ClosesParagraph | ListOrFrameset } },
    { "figure", { Paragraph, Markup, Element::Figure, Special | ClosesParagraph } },
    { "pre",
        { Paragraph, ElementContent::Preformatted, Element::Pre,
            Special | ClosesParagraph | FramesetNotOk | Leaves | KeepsSpaces
                | DropsFirstLineFeed } },
    { "listing",
        { Paragraph, ElementContent::Preformatted, Element::Listing,
            Special | ClosesParagraph | FramesetNotOk | Leaves | KeepsSpaces
                | DropsFirstLineFeed } },
    { "xmp",
        { Paragraph, ElementContent::Xmp, Element::Xmp,
            Special | ClosesParagraph | FramesetNotOk | KeepsSpaces } },
    { "plaintext",
        { Paragraph, ElementContent::Plaintext, Element::Plaintext,
            Special | ClosesParagraph | KeepsSpaces } },
    { "div", { Line, Markup, Element::Div, Special | ClosesParagraph | Leaves } },
    { "li",
        { Line, Markup, Element::Li,
            Special | ImpliedEnd | FramesetNotOk | Leaves | ListOrFrameset } },
    { "dd", { Line, Markup, Element::Dd, Special | ImpliedEnd | FramesetNotOk | Leaves } },
    { "dt", { Line, Markup, Element::Dt, Special | ImpliedEnd | FramesetNotOk | Leaves } },
    { "center", { Line, Markup, Element::Center, Special | ClosesParagraph | Leaves } },
    { "section", { Line, Markup, Element::Section, Special | ClosesParagraph } },
    { "article", { Line, Markup, Element::Article, Special | ClosesParagraph } },
    { "aside", { Line, Markup, Element::Aside, Special | ClosesParagraph } },
    { "nav", { Line, Markup, Element::Nav, Special | ClosesParagraph } },
    { "header", { Line, Markup, Element::Header, Special | ClosesParagraph } },
    { "footer", { Line, Markup, Element::Footer, Special | ClosesParagraph } },
    { "main", { Line, Markup, Element::Main, Special | ClosesParagraph } },
    { "address", { Line, Markup, Element::Address, Special | ClosesParagraph } },
    { "hgroup", { Line, Markup, Element::Hgroup, Special | ClosesParagraph } },
    { "search", { Line, Markup, Element::Search, Special | ClosesParagraph } },
    { "details", { Line, Markup, Element::Details, Special | ClosesParagraph } },
    { "summary", { Line, Markup, Element::Summary, Special | ClosesParagraph } },
    { "dialog", { Line, Markup, Element::Dialog, ClosesParagraph } },
    { "form", { Line, Markup, Element::Form, Special | ClosesParagraph } },
    { "fieldset", { Line, Markup, Element::Fieldset, Special | ClosesParagraph } },
    { "legend", { Line, Markup, Element::Legend, 0 } },
    { "figcaption", { Line, Markup, Element::Figcaption, Special | ClosesParagraph } },
    { "tr", { Line, Markup, Element::Tr, Special } },
    { "thead", { Line, Markup, Element::Thead, Special } },
    { "tbody", { Line, Markup, Element::Tbody, Special } },
    { "tfoot", { Line, Markup, Element::Tfoot, Special } },
    { "caption", { Line, Markup, Element::Caption, Special | ScopeBoundary } },
    { "option", { Line, Markup, Element::Option, ImpliedEnd } },
    { "optgroup", { Line, Markup, Element::Optgroup, ImpliedEnd } },
    { "frameset", { Line, Markup, Element::Frameset, Special | ListOrFrameset } },
    { "frame", { Line, Markup, Element::Frame, Special | Void } },
    { "td", { ElementLayout::Cell, Markup, Element::Td, Special | ScopeBoundary } },
    { "th", { ElementLayout::Cell, Markup, Element::Th, Special | ScopeBoundary } },
    { "br",
        { ElementLayout::Break, Markup, Element::Br, Special | Void | FramesetNotOk | Leaves } },
    { "title",
        { Line, ElementContent::Title, Element::Title,
            Special | ForeignScopeBoundary | ListOrFrameset } },
    { "textarea",
        { Line, ElementContent::Textarea, Element::Textarea,
            Special | FramesetNotOk | KeepsSpaces | DropsFirstLineFeed } },
    { "script", { Inline, ElementContent::Script, Element::Script, Special | NeverShown } },
    { "style", { Inline, ElementContent::Style, Element::Style, Special | NeverShown } },
    { "template",
        { Inline, ElementContent::Template, Element::Template,
            Special | ScopeBoundary | NeverShown } },
    { "iframe", { Inline, ElementContent::RawText, Element::Iframe, Special | FramesetNotOk } },
    { "noembed", { Inline, ElementContent::RawText, Element::Noembed, Special | FramesetNotOk } },
    { "noframes", { Inline, ElementContent::RawText, Element::Noframes, Special } },
    { "svg", { Inline, ElementContent::Foreign, Element::Svg, 0 } },
    { "math", { Inline, ElementContent::Foreign, Element::Math, 0 } },
    { "a", { Inline, Markup, Element::A, Formatting } },
    { "b", { Inline, Markup, Element::B, Formatting | Leaves } },
    { "big", { Inline, Markup, Element::Big, Formatting | Leaves } },
    { "code", { Inline, Markup, Element::Code, Formatting | Leaves } },
    { "em", { Inline, Markup, Element::Em, Formatting | Leaves } },
    { "font", { Inline, Markup, Element::Font, Formatting } },
    { "i", { Inline, Markup, Element::I, Formatting | Leaves } },
    { "nobr", { Inline, Markup, Element::Nobr, Formatting | Leaves } },
    { "s", { Inline, Markup, Element::S, Formatting | Leaves } },
    { "small", { Inline, Markup, Element::Small, Formatting | Leaves } },
    { "strike", { Inline, Markup, Element::Strike, Formatting | Leaves } },
    { "strong", { Inline, Markup, Element::Strong, Formatting | Leaves } },
    { "tt", { Inline, Markup, Element::Tt, Formatting | Leaves } },
    { "u", { Inline, Markup, Element::U, Formatting | Leaves } },
    { "body", { Inline, Markup, Element::Body, Special | Leaves } },
    { "head", { Inline, Markup, Element::Head, Special | Leaves } },
    { "html", { Inline, Markup, Element::Html, Special | ScopeBoundary } },
    { "embed", { Inline, Markup, Element::Embed, Special | Void | FramesetNotOk | Leaves } },
    { "img", { Inline, Markup, Element::Img, Special | Void | FramesetNotOk | Leaves } },
    { "meta", { Inline, Markup, Element::Meta, Special | Void | Leaves } },
    { "ruby", { Inline, Markup, Element::Ruby, Leaves } },
    { "span", { Inline, Markup, Element::Span, Leaves } },
    { "sub", { Inline, Markup, Element::Sub, Leaves } },
    { "sup", { Inline, Markup, Element::Sup, Leaves } },
    { "var", { Inline, Markup, Element::Var, Leaves } },
    { "applet", { Inline, Markup, Element::Applet, Special | ScopeBoundary | FramesetNotOk } },
    { "marquee", { Inline, Markup, Element::Marquee, Special | ScopeBoundary | FramesetNotOk } },
    { "object", { Inline, Markup, Element::Object, Special | ScopeBoundary | FramesetNotOk } },
    { "area", { Inline, Markup, Element::Area, Special | Void | FramesetNotOk } },
    { "base", { Inline, Markup, Element::Base, Special | Void } },
    { "basefont", { Inline, Markup, Element::Basefont, Special | Void } },
    { "bgsound", { Inline, Markup, Element::Bgsound, Special | Void } },
    { "col", { Inline, Markup, Element::Col, Special | Void } },
    { "colgroup", { Inline, Markup, Element::Colgroup, Special } },
    { "input", { Inline, Markup, Element::Input, Special | Void | FramesetNotOk } },
    { "keygen", { Inline, Markup, Element::Keygen, Special | Void | FramesetNotOk } },
    { "link", { Inline, Markup, Element::Link, Special | Void } },
    { "param", { Inline, Markup, Element::Param, Special | Void } },
    { "source", { Inline, Markup, Element::Source, Special | Void } },
    { "track", { Inline, Markup, Element::Track, Special | Void } },
    { "wbr", { Inline, Markup, Element::Wbr, Special | Void | FramesetNotOk } },
    { "button", { Inline, Markup, Element::Button, Special | FramesetNotOk } },
    { "select", { Inline, Markup, Element::Select, Special | FramesetNotOk } },
    { "noscript", { Inline, Markup, Element::Noscript, Special } },
    { "rb", { Inline, Markup, Element::Rb, ImpliedEnd } },
    { "rp", { Inline, Markup, Element::Rp, ImpliedEnd } },
    { "rt", { Inline, Markup, Element::Rt, ImpliedEnd } },
    { "rtc", { Inline, Markup, Element::Rtc, ImpliedEnd } },
    { "mi", { Inline, Markup, Element::Mi, ForeignScopeBoundary } },
    { "mo", { Inline, Markup, Element::Mo, ForeignScopeBoundary } },
    { "mn", { Inline, Markup, Element::Mn, ForeignScopeBoundary } },
    { "ms", { Inline, Markup, Element::Ms, ForeignScopeBoundary } },
    { "mtext", { Inline, Markup, Element::Mtext, ForeignScopeBoundary } },
    { "annotation-xml", { Inline, Markup, Element::AnnotationXml, ForeignScopeBoundary } },
    { "foreignobject", { Inline, Markup, Element::ForeignObject, ForeignScopeBoundary } },
    { "desc", { Inline, Markup, Element::Desc, ForeignScopeBoundary } },
};

constexpr std::uint64_t firstBytesOf(std::string_view name)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < name.size() && i < 8; ++i)
        value |= std::uint64_t { static_cast<unsigned char>(name[i]) } << (8 * i);
    return value;
}

constexpr bool collisionFree(std::uint64_t multiplier)
{
    std::array<bool, std::size_t { 1 } << elementTable::slotBits> taken {};
    for (const NamedElement &element : elements) {
        const std::uint64_t slot
            = (firstBytesOf(element.name) * multiplier) >> (64 - elementTable::slotBits);
        if (taken[slot])
            return false;
        taken[slot] = true;
    }
    return true;
}

// The multiplier is the first of 0x9E3779B97F4A7C15 + k * 0x2545F4914F6CDD1E (k = 746) under
// which no two names share a slot: more tries than clang evaluates at compile time, so found once
// and checked here.
static_assert(
    collisionFree(elementTable::multiplier), "two names share a slot: try the next multipliers");
static_assert(sizeof(elementTable::Slot) == 16 && std::size(elements) < 256);

} // namespace

constexpr std::array<elementTable::Slot, std::size_t { 1 } << elementTable::slotBits>
    elementTable::slots = [] {
        std::array<Slot, std::size_t { 1 } << slotBits> table {};
        for (std::size_t i = 0; i < std::size(elements); ++i) {
            const std::uint64_t key = firstBytesOf(elements[i].name);
            table[slotOf(key)] = { key, static_cast<std::uint8_t>(elements[i].name.size()),
                static_cast<std::uint8_t>(i), elements[i].kind };
        }
        return table;
    }();

bool elementTable::restMatches(std::size_t index, std::string_view name)
{
    return elements[index].name.substr(8) == name.substr(8);
}

} // namespace plaintrove::conversion
