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

    html::OpenElement open(const Node &node, std::string_view attributes)
    {
        m_tag.begin(false);
        m_tag.kind = node.kind;
        m_tag.foreign = node.foreign;
        while (!attributes.empty()) {
            const std::string_view name = attributes.substr(0, attributes.find('\0'));
            attributes.remove_prefix(name.size() + 1);
            const std::string_view value = attributes.substr(0, attributes.find('\0'));
            attributes.remove_prefix(value.size() + 1);
            m_tag.addAttribute(bytes(name), bytes(name) + name.size());
            m_tag.setValue(bytes(value), bytes(value) + value.size());
        }
        return { node.kind, node.foreign, m_out.open(m_tag) };
    }

    void close(const html::OpenElement &element) { m_out.close(element); }

    // A left out element still ends the line where it stood, but shows no list marker.
    void leftOut(const Node &node)
    {
        m_tag.begin(false);
        m_tag.kind = { node.kind.layout, ElementContent::Markup, Element::Other, 0 };
        m_tag.foreign = false;
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
    static const html::Byte *bytes(std::string_view text)
    {
        return reinterpret_cast<const html::Byte *>(text.data());
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

} // namespace

void layOutMainText(const Tree &tree, const MainText &main, ReadableLayout &out)
{
    const std::vector<Node> &nodes = tree.nodes;
    Replay replay(out);
    std::vector<std::pair<std::uint32_t, html::OpenElement>> open;
    const std::uint32_t end = nodes[main.root].end;
    for (std::uint32_t i = main.root + 1; i < end;) {
        while (!open.empty() && nodes[open.back().first].end <= i) {
            replay.close(open.back().second);
            open.pop_back();
        }
        const Node &node = nodes[i];
        if (node.role == Role::Text) {
            replay.text(tree.textOf(node), node.textKind);
            ++i;
        } else if (main.dropped[i]) {
            replay.leftOut(node);
            i = node.end;
        } else {
            open.emplace_back(i, replay.open(node, tree.textOf(node)));
            ++i;
        }
    }
    for (; !open.empty(); open.pop_back())
        replay.close(open.back().second);
}

} // namespace plaintrove::conversion::article
