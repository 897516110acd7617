#pragma once

// Drives a stripper over an input held in memory, fed in pieces of random sizes; shared by the
// strippers' tests and the fuzz targets.

#include "exact/TagStripper.h"
#include "readable/ReadableStripper.h"

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>

namespace plaintrove::testing {

struct Stripped
{
    std::string text;
    conversion::StripOutcome outcome;
};

// Feeds `input` in pieces of 1 to `longest` bytes (all at once when 0), drawn from `seed`.
// The readable and article strippers read the page as `encoding` when it is given.
template <typename Stripper = conversion::TagStripper>
Stripped stripInPieces(std::string_view input, std::size_t longest = 0, unsigned seed = 1,
    conversion::LineEnd lineEnd = conversion::LineEnd::CrLf,
    const conversion::Encoding *encoding = nullptr)
{
    struct : conversion::TextSink
    {
        std::string text;
        // Small inputs give small outputs: a flood means a stripper caught in a loop.
        bool write(std::string_view bytes) override
        {
            text.append(bytes);
            return text.size() < (std::size_t { 64 } << 20);
        }
    } sink;
    Stripper stripper = [&] {
        if constexpr (std::is_same_v<Stripper, conversion::TagStripper>)
            return Stripper(sink, lineEnd);
        else
            return Stripper(sink, lineEnd, encoding);
    }();
    std::minstd_rand random(seed);
    while (!input.empty()) {
        const std::size_t size = longest == 0 ? input.size() : 1 + random() % longest;
        stripper.feed(input.substr(0, size));
        input.remove_prefix(std::min(size, input.size()));
    }
    const conversion::StripOutcome outcome = stripper.finish();
    return { std::move(sink.text), outcome };
}

} // namespace plaintrove::testing
