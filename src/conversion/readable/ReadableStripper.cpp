#include "ReadableStripper.h"

#include "ReadableLayout.h"
#include "html/HtmlTokenizer.h"
#include "html/OpenElements.h"
#include "html/PageDecoder.h"

namespace plaintrove::conversion {

// The decoder feeds the tokenizer, which feeds the stack of open elements, which feeds the
// layout: each after the decoder knows the next by its type, so that every call for a word or
// a tag can be inlined.
class ReadableStripper::Pipeline
{
public:
    Pipeline(TextSink &sink, LineEnd lineEnd, const Encoding *encoding)
        : decoder(encoding)
        , layout(sink, lineEnd)
    { }

    // Hands on everything the decoder has ready; false once the sink has failed.
    bool drain()
    {
        for (std::string_view text; !(text = decoder.take()).empty();) {
            if (!tokenizer.feed(text))
                return false;
        }
        return !layout.failed();
    }

    PageDecoder decoder;
    ReadableLayout layout;
    html::OpenElements<ReadableLayout> elements { layout };
    html::HtmlTokenizer<html::OpenElements<ReadableLayout>> tokenizer { elements };
};

ReadableStripper::ReadableStripper(TextSink &sink, LineEnd lineEnd, const Encoding *encoding)
    : m_pipeline(std::make_unique<Pipeline>(sink, lineEnd, encoding))
{ }

ReadableStripper::~ReadableStripper() = default;

bool ReadableStripper::feed(std::string_view bytes)
{
    m_pipeline->decoder.put(bytes);
    return m_pipeline->drain();
}

StripOutcome ReadableStripper::finish()
{
    m_pipeline->decoder.finish();
    m_pipeline->drain();
    const bool unclosed = m_pipeline->tokenizer.finish();
    m_pipeline->elements.finish();
    if (!m_pipeline->layout.finish())
        return StripOutcome::SinkFailed;
    return unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
}

} // namespace plaintrove::conversion
