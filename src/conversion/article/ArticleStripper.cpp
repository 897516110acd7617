#include "ArticleStripper.h"

#include "ArticleTree.h"
#include "MainText.h"
#include "MainTextLayout.h"
#include "html/HtmlTokenizer.h"

namespace plaintrove::conversion {

class ArticleStripper::Pipeline
{
public:
    Pipeline(TextSink &out, LineEnd ending)
        : sink(out)
        , lineEnd(ending)
    { }

    TextSink &sink;
    const LineEnd lineEnd;
    article::TreeBuilder builder;
    html::OpenElements<article::TreeBuilder> elements { builder };
    html::HtmlTokenizer<html::OpenElements<article::TreeBuilder>> tokenizer { elements };
};

ArticleStripper::ArticleStripper(TextSink &sink, LineEnd lineEnd)
    : m_pipeline(std::make_unique<Pipeline>(sink, lineEnd))
{ }

ArticleStripper::~ArticleStripper() = default;

bool ArticleStripper::feed(std::string_view bytes)
{
    return m_pipeline->tokenizer.feed(bytes);
}

StripOutcome ArticleStripper::finish()
{
    Pipeline &pipeline = *m_pipeline;
    const bool unclosed = pipeline.tokenizer.finish();
    pipeline.elements.finish();
    const article::Tree tree = pipeline.builder.finish();
    const article::MainText main = article::findMainText(tree);
    ReadableLayout layout(pipeline.sink, pipeline.lineEnd);
    article::layOutMainText(tree, main, layout);
    if (!layout.finish())
        return StripOutcome::SinkFailed;
    return unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
}

} // namespace plaintrove::conversion
