#include "MainText.h"

#include <algorithm>

namespace plaintrove::conversion::article {

namespace {

// A block of at least this many letters and signs, at most this share of them in links, reads
// as prose: a paragraph of the story rather than a label, a menu or a teaser's title.
constexpr std::uint32_t minProse = 80;
constexpr double maxProseLinks = 0.33;
// What an element is worth as the main text: its prose, plus a little for short text without
// links (subheadings, list items, table cells of the story), less its links and what is
// around the article.
constexpr std::int32_t shortTextWeight = 1, linkPenalty = 10, proseWeight = 10; // in tenths
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
};

// The letters and signs outside links of a block's own text that reads as prose.
std::uint32_t proseOf(const Counts &own)
{
    return own.chars >= minProse && own.linkChars <= maxProseLinks * own.chars
        ? own.chars - own.linkChars
        : 0;
}

// What the choice finds out about a node, in one place and small: a page of a few MiB can have
// a million nodes.
struct Facts
{
    Counts all; // of the element with everything inside it
    std::uint32_t prose = 0; // of the element with everything inside it
    Counts own; // of a block's own text, not that of blocks inside it; of a text, its letters
    // In tenths of a letter (shortTextWeight). A page holds at most ArticleStripper::maxPage
    // bytes, and so at most as many letters: ten times that fits.
    std::int32_t value = 0;
    bool inLink : 1 = false;
    bool firstInLink : 1 = false; // its first text is in a link
    bool teasers : 1 = false;
    bool around : 1 = false;
};
static_assert(sizeof(Facts) <= 28);

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
        return has(node, Peripheral) && !has(node, Positive);
    }
}

void countText(const Tree &tree, std::vector<Facts> &facts)
{
    const Nodes &nodes = tree.nodes;
    const auto count = static_cast<std::uint32_t>(nodes.size());
    // Going down: whether each node is in a link, the block each text is part of (the nearest
    // element open that is not inline), and whether an element's first text is in a link. The
    // elements still waiting for their first text are the innermost ones open, from `waiting`.
    struct Open
    {
        std::uint32_t element, block;
    };
    std::vector<Open> open { { 0, 0 } };
    std::size_t waiting = 1;
    for (std::uint32_t i = 1; i < count; ++i) {
        const Node &node = nodes[i];
        Facts &fact = facts[i];
        for (; nodes[open.back().element].end <= i; open.pop_back())
            waiting = std::min(waiting, open.size() - 1);
        fact.inLink = facts[node.parent].inLink || nodes[node.parent].role == Role::Link;
        if (node.role != Role::Text) {
            open.push_back({ i, node.layout != ElementLayout::Inline ? i : open.back().block });
            continue;
        }
        fact.own.chars = visibleChars(tree.textOf(node));
        Counts &block = facts[open.back().block].own;
        block.chars += fact.own.chars;
        block.linkChars += fact.inLink ? fact.own.chars : 0;
        if (fact.own.chars == 0)
            continue;
        for (; waiting < open.size(); ++waiting)
            facts[open[waiting].element].firstInLink = fact.inLink;
    }
    // Going up: each element's text with everything inside it.
    for (std::uint32_t i = count; i-- > 0;) {
        Facts &fact = facts[i];
        if (nodes[i].role != Role::Text) {
            fact.all.chars += fact.own.chars;
            fact.all.linkChars += fact.own.linkChars;
            fact.prose += proseOf(fact.own);
        }
        if (i == 0)
            continue;
        Facts &parent = facts[nodes[i].parent];
        parent.all.chars += fact.all.chars;
        parent.all.linkChars += fact.all.linkChars;
        parent.prose += fact.prose;
    }
}

void findTeasers(const Tree &tree, std::vector<Facts> &facts)
{
    const Nodes &nodes = tree.nodes;
    const auto count = static_cast<std::uint32_t>(nodes.size());
    // Teasers: a block with three or more short items, each led by a link, that make up at
    // least half its text. Each open element counts its items.
    struct Items
    {
        std::uint32_t element, count = 0, chars = 0;
    };
    std::vector<Items> items { { 0 } };
    for (std::uint32_t i = 1; i <= count; ++i) {
        for (; items.size() > 1 && (i == count || nodes[items.back().element].end <= i);
             items.pop_back()) {
            const Items &block = items.back();
            facts[block.element].teasers
                = block.count >= minTeasers && 2 * block.chars >= facts[block.element].all.chars;
        }
        if (i == count || nodes[i].role == Role::Text)
            continue;
        const Counts &item = facts[i].all;
        if (nodes[i].layout != ElementLayout::Inline && facts[i].firstInLink
            && item.linkChars < item.chars && item.chars <= maxTeaserChars) {
            ++items.back().count;
            items.back().chars += item.chars;
        }
        items.push_back({ i });
    }
}

void findWhatIsAround(const Tree &tree, std::vector<Facts> &facts)
{
    const Nodes &nodes = tree.nodes;
    const auto count = static_cast<std::uint32_t>(nodes.size());
    // Going down again: what is around the article.
    for (std::uint32_t i = 1; i < count; ++i) {
        const Node &node = nodes[i];
        Facts &fact = facts[i];
        fact.around = facts[node.parent].around || has(node, Hidden) || fact.teasers
            || namedAround(node)
            || (placedAround(node) && fact.prose <= layoutShare * facts[0].prose);
    }
}

// The element whose value as the main text is the highest; of equals, the deepest.
std::uint32_t bestElement(const Tree &tree, std::vector<Facts> &facts)
{
    const Nodes &nodes = tree.nodes;
    const auto count = static_cast<std::uint32_t>(nodes.size());
    // Going up: what each element is worth as the main text. The best is the main text; of
    // equals, the deepest, which leaves out the most.
    for (std::uint32_t i = count; i-- > 0;) {
        Facts &fact = facts[i];
        if (nodes[i].role != Role::Text) {
            const auto chars = static_cast<std::int32_t>(fact.own.chars);
            const auto links = static_cast<std::int32_t>(fact.own.linkChars);
            const auto prose = static_cast<std::int32_t>(proseOf(fact.own));
            if (fact.around)
                fact.value -= linkPenalty * chars;
            else if (prose > 0)
                fact.value += proseWeight * prose;
            else
                fact.value += shortTextWeight * (chars - links) - linkPenalty * links;
        }
        if (i > 0)
            facts[nodes[i].parent].value += fact.value;
    }
    std::uint32_t best = 0;
    for (std::uint32_t i = 1; i < count; ++i) {
        if (nodes[i].role != Role::Text && facts[i].value >= facts[best].value)
            best = i;
    }
    return best;
}

} // namespace

MainText findMainText(const Tree &tree)
{
    const Nodes &nodes = tree.nodes;
    const auto count = static_cast<std::uint32_t>(nodes.size());
    std::vector<Facts> facts(count);
    countText(tree, facts);
    findTeasers(tree, facts);
    findWhatIsAround(tree, facts);
    const std::uint32_t best = bestElement(tree, facts);
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
            const Counts &text = facts[i].all;
            main.dropped[i] = leaveOut != LeaveOut::Nothing
                && ((facts[i].around && !facts[node.parent].around) || node.role == Role::Heading1
                    || (leaveOut == LeaveOut::AllButProse
                        && (node.role == Role::Figure
                            || (text.chars > 0 && text.linkChars > maxListLinks * text.chars)
                            || (node.role == Role::Division && text.chars == facts[i].own.chars
                                && text.chars > 0 && text.chars < maxLabelChars))));
            if (main.dropped[i])
                i = node.end - 1;
            else
                kept += node.role == Role::Text ? facts[i].own.chars : 0;
        }
        return kept;
    };
    if (facts[0].prose > 0 && take(best, LeaveOut::AllButProse) > 0)
        return main;
    // A page without prose (an index, a form, a manual page), where links and short lines are
    // what there is to read: its main region, or all of it, less what is around it.
    std::uint32_t region = 0;
    for (std::uint32_t i = 1; i < count && region == 0; ++i) {
        if ((nodes[i].role == Role::Main || has(nodes[i], MainContent)) && facts[i].all.chars > 0)
            region = i;
    }
    // Never nothing for a page with text.
    if (take(region, LeaveOut::Around) == 0 && take(0, LeaveOut::Around) == 0)
        take(0, LeaveOut::Nothing);
    return main;
}

} // namespace plaintrove::conversion::article
