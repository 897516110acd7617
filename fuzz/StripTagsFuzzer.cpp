// Differential fuzzing of the tag stripper against the naive reference of the tests.
//
// An input is three bytes that choose how the stripper is driven, then the page:
//   byte 0  the size of its buffers: mostly 1 to 64, so that refills fall everywhere; some
//           sizes of a few windows; and now and then the default
//   byte 1  bit 0: the portable scanner instead of the fastest; bits 1 to 7: the longest read
//           the source returns (0: as much as asked for)
//   byte 2  the seed of the random read lengths

#include "ReferenceStripper.h"
#include "StringStreams.h"
#include "StripTags.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

namespace {

using namespace plaintrove::conversion;
using namespace plaintrove::conversion::fixtures;

constexpr std::size_t headerSize = 3;
// The reference is quadratic on long lines.
constexpr std::size_t maxInputSize = PLAINTROVE_FUZZ_MAX_LEN;

std::size_t bufferSizeFor(std::uint8_t choice)
{
    const std::size_t value { choice };
    if (value < 0xC0)
        return 1 + value % 64;
    if (value < 0xF0)
        return 65 + (value - 0xC0) * 85; // up to 4060: blocks of many windows
    return defaultStripBufferSize;
}

const char *outcomeName(StripOutcome outcome)
{
    return outcome == StripOutcome::Complete ? "Complete" : "UnclosedTag";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < headerSize || size > maxInputSize)
        return 0;
    const std::span<const std::uint8_t> input(data, size);
    const std::size_t bufferSize = bufferSizeFor(input[0]);
    const StripScanner scanner
        = (input[1] & 1) != 0 ? StripScanner::Portable : StripScanner::Fastest;
    const std::size_t maxChunk = input[1] >> 1;
    const std::string page(
        reinterpret_cast<const char *>(input.data()) + headerSize, size - headerSize);

    ChunkedSource source(page, maxChunk > 0 ? maxChunk : unlimited, input[2]);
    StringSink sink;
    const StripOutcome outcome = StripTags(source, sink, bufferSize, scanner);

    const reference::ReferenceResult expected = reference::referenceStrip(page);
    const StripOutcome expectedOutcome
        = expected.unclosedTag ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    if (sink.data == expected.output && outcome == expectedOutcome)
        return 0;

    std::fprintf(stderr,
        "StripTags differs from the reference\n"
        "  buffer size %zu, %s scanner, reads of %s%zu bytes\n"
        "  input:     \"%s\"\n"
        "  output:    \"%s\" (%s)\n"
        "  reference: \"%s\" (%s)\n",
        bufferSize, scanner == StripScanner::Portable ? "portable" : "fastest",
        maxChunk > 0 ? "1 to " : "up to ", maxChunk > 0 ? maxChunk : bufferSize,
        escaped(page).c_str(), escaped(sink.data).c_str(), outcomeName(outcome),
        escaped(expected.output).c_str(), outcomeName(expectedOutcome));
    std::abort();
}
