#pragma once

// The independent oracle of the readable stripper: the words a browser shows, as gumbo's HTML5
// parser finds them. Text outside script, style, template and what the page hides (the hidden
// attribute, display: none), CDATA sections of svg and math included, with block elements (and
// table cells and line breaks) as gaps between words and the markers of list items before their
// words; words split at ASCII white space.

#include <algorithm>
#include <cctype>
#include <gumbo.h>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace plaintrove::testing {

// Gumbo replaces what is not valid UTF-8, where the stripper passes bytes through; pages are
// compared only when this holds. Strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
inline bool isUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : 4;
        if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0x80);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0)
            || (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
            return false;
        i += length;
    }
    return true;
}

inline std::vector<std::string> wordsOf(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (std::string_view(" \t\n\f\r").find(c) == std::string_view::npos) {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

inline std::string_view tagNameOf(const GumboElement &element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(element.tag);
    GumboStringPiece original = element.original_tag;
    gumbo_tag_from_original_text(&original);
    return { original.data, original.length };
}

// What the page's own markup hides, with no style sheet: the hidden attribute of an HTML
// element, an inline style whose last display is none.
inline bool hiddenByAttributes(const GumboElement &element)
{
    if (element.tag_namespace == GUMBO_NAMESPACE_HTML
        && gumbo_get_attribute(&element.attributes, "hidden") != nullptr)
        return true;
    const GumboAttribute *style = gumbo_get_attribute(&element.attributes, "style");
    bool none = false;
    std::string declaration;
    for (const char *c = style != nullptr ? style->value : "";; ++c) {
        if (*c == ';' || *c == '\0') {
            if (declaration.starts_with("display:"))
                none = declaration.substr(8, declaration.find('!') - 8) == "none";
            declaration.clear();
            if (*c == '\0')
                break;
        } else if (std::string_view(" \t\n\f\r").find(*c) == std::string_view::npos) {
            declaration += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        }
    }
    return none;
}

// The marker a browser draws before a list item: a bullet by nesting, or a number.
struct ListCounter
{
    char type = 'd'; // '1', 'a', 'A', 'i', 'I'; 'd', 'c', 's' for disc, circle, square
    bool reversed = false;
    long long next = 1;
};

inline std::string listItemMarker(char type, long long number)
{
    if (type == 'd' || type == 'c' || type == 's')
        return type == 'd' ? "\xE2\x80\xA2" : type == 'c' ? "\xE2\x97\xA6" : "\xE2\x96\xAA";
    std::string text;
    if ((type == 'a' || type == 'A') && number > 0) {
        for (long long n = number; n > 0; n = (n - 1) / 26)
            text.insert(text.begin(), static_cast<char>(type + (n - 1) % 26));
    } else if ((type == 'i' || type == 'I') && number > 0 && number < 4000) {
        const char *const digits[4][10]
            = { { "", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix" },
                  { "", "x", "xx", "xxx", "xl", "l", "lx", "lxx", "lxxx", "xc" },
                  { "", "c", "cc", "ccc", "cd", "d", "dc", "dcc", "dccc", "cm" },
                  { "", "m", "mm", "mmm" } };
        for (int place = 3, divisor = 1000; place >= 0; --place, divisor /= 10)
            text += digits[place][number / divisor % 10];
        if (type == 'I')
            for (char &c : text)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else {
        text = std::to_string(number);
    }
    return text + ".";
}

inline std::optional<long long> integerAttribute(const GumboElement &element, const char *name)
{
    const GumboAttribute *attribute = gumbo_get_attribute(&element.attributes, name);
    if (attribute == nullptr)
        return std::nullopt;
    std::string_view text = attribute->value;
    text.remove_prefix(std::min(text.find_first_not_of(" \t\n\f\r"), text.size()));
    const bool negative = text.starts_with('-');
    text.remove_prefix(text.starts_with('-') || text.starts_with('+') ? 1 : 0);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    long long value = 0;
    for (std::size_t i = 0; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))
         && value < (1LL << 40);
         ++i)
        value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

// The items a reversed list without a start counts down from: those it is the nearest list of.
inline long long itemsOf(const GumboNode *list)
{
    long long count = 0;
    std::vector<const GumboNode *> pending { list };
    while (!pending.empty()) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        const std::string_view name = tagNameOf(node->v.element);
        if (node != list && (name == "ul" || name == "ol" || name == "menu" || name == "dir"))
            continue;
        count += name == "li" ? 1 : 0;
        for (unsigned i = 0; i < node->v.element.children.length; ++i)
            pending.push_back(static_cast<const GumboNode *>(node->v.element.children.data[i]));
    }
    return count;
}

inline std::vector<std::string> gumboWords(std::string_view page)
{
    static const std::set<std::string_view, std::less<>> gaps { "address", "article", "aside",
        "blockquote", "br", "caption", "center", "dd", "details", "dialog", "dir", "div", "dl",
        "dt", "fieldset", "figcaption", "figure", "footer", "form", "frame", "frameset", "h1", "h2",
        "h3", "h4", "h5", "h6", "header", "hgroup", "hr", "li", "listing", "main", "menu", "nav",
        "ol", "optgroup", "option", "p", "plaintext", "pre", "search", "section", "summary",
        "table", "tbody", "td", "textarea", "tfoot", "th", "thead", "title", "tr", "ul", "xmp",
        "legend" };
    static const std::set<std::string_view, std::less<>> hidden { "script", "style", "template" };
    const std::unique_ptr<GumboOutput, void (*)(GumboOutput *)> output(
        gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size()),
        [](GumboOutput *parsed) { gumbo_destroy_output(&kGumboDefaultOptions, parsed); });

    std::string text;
    std::vector<ListCounter> lists;
    // Depth-first without recursion: a fuzzed page may nest deeper than the stack allows.
    // A null node stands for the end of an element: a gap after a block, the end of a list.
    enum Leaving { Gap = 1, List = 2 };
    std::vector<std::pair<const GumboNode *, int>> pending { { output->document, 0 } };
    while (!pending.empty()) {
        const auto [node, leaving] = pending.back();
        pending.pop_back();
        if (node == nullptr) {
            text += (leaving & Gap) != 0 ? " " : "";
            if ((leaving & List) != 0)
                lists.pop_back();
            continue;
        }
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE
            || node->type == GUMBO_NODE_CDATA) {
            text += node->v.text.text;
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE
            && node->type != GUMBO_NODE_DOCUMENT)
            continue; // comments
        const GumboVector &children = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children
                                                                        : node->v.element.children;
        if (node->type != GUMBO_NODE_DOCUMENT) {
            const GumboElement &element = node->v.element;
            const std::string_view name = tagNameOf(element);
            if (hidden.contains(name) || hiddenByAttributes(element))
                continue;
            const bool html = element.tag_namespace == GUMBO_NAMESPACE_HTML;
            int leave = gaps.contains(name) ? Gap : 0;
            text += leave != 0 ? " " : "";
            const GumboAttribute *typeAttribute = gumbo_get_attribute(&element.attributes, "type");
            const std::string type = typeAttribute != nullptr ? typeAttribute->value : "";
            const auto bullet = [&]() -> char {
                std::string lower = type;
                for (char &c : lower)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return lower == "disc"  ? 'd'
                    : lower == "circle" ? 'c'
                    : lower == "square" ? 's'
                                        : 0;
            };
            if (html && (name == "ul" || name == "menu" || name == "dir" || name == "ol")) {
                ListCounter list;
                list.type = bullet() != 0 ? bullet()
                    : lists.empty()       ? 'd'
                    : lists.size() == 1   ? 'c'
                                          : 's';
                if (name == "ol") {
                    list.type = type.size() == 1
                            && std::string_view("1aAiI").find(type[0]) != std::string_view::npos
                        ? type[0]
                        : '1';
                    list.reversed = gumbo_get_attribute(&element.attributes, "reversed") != nullptr;
                    list.next = integerAttribute(element, "start")
                                    .value_or(list.reversed ? itemsOf(node) : 1);
                }
                lists.push_back(list);
                leave |= List;
            } else if (html && name == "li") {
                ListCounter none;
                ListCounter &list = lists.empty() ? none : lists.back();
                const long long number = integerAttribute(element, "value").value_or(list.next);
                list.next = list.reversed ? number - 1 : number + 1;
                char style = list.type;
                if (type.size() == 1
                    && std::string_view("1aAiI").find(type[0]) != std::string_view::npos)
                    style = type[0];
                else if (bullet() != 0)
                    style = bullet();
                text += listItemMarker(style, number) + " ";
            }
            if (leave != 0)
                pending.emplace_back(nullptr, leave);
        }
        for (unsigned i = children.length; i > 0; --i)
            pending.emplace_back(static_cast<const GumboNode *>(children.data[i - 1]), 0);
    }
    return wordsOf(text);
}

} // namespace plaintrove::testing
