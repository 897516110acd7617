#include "ArticleTree.h"

#include "html/Display.h"

#include <algorithm>

namespace plaintrove::conversion::article {

namespace {

Role roleOf(const html::Tag &tag)
{
    switch (tag.kind.element) {
    case Element::A:
        return Role::Link;
    case Element::Div:
    case Element::Section:
        return Role::Division;
    case Element::Main:
        return Role::Main;
    case Element::Html:
    case Element::Body:
        return Role::Page;
    case Element::Nav:
        return Role::Navigation;
    case Element::Aside:
        return Role::Aside;
    case Element::Header:
        return Role::Header;
    case Element::Footer:
        return Role::Footer;
    case Element::Form:
        return Role::Form;
    case Element::H1:
        return Role::Heading1;
    case Element::Figure:
    case Element::Figcaption:
        return Role::Figure;
    default:
        return Role::Other;
    }
}

// Elements none of whose content is text of the article.
bool leftOut(const html::Tag &tag)
{
    switch (tag.kind.element) {
    case Element::Head:
    case Element::Title:
    case Element::Template:
    case Element::Script:
    case Element::Style:
    case Element::Noscript:
    case Element::Button:
    case Element::Select:
    case Element::Textarea:
    case Element::Iframe:
    case Element::Object:
    case Element::Noembed:
    case Element::Noframes:
    case Element::Svg:
    case Element::Math:
        return true;
    default:
        return false;
    }
}

bool contains(std::string_view text, std::string_view lowerWord)
{
    return std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(),
               [](char a, char b) { return html::lowered(static_cast<html::Byte>(a)) == b; })
        != text.end();
}

bool containsAny(std::string_view text, std::initializer_list<std::string_view> words)
{
    return std::any_of(
        words.begin(), words.end(), [&](std::string_view word) { return contains(text, word); });
}

// A class or an id: the page's own words for its parts.
std::uint8_t namesHints(std::string_view value)
{
    std::uint8_t hints = 0;
    if (containsAny(value, { "article", "content", "entry", "post", "story", "body", "text" }))
        hints |= Positive;
    if (containsAny(value,
            { "comment", "share", "sharing", "related", "promo", "sponsor", "advert", "newsletter",
                "subscri", "signup", "cookie", "consent", "breadcrumb", "outbrain", "taboola",
                "recommend", "byline", "caption", "credit" }))
        hints |= Negative;
    if (containsAny(value,
            { "sidebar", "widget", "banner", "footer", "masthead", "navbar", "menu", "popup",
                "modal", "trending", "popular", "toolbar" }))
        hints |= Peripheral;
    return hints;
}

std::uint8_t roleHints(std::string_view value)
{
    const bool main
        = html::equalsIgnoringCase(value, "main") || html::equalsIgnoringCase(value, "article");
    return main ? MainContent : 0;
}

// What the attributes of a tag tell of its element. Each is looked up by name, so that the
// many a tag has and nobody asks for are neither lowered nor decoded.
std::uint8_t hintsOf(const html::Tag &tag)
{
    std::uint8_t hints = 0;
    for (const std::string_view name : { "class", "id" }) {
        if (const std::optional<std::string_view> value = tag.attribute(name))
            hints |= namesHints(*value);
    }
    if (const std::optional<std::string_view> role = tag.attribute("role"))
        hints |= roleHints(*role);
    if (const std::optional<std::string_view> prop = tag.attribute("itemprop");
        prop && contains(*prop, "articlebody"))
        hints |= MainContent;
    if (const std::optional<std::string_view> ariaHidden = tag.attribute("aria-hidden");
        html::hiddenByPage(tag) || (ariaHidden && html::equalsIgnoringCase(*ariaHidden, "true")))
        hints |= Hidden;
    return hints;
}

// The attributes by which the readable layout numbers lists, kept to be given back to it.
bool numbersList(const html::Tag &tag)
{
    switch (tag.kind.element) {
    case Element::Ol:
    case Element::Ul:
    case Element::Menu:
    case Element::Dir:
    case Element::Li:
        return true;
    default:
        return false;
    }
}

constexpr std::uint8_t skippedMark = 1, preformattedMark = 2;

// Grows a page's text by a quarter, not by doubling: the copy needs at most 2.25 times its size
// rather than 3, and less room is left unused.
void makeRoom(std::string &text, std::size_t more)
{
    const std::size_t capacity = text.capacity();
    if (text.size() + more > capacity)
        text.reserve(std::max(text.size() + more, capacity + capacity / 4 + 4096));
}

} // namespace

TreeBuilder::TreeBuilder()
{
    Node page;
    page.role = Role::Page;
    m_tree.nodes.push_back(page);
    m_open.push_back(0);
}

std::uint8_t TreeBuilder::open(const html::Tag &tag)
{
    if (m_skipped > 0 || leftOut(tag)) {
        ++m_skipped;
        return skippedMark;
    }
    Node node;
    node.parent = m_open.back();
    node.element = tag.kind.element;
    node.layout = tag.kind.layout;
    node.flags = tag.kind.flags;
    node.foreign = tag.foreign;
    node.role = roleOf(tag);
    node.text = static_cast<std::uint32_t>(m_tree.text.size());
    if (tag.hasAttributes()) {
        node.hints = hintsOf(tag);
        for (const std::string_view name : { "type", "start", "reversed", "value" }) {
            if (const std::optional<std::string_view> value = tag.attribute(name);
                value && numbersList(tag)) {
                makeRoom(m_tree.text, name.size() + value->size() + 2);
                m_tree.text.append(name).push_back('\0');
                m_tree.text.append(*value).push_back('\0');
            }
        }
    }
    node.size = static_cast<std::uint32_t>(m_tree.text.size() - node.text);
    std::uint8_t mark = 0;
    if (!tag.foreign && tag.kind.is(KeepsSpaces)) {
        ++m_preformatted;
        mark = preformattedMark;
    }
    m_open.push_back(static_cast<std::uint32_t>(m_tree.nodes.size()));
    m_tree.nodes.push_back(node);
    return mark;
}

void TreeBuilder::close(const html::OpenElement &element)
{
    if (element.mark == skippedMark) {
        --m_skipped;
        return;
    }
    m_preformatted -= element.mark == preformattedMark ? 1 : 0;
    m_tree.nodes[m_open.back()].end = static_cast<std::uint32_t>(m_tree.nodes.size());
    m_open.pop_back();
}

void TreeBuilder::text(std::string_view bytes, std::size_t)
{
    if (m_skipped == 0)
        addText(bytes, TextKind::Words);
}

void TreeBuilder::space(std::string_view whiteSpace, bool fromReference)
{
    if (m_skipped > 0)
        return;
    if (m_preformatted > 0)
        return addText(whiteSpace, fromReference ? TextKind::SpaceFromReference : TextKind::Space);
    const Node &last = m_tree.nodes.back();
    if (last.role != Role::Text || last.parent != m_open.back() || last.size == 0
        || m_tree.text.back() != ' ')
        addText(" ", TextKind::Words); // one space stands for any run
}

void TreeBuilder::markup()
{
    if (m_skipped == 0 && m_preformatted > 0)
        addText({}, TextKind::Markup);
}

void TreeBuilder::addText(std::string_view bytes, TextKind kind)
{
    Node &last = m_tree.nodes.back();
    if (kind == TextKind::Words && m_preformatted == 0 && last.role == Role::Text
        && last.parent == m_open.back()) {
        last.size += static_cast<std::uint32_t>(bytes.size());
    } else {
        Node node;
        node.end = static_cast<std::uint32_t>(m_tree.nodes.size() + 1);
        node.parent = m_open.back();
        node.text = static_cast<std::uint32_t>(m_tree.text.size());
        node.size = static_cast<std::uint32_t>(bytes.size());
        node.role = Role::Text;
        node.textKind = kind;
        m_tree.nodes.push_back(node);
    }
    makeRoom(m_tree.text, bytes.size());
    m_tree.text.append(bytes);
}

Tree TreeBuilder::finish()
{
    for (; m_open.size() > 1; m_open.pop_back())
        m_tree.nodes[m_open.back()].end = static_cast<std::uint32_t>(m_tree.nodes.size());
    m_tree.nodes[0].end = static_cast<std::uint32_t>(m_tree.nodes.size());
    return std::move(m_tree);
}

} // namespace plaintrove::conversion::article
