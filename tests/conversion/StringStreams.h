#pragma once

// In-memory ends for the tag stripper, shared by its tests and its fuzz target: a source that
// serves a string in short reads, a sink that collects the output, and a printer that makes
// control and 8-bit bytes visible in failure reports.

#include "StripTags.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace plaintrove::conversion::fixtures {

inline constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();

inline std::string escaped(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                std::array<char, 5> hex {};
                std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned>(byte));
                out += hex.data();
            } else {
                out += c;
            }
        }
    }
    return out;
}

// Serves a string, at most `maxChunk` bytes per read; with a seed, each read returns a random
// count between 1 and `maxChunk` instead, so short reads land everywhere.
class ChunkedSource final : public ByteSource
{
public:
    explicit ChunkedSource(
        std::string data, std::size_t maxChunk = unlimited, std::optional<unsigned> seed = {})
        : data_(std::move(data))
        , maxChunk_(maxChunk)
        , random_(seed.has_value())
        , rng_(seed.value_or(0))
    { }

    std::size_t read(std::span<char> buffer) override
    {
        // An empty buffer would make the answer 0 ambiguous with the end of the input.
        if (buffer.empty())
            throw std::logic_error("read() called with an empty buffer");
        std::size_t limit = std::min({ buffer.size(), maxChunk_, data_.size() - position_ });
        if (random_ && limit > 1)
            limit = std::uniform_int_distribution<std::size_t>(1, limit)(rng_);
        std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(position_), limit, buffer.begin());
        position_ += limit;
        return limit;
    }

private:
    std::string data_;
    std::size_t maxChunk_;
    bool random_;
    std::mt19937 rng_;
    std::size_t position_ = 0;
};

struct RunawayOutput
{
};

// Collects the output. The inputs given are small, so a flood of output means a stripper caught
// in a loop: stop it before it eats the machine's memory.
class StringSink final : public ByteSink
{
public:
    void write(std::string_view bytes) override
    {
        if (data.size() + bytes.size() > limit)
            throw RunawayOutput {};
        data.append(bytes);
    }

    static constexpr std::size_t limit = 64 * 1024;
    std::string data;
};

} // namespace plaintrove::conversion::fixtures
