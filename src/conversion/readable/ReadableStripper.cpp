#include "ReadableStripper.h"

#include "ReadableLayout.h"
#include "html/HtmlReader.h"

namespace plaintrove::conversion {

class ReadableStripper::Pipeline
{
public:
    Pipeline(TextSink &sink, LineEnd lineEnd, const Encoding *encoding)
        : layout(sink, lineEnd)
        , reader(layout, encoding)
    { }

    ReadableLayout layout;
    html::HtmlReader<ReadableLayout> reader;
};

ReadableStripper::ReadableStripper(TextSink &sink, LineEnd lineEnd, const Encoding *encoding)
    : m_pipeline(std::make_unique<Pipeline>(sink, lineEnd, encoding))
{ }

ReadableStripper::~ReadableStripper() = default;

bool ReadableStripper::feed(std::string_view bytes)
{
    return m_pipeline->reader.feed(bytes);
}

StripOutcome ReadableStripper::finish()
{
    const bool unclosed = m_pipeline->reader.finish();
    if (!m_pipeline->layout.finish())
        return StripOutcome::SinkFailed;
    return unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
}

} // namespace plaintrove::conversion
