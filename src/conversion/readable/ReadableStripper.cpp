#include "ReadableStripper.h"

#include "ReadableLayout.h"
#include "html/HtmlTokenizer.h"
#include "html/OpenElements.h"

namespace plaintrove::conversion {

// The tokenizer feeds the stack of open elements, which feeds the layout: each knows the next
// by its type, so that every call for a word or a tag can be inlined.
class ReadableStripper::Pipeline
{
public:
    Pipeline(TextSink &sink, LineEnd lineEnd)
        : layout(sink, lineEnd)
    { }

    ReadableLayout layout;
    html::OpenElements<ReadableLayout> elements { layout };
    html::HtmlTokenizer<html::OpenElements<ReadableLayout>> tokenizer { elements };
};

ReadableStripper::ReadableStripper(TextSink &sink, LineEnd lineEnd)
    : m_pipeline(std::make_unique<Pipeline>(sink, lineEnd))
{ }

ReadableStripper::~ReadableStripper() = default;

bool ReadableStripper::feed(std::string_view bytes)
{
    return m_pipeline->tokenizer.feed(bytes);
}

StripOutcome ReadableStripper::finish()
{
    const bool unclosed = m_pipeline->tokenizer.finish();
    m_pipeline->elements.finish();
    if (!m_pipeline->layout.finish())
        return StripOutcome::SinkFailed;
    return unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
}

} // namespace plaintrove::conversion
