// The article stripper against its examples (tests/data/article_text.txt), fed in pieces of
// every size. How well it finds articles on real pages is the article_benchmark test's.

#include "article/ArticleStripper.h"

#include "Examples.h"
#include "StripHarness.h"

#include <gtest/gtest.h>

namespace {

using namespace plaintrove::testing;
using plaintrove::conversion::ArticleStripper;
using plaintrove::conversion::LineEnd;
using plaintrove::conversion::ReadableStripper;
using plaintrove::conversion::StripOutcome;

class Examples : public ::testing::TestWithParam<Example>
{
};

TEST_P(Examples, GiveTheMainText)
{
    const Example &row = GetParam();
    const StripOutcome outcome = row.unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    for (const std::size_t longest : { 0U, 1U, 3U, 64U }) {
        const Stripped result = stripInPieces<ArticleStripper>(
            row.input, longest, 1, row.lf ? LineEnd::Lf : LineEnd::CrLf);
        EXPECT_EQ(result.text, row.expected) << "pieces of up to " << longest;
        EXPECT_EQ(result.outcome, outcome) << "pieces of up to " << longest;
    }
}

INSTANTIATE_TEST_SUITE_P(Article, Examples,
    ::testing::ValuesIn(examples(PLAINTROVE_ARTICLE_EXAMPLES)),
    [](const auto &row) { return std::to_string(row.param.line); });

// Up to the limit a page is held and its article found; past it, by a single byte, its whole
// text is written as the readable mode writes it.
TEST(Limit, APageOverItGetsItsWholeText)
{
    const std::string story = "<nav><a href=/>Home</a></nav><p>The council met on Monday evening "
                              "and voted to keep the old bridge open to walkers.</p>";
    for (const std::size_t size : { ArticleStripper::maxPage, ArticleStripper::maxPage + 1 }) {
        const std::string page = story + std::string(size - story.size(), ' ');
        const Stripped article = stripInPieces<ArticleStripper>(page, 1 << 20);
        if (size == ArticleStripper::maxPage) {
            EXPECT_EQ(article.outcome, StripOutcome::Complete);
            EXPECT_EQ(article.text.find("Home"), std::string::npos);
        } else {
            EXPECT_EQ(article.outcome, StripOutcome::WholeText);
            EXPECT_EQ(article.text, stripInPieces<ReadableStripper>(page).text);
            EXPECT_EQ(stripInPieces<ArticleStripper>(page + "<p", 1 << 20).outcome,
                StripOutcome::WholeTextUnclosedTag); // neither warning hides the other
        }
    }
}

TEST(Sink, AFailedWriteIsReported)
{
    struct : plaintrove::conversion::TextSink
    {
        bool write(std::string_view) override { return false; }
    } sink;
    ArticleStripper stripper(sink);
    stripper.feed("<p>The council met on Monday, and it voted to keep the old bridge.</p>");
    EXPECT_EQ(stripper.finish(), StripOutcome::SinkFailed);
}

} // namespace
