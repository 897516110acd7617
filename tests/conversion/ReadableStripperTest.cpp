// The readable stripper against its examples (tests/data/readable_text.txt), fed in pieces of
// every size, and against gumbo's HTML5 parser: on generated pages and on real ones, its words
// are the words gumbo finds outside script, style and template.

#include "Examples.h"
#include "GumboWords.h"
#include "StripHarness.h"
#include "html/Encodings.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <iconv.h>
#include <random>
#include <sstream>

namespace {

using namespace plaintrove::testing;
using plaintrove::conversion::LineEnd;
using plaintrove::conversion::ReadableStripper;
using plaintrove::conversion::StripOutcome;

class Examples : public ::testing::TestWithParam<Example>
{
};

TEST_P(Examples, GiveTheExpectedText)
{
    const Example &row = GetParam();
    const StripOutcome outcome = row.unclosed ? StripOutcome::UnclosedTag : StripOutcome::Complete;
    const auto *encoding = plaintrove::conversion::encodingForLabel(row.encoding);
    ASSERT_EQ(encoding == nullptr, row.encoding.empty()) << row.encoding;
    for (const std::size_t longest : { 0U, 1U, 2U, 3U, 7U, 64U }) {
        const Stripped result = stripInPieces<ReadableStripper>(
            row.input, longest, 1, row.lf ? LineEnd::Lf : LineEnd::CrLf, encoding);
        EXPECT_EQ(result.text, row.expected) << "pieces of up to " << longest;
        EXPECT_EQ(result.outcome, outcome) << "pieces of up to " << longest;
    }
}

INSTANTIATE_TEST_SUITE_P(Line, Examples,
    ::testing::ValuesIn(examples(PLAINTROVE_READABLE_EXAMPLES)),
    [](const auto &row) { return std::to_string(row.param.line); });

// Random pages of the kinds of markup the stripper reads, nested as HTML allows, so that
// gumbo's tree puts every word where the page has it. Tag names come in any case, and the
// elements that change how the tokenizer reads what follows them (raw text, script escapes,
// nested svg and math, names that share a known name's first bytes) are among them.
class PageMaker
{
public:
    explicit PageMaker(unsigned seed)
        : m_random(seed)
    { }

    std::string page()
    {
        std::string page = pick({ "", "<!DOCTYPE html>\n", "<!doctype HTML>",
            "<!DocType html SYSTEM \"about:legacy-compat\">\n" });
        page += "<html><head><" + cased("title") + ">" + words() + "</title>" + hidden()
            + "</head>\n<body>";
        for (int i = pick(1, 6); i > 0; --i)
            page += block(3);
        return page + "</body></html>\n";
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution(low, high)(m_random); }
    std::string pick(std::initializer_list<const char *> choices)
    {
        return *(choices.begin() + pick(0, static_cast<int>(choices.size()) - 1));
    }

    std::string space() { return pick({ " ", " ", "  ", "\n", "\r\n", "\t ", " \f" }); }
    std::string cased(std::string name)
    {
        for (char &c : name) {
            if (pick(0, 3) == 0)
                c = static_cast<char>(c & ~0x20);
        }
        return name;
    }
    std::string word()
    {
        return pick({ "alpha", "Beta", "caf\xC3\xA9", "x", "a<1", "1 < 2", "a>b", "&amp;",
            "&lt;&gt;", "&copy", "&eacute;t&eacute;", "&notit;", "&#8217;s", "&#x1F600;", "&#128;",
            "&#0;", "&NotAName;", "&ampx", "Q&A", "&#32;", "</>", "\xE2\x86\x90",
            "sixteen-byte-words and single spaces between them", "a  b   c    d" });
    }
    std::string words()
    {
        std::string text = word();
        for (int i = pick(0, 4); i > 0; --i)
            text += space() + word();
        return text;
    }

    std::string hidden()
    {
        return pick({ "<script>if (a < b && c > d) s = '</b>';</script>",
            "<script><!-- document.write('<script>x</script>'); --></script>",
            "<SCRIPT><!--<script>-->x</script>y</script>", "<script><!-- a --></scripts></script>",
            "<Style>p > b { content: '</p>' }</stylE>", "<TEMPLATE><p>never</p></template>",
            "<!-- a comment with <p> and > inside -->", "<?pi x?>", "<div hidden>gone</div>",
            "<span style='display: none'>gone</span>", "" });
    }

    std::string inlineText(int depth)
    {
        std::string text;
        for (int i = pick(1, 4); i > 0; --i) {
            const int kind = depth > 0 ? pick(0, 9) : 0;
            if (kind <= 3) {
                text += words();
            } else if (kind <= 6) {
                const std::string tag = pick({ "b", "i", "em", "code", "span", "kbd" });
                text += "<" + tag + pick({ "", " class=\"c>d\"", " title='x' id=y" }) + ">"
                    + inlineText(depth - 1) + "</" + tag + ">";
            } else if (kind == 7) {
                text += "<a href=\"p.html?a=1&amp;b=2\">" + words() + "</a>";
            } else {
                text += pick({ "<br>", "<br/>", "<img src=\"x.png\" alt=\"no\">", "<wbr>" })
                    + hidden();
            }
            text += pick({ "", " ", "\n" });
        }
        return text;
    }

    std::string block(int depth)
    {
        switch (depth > 0 ? pick(0, 12) : 0) {
        case 0:
        case 1:
            return "<p>" + inlineText(2) + pick({ "</p>", "" }) + space();
        case 2:
            return "<div>" + inlineText(1) + block(depth - 1) + "</div>";
        case 3: {
            std::string list = "<ul>";
            for (int i = pick(1, 3); i > 0; --i)
                list += "<li>" + inlineText(1) + pick({ "</li>", "" }) + space();
            return list + "</ul>";
        }
        case 4: {
            std::string table = "<table>";
            for (int row = pick(1, 3); row > 0; --row) {
                table += "<tr>";
                for (int cell = pick(1, 3); cell > 0; --cell)
                    table += pick({ "<td>", "<th>" }) + inlineText(1) + "</td>" + space();
                table += "</tr>\n";
            }
            return table + "</table>";
        }
        case 5:
            return "<pre>\n" + words() + "\n\n  " + inlineText(1) + "</pre>";
        case 6:
            return pick({ "<h1>", "<h2>", "<blockquote>" }) + inlineText(1)
                + pick({ "</h1>", "</h2>", "</blockquote>" });
        case 7:
            return "<" + cased("textarea") + ">" + words() + pick({ "", "</template>", "</tex" })
                + words() + "</textarea>" + hidden();
        case 8:
            return "<section>" + block(depth - 1) + "<hr>" + block(depth - 1) + "</section>";
        case 9:
            return pick({ "<svg viewBox=\"0 0 1 1\"><title>", "<SVG><svg><g></g></svg><title>",
                       "<math><mi>x</mi><svg><desc>", "<svg><![CDATA[a<b]]><title>" })
                + words() + "</title>" + pick({ "<path d=\"M0\"/></svg>", "</svg>" })
                + pick({ "", "<style>p { }</style>" });
        case 10:
            return "<" + cased(pick({ "title", "xmp", "iframe", "noembed", "noframes" })) + ">"
                + words() + pick({ "</table>", "</tit", "</xmq>", "</iframes>", "<b>" }) + words()
                + pick({ "</title>", "</xmp>", "</iframe>", "</noembed>", "</noframes>" });
        case 11:
            return "<"
                + pick({ "blockquotes", "textareas", "plaintexts", "templates", "figcaptions" })
                + ">" + inlineText(1) + "</blockquotes>";
        default: {
            std::string list = pick({ "<ol>", "<ol start=5 type=a>", "<ol reversed>",
                "<ol reversed start=3>", "<OL type=I>", "<ul type=square>", "<menu>" });
            for (int i = pick(1, 4); i > 0; --i)
                list += pick({ "<li>", "<li value=7>", "<LI type=i>" }) + inlineText(1)
                    + (pick(0, 2) == 0 ? "<ul><li>" + words() + "</ul>" : "")
                    + pick({ "</li>", "" });
            return list + "</ol></ul></menu>";
        }
        }
    }

    std::mt19937 m_random;
};

// One line per word, which shows where the two differ.
std::string joined(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words)
        text += word + '\n';
    return text;
}

TEST(Gumbo, GeneratedPagesShowTheSameWords)
{
    int differences = 0;
    for (unsigned seed = 1; seed <= 400 && differences < 3; ++seed) {
        const std::string page = PageMaker(seed).page();
        const Stripped ours = stripInPieces<ReadableStripper>(page, seed % 5 * 40, seed);
        if (wordsOf(ours.text) == gumboWords(page))
            continue;
        ++differences;
        ADD_FAILURE() << "page " << ::testing::PrintToString(page) << "\n"
                      << ::testing::internal::EqFailure("gumbo", "readable",
                             joined(gumboWords(page)), joined(wordsOf(ours.text)), false)
                             .message();
    }
}

// Every prefix of a page: the end of the input may come anywhere, in a tag, a reference, the end
// tag of a title, a script escape...
TEST(Gumbo, PagesCutAnywhereShowTheSameWords)
{
    int differences = 0;
    for (unsigned seed = 1; seed <= 12 && differences < 3; ++seed) {
        const std::string page = PageMaker(seed * 7919).page();
        for (std::size_t cut = 0; cut <= page.size() && differences < 3; ++cut) {
            const std::string_view prefix = std::string_view(page).substr(0, cut);
            if (!isUtf8(prefix))
                continue;
            const Stripped ours = stripInPieces<ReadableStripper>(prefix, cut % 3 * 20, seed);
            std::vector<std::string> expected = gumboWords(prefix), actual = wordsOf(ours.text);
            if (expected != actual && prefix.find("<table") != std::string_view::npos) {
                // Text cut short inside a table is moved before it: the same words, elsewhere.
                std::sort(expected.begin(), expected.end());
                std::sort(actual.begin(), actual.end());
            }
            if (expected == actual)
                continue;
            ++differences;
            ADD_FAILURE() << "page " << ::testing::PrintToString(std::string(prefix)) << "\n"
                          << ::testing::internal::EqFailure("gumbo", "readable",
                                 joined(gumboWords(prefix)), joined(wordsOf(ours.text)), false)
                                 .message();
        }
    }
}

// Every third HTML page in UTF-8 the installed packages ship, in a fixed order, up to `count`.
std::vector<std::pair<std::filesystem::path, std::string>> realPages(std::size_t count)
{
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator("/usr/share/doc", error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file(error) && !it->is_symlink(error)
            && it->path().extension() == ".html")
            paths.push_back(it->path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::pair<std::filesystem::path, std::string>> pages;
    for (std::size_t i = 0; i < paths.size() && pages.size() < count; i += 3) {
        std::ifstream file(paths[i], std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        if (isUtf8(bytes.str()))
            pages.emplace_back(paths[i], bytes.str());
    }
    return pages;
}

TEST(Gumbo, RealPagesShowTheSameWords)
{
    int compared = 0;
    for (const auto &[path, page] : realPages(60)) {
        ++compared;
        const std::vector<std::string> expected = gumboWords(page);
        const std::vector<std::string> actual
            = wordsOf(stripInPieces<ReadableStripper>(page, 5000, 7).text);
        const auto [gumbo, ours]
            = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
        EXPECT_TRUE(gumbo == expected.end() && ours == actual.end())
            << path << ": word " << gumbo - expected.begin() << " of " << expected.size()
            << ", gumbo " << (gumbo == expected.end() ? "(end)" : *gumbo) << ", readable "
            << (ours == actual.end() ? "(end)" : *ours);
    }
    if (compared == 0)
        GTEST_SKIP() << "no HTML pages in UTF-8 under /usr/share/doc";
}

// glibc's iconv, leaving out what `to` has no character for.
std::string converted(std::string_view text, const char *from, const std::string &to)
{
    const iconv_t descriptor = ::iconv_open((to + "//IGNORE").c_str(), from);
    EXPECT_NE(descriptor, reinterpret_cast<iconv_t>(-1)) << to;
    std::string result(text.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(text.data()), *out = result.data();
    std::size_t inLeft = text.size(), outLeft = result.size();
    while (inLeft > 0 && ::iconv(descriptor, &in, &inLeft, &out, &outLeft) == std::size_t(-1)
        && errno == EILSEQ && inLeft > 0) {
        ++in; // what //IGNORE did not skip
        --inLeft;
    }
    ::iconv_close(descriptor);
    result.resize(result.size() - outLeft);
    return result;
}

// Real pages made legacy by iconv, their encoding declared as such pages declare it, read as
// the UTF-8 of the same characters does; fed in pieces that cut their sequences anywhere.
TEST(Encodings, RealPagesInLegacyEncodingsReadAsInUtf8)
{
    const auto pages = realPages(8);
    if (pages.empty())
        GTEST_SKIP() << "no HTML pages in UTF-8 under /usr/share/doc";
    for (const std::string label : { "windows-1252", "ISO-8859-2", "windows-1251", "KOI8-R",
             "Shift_JIS", "EUC-JP", "GB18030", "EUC-KR", "Big5", "UTF-16LE" }) {
        // The encoding as browsers read it, which iconv knows by another name at times.
        const char *const iconvName = plaintrove::conversion::encodingForLabel(label)->iconvName;
        const bool utf16 = label == "UTF-16LE";
        for (const auto &[path, page] : pages) {
            const std::string legacy = (utf16 ? "\xFF\xFE" : "")
                + converted("<meta charset=\"" + label + "\">" + page, "UTF-8", iconvName);
            const std::string inUtf8 = converted(legacy.substr(utf16 ? 2 : 0), iconvName, "UTF-8");
            const std::string expected = stripInPieces<ReadableStripper>(
                inUtf8, 0, 1, LineEnd::CrLf, &plaintrove::conversion::utf8Encoding())
                                             .text;
            const std::string actual = stripInPieces<ReadableStripper>(legacy, 3000, 5).text;
            const auto [at, _]
                = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
            const auto from = std::max(at - expected.begin(), std::ptrdiff_t { 40 }) - 40;
            EXPECT_EQ(actual.substr(static_cast<std::size_t>(from), 80),
                expected.substr(static_cast<std::size_t>(from), 80))
                << path << " in " << label << ", at byte " << at - expected.begin();
        }
    }
}

// Past the items a reversed list may hold, it is numbered as if it ended there, and goes on
// counting down: every item keeps a number, one less than the item before.
TEST(Limits, AReversedListTooLongToHoldNumbersEveryItem)
{
    std::string page = "<ol reversed>";
    for (int i = 0; i < 5000; ++i)
        page += "<li>x";
    const Stripped result = stripInPieces<ReadableStripper>(page, 0, 1, LineEnd::Lf, nullptr);
    std::istringstream lines(result.text);
    std::string line;
    int expected = 4097, count = 0;
    while (std::getline(lines, line) && line == std::to_string(expected) + ". x")
        --expected, ++count;
    EXPECT_EQ(count, 5000) << "line " << count + 1 << ": " << line;
}

TEST(Sink, AFailedWriteStopsTheStripper)
{
    struct : plaintrove::conversion::TextSink
    {
        bool write(std::string_view) override { return false; }
    } sink;
    ReadableStripper stripper(sink);
    EXPECT_FALSE(stripper.feed(std::string(1'000'000, 'x')));
    EXPECT_EQ(stripper.finish(), StripOutcome::SinkFailed);
}

} // namespace
