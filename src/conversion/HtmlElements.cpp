#include "HtmlElements.h"

#include <cstring>

namespace plaintrove::conversion {

namespace {

// Names of up to eight letters as one number, so that a switch can find them.
constexpr std::uint64_t packed(std::string_view name)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < name.size() && i < 8; ++i)
        value |= std::uint64_t { static_cast<unsigned char>(name[i]) } << (8 * i);
    return value;
}

constexpr ElementKind kind(ElementLayout layout, ElementContent content = ElementContent::Markup,
    bool leavesForeignContent = false)
{
    return { layout, content, leavesForeignContent };
}

constexpr auto Inline = ElementLayout::Inline;
constexpr auto Line = ElementLayout::Line;
constexpr auto Paragraph = ElementLayout::Paragraph;
constexpr bool leaves = true;

} // namespace

ElementKind elementKind(std::string_view name)
{
    if (name.size() > 8) {
        if (name == "blockquote")
            return kind(Paragraph, ElementContent::Markup, leaves);
        if (name == "figcaption")
            return kind(Line);
        if (name == "plaintext")
            return kind(Paragraph, ElementContent::Plaintext);
        return {};
    }
    switch (packed(name)) {
    case packed("p"):
    case packed("h1"):
    case packed("h2"):
    case packed("h3"):
    case packed("h4"):
    case packed("h5"):
    case packed("h6"):
    case packed("ul"):
    case packed("ol"):
    case packed("dl"):
    case packed("menu"):
    case packed("table"):
    case packed("hr"):
        return kind(Paragraph, ElementContent::Markup, leaves);
    case packed("dir"):
    case packed("figure"):
        return kind(Paragraph);
    case packed("pre"):
    case packed("listing"):
        return kind(Paragraph, ElementContent::Preformatted, leaves);
    case packed("xmp"):
        return kind(Paragraph, ElementContent::Xmp);
    case packed("div"):
    case packed("li"):
    case packed("dd"):
    case packed("dt"):
    case packed("center"):
        return kind(Line, ElementContent::Markup, leaves);
    case packed("section"):
    case packed("article"):
    case packed("aside"):
    case packed("nav"):
    case packed("header"):
    case packed("footer"):
    case packed("main"):
    case packed("address"):
    case packed("hgroup"):
    case packed("search"):
    case packed("details"):
    case packed("summary"):
    case packed("dialog"):
    case packed("form"):
    case packed("fieldset"):
    case packed("legend"):
    case packed("tr"):
    case packed("thead"):
    case packed("tbody"):
    case packed("tfoot"):
    case packed("caption"):
    case packed("option"):
    case packed("optgroup"):
    case packed("frameset"):
    case packed("frame"):
        return kind(Line);
    case packed("td"):
    case packed("th"):
        return kind(ElementLayout::Cell);
    case packed("br"):
        return kind(ElementLayout::Break, ElementContent::Markup, leaves);
    case packed("title"):
        return kind(Line, ElementContent::Title);
    case packed("textarea"):
        return kind(Line, ElementContent::Textarea);
    case packed("script"):
        return kind(Inline, ElementContent::Script);
    case packed("style"):
        return kind(Inline, ElementContent::Style);
    case packed("template"):
        return kind(Inline, ElementContent::Template);
    case packed("iframe"):
    case packed("noembed"):
    case packed("noframes"):
        return kind(Inline, ElementContent::RawText);
    case packed("svg"):
    case packed("math"):
        return kind(Inline, ElementContent::Foreign);
    case packed("b"):
    case packed("big"):
    case packed("body"):
    case packed("code"):
    case packed("em"):
    case packed("embed"):
    case packed("head"):
    case packed("i"):
    case packed("img"):
    case packed("meta"):
    case packed("nobr"):
    case packed("ruby"):
    case packed("s"):
    case packed("small"):
    case packed("span"):
    case packed("strong"):
    case packed("strike"):
    case packed("sub"):
    case packed("sup"):
    case packed("tt"):
    case packed("u"):
    case packed("var"):
        return kind(Inline, ElementContent::Markup, leaves);
    default:
        return {};
    }
}

} // namespace plaintrove::conversion
