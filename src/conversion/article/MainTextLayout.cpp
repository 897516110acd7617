#include "MainTextLayout.h"

namespace plaintrove::conversion::article {

namespace {

// Replays the events of the page that the tree keeps.
class Replay
{
public:
    explicit Replay(ReadableLayout &out)
        : m_out(out)
    { }

    // `hide`: the element is hidden, and so is all that comes in it.
    html::OpenElement open(const Node &node, std::string_view attributes, bool hide)
    {
        m_tag.begin(false);
        m_tag.kind = node.kind();
        m_tag.foreign = node.foreign;
        if (hide)
            attribute("hidden", {});
        while (!attributes.empty()) {
            const std::string_view name = attributes.substr(0, attributes.find('\0'));
            attributes.remove_prefix(name.size() + 1);
            const std::string_view value = attributes.substr(0, attributes.find('\0'));
            attributes.remove_prefix(value.size() + 1);
            attribute(name, value);
        }
        return { m_tag.kind, node.foreign, m_out.open(m_tag) };
    }

    void close(const html::OpenElement &element) { m_out.close(element); }

    // A left out element still ends the line where it stood, but shows no list marker.
    void leftOut(const Node &node)
    {
        m_tag.begin(false);
        m_tag.kind = { node.layout, ElementContent::Markup, Element::Other, 0 };
        close({ m_tag.kind, false, m_out.open(m_tag) });
    }

    void text(std::string_view text, TextKind kind)
    {
        switch (kind) {
        case TextKind::Words:
            return words(text);
        case TextKind::Space:
        case TextKind::SpaceFromReference:
            return m_out.space(text, kind == TextKind::SpaceFromReference);
        case TextKind::Markup:
            return m_out.markup();
        }
    }

private:
    // Copied into the tag, as the tokenizer copies an attribute that comes in pieces.
    void attribute(std::string_view name, std::string_view value)
    {
        const auto *const begin = reinterpret_cast<const html::Byte *>(name.data());
        const auto *const valueBegin = reinterpret_cast<const html::Byte *>(value.data());
        m_tag.beginAttribute();
        m_tag.addToName(begin, begin + name.size());
        m_tag.addToValue(valueBegin, valueBegin + value.size());
    }

    // Words with single spaces between them, and maybe one before and one after.
    void words(std::string_view text)
    {
        if (text.empty())
            return;
        const bool before = text.front() == ' ';
        const bool after = text.size() > 1 && text.back() == ' ';
        if (before)
            m_out.space(" ", false);
        text.remove_prefix(before ? 1 : 0);
        text.remove_suffix(after ? 1 : 0);
        if (!text.empty())
            m_out.text(text, 0);
        if (after)
            m_out.space(" ", false);
    }

    ReadableLayout &m_out;
    html::Tag m_tag; // its kind, and the attributes that number lists
};

// Replays what `root` holds, less what `dropped` says, or else less what the page hides; returns
// the elements left open: those of a tree still being built, whose ends have not come yet.
std::vector<html::OpenElement> replay(
    const Tree &tree, std::uint32_t root, const std::vector<bool> *dropped, ReadableLayout &out)
{
    const Nodes &nodes = tree.nodes;
    const auto endOf = [&](std::uint32_t i) {
        return nodes[i].end != 0 ? nodes[i].end : static_cast<std::uint32_t>(nodes.size());
    };
    Replay replay(out);
    std::vector<std::uint32_t> opened;
    std::vector<html::OpenElement> open;
    for (std::uint32_t i = root + 1; i < endOf(root);) {
        for (; !opened.empty() && nodes[opened.back()].end != 0 && nodes[opened.back()].end <= i;
             opened.pop_back(), open.pop_back())
            replay.close(open.back());
        const Node &node = nodes[i];
        if (node.role == Role::Text) {
            replay.text(tree.textOf(node), node.textKind);
            ++i;
        } else if (dropped && (*dropped)[i]) {
            replay.leftOut(node);
            i = node.end;
        } else {
            opened.push_back(i);
            open.push_back(
                replay.open(node, tree.textOf(node), !dropped && (node.hints & Hidden) != 0));
            ++i;
        }
    }
    for (; !opened.empty() && nodes[opened.back()].end != 0; opened.pop_back(), open.pop_back())
        replay.close(open.back());
    return open;
}

} // namespace

void layOutMainText(const Tree &tree, const MainText &main, ReadableLayout &out)
{
    replay(tree, main.root, &main.dropped, out);
}

std::vector<html::OpenElement> layOutUnfinishedTree(const Tree &tree, ReadableLayout &out)
{
    return replay(tree, 0, nullptr, out);
}

} // namespace plaintrove::conversion::article
