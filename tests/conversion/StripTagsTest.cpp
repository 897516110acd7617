#include "StripTags.h"

#include "ReferenceStripper.h"
#include "StringStreams.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <malloc.h>
#include <optional>
#include <ostream>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace plaintrove::conversion {

// Lets failure messages name the outcome instead of printing its underlying number.
void PrintTo(StripOutcome outcome, std::ostream *os)
{
    *os << (outcome == StripOutcome::Complete ? "Complete" : "UnclosedTag");
}

namespace {

using namespace std::string_literals;
using namespace fixtures;

struct StripResult
{
    std::string output;
    StripOutcome outcome;
};

StripResult strip(
    ByteSource &source, std::size_t bufferSize, StripScanner scanner = StripScanner::Fastest)
{
    StringSink sink;
    try {
        const StripOutcome outcome = StripTags(source, sink, bufferSize, scanner);
        return { std::move(sink.data), outcome };
    } catch (const RunawayOutput &) {
        // Shows up as a mismatch wherever the result is compared.
        return { "[runaway output: more than 64 KiB]", StripOutcome::Complete };
    }
}

StripResult stripString(const std::string &input, std::size_t bufferSize,
    std::size_t maxChunk = unlimited, std::optional<unsigned> seed = {},
    StripScanner scanner = StripScanner::Fastest)
{
    ChunkedSource source(input, maxChunk, seed);
    return strip(source, bufferSize, scanner);
}

// Both ways of searching the input must give the same result everywhere.
constexpr std::array<StripScanner, 2> scanners { StripScanner::Fastest, StripScanner::Portable };

const char *scannerLabel(StripScanner scanner)
{
    return scanner == StripScanner::Fastest ? "fastest scanner" : "portable scanner";
}

StripOutcome referenceOutcome(const reference::ReferenceResult &result)
{
    return result.unclosedTag ? StripOutcome::UnclosedTag : StripOutcome::Complete;
}

// ---------------------------------------------------------------------------------------------
// Behaviour table

struct StripCase
{
    std::string name;
    std::string input;
    std::string expected;
    StripOutcome outcome = StripOutcome::Complete;
};

void PrintTo(const StripCase &c, std::ostream *os)
{
    *os << c.name << " \"" << escaped(c.input) << '"';
}

std::string spaces(std::size_t count)
{
    return std::string(count, ' ');
}

const std::vector<StripCase> &stripCases()
{
    constexpr auto unclosed = StripOutcome::UnclosedTag;
    const std::string smallPageOutput = "\r\n\r\nTitle\r\nFirstboldword,\r\nsecond line.\r\n\r\n";
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";

    static const std::vector<StripCase> cases {
        // Examples and edge cases of the behaviour description.
        { "EmptyFile", "", "" },
        { "EmptyLine", "\r\n", "\r\n" },
        { "SpacesOnlyLine", "    \r\n", "\r\n" },
        { "EmptyLinesBetweenText", "a\r\n\r\n  \r\nb\r\n", "a\r\n\r\n\r\nb\r\n" },
        { "BreakOnly", "<br>\r\n", "\r\n" },
        { "EmptyParagraph", "<p></p>\r\n", "\r\n" },
        { "SpacedParagraph", "  <p>  Some text  </p>  \r\n", "Some text\r\n" },
        { "StrayGreaterThan", "a > b\r\n", "a > b\r\n" },
        { "EntityNotDecoded", "x &amp; y\r\n", "x &amp; y\r\n" },
        { "NbspNotDecoded", "a&nbsp;<i>b</i>&lt;\r\n", "a&nbsp;b&lt;\r\n" },
        { "TagOverTwoLines", "<a href=\"x\"\r\ntitle=\"y\">Link</a>\r\n", "Link\r\n" },
        { "LinesInsideTagDropped",
            "before <a\r\nwords inside\r\n  more < text  \r\n<\r\n> after\r\nnext\r\n",
            "beforeafter\r\nnext\r\n" },
        { "CommentEndsAtFirstGreaterThan", "<!-- a > b -->\r\n", "b -->\r\n" },
        { "LessThanInProse", "if a < b then c > d\r\n", "if ad\r\n" },
        { "LastLineWithoutTerminator", "first\r\nlast", "first\r\nlast\r\n" },
        { "SingleLineWithoutTerminator", "abc", "abc\r\n" },
        { "SmallPage",
            "<html>\r\n<body>\r\n<h1>Title</h1>\r\n<p>First <b>bold</b> word,\r\n"
            "second line.</p>\r\n</body></html>\r\n",
            smallPageOutput },

        // Pieces, tags and trimming.
        { "PiecesJoined", "Hello <b>world</b>!\r\n", "Helloworld!\r\n" },
        { "LessThanInsideTag", "x<a <b> c\r\n", "xc\r\n" },
        { "GreaterThanWithoutTag", ">a>\r\n", ">a>\r\n" },
        { "GreaterThanAfterTag", "<a>>b <c> > d\r\n", ">b> d\r\n" },
        { "TrimsLineWithoutMarkup", "   plain text   \r\n", "plain text\r\n" },
        { "InnerSpacesKept", "a   b <i>c   d</i>\r\n", "a   bc   d\r\n" },
        { "SpacesAroundTagsDropped", "a  <b>  c  <d>  e  \r\n", "ace\r\n" },
        { "TabsNotTrimmed", "\t a \t\r\n", "\t a \t\r\n" },
        { "TabOnlyLine", "  \t  \r\n", "\t\r\n" },
        { "TabsBesideTags", "a\t <b> \tc\r\n", "a\t\tc\r\n" },
        { "OtherWhitespaceNotTrimmed", " \v\f \r\n", "\v\f\r\n" },
        { "OnlyTags", "<a><b><c>\r\n", "\r\n" },
        { "TagsAcrossLinesChained", "a<b\r\nc>d<e\r\nf>g\r\n", "adg\r\n" },
        { "EmptyLineInsideTag", "<a\r\n\r\n>b\r\n", "b\r\n" },
        { "ClosingLineTrimmed", "<a\r\n  x  >  y  \r\n", "y\r\n" },
        { "TagOpensAtLineEnd", "a <\r\n>b\r\n", "ab\r\n" },
        { "LineAfterClosingLineIsOwnLine", "<a\r\nb>c\r\nd\r\n", "c\r\nd\r\n" },

        // Line terminators.
        { "BareLf", "a\nb\n", "a\r\nb\r\n" },
        { "BareCr", "a\rb\r", "a\r\nb\r\n" },
        { "SmallPageLf",
            "<html>\n<body>\n<h1>Title</h1>\n<p>First <b>bold</b> word,\nsecond line.</p>\n"
            "</body></html>\n",
            smallPageOutput },
        { "SmallPageCr",
            "<html>\r<body>\r<h1>Title</h1>\r<p>First <b>bold</b> word,\rsecond line.</p>\r"
            "</body></html>",
            smallPageOutput },
        { "MixedTerminators", "a\r\nb\nc\rd", "a\r\nb\r\nc\r\nd\r\n" },
        { "CrBeforeCrLf", "a\r\r\n", "a\r\n\r\n" },
        { "LfThenCrAreTwoEnds", "a\n\rb", "a\r\n\r\nb\r\n" },
        { "OnlyLf", "\n", "\r\n" },
        { "OnlyCr", "\r", "\r\n" },
        { "TwoBareCr", "a\r\rb", "a\r\n\r\nb\r\n" },
        { "TwoLf", "\n\n", "\r\n\r\n" },
        { "CrCrLfLf", "\r\r\n\n", "\r\n\r\n\r\n" },
        { "SpacesBeforeEachTerminator", "a  \r\n  b  \n c \r", "a\r\nb\r\nc\r\n" },
        { "TagOverBareLfAndCr", "x<a\nb\rc>d\n", "xd\r\n" },
        { "TagOverCrLf", "<a\r\n>b", "b\r\n" },

        // Bytes other than '<', '>', space, CR and LF pass through.
        { "Utf8PassesThrough", "caf\xC3\xA9 <i>cr\xC3\xA8me</i> br\xC3\xBBl\xC3\xA9\r\n",
            "caf\xC3\xA9"
            "cr\xC3\xA8me"
            "br\xC3\xBBl\xC3\xA9\r\n" },
        { "Latin1PassesThrough", "\xE9t\xE9 <b>\xE0</b>\r\n", "\xE9t\xE9\xE0\r\n" },
        { "NulBytesPassThrough", "a\0b <\0> \0\r\n"s, "a\0b\0\r\n"s },
        { "NulOnlyLine", "\0\r\n"s, "\0\r\n"s },
        { "HighAndControlBytes", "\x80\xFF\x7F\x01\x0B\r\n", "\x80\xFF\x7F\x01\x0B\r\n" },

        // Input ending inside a tag.
        { "LessThanOnly", "<", "", unclosed },
        { "OpenTagOnFirstLine", "<a href", "", unclosed },
        { "OpenTagAfterText", "abc <def", "abc", unclosed },
        { "OpenTagBeforeFinalTerminator", "abc <def\r\n", "abc", unclosed },
        { "OpenTagAfterClosedTag", "x<y>z <w", "xz", unclosed },
        { "OpenTagOverSeveralLines", "a\r\nb <c\r\nd\r\ne", "a\r\nb", unclosed },
        { "OpenTagSwallowsFurtherLessThan", "a\r\n<b\r\n<c\r\n", "a\r\n", unclosed },
        { "FileEndsInLessThan", "text\r\nmore <", "text\r\nmore", unclosed },
        { "FileEndsInLessThanAndLf", "text\r\n<\n", "text\r\n", unclosed },
        { "OpenTagAfterMultiLineTag", "<a\r\nb>c <d\r\ne", "c", unclosed },
        { "ClosedTagAtEndIsComplete", "a<b>", "a\r\n" },

        // Runs longer than the small buffers.
        { "LongSpaceRuns", "a" + spaces(20) + "b" + spaces(20) + "\r\n",
            "a" + spaces(20) + "b\r\n" },
        { "LongSpacesAroundTags",
            spaces(20) + "a" + spaces(20) + "<tag attr>" + spaces(20) + "b" + spaces(20) + "<x>"
                + spaces(20) + "\r\n",
            "ab\r\n" },
        { "LongSpacesBeforeStrayGreaterThan", "a" + spaces(12) + "> b",
            "a" + spaces(12) + "> b\r\n" },
        { "LongTextBetweenTags", "<p>" + letters + "</p>\r\n" + letters,
            letters + "\r\n" + letters + "\r\n" },
        { "LongTag", "x<" + letters + ">y\r\n", "xy\r\n" },
        { "LongSpacesInsideOpenTag", "a" + spaces(15) + "<" + spaces(15), "a", unclosed },
    };
    return cases;
}

const std::array<std::size_t, 5> bufferSizes { 1, 2, 3, 7, defaultStripBufferSize };

using TableParam = std::tuple<StripCase, std::size_t>;

class StripTagsTable : public ::testing::TestWithParam<TableParam>
{
};

TEST_P(StripTagsTable, ProducesExpectedOutput)
{
    const auto &[c, bufferSize] = GetParam();
    struct Feed
    {
        const char *label;
        std::size_t maxChunk;
        std::optional<unsigned> seed;
    };
    const std::array<Feed, 3> feeds { {
        { "whole reads", unlimited, std::nullopt },
        { "one byte per read", 1, std::nullopt },
        { "random short reads", 5, 1234u },
    } };
    for (const StripScanner scanner : scanners) {
        SCOPED_TRACE(scannerLabel(scanner));
        for (const Feed &feed : feeds) {
            SCOPED_TRACE(feed.label);
            const StripResult result
                = stripString(c.input, bufferSize, feed.maxChunk, feed.seed, scanner);
            EXPECT_EQ(escaped(result.output), escaped(c.expected));
            EXPECT_EQ(result.outcome, c.outcome);
        }
    }
}

std::string bufferLabel(std::size_t bufferSize)
{
    return bufferSize == defaultStripBufferSize ? "DefaultBuffer"
                                                : "Buffer" + std::to_string(bufferSize);
}

INSTANTIATE_TEST_SUITE_P(Cases, StripTagsTable,
    ::testing::Combine(::testing::ValuesIn(stripCases()), ::testing::ValuesIn(bufferSizes)),
    [](const ::testing::TestParamInfo<TableParam> &row) {
        return std::get<0>(row.param).name + "_" + bufferLabel(std::get<1>(row.param));
    });

// The oracle of the differential test must itself agree with every row.
class ReferenceStripperTable : public ::testing::TestWithParam<StripCase>
{
};

TEST_P(ReferenceStripperTable, ProducesExpectedOutput)
{
    const StripCase &c = GetParam();
    const reference::ReferenceResult result = reference::referenceStrip(c.input);
    EXPECT_EQ(escaped(result.output), escaped(c.expected));
    EXPECT_EQ(referenceOutcome(result), c.outcome);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReferenceStripperTable, ::testing::ValuesIn(stripCases()),
    [](const ::testing::TestParamInfo<StripCase> &row) { return row.param.name; });

TEST(StripTagsCalls, NoStateCarriesOverBetweenCalls)
{
    // A run that ends inside a tag, with spaces pending, must not leak into the next run.
    const StripResult first = stripString("a   <b   ", 3);
    EXPECT_EQ(first.outcome, StripOutcome::UnclosedTag);
    const StripResult second = stripString("c>d  e\r\n", 3);
    EXPECT_EQ(escaped(second.output), escaped("c>d  e\r\n"));
    EXPECT_EQ(second.outcome, StripOutcome::Complete);
}

// ---------------------------------------------------------------------------------------------
// Differential test against the reference

TEST(StripTagsDifferential, MatchesReferenceOnRandomInputs)
{
    constexpr int inputCount = 20000;
    constexpr int reportLimit = 5;
    const std::array<char, 10> alphabet { '<', '>', ' ', 'a', '\t', '\r', '\n', '\xC3', '\xA9',
        '\0' };
    const std::array<std::size_t, 14> sizes { 1, 2, 3, 4, 5, 6, 7, 8, 11, 16, 63, 64, 65,
        defaultStripBufferSize };

    std::mt19937 rng(20240611u);
    // Past two 64-byte windows, so that runs, tags and line ends also cross window edges.
    std::uniform_int_distribution<std::size_t> lengthOf(0, 160);
    std::uniform_int_distribution<std::size_t> pickByte(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> pickSize(0, sizes.size() - 1);
    std::uniform_int_distribution<std::size_t> pickChunk(0, 9);
    std::uniform_int_distribution<int> percent(0, 99);

    int tried = 0;
    int mismatches = 0;
    int unclosedInputs = 0;
    std::optional<std::string> shortestMismatch;
    // A broken stripper fails nearly everywhere; fifty examples are plenty to find the shortest.
    for (; tried < inputCount && mismatches < 50; ++tried) {
        std::string input;
        const std::size_t length = lengthOf(rng);
        while (input.size() < length) {
            // Whole CR LF pairs are otherwise rare enough to leave their splitting untried.
            if (percent(rng) < 8)
                input += "\r\n";
            else
                input += alphabet[pickByte(rng)];
        }
        const std::size_t bufferSize = sizes[pickSize(rng)];
        const std::size_t chunk = pickChunk(rng);
        const std::size_t maxChunk = chunk == 0 ? unlimited : chunk;
        const unsigned seed = static_cast<unsigned>(rng());

        const reference::ReferenceResult expected = reference::referenceStrip(input);
        unclosedInputs += expected.unclosedTag ? 1 : 0;
        const StripScanner scanner = scanners[static_cast<std::size_t>(tried) % scanners.size()];
        const StripResult actual = stripString(input, bufferSize, maxChunk, seed, scanner);
        if (actual.output == expected.output && actual.outcome == referenceOutcome(expected))
            continue;

        ++mismatches;
        if (!shortestMismatch || input.size() < shortestMismatch->size())
            shortestMismatch = input;
        if (mismatches <= reportLimit) {
            ADD_FAILURE() << "input \"" << escaped(input) << "\" (bufferSize " << bufferSize
                          << ", read chunk " << chunk << ", " << scannerLabel(scanner)
                          << ")\n  reference: \"" << escaped(expected.output) << "\""
                          << (expected.unclosedTag ? " UnclosedTag" : " Complete")
                          << "\n  StripTags: \"" << escaped(actual.output) << "\""
                          << (actual.outcome == StripOutcome::UnclosedTag ? " UnclosedTag"
                                                                          : " Complete");
        }
    }
    EXPECT_EQ(mismatches, 0) << "shortest mismatching input: \""
                             << escaped(shortestMismatch.value_or("")) << "\"";
    // Both ends of the input, inside and outside a tag, must be well represented.
    EXPECT_GT(unclosedInputs, tried / 10);
    EXPECT_LT(unclosedInputs, tried * 9 / 10);
}

// ---------------------------------------------------------------------------------------------
// Failures of the source or the sink

struct SourceFailure
{
    int code;
};

struct SinkFailure
{
    int code;
};

// Serves `failAt` bytes of `data`, at most `maxChunk` per read, then throws on every read.
class FailingSource final : public ByteSource
{
public:
    FailingSource(std::string data, std::size_t failAt, std::size_t maxChunk)
        : data_(std::move(data))
        , failAt_(failAt)
        , maxChunk_(maxChunk)
    { }

    std::size_t read(std::span<char> buffer) override
    {
        if (position_ == failAt_) {
            ++failedReads;
            throw SourceFailure { 41 };
        }
        const std::size_t count = std::min({ buffer.size(), maxChunk_, failAt_ - position_ });
        std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return count;
    }

    int failedReads = 0;

private:
    std::string data_;
    std::size_t failAt_;
    std::size_t maxChunk_;
    std::size_t position_ = 0;
};

// Accepts `capacity` bytes; the write that would go past them throws, as does every later one.
class FailingSink final : public ByteSink
{
public:
    explicit FailingSink(std::size_t capacity)
        : capacity_(capacity)
    { }

    void write(std::string_view bytes) override
    {
        if (failedWrites > 0 || data.size() + bytes.size() > capacity_) {
            ++failedWrites;
            throw SinkFailure { 42 };
        }
        data.append(bytes);
    }

    std::string data;
    int failedWrites = 0;

private:
    std::size_t capacity_;
};

struct FailureCase
{
    std::string name;
    std::string input;
    std::size_t failAt; // bytes served by the source, or accepted by the sink, before it fails
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name << " \"" << escaped(c.input) << "\" failing at " << c.failAt;
}

using FailureParam = std::tuple<FailureCase, std::size_t>;

std::string failureName(const ::testing::TestParamInfo<FailureParam> &row)
{
    return std::get<0>(row.param).name + "_" + bufferLabel(std::get<1>(row.param));
}

const std::array<std::size_t, 3> failureBufferSizes { 1, 3, defaultStripBufferSize };

class SourceFailureTable : public ::testing::TestWithParam<FailureParam>
{
};

TEST_P(SourceFailureTable, PropagatesOutOfStripTags)
{
    const auto &[c, bufferSize] = GetParam();
    const std::string fullOutput = reference::referenceStrip(c.input).output;
    for (const std::size_t maxChunk : { unlimited, std::size_t { 1 } }) {
        SCOPED_TRACE(maxChunk == 1 ? "one byte per read" : "whole reads");
        FailingSource source(c.input, c.failAt, maxChunk);
        StringSink sink;
        try {
            const StripOutcome outcome = StripTags(source, sink, bufferSize);
            ADD_FAILURE() << "StripTags returned " << ::testing::PrintToString(outcome)
                          << " instead of letting the read failure through";
        } catch (const SourceFailure &failure) {
            EXPECT_EQ(failure.code, 41);
        }
        EXPECT_EQ(source.failedReads, 1) << "StripTags read on after a failed read";
        // Whatever got written before the failure must already be right.
        EXPECT_TRUE(fullOutput.starts_with(sink.data))
            << "written \"" << escaped(sink.data) << "\" is no prefix of \"" << escaped(fullOutput)
            << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SourceFailureTable,
    ::testing::Combine(::testing::Values(FailureCase { "FirstRead", "abc\r\n", 0 },
                           FailureCase { "MidLine", "hello world\r\nsecond\r\n", 5 },
                           FailureCase { "InsideOpenTag", "text <a href\r\nmore\r\n>x\r\n", 12 },
                           FailureCase { "InsideTagOnLaterLine", "text <a\r\nmore\r\n>x\r\n", 12 },
                           FailureCase { "AfterLineEnd", "one\r\ntwo\r\n", 5 },
                           FailureCase { "BetweenCrAndLf", "one\r\ntwo\r\n", 4 },
                           FailureCase { "AmongPendingSpaces", "a     b\r\n", 3 }),
        ::testing::ValuesIn(failureBufferSizes)),
    failureName);

class SinkFailureTable : public ::testing::TestWithParam<FailureParam>
{
};

TEST_P(SinkFailureTable, PropagatesOutOfStripTags)
{
    const auto &[c, bufferSize] = GetParam();
    const std::string fullOutput = reference::referenceStrip(c.input).output;
    ASSERT_LT(c.failAt, fullOutput.size()) << "the row must produce more than the sink accepts";

    ChunkedSource source(c.input);
    FailingSink sink(c.failAt);
    try {
        const StripOutcome outcome = StripTags(source, sink, bufferSize);
        ADD_FAILURE() << "StripTags returned " << ::testing::PrintToString(outcome)
                      << " instead of letting the write failure through";
    } catch (const SinkFailure &failure) {
        EXPECT_EQ(failure.code, 42);
    }
    EXPECT_EQ(sink.failedWrites, 1) << "StripTags wrote on after a failed write";
    EXPECT_TRUE(fullOutput.starts_with(sink.data))
        << "written \"" << escaped(sink.data) << "\" is no prefix of \"" << escaped(fullOutput)
        << "\"";
}

INSTANTIATE_TEST_SUITE_P(Cases, SinkFailureTable,
    ::testing::Combine(::testing::Values(FailureCase { "FirstWrite", "abc\r\n", 0 },
                           FailureCase { "MidOutput", "<p>one</p>\r\ntwo three\r\n", 6 },
                           FailureCase { "AtFinalLineEnd", "one\r\ntwo", 8 },
                           FailureCase { "PieceBeforeOpenTag", "abc <def", 0 },
                           FailureCase { "EmptyLinesOnly", "\r\n\r\n\r\n", 3 }),
        ::testing::ValuesIn(failureBufferSizes)),
    failureName);

// ---------------------------------------------------------------------------------------------
// Scale: long lines stream through in linear time and bounded memory

// head, then `unit` `count` times, then tail; served or checked without ever being built.
struct RepeatedText
{
    std::string head;
    std::string unit;
    std::uint64_t count = 0;
    std::string tail;

    std::uint64_t size() const { return head.size() + unit.size() * count + tail.size(); }

    // Calls visit(piece) for consecutive pieces that together cover [offset, offset + length).
    template <typename Visit>
    void forEachPiece(std::uint64_t offset, std::size_t length, Visit visit) const
    {
        const std::uint64_t bodyEnd = head.size() + unit.size() * count;
        while (length > 0) {
            std::string_view from;
            if (offset < head.size()) {
                from = std::string_view(head).substr(static_cast<std::size_t>(offset));
            } else if (offset < bodyEnd) {
                const auto within = static_cast<std::size_t>((offset - head.size()) % unit.size());
                from = std::string_view(unit).substr(within);
            } else {
                from = std::string_view(tail).substr(static_cast<std::size_t>(offset - bodyEnd));
            }
            const std::size_t n = std::min(from.size(), length);
            visit(from.substr(0, n));
            offset += n;
            length -= n;
        }
    }
};

constexpr std::uint64_t MiB = 1024 * 1024;

using Clock = std::chrono::steady_clock;

struct TooSlow
{
};

// Bytes the heap hands out right now, small blocks and mapped ones alike.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Serves the text and, at every read, notes how much heap the stripper holds by then.
class RepeatedSource final : public ByteSource
{
public:
    RepeatedSource(const RepeatedText &text, Clock::time_point deadline)
        : text_(text)
        , deadline_(deadline)
    { }

    std::size_t read(std::span<char> buffer) override
    {
        if (Clock::now() > deadline_)
            throw TooSlow {};
        peakHeap = std::max(peakHeap, heapInUse());
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size(), text_.size() - position_));
        char *out = buffer.data();
        text_.forEachPiece(position_, count, [&out](std::string_view piece) {
            std::memcpy(out, piece.data(), piece.size());
            out += piece.size();
        });
        position_ += count;
        return count;
    }

    std::size_t peakHeap = 0;

private:
    const RepeatedText &text_;
    Clock::time_point deadline_;
    std::uint64_t position_ = 0;
};

// Compares the output with the expected text as it arrives, storing none of it.
class CheckingSink final : public ByteSink
{
public:
    CheckingSink(const RepeatedText &expected, Clock::time_point deadline)
        : expected_(expected)
        , deadline_(deadline)
    { }

    void write(std::string_view bytes) override
    {
        if (Clock::now() > deadline_)
            throw TooSlow {};
        if (firstMismatch)
            return;
        const std::size_t checked = static_cast<std::size_t>(
            std::min<std::uint64_t>(bytes.size(), expected_.size() - received));
        std::size_t at = 0;
        expected_.forEachPiece(received, checked, [&](std::string_view piece) {
            if (!firstMismatch && bytes.substr(at, piece.size()) != piece) {
                const auto diff = std::mismatch(
                    piece.begin(), piece.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
                firstMismatch
                    = received + at + static_cast<std::uint64_t>(diff.first - piece.begin());
            }
            at += piece.size();
        });
        if (!firstMismatch && checked < bytes.size())
            firstMismatch = received + checked;
        received += bytes.size();
    }

    std::uint64_t received = 0;
    std::optional<std::uint64_t> firstMismatch;

private:
    const RepeatedText &expected_;
    Clock::time_point deadline_;
};

struct ScaleCase
{
    std::string name;
    RepeatedText input;
    RepeatedText expected;
};

void PrintTo(const ScaleCase &c, std::ostream *os)
{
    *os << c.name << " (" << c.input.size() << " input bytes)";
}

class StripTagsScale : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(StripTagsScale, StreamsLongInput)
{
    const ScaleCase &c = GetParam();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer keeps its own heap, out of sight of the allocator statistics.
    constexpr bool measureMemory = false;
    constexpr auto budget = std::chrono::seconds(120);
#elif defined(NDEBUG)
    // A linear pass takes a fraction of a second here; the margin is for a busy machine.
    constexpr bool measureMemory = true;
    constexpr auto budget = std::chrono::seconds(5);
#else
    constexpr bool measureMemory = true;
    constexpr auto budget = std::chrono::seconds(120);
#endif
    const std::size_t heapBefore = heapInUse();
    const Clock::time_point start = Clock::now();
    RepeatedSource source(c.input, start + budget);
    CheckingSink sink(c.expected, start + budget);

    StripOutcome outcome {};
    try {
        outcome = StripTags(source, sink);
    } catch (const TooSlow &) {
        FAIL() << "gave up after " << budget.count() << " s: " << sink.received << " of "
               << c.expected.size() << " output bytes written";
    }
    const auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    EXPECT_EQ(outcome, StripOutcome::Complete);
    EXPECT_EQ(sink.received, c.expected.size());
    EXPECT_FALSE(sink.firstMismatch.has_value())
        << "output differs from the expected text at byte " << sink.firstMismatch.value_or(0);
    if (measureMemory) {
        // The line is tens of MiB; holding it, or the output, would show here.
        const std::size_t grown = source.peakHeap - std::min(source.peakHeap, heapBefore);
        EXPECT_LT(grown, 4 * MiB) << "the heap grew by " << grown << " bytes while stripping";
    }
    // The deadline is only checked on reads and writes; work done between them counts here.
    EXPECT_LT(elapsed, static_cast<double>(budget.count()));
}

std::vector<ScaleCase> scaleCases()
{
    const std::string tagged = "<p>word  word</p>";
    const std::string swallowed = "swallowed < line\r\n";
    const std::string shortLine = "  <b>a</b>  \n";
    const std::string run(64, ' ');
    return {
        { "TagsOnOneLine", { "", tagged, 64 * MiB / tagged.size(), "" },
            { "", "word  word", 64 * MiB / tagged.size(), "\r\n" } },
        { "SpacesInsideLine", { "a", run, 32 * MiB / run.size(), "b" },
            { "a", run, 32 * MiB / run.size(), "b\r\n" } },
        { "TrailingSpaces", { "a", run, 32 * MiB / run.size(), "\r\n" }, { "a\r\n", "", 0, "" } },
        { "LeadingSpaces", { "", run, 32 * MiB / run.size(), "z" }, { "z\r\n", "", 0, "" } },
        { "TagOverManyLines", { "x <", swallowed, 32 * MiB / swallowed.size(), "> y" },
            { "xy\r\n", "", 0, "" } },
        { "ManyShortLines", { "", shortLine, 32 * MiB / shortLine.size(), "" },
            { "", "a\r\n", 32 * MiB / shortLine.size(), "" } },
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, StripTagsScale, ::testing::ValuesIn(scaleCases()),
    [](const ::testing::TestParamInfo<ScaleCase> &row) { return row.param.name; });

} // namespace
} // namespace plaintrove::conversion
