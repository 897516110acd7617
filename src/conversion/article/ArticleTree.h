#pragma once

// The page as the article mode sees it: its elements and texts in document order, each element
// followed by everything inside it, with what the choice of the main text needs to know of them.
// TreeBuilder makes it from the balanced open and close events of html/OpenElements.h. Nothing
// of the head, scripts, styles, forms' controls, frames and pictures' markup (svg, math) is kept:
// none of it is text of the article.

#include "html/OpenElements.h"

#include <cstdint>
#include <memory>
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
    // An element's kind as the tokenizer found it, but for how the tokenizer reads what
    // follows its start tag, which nothing after it needs.
    Element element = Element::Other;
    ElementLayout layout = ElementLayout::Inline;
    std::uint16_t flags = 0;
    Role role = Role::Other;
    std::uint8_t hints = 0;
    TextKind textKind = TextKind::Words;
    bool foreign = false;

    ElementKind kind() const { return { layout, ElementContent::Markup, element, flags }; }
};
static_assert(sizeof(Node) == 24);

// A page's nodes, in chunks that never move: a page of a million nodes grows without copying
// them, and its memory is touched once.
class Nodes
{
public:
    Node &operator[](std::size_t i) { return m_chunks[i >> chunkBits][i & chunkMask]; }
    const Node &operator[](std::size_t i) const { return m_chunks[i >> chunkBits][i & chunkMask]; }
    std::size_t size() const { return m_size; }
    Node &back() { return (*this)[m_size - 1]; }
    void push_back(const Node &node)
    {
        if ((m_size & chunkMask) == 0)
            m_chunks.push_back(std::make_unique_for_overwrite<Node[]>(chunkMask + 1));
        (*this)[m_size++] = node;
    }

private:
    static constexpr std::size_t chunkBits = 12, chunkMask = (1 << chunkBits) - 1; // 96 KiB
    std::vector<std::unique_ptr<Node[]>> m_chunks;
    std::size_t m_size = 0;
};

struct Tree
{
    Nodes nodes; // nodes[0] stands for the page itself
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

    // The tree so far, whose open elements have no end yet.
    const Tree &unfinished() const { return m_tree; }
    // Frees the tree: from now on the builder only keeps out what it leaves out (skipping()).
    void release() { m_tree = {}; }
    // Inside an element whose content is left out.
    bool skipping() const { return m_skipped > 0; }

private:
    void addText(std::string_view bytes, TextKind kind);

    Tree m_tree;
    std::vector<std::uint32_t> m_open; // the elements opened and not yet closed
    std::uint32_t m_skipped = 0; // depth inside elements whose content is left out
    std::uint32_t m_preformatted = 0; // depth inside pre and the like
};

} // namespace plaintrove::conversion::article
