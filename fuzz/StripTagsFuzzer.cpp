// Differential fuzzing of the tag stripper against the naive reference of the tests.
//
// An input is three bytes that choose how the stripper is driven, then the page:
//   byte 0  the size of its buffers: mostly 1 to 64, so that refills fall everywhere; some
//           sizes of a few windows; and now and then the default
//   byte 1  bit 0: the portable scanner instead of the fastest; bits 1 to 7: the longest read
//           the source returns (0: as much as asked for)
//   byte 2  the seed of the random read lengths

#include "ReferenceStripper.h"
#include "StripTags.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <string_view>

namespace {

using namespace plaintrove::conversion;

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

// Short reads of random lengths, as from a pipe; 0 only at the end.
class ChunkedSource final : public ByteSource
{
public:
    ChunkedSource(std::string_view bytes, std::size_t maxChunk, unsigned seed)
        : m_rest(bytes)
        , m_maxChunk(maxChunk)
        , m_random(seed)
    { }

    std::size_t read(std::span<char> buffer) override
    {
        std::size_t count = std::min(buffer.size(), m_rest.size());
        if (m_maxChunk > 0)
            count = std::min<std::size_t>(count, 1 + m_random() % m_maxChunk);
        std::copy_n(m_rest.begin(), count, buffer.begin());
        m_rest.remove_prefix(count);
        return count;
    }

private:
    std::string_view m_rest;
    std::size_t m_maxChunk;
    std::minstd_rand m_random;
};

class StringSink final : public ByteSink
{
public:
    void write(std::string_view bytes) override { m_bytes.append(bytes); }
    const std::string &bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// Control and 8-bit bytes made visible.
std::string escaped(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            std::array<char, 5> hex {};
            std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned>(byte));
            out += hex.data();
        } else {
            out += c;
        }
    }
    return out;
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

    ChunkedSource source(page, maxChunk, input[2]);
    StringSink sink;
    const StripOutcome outcome = StripTags(source, sink, bufferSize, scanner);

    const reference::ReferenceResult expected = reference::referenceStrip(page);
    const StripOutcome expectedOutcome
        = expected.unclosedTag ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    if (sink.bytes() == expected.output && outcome == expectedOutcome)
        return 0;

    std::fprintf(stderr,
        "StripTags differs from the reference\n"
        "  buffer size %zu, %s scanner, reads of %s%zu bytes\n"
        "  input:     \"%s\"\n"
        "  output:    \"%s\" (%s)\n"
        "  reference: \"%s\" (%s)\n",
        bufferSize, scanner == StripScanner::Portable ? "portable" : "fastest",
        maxChunk > 0 ? "1 to " : "up to ", maxChunk > 0 ? maxChunk : bufferSize,
        escaped(page).c_str(), escaped(sink.bytes()).c_str(), outcomeName(outcome),
        escaped(expected.output).c_str(), outcomeName(expectedOutcome));
    std::abort();
}
