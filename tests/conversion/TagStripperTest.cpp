// The tag stripper against its examples (tests/data/strip_tags.txt) and against the literal
// reference on random inputs, fed in pieces of every size so that line ends, tags and runs of
// spaces fall across the edges of the pieces and of the scanner's 64-byte windows.

#include "Examples.h"
#include "ReferenceStripper.h"
#include "StripHarness.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using namespace plaintrove::testing;
using plaintrove::conversion::LineEnd;
using plaintrove::conversion::StripOutcome;

class Examples : public ::testing::TestWithParam<Example>
{
};

TEST_P(Examples, StripperAndReferenceGiveTheExpectedText)
{
    const Example &row = GetParam();
    const StripOutcome outcome = row.unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    if (!row.lf) {
        const ReferenceResult reference = referenceStrip(row.input);
        EXPECT_EQ(reference.output, row.expected) << "the reference";
        EXPECT_EQ(reference.unclosedTag, row.unclosed) << "the reference";
    }
    for (const std::size_t longest : { 0U, 1U, 2U, 3U, 7U, 64U }) {
        const Stripped result = stripInPieces<plaintrove::conversion::TagStripper>(
            row.input, longest, 1, row.lf ? LineEnd::Lf : LineEnd::CrLf);
        EXPECT_EQ(result.text, row.expected) << "pieces of up to " << longest;
        EXPECT_EQ(result.outcome, outcome) << "pieces of up to " << longest;
    }
}

INSTANTIATE_TEST_SUITE_P(Line, Examples, ::testing::ValuesIn(examples(PLAINTROVE_STRIP_EXAMPLES)),
    [](const auto &row) { return std::to_string(row.param.line); });

TEST(Differential, RandomInputsAcrossWindowEdgesMatchTheReference)
{
    const std::string_view alphabet { "<> a\t\r\n\xC3\0", 9 };
    std::mt19937 random(20240611);
    int mismatches = 0;
    for (int tried = 0; tried < 20000 && mismatches < 5; ++tried) {
        // Past two windows; whole CR LF pairs would be too rare to split otherwise.
        std::string input;
        for (std::size_t length = random() % 161; input.size() < length;)
            input += random() % 12 == 0 ? "\r\n" : std::string(1, alphabet[random() % 9]);
        const ReferenceResult expected = referenceStrip(input);
        const Stripped actual
            = stripInPieces(input, random() % 10, static_cast<unsigned>(random()));
        if (actual.text == expected.output
            && (actual.outcome == StripOutcome::UnclosedTag) == expected.unclosedTag)
            continue;
        ++mismatches;
        using ::testing::PrintToString;
        ADD_FAILURE() << "input " << PrintToString(input) << "\n  reference "
                      << PrintToString(expected.output) << "\n  stripper  "
                      << PrintToString(actual.text);
    }
}

TEST(Sink, AFailedWriteStopsTheStripper)
{
    // Accepts its first block of text and refuses every later one.
    struct : plaintrove::conversion::TextSink
    {
        int writes = 0;
        bool write(std::string_view) override { return ++writes == 1; }
    } sink;
    plaintrove::conversion::TagStripper stripper(sink);
    EXPECT_TRUE(stripper.feed(std::string(100'000, '\n'))); // less than a block of text: held
    EXPECT_FALSE(stripper.feed(std::string(1'000'000, '\n'))); // a block taken, the next refused
    EXPECT_FALSE(stripper.feed("more\n"));
    EXPECT_EQ(stripper.finish(), StripOutcome::SinkFailed);
    EXPECT_EQ(sink.writes, 2);
}

} // namespace
