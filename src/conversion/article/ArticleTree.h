#pragma once

// The page as the article mode sees it: its elements and texts in document order, each element
// followed by everything inside it, with what the choice of the main text needs to know of them.
// TreeBuilder makes it from the balanced open and close events of html/OpenElements.h. Nothing
// of the head, scripts, styles, forms' controls, frames and pictures' markup (svg, math) is kept:
// none of it is text of the article.

#include "html/OpenElements.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plaintrove::conversion::article {

// The kinds of elements the choice tells apart.
enum class Role : std::uint8_t {
    Text, // not an element: text
    Other,
    Link, // a
    Division, // div, section: what a layout is built of
    Article, // article
    Main, // main
    Page, // html, body
    Navigation, // nav
    Aside, // aside
    Header, // header
    Footer, // footer
    Form, // form
    Heading1, // h1: the headline
    Figure, // figure, figcaption
};

// What an element's attributes say of it.
enum Hint : std::uint8_t {
    Positive = 1, // its class or id names content: article, story, post, entry...
    Negative = 2, // ...or the page around it: comments, sharing, related stories, ads...
    Peripheral = 4, // ...or where it stands: sidebar, widget, menu, footer...
    Hidden = 8, // hidden, aria-hidden, display: none
    MainContent = 16, // role=main or article, itemprop=articleBody
    NavigationRole = 32, // role=navigation, banner, contentinfo, complementary, search...
};

// What a text node holds. Outside preformatted text a run of white space is one space, kept
// with the words; inside it each event is a node of its own, so that it is laid out as read.
enum class TextKind : std::uint8_t { Words, Space, SpaceFromReference, Markup };

struct Node
{
    std::uint32_t end = 0; // one past the last node inside it
    std::uint32_t parent = 0;
    // Where its bytes start in Tree::text, and how many: a text's, or an element's attributes
    // that number lists, each name and value followed by a NUL.
    std::uint32_t text = 0;
    std::uint32_t size = 0;
    ElementKind kind; // an element's, as the tokenizer found it
    Role role = Role::Other;
    std::uint8_t hints = 0;
    TextKind textKind = TextKind::Words;
    bool foreign = false;
};

struct Tree
{
    std::vector<Node> nodes; // nodes[0] stands for the page itself
    std::string text; // every text's bytes, references decoded
    std::string_view textOf(const Node &node) const
    {
        return std::string_view(text).substr(node.text, node.size);
    }
};

// A consumer of html::OpenElements: builds the tree as the events come.
class TreeBuilder
{
public:
    TreeBuilder();

    std::uint8_t open(const html::Tag &tag);
    void close(const html::OpenElement &element);
    void text(std::string_view bytes, std::size_t readable);
    void space(std::string_view whiteSpace, bool fromReference);
    void markup();
    bool failed() const { return false; }

    // Closes what is open and hands the tree over.
    Tree finish();

private:
    void addText(std::string_view bytes, TextKind kind);

    Tree m_tree;
    std::vector<std::uint32_t> m_open; // the elements opened and not yet closed
    std::uint32_t m_skipped = 0; // depth inside elements whose content is left out
    std::uint32_t m_preformatted = 0; // depth inside pre and the like
};

} // namespace plaintrove::conversion::article
