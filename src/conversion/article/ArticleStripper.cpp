#include "ArticleStripper.h"

#include "ArticleTree.h"
#include "MainText.h"
#include "MainTextLayout.h"
#include "html/HtmlTokenizer.h"
#include "html/PageDecoder.h"

namespace plaintrove::conversion {

namespace {

// Hands the events of a page to its tree; once the page is too large to hold, to the readable
// layout instead, after the tree built so far.
class PageReader
{
public:
    std::uint8_t open(const html::Tag &tag)
    {
        if (!m_layout || m_builder.skipping())
            return m_builder.open(tag);
        ++m_passed;
        return m_layout->open(tag);
    }

    void close(const html::OpenElement &element)
    {
        if (!m_layout || m_builder.skipping())
            return m_builder.close(element);
        if (m_passed > 0) {
            --m_passed;
            return m_layout->close(element);
        }
        m_layout->close(m_replayed.back()); // opened in the tree, before the hand-over
        m_replayed.pop_back();
    }

    void text(std::string_view bytes, std::size_t readable)
    {
        if (!m_layout || m_builder.skipping())
            return m_builder.text(bytes, readable);
        m_layout->text(bytes, readable);
    }

    void space(std::string_view whiteSpace, bool fromReference)
    {
        if (!m_layout || m_builder.skipping())
            return m_builder.space(whiteSpace, fromReference);
        m_layout->space(whiteSpace, fromReference);
    }

    void markup()
    {
        if (!m_layout || m_builder.skipping())
            return m_builder.markup();
        m_layout->markup();
    }

    bool failed() const { return m_layout && m_layout->failed(); }

    article::Tree finish() { return m_builder.finish(); }

    void handOver(ReadableLayout &layout)
    {
        m_replayed = article::layOutUnfinishedTree(m_builder.unfinished(), layout);
        m_builder.release();
        m_layout = &layout;
    }

private:
    article::TreeBuilder m_builder;
    ReadableLayout *m_layout = nullptr;
    std::vector<html::OpenElement> m_replayed; // open at the hand-over, as the layout opened them
    std::size_t m_passed = 0; // elements opened since the hand-over and still open
};

} // namespace

// The decoder feeds the tokenizer, which feeds the stack of open elements, which feeds the
// reader of the page.
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
    PageReader reader;
    html::OpenElements<PageReader> elements { reader };
    html::HtmlTokenizer<html::OpenElements<PageReader>> tokenizer { elements };
    std::unique_ptr<ReadableLayout> wholeText; // past maxPage
};

ArticleStripper::ArticleStripper(TextSink &sink, LineEnd lineEnd, const Encoding *encoding)
    : m_sink(sink)
    , m_lineEnd(lineEnd)
    , m_pipeline(std::make_unique<Pipeline>(encoding))
{ }

ArticleStripper::~ArticleStripper() = default;

bool ArticleStripper::feed(std::string_view bytes)
{
    Pipeline &pipeline = *m_pipeline;
    if (!pipeline.wholeText && bytes.size() > maxPage - m_fed) {
        // Too large to hold: the page's whole text, as the readable mode writes it.
        pipeline.wholeText = std::make_unique<ReadableLayout>(m_sink, m_lineEnd);
        pipeline.reader.handOver(*pipeline.wholeText);
    }
    m_fed += std::min(bytes.size(), maxPage - m_fed);
    pipeline.decoder.put(bytes);
    pipeline.drain();
    return !pipeline.reader.failed();
}

StripOutcome ArticleStripper::finish()
{
    Pipeline &pipeline = *m_pipeline;
    pipeline.decoder.finish();
    pipeline.drain();
    const bool unclosed = pipeline.tokenizer.finish();
    pipeline.elements.finish();
    const StripOutcome ended = unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    if (pipeline.wholeText) {
        if (!pipeline.wholeText->finish())
            return StripOutcome::SinkFailed;
        return unclosed ? ended : StripOutcome::WholeText;
    }
    const article::Tree tree = pipeline.reader.finish();
    const article::MainText main = article::findMainText(tree);
    ReadableLayout layout(m_sink, m_lineEnd);
    article::layOutMainText(tree, main, layout);
    return layout.finish() ? ended : StripOutcome::SinkFailed;
}

} // namespace plaintrove::conversion
