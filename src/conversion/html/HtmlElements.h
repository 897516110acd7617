#pragma once

// What reading and laying out a page needs to know of an HTML element, looked up by its
// lower-case name: where its text goes, how the tokenizer reads what follows its start tag, and
// the categories by which the stack of open elements (OpenElements.h) closes elements that
// were left open.

#include <array>
#include <cstdint>
#include <string_view>

namespace plaintrove::conversion {

// The elements this program tells apart; every other name is Other.
enum class Element : std::uint8_t {
    Other,
    A,
    Address,
    AnnotationXml,
    Applet,
    Area,
    Article,
    Aside,
    B,
    Base,
    Basefont,
    Bgsound,
    Big,
    Blockquote,
    Body,
    Br,
    Button,
    Caption,
    Center,
    Code,
    Col,
    Colgroup,
    Dd,
    Desc,
    Details,
    Dialog,
    Dir,
    Div,
    Dl,
    Dt,
    Em,
    Embed,
    Fieldset,
    Figcaption,
    Figure,
    Font,
    Footer,
    ForeignObject,
    Form,
    Frame,
    Frameset,
    H1,
    H2,
    H3,
    H4,
    H5,
    H6,
    Head,
    Header,
    Hgroup,
    Hr,
    Html,
    I,
    Iframe,
    Img,
    Input,
    Keygen,
    Legend,
    Li,
    Link,
    Listing,
    Main,
    Marquee,
    Math,
    Menu,
    Meta,
    Mi,
    Mn,
    Mo,
    Ms,
    Mtext,
    Nav,
    Nobr,
    Noembed,
    Noframes,
    Noscript,
    Object,
    Ol,
    Optgroup,
    Option,
    P,
    Param,
    Plaintext,
    Pre,
    Rb,
    Rp,
    Rt,
    Rtc,
    Ruby,
    S,
    Script,
    Search,
    Section,
    Select,
    Small,
    Source,
    Span,
    Strike,
    Strong,
    Style,
    Sub,
    Summary,
    Sup,
    Svg,
    Table,
    Tbody,
    Td,
    Template,
    Textarea,
    Tfoot,
    Th,
    Thead,
    Title,
    Tr,
    Track,
    Tt,
    U,
    Ul,
    Var,
    Wbr,
    Xmp,
};

// Where the element puts its text on the page.
enum class ElementLayout : std::uint8_t {
    Inline, // joins the text around it: a, b, span, and every unknown name
    Line, // on lines of its own: div, li, tr, title...
    Paragraph, // on lines of its own with an empty line around it: p, headings, lists, table...
    Cell, // td, th: set apart from the cell before it on the same line
    Break, // br: ends the line
};

// How the tokenizer reads what follows the start tag.
enum class ElementContent : std::uint8_t {
    Markup, // tags and text, as usual
    Preformatted, // pre, listing: spaces and line breaks kept
    Script, // never shown, ends at </script> by the rules of script data
    Style, // never shown, raw text up to </style>
    Template, // never shown, but tags nest inside it
    Title, // text and references, no tags, up to </title>
    Textarea, // the same as title, with spaces and line breaks kept
    Xmp, // raw text with spaces and line breaks kept, up to </xmp>
    RawText, // iframe, noembed, noframes: raw text up to their end tag
    Plaintext, // everything up to the end of the input is text
    Foreign, // svg, math: the rules of raw text do not apply inside them
};

// HTML's categories of elements, as the tree builder uses them.
enum ElementFlag : std::uint16_t {
    Special = 1 << 0, // ends the search of an end tag for its element
    ScopeBoundary = 1 << 1, // as an HTML element, hides what lies below it from an end tag
    ForeignScopeBoundary = 1 << 2, // the same as an svg or MathML element
    Void = 1 << 3, // has no end tag
    ImpliedEnd = 1 << 4, // closed by the start or end of the element around it: p, li...
    ClosesParagraph = 1 << 5, // its start tag closes an open p
    Formatting = 1 << 6, // a, b, i...: an end tag that cannot close it neatly is left alone
    FramesetNotOk = 1 << 7, // after it, a frameset start tag is ignored
    LeavesForeignContent = 1 << 8, // an HTML element that ends svg or math when it starts
    NeverShown = 1 << 9, // script, style, template: nothing inside is on the page
    KeepsSpaces = 1 << 10, // pre, listing, textarea, xmp, plaintext
    DropsFirstLineFeed = 1 << 11, // pre, listing, textarea: a line break just inside is dropped
    ListOrFrameset = 1 << 12, // ul, ol, menu, dir, li, frameset, title: layout rules of their own
};

struct ElementKind
{
    ElementLayout layout = ElementLayout::Inline;
    ElementContent content = ElementContent::Markup;
    Element element = Element::Other;
    std::uint16_t flags = 0;

    bool is(ElementFlag flag) const { return (flags & flag) != 0; }
};

// The table elementKind() reads, made at compile time in HtmlElements.cpp: the names are found
// by a hash of their first eight bytes, with a multiplier under which no two of them collide.
namespace elementTable {

// All a tag is compared with and all it looks up, in a quarter of a cache line.
struct Slot
{
    std::uint64_t firstBytes = 0;
    std::uint8_t size = 0;
    std::uint8_t index = 0; // of the name, for the rest of a name longer than eight bytes
    ElementKind kind;
};

constexpr unsigned slotBits = 10;
constexpr std::uint64_t multiplier = 0x3C12292AF286D581;
extern const std::array<Slot, std::size_t { 1 } << slotBits> slots;

constexpr std::size_t slotOf(std::uint64_t firstBytes)
{
    return static_cast<std::size_t>((firstBytes * multiplier) >> (64 - slotBits));
}

// Whether the name past its eighth byte is that of the name at `index`.
bool restMatches(std::size_t index, std::string_view name);

} // namespace elementTable

// `firstBytes` holds the name's first eight bytes, the first one lowest, and zeros past its end.
// Inline: a page has a tag every couple of dozen bytes.
inline ElementKind elementKind(std::string_view name, std::uint64_t firstBytes)
{
    const elementTable::Slot &slot = elementTable::slots[elementTable::slotOf(firstBytes)];
    const bool found = slot.firstBytes == firstBytes && slot.size == name.size()
        && (name.size() <= 8 || elementTable::restMatches(slot.index, name));
    return found ? slot.kind : ElementKind {}; // an empty slot holds that too
}

} // namespace plaintrove::conversion
