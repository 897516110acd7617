#pragma once

// The article stripper: the main text of a page, as a reader wants it, without the page around
// it (menus, headers and footers of the site, sidebars, teasers of other pages, share buttons,
// comments, ads), decoded and laid out as the readable stripper does. A heuristic: the element
// that holds the most prose for the fewest links is the main text; the class names, ids and
// roles a page gives its parts, and the shapes of link lists and teasers, say what inside it
// is not.
//
// It is fed and writes as the other strippers do, but it writes only at the end: the choice
// needs the whole page, which it holds as a tree, at most a few times the page's size. A page
// over maxPage is no article: its whole text is written instead, laid out as the readable mode
// lays it out, from its tree so far and then as it comes, in the readable mode's small memory;
// finish() says so.

#include "TextSink.h"

#include <memory>
#include <string_view>

namespace plaintrove::conversion {

class ArticleStripper
{
public:
    static constexpr std::size_t maxPage = 32 << 20;

    // `encoding`: the page's, unless a byte-order mark says otherwise; null to find it as a
    // browser does (html/PageDecoder.h).
    explicit ArticleStripper(
        TextSink &sink, LineEnd lineEnd = LineEnd::CrLf, const Encoding *encoding = nullptr);
    ~ArticleStripper();
    ArticleStripper(const ArticleStripper &) = delete;
    ArticleStripper &operator=(const ArticleStripper &) = delete;

    // Reads the next bytes of the page. False once the sink has failed.
    bool feed(std::string_view bytes);

    // Ends the page and writes its main text. UnclosedTag when it ended inside a tag, a
    // comment or a declaration; WholeText when it was over maxPage; WholeTextUnclosedTag both.
    StripOutcome finish();

private:
    class Pipeline;
    TextSink &m_sink;
    const LineEnd m_lineEnd;
    std::size_t m_fed = 0; // bytes of the page, counted up to maxPage
    std::unique_ptr<Pipeline> m_pipeline;
};

} // namespace plaintrove::conversion
