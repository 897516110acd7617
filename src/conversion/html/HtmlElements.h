#pragma once

// What the readable stripper needs to know of an HTML element, looked up by its lower-case name.

#include <cstdint>
#include <string_view>

namespace plaintrove::conversion {

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

struct ElementKind
{
    ElementLayout layout = ElementLayout::Inline;
    ElementContent content = ElementContent::Markup;
    bool leavesForeignContent = false; // an HTML element that ends svg or math when it starts
};

// `firstBytes` holds the name's first eight bytes, the first one lowest, and zeros past its end.
ElementKind elementKind(std::string_view name, std::uint64_t firstBytes);

} // namespace plaintrove::conversion
