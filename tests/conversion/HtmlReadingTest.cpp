// What a second consumer of html/ sees: the tokenizer's tags with their attributes, turned by
// the stack of open elements into balanced open and close events (tests/data/html_events.txt),
// whatever the sizes of the pieces the page comes in.

#include "Examples.h"
#include "html/HtmlTokenizer.h"
#include "html/OpenElements.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using namespace plaintrove::conversion::html;
using plaintrove::testing::Example;

// Writes the events back as markup: every element closed, attributes as name=value.
struct EventWriter
{
    std::string events;
    std::vector<std::string> names; // to check that each close matches its open

    std::uint8_t open(const Tag &tag)
    {
        const std::string name = tag.name().empty() ? "?" : std::string(tag.name());
        events += (tag.foreign ? "<^" : "<") + name;
        for (const Attribute &attribute : tag.attributes())
            events += " " + std::string(attribute.name) + "=" + std::string(attribute.value);
        events += ">";
        names.push_back(name);
        return static_cast<std::uint8_t>(names.size());
    }
    void close(const OpenElement &element)
    {
        EXPECT_EQ(element.mark, names.size()) << "closed out of order";
        events += "</" + names.back() + ">";
        names.pop_back();
    }
    void text(std::string_view bytes, std::size_t) { events += bytes; }
    void space(std::string_view, bool) { events += ' '; }
    void markup() { }
    bool failed() const { return false; }
};

class Events : public ::testing::TestWithParam<Example>
{
};

TEST_P(Events, AreBalancedInPiecesOfAnySize)
{
    for (const std::size_t longest : { 0U, 1U, 2U, 5U, 64U }) {
        EventWriter writer;
        OpenElements<EventWriter> elements(writer);
        HtmlTokenizer<OpenElements<EventWriter>> tokenizer(elements);
        std::minstd_rand random(7);
        for (std::string_view page = GetParam().input; !page.empty();) {
            const std::size_t size = longest == 0 ? page.size() : 1 + random() % longest;
            tokenizer.feed(page.substr(0, size));
            page.remove_prefix(std::min(size, page.size()));
        }
        EXPECT_EQ(tokenizer.finish(), GetParam().unclosed);
        elements.finish();
        EXPECT_EQ(writer.events, GetParam().expected) << "pieces of up to " << longest;
    }
}

INSTANTIATE_TEST_SUITE_P(Line, Events,
    ::testing::ValuesIn(plaintrove::testing::examples(PLAINTROVE_HTML_EVENTS)),
    [](const auto &row) { return std::to_string(row.param.line); });

} // namespace
