#pragma once

// The independent oracle of the readable stripper: the words a browser shows, as gumbo's HTML5
// parser finds them. Text outside script, style and template, with block elements (and table
// cells and line breaks) as gaps between words; words split at ASCII white space.

#include <gumbo.h>
#include <memory>
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
    // Depth-first without recursion: a fuzzed page may nest deeper than the stack allows.
    // A null entry stands for the end of a block element.
    std::vector<const GumboNode *> pending { output->document };
    while (!pending.empty()) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        if (node == nullptr) {
            text += ' ';
            continue;
        }
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE) {
            text += node->v.text.text;
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE
            && node->type != GUMBO_NODE_DOCUMENT)
            continue; // comments and CDATA sections
        const GumboVector &children = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children
                                                                        : node->v.element.children;
        if (node->type != GUMBO_NODE_DOCUMENT) {
            const std::string_view name = tagNameOf(node->v.element);
            if (hidden.contains(name))
                continue;
            if (gaps.contains(name)) {
                text += ' ';
                pending.push_back(nullptr);
            }
        }
        for (unsigned i = children.length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode *>(children.data[i - 1]));
    }
    return wordsOf(text);
}

} // namespace plaintrove::testing
