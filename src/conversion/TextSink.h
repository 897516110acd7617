#pragma once

// What the strippers share: the sink they write to, how a run ends, and the options that pick
// a stripper and its line end.

#include <string_view>

namespace plaintrove::conversion {

struct Encoding; // html/Encodings.h

class TextSink
{
public:
    virtual ~TextSink() = default;
    // Takes all of `text`; false when it cannot, which stops the stripper.
    virtual bool write(std::string_view text) = 0;
};

enum class StripOutcome {
    Complete, // the input ended outside any tag
    UnclosedTag, // the input ended inside a tag; everything before its '<' was written
    SinkFailed, // the sink refused text; what it took before is all there is
    WholeText, // the article mode wrote all the text of a page too large to look for its article
    WholeTextUnclosedTag, // both of the last
};

enum class StripMode {
    Exact, // TagStripper: everything from '<' to the next '>' goes, line by line
    Readable, // ReadableStripper: the text a browser shows
    Article, // ArticleStripper: the page's main text
};

enum class LineEnd { CrLf, Lf };

constexpr std::string_view lineEndText(LineEnd lineEnd)
{
    return lineEnd == LineEnd::Lf ? "\n" : "\r\n";
}

// The defaults are what the windows do.
struct StripOptions
{
    StripMode mode = StripMode::Exact;
    LineEnd lineEnd = LineEnd::CrLf;
    // The readable and article modes' reading of a page without a byte-order mark; null: as
    // HTML finds it.
    const Encoding *encoding = nullptr;
};

} // namespace plaintrove::conversion
