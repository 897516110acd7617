#pragma once

// The tag stripper: deletes markup (everything from a '<' up to and including the next '>',
// even across lines) from a stream of 8-bit text and writes what is left of each input line,
// trimmed of spaces around every tag, as one CR LF terminated output line.
//
// It streams: it never holds a whole line, only a fixed read buffer, a fixed write buffer and a
// count of spaces it has not yet decided to write. Bytes other than '<', '>', space, CR and LF
// pass through untouched, whatever the character set. This file knows nothing of Qt or of files:
// the caller supplies a ByteSource and a ByteSink, and their failures travel as exceptions.

#include <cstddef>
#include <span>
#include <string_view>

namespace plaintrove::conversion {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Fills the front of `buffer` and returns the number of bytes read; 0 means end of input.
    // Throws on a read failure.
    virtual std::size_t read(std::span<char> buffer) = 0;
};

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // Writes all of `bytes` or throws.
    virtual void write(std::string_view bytes) = 0;
};

enum class StripOutcome {
    Complete, // the input ended outside any tag
    UnclosedTag // the input ended inside a tag; everything before its '<' was written
};

inline constexpr std::size_t defaultStripBufferSize = 256 * 1024;

// How the input is searched for markup: with the widest vector instructions the processor has,
// or with those every processor of the architecture has. Both give the same result.
enum class StripScanner { Fastest, Portable };

// Copies `input` to `output` without markup. `bufferSize` is the size of each of the two
// internal buffers (small values exist for tests that move line ends and tags across refills).
StripOutcome StripTags(ByteSource &input, ByteSink &output,
    std::size_t bufferSize = defaultStripBufferSize, StripScanner scanner = StripScanner::Fastest);

} // namespace plaintrove::conversion
