#include "MainText.h"

namespace plaintrove::conversion::article {

namespace {

// A block of at least this many letters and signs, at most this share of them in links, reads
// as prose: a paragraph of the story rather than a label, a menu or a teaser's title.
constexpr std::uint32_t minProse = 80;
constexpr double maxProseLinks = 0.33;
// What an element is worth as the main text: its prose, plus a little for short text without
// links (subheadings, list items, table cells of the story), less its links and what is
// around the article.
constexpr double shortTextWeight = 0.1;
constexpr double linkPenalty = 1;
// A block whose name or place says it is around the article is taken at its word unless it
// holds this share of the page's prose: page builders call whole layouts "widget" or "sidebar".
constexpr double layoutShare = 0.5;
// Teasers of other pages: at least this many items, each led by a link and this short.
constexpr std::uint32_t minTeasers = 3;
constexpr std::uint32_t maxTeaserChars = 400;
// Within the main text: a block mostly of links is a list of other pages, and a block this
// short alone in a division is a label ("Advertisement", "Share").
constexpr double maxListLinks = 0.5;
constexpr std::uint32_t maxLabelChars = 20;

struct Counts
{
    std::uint32_t chars = 0; // letters and signs, not spaces; a UTF-8 sequence counts once
    std::uint32_t linkChars = 0; // of those, inside links
    std::uint32_t prose = 0; // of those, outside links in blocks that read as prose
    void add(const Counts &other)
    {
        chars += other.chars;
        linkChars += other.linkChars;
        prose += other.prose;
    }
};

std::uint32_t visibleChars(std::string_view text)
{
    std::uint32_t chars = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        chars += byte > ' ' && (byte & 0xC0) != 0x80 ? 1U : 0U;
    }
    return chars;
}

bool has(const Node &node, Hint hint)
{
    return (node.hints & hint) != 0;
}

bool namedContent(const Node &node)
{
    return !has(node, Negative) && !has(node, Peripheral)
        && (has(node, Positive) || has(node, MainContent) || node.role == Role::Article
            || node.role == Role::Main);
}

// Whether an element says it is part of the page around the article: by its name...
bool namedAround(const Node &node)
{
    return node.role != Role::Page && has(node, Negative) && !has(node, Positive);
}

// ...or by its place, which a layout may give to the whole page.
bool placedAround(const Node &node)
{
    switch (node.role) {
    case Role::Navigation:
    case Role::Aside:
    case Role::Header:
    case Role::Footer:
    case Role::Form:
        return true;
    case Role::Page:
        return false;
    default:
        return has(node, NavigationRole) || (has(node, Peripheral) && !has(node, Positive));
    }
}

} // namespace

MainText findMainText(const Tree &tree)
{
    const std::vector<Node> &nodes = tree.nodes;
    const auto count = static_cast<std::uint32_t>(nodes.size());

    // Going down: whether each node is in a link, and the block it is part of (its nearest
    // element that is not inline).
    std::vector<bool> inLink(count);
    std::vector<std::uint32_t> block(count);
    for (std::uint32_t i = 1; i < count; ++i) {
        const std::uint32_t parent = nodes[i].parent;
        inLink[i] = inLink[parent] || nodes[parent].role == Role::Link;
        block[i] = parent == 0 || nodes[parent].kind.layout != ElementLayout::Inline
            ? parent
            : block[parent];
    }
    // Each block's own text, then each element's with everything inside it.
    std::vector<Counts> own(count);
    std::vector<std::uint32_t> textChars(count);
    for (std::uint32_t i = 1; i < count; ++i) {
        if (nodes[i].role != Role::Text)
            continue;
        textChars[i] = visibleChars(tree.textOf(nodes[i]));
        own[block[i]].chars += textChars[i];
        own[block[i]].linkChars += inLink[i] ? textChars[i] : 0;
    }
    for (Counts &counts : own) {
        if (counts.chars >= minProse && counts.linkChars <= maxProseLinks * counts.chars)
            counts.prose = counts.chars - counts.linkChars;
    }
    std::vector<Counts> all(own);
    std::vector<bool> holdsContent(count);
    for (std::uint32_t i = count - 1; i > 0; --i) {
        all[nodes[i].parent].add(all[i]);
        // Not through a comment section, which may well call its comments' text content.
        if ((holdsContent[i] || namedContent(nodes[i])) && !has(nodes[i], Negative))
            holdsContent[nodes[i].parent] = true;
    }

    // Teasers: a block with three or more short items, each led by a link, that make up at
    // least half its text.
    std::vector<bool> teasers(count);
    {
        std::vector<std::uint32_t> nextText(count + 1, count); // the first text at or after
        for (std::uint32_t i = count; i-- > 0;)
            nextText[i] = textChars[i] > 0 ? i : nextText[i + 1];
        std::vector<std::uint32_t> items(count), itemChars(count);
        for (std::uint32_t i = 1; i < count; ++i) {
            const Counts &item = all[i];
            const std::uint32_t first = nextText[i];
            if (nodes[i].kind.layout != ElementLayout::Inline && first < nodes[i].end
                && inLink[first] && item.linkChars < item.chars && item.chars <= maxTeaserChars) {
                ++items[nodes[i].parent];
                itemChars[nodes[i].parent] += item.chars;
            }
        }
        for (std::uint32_t i = 1; i < count; ++i)
            teasers[i] = items[i] >= minTeasers && 2 * itemChars[i] >= all[i].chars;
    }

    // Going down again: what is around the article. A name can mislead: an element that holds
    // what the page names as its content is not around it.
    std::vector<bool> around(count);
    for (std::uint32_t i = 1; i < count; ++i) {
        const Node &node = nodes[i];
        around[i] = around[node.parent] || has(node, Hidden) || teasers[i]
            || (!holdsContent[i]
                && (namedAround(node)
                    || (placedAround(node) && all[i].prose <= layoutShare * all[0].prose)));
    }

    // Going up: what each element is worth as the main text. The best is the main text; of
    // equals, the deepest, which leaves out the most.
    std::vector<double> value(count);
    for (std::uint32_t i = count; i-- > 0;) {
        const Counts &counts = own[i];
        if (around[i])
            value[i] -= linkPenalty * counts.chars;
        else if (counts.prose > 0)
            value[i] += counts.prose;
        else
            value[i] += shortTextWeight * (counts.chars - counts.linkChars)
                - linkPenalty * counts.linkChars;
        if (i > 0)
            value[nodes[i].parent] += value[i];
    }
    std::uint32_t best = 0;
    for (std::uint32_t i = 1; i < count; ++i) {
        if (nodes[i].role != Role::Text && value[i] >= value[best])
            best = i;
    }
    MainText main;
    main.dropped.assign(count, false);
    // Takes `root` as the main text, less what `leaveOut` says; returns how many letters and
    // signs that keeps.
    enum class LeaveOut { Nothing, Around, AllButProse };
    const auto take = [&](std::uint32_t root, LeaveOut leaveOut) {
        main.root = root;
        std::uint32_t kept = 0;
        for (std::uint32_t i = root + 1; i < nodes[root].end; ++i) {
            const Node &node = nodes[i];
            const Counts &text = all[i];
            main.dropped[i] = leaveOut != LeaveOut::Nothing
                && ((around[i] && !around[node.parent]) || node.role == Role::Heading1
                    || (leaveOut == LeaveOut::AllButProse
                        && (node.role == Role::Figure
                            || (text.chars > 0 && text.linkChars > maxListLinks * text.chars)
                            || (node.role == Role::Division && text.chars == own[i].chars
                                && text.chars > 0 && text.chars < maxLabelChars))));
            if (main.dropped[i])
                i = node.end - 1;
            else
                kept += textChars[i];
        }
        return kept;
    };
    if (all[0].prose > 0 && take(best, LeaveOut::AllButProse) > 0)
        return main;
    // A page without prose (an index, a form, a manual page), where links and short lines are
    // what there is to read: its main region, or all of it, less what is around it.
    std::uint32_t region = 0;
    for (std::uint32_t i = 1; i < count && region == 0; ++i) {
        if ((nodes[i].role == Role::Main || has(nodes[i], MainContent)) && all[i].chars > 0)
            region = i;
    }
    // Never nothing for a page with text.
    if (take(region, LeaveOut::Around) == 0 && take(0, LeaveOut::Around) == 0)
        take(0, LeaveOut::Nothing);
    return main;
}

} // namespace plaintrove::conversion::article
