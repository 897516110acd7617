#include "ArticleStripper.h"

#include "ArticleTree.h"
#include "MainText.h"
#include "MainTextLayout.h"
#include "html/HtmlTokenizer.h"
#include "html/PageDecoder.h"
#include "readable/ReadableStripper.h"

namespace plaintrove::conversion {

// The decoder feeds the tokenizer, which feeds the stack of open elements, which feeds the tree.
class ArticleStripper::Pipeline
{
public:
    explicit Pipeline(const Encoding *encoding)
        : decoder(encoding)
    { }

    void drain()
    {
        for (std::string_view text; !(text = decoder.take()).empty();)
            tokenizer.feed(text);
    }

    PageDecoder decoder;
    article::TreeBuilder builder;
    html::OpenElements<article::TreeBuilder> elements { builder };
    html::HtmlTokenizer<html::OpenElements<article::TreeBuilder>> tokenizer { elements };
};

ArticleStripper::ArticleStripper(TextSink &sink, LineEnd lineEnd, const Encoding *encoding)
    : m_sink(sink)
    , m_lineEnd(lineEnd)
    , m_encoding(encoding)
    , m_pipeline(std::make_unique<Pipeline>(encoding))
{ }

ArticleStripper::~ArticleStripper() = default;

bool ArticleStripper::feed(std::string_view bytes)
{
    if (m_wholeText)
        return m_wholeText->feed(bytes);
    if (bytes.size() > maxPage - m_page.size()) {
        // Too large to be held: the page's whole text, as the readable mode writes it.
        m_pipeline.reset();
        m_wholeText = std::make_unique<ReadableStripper>(m_sink, m_lineEnd, m_encoding);
        const bool fed = m_wholeText->feed(m_page) && m_wholeText->feed(bytes);
        std::string().swap(m_page);
        return fed;
    }
    m_page.append(bytes);
    m_pipeline->decoder.put(bytes);
    m_pipeline->drain();
    return true; // nothing is written before the end
}

StripOutcome ArticleStripper::finish()
{
    if (m_wholeText) {
        const StripOutcome outcome = m_wholeText->finish();
        return outcome == StripOutcome::Complete ? StripOutcome::WholeText : outcome;
    }
    Pipeline &pipeline = *m_pipeline;
    pipeline.decoder.finish();
    pipeline.drain();
    const bool unclosed = pipeline.tokenizer.finish();
    pipeline.elements.finish();
    std::string().swap(m_page);
    const article::Tree tree = pipeline.builder.finish();
    const article::MainText main = article::findMainText(tree);
    ReadableLayout layout(m_sink, m_lineEnd);
    article::layOutMainText(tree, main, layout);
    if (!layout.finish())
        return StripOutcome::SinkFailed;
    return unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
}

} // namespace plaintrove::conversion
