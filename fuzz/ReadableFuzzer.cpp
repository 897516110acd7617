// Differential fuzzing of the readable stripper against gumbo's HTML5 parser. The first byte of
// an input is the longest piece the stripper is fed at a time (0: all at once), the second the
// seed of the pieces' lengths; the rest is the page.
//
// On any page the two must show the same characters other than white space, in the same order:
// that is what the tokenizer decides (what is markup, what is never shown, what a reference
// stands for), and the markers of list items and what the page hides, which the oracle takes
// from gumbo's tree. The page is read as UTF-8, as gumbo reads it, whatever it declares. Where a
// page's lines and gaps go depends on the tree a browser builds, which the generated pages of the
// tests check. Left out are the few things of the tree that move or drop text, which a stripper
// that streams cannot do: text that tables push in front of them (then the characters must only be
// the same ones), the text a frameset drops, svg and math with HTML inside them, and NUL. Pages
// that are not UTF-8, or hold control characters or noncharacters, are left out too: gumbo replaces
// those, where the stripper passes every byte through; and so are pages with long runs of digits,
// whose references overflow gumbo's numbers.

#include "GumboWords.h"
#include "StripHarness.h"
#include "html/Encodings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace {

std::string visibleCharacters(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words)
        text += word;
    return text;
}

bool contains(std::string_view page, std::string_view lowerCaseWord)
{
    return std::search(page.begin(), page.end(), lowerCaseWord.begin(), lowerCaseWord.end(),
               [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a | 0x20 : a) == b; })
        != page.end();
}

// What gumbo replaces by U+FFFD: control characters other than white space, and noncharacters
// (the byte pairs below take in a few more, which only leaves out a few more pages).
bool holdsCharactersGumboReplaces(std::string_view page)
{
    for (std::size_t i = 0; i < page.size(); ++i) {
        const auto byte = static_cast<unsigned char>(page[i]);
        const auto next = static_cast<unsigned char>(i + 1 < page.size() ? page[i + 1] : 0);
        if ((byte < 0x20 && std::string_view("\t\n\f\r").find(page[i]) == std::string_view::npos)
            || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F))
            return true;
    }
    return page.find("\xEF\xB7") != std::string_view::npos
        || page.find("\xBF\xBE") != std::string_view::npos
        || page.find("\xBF\xBF") != std::string_view::npos;
}

bool holdsLongDigitRun(std::string_view page)
{
    std::size_t run = 0;
    for (const char c : page) {
        run = std::isxdigit(static_cast<unsigned char>(c)) != 0 ? run + 1 : 0;
        if (run > 7)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace plaintrove::testing;
    if (size < 2)
        return 0;
    std::string page(reinterpret_cast<const char *>(data) + 2, size - 2);
    const Stripped ours = stripInPieces<plaintrove::conversion::ReadableStripper>(page, data[0],
        data[1], plaintrove::conversion::LineEnd::CrLf, &plaintrove::conversion::utf8Encoding());
    if (page.starts_with("\xEF\xBB\xBF"))
        page.erase(0, 3); // a byte-order mark, which the stripper drops
    if (page.find('\0') != std::string::npos || !isUtf8(page) || holdsCharactersGumboReplaces(page)
        || holdsLongDigitRun(page) || contains(page, "frameset") || contains(page, "svg")
        || contains(page, "math"))
        return 0;
    // HTML opens again, with all its attributes, a formatting element that a block closed, so a
    // hidden one hides text after the block too; the stripper does not reopen them.
    if (contains(page, "hidden") || contains(page, "display"))
        return 0;
    std::string expected = visibleCharacters(gumboWords(page));
    std::string actual = visibleCharacters(wordsOf(ours.text));
    if (expected != actual && (contains(page, "<t") || contains(page, "<c"))) {
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
    }
    if (expected == actual)
        return 0;
    std::abort(); // libFuzzer saves the input; an example in tests/data can then pin it down
}
