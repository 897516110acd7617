#pragma once

// The readable stripper: the text of an HTML page as a browser shows it. Markup is read as HTML
// reads it (a '<' starts a tag only before a letter, '/', '!' or '?'; quoted attribute values
// may hold '>'; comments, doctypes and processing instructions go whole); what is never shown
// (script, style, template) is dropped; character references are decoded into UTF-8; white
// space collapses as on a page, block elements end lines, and pre keeps its lines.
//
// It is fed and writes as TagStripper does, holding no more than a few small buffers whatever
// the input. The page is decoded from its encoding and the text is written in UTF-8. The reading
// of HTML is html/'s (PageDecoder, HtmlTokenizer, OpenElements); the layout ReadableLayout's.

#include "TextSink.h"

#include <memory>
#include <string_view>

namespace plaintrove::conversion {

class ReadableStripper
{
public:
    // `encoding`: the page's, unless a byte-order mark says otherwise; null to find it as a
    // browser does (html/PageDecoder.h).
    explicit ReadableStripper(
        TextSink &sink, LineEnd lineEnd = LineEnd::CrLf, const Encoding *encoding = nullptr);
    ~ReadableStripper();
    ReadableStripper(const ReadableStripper &) = delete;
    ReadableStripper &operator=(const ReadableStripper &) = delete;

    // Reads the next bytes of the page. False once the sink has failed.
    bool feed(std::string_view bytes);

    // Ends the page. UnclosedTag when it ended inside a tag, a comment or a declaration.
    StripOutcome finish();

private:
    class Pipeline;
    std::unique_ptr<Pipeline> m_pipeline;
};

} // namespace plaintrove::conversion
