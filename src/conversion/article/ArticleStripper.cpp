#include "ArticleStripper.h"

#include "ArticleTree.h"
#include "MainText.h"
#include "MainTextLayout.h"
#include "html/HtmlReader.h"

namespace plaintrove::conversion {

namespace {

// Hands the events of a page to its tree; once the page is too large to hold, to the readable
// layout instead, after the tree built so far.
class PageReader
{
public:
    std::uint8_t open(const html::Tag &tag)
    {
        if (toTree())
            return m_builder.open(tag);
        ++m_passed;
        return m_layout->open(tag);
    }

    void close(const html::OpenElement &element)
    {
        if (toTree())
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
        if (toTree())
            return m_builder.text(bytes, readable);
        m_layout->text(bytes, readable);
    }

    void space(std::string_view whiteSpace, bool fromReference)
    {
        if (toTree())
            return m_builder.space(whiteSpace, fromReference);
        m_layout->space(whiteSpace, fromReference);
    }

    void markup()
    {
        if (toTree())
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
    // Before the hand-over, and inside what the tree leaves out, which the layout never sees.
    bool toTree() const { return !m_layout || m_builder.skipping(); }

    article::TreeBuilder m_builder;
    ReadableLayout *m_layout = nullptr;
    std::vector<html::OpenElement> m_replayed; // open at the hand-over, as the layout opened them
    std::size_t m_passed = 0; // elements opened since the hand-over and still open
};

} // namespace

class ArticleStripper::Pipeline
{
public:
    explicit Pipeline(const Encoding *encoding)
        : html(reader, encoding)
    { }

    PageReader reader;
    html::HtmlReader<PageReader> html;
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
    return pipeline.html.feed(bytes);
}

StripOutcome ArticleStripper::finish()
{
    Pipeline &pipeline = *m_pipeline;
    const bool unclosed = pipeline.html.finish();
    const StripOutcome ended = unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    if (pipeline.wholeText) {
        if (!pipeline.wholeText->finish())
            return StripOutcome::SinkFailed;
        return unclosed ? StripOutcome::WholeTextUnclosedTag : StripOutcome::WholeText;
    }
    const article::Tree tree = pipeline.reader.finish();
    const article::MainText main = article::findMainText(tree);
    ReadableLayout layout(m_sink, m_lineEnd);
    article::layOutMainText(tree, main, layout);
    return layout.finish() ? ended : StripOutcome::SinkFailed;
}

} // namespace plaintrove::conversion
