#pragma once

// The tag stripper: deletes markup (everything from a '<' up to and including the next '>',
// even across lines) from a stream of 8-bit text and writes what is left of each input line,
// trimmed of spaces around every tag, as one output line ending in CR LF (or LF, if asked).
//
// The caller drives it: it feeds the input in pieces of any size, and the stripper pushes the
// text to a sink the caller provides, in large blocks. It never holds a whole line, only a fixed
// output buffer and a count of spaces it has not yet decided to write. Bytes other than '<',
// '>', space, CR and LF pass through untouched, whatever the character set. It knows nothing of
// Qt or of files: reading, writing and reporting failures are the caller's.

#include "TextSink.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace plaintrove::conversion {

class TagStripper
{
public:
    explicit TagStripper(TextSink &sink, LineEnd lineEnd = LineEnd::CrLf);
    ~TagStripper();
    TagStripper(const TagStripper &) = delete;
    TagStripper &operator=(const TagStripper &) = delete;

    // Strips the next bytes of the input. False once the sink has failed; then feeding more
    // does nothing.
    bool feed(std::string_view bytes);

    // Ends the input: writes the last line end where one is owed and hands over the rest.
    StripOutcome finish();

private:
    class Stripper;
    std::unique_ptr<Stripper> m_stripper;
};

} // namespace plaintrove::conversion
