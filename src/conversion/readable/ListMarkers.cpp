#include "ListMarkers.h"

#include "html/TextScan.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace plaintrove::conversion {

std::optional<MarkerStyle> markerStyleOf(std::string_view type)
{
    if (type.size() == 1) {
        constexpr std::string_view letters = "1aAiI";
        if (const std::size_t at = letters.find(type[0]); at != std::string_view::npos)
            return static_cast<MarkerStyle>(at);
        return std::nullopt;
    }
    const auto is = [&](std::string_view name) { return html::equalsIgnoringCase(type, name); };
    if (is("disc"))
        return MarkerStyle::Disc;
    if (is("circle"))
        return MarkerStyle::Circle;
    if (is("square"))
        return MarkerStyle::Square;
    return std::nullopt;
}

MarkerStyle bulletForLevel(std::size_t level)
{
    return level <= 1 ? MarkerStyle::Disc : level == 2 ? MarkerStyle::Circle : MarkerStyle::Square;
}

std::string_view listMarker(MarkerStyle style, std::int64_t number, char (&out)[48])
{
    std::size_t used = 0;
    const auto put = [&](std::string_view text) {
        std::memcpy(out + used, text.data(), text.size());
        used += text.size();
    };
    switch (style) {
    case MarkerStyle::Disc:
        return "\xE2\x80\xA2 "; // •
    case MarkerStyle::Circle:
        return "\xE2\x97\xA6 "; // ◦
    case MarkerStyle::Square:
        return "\xE2\x96\xAA "; // ▪
    case MarkerStyle::LowerAlpha:
    case MarkerStyle::UpperAlpha:
        if (number >= 1) { // a..z, aa..zz, aaa...: bijective base 26
            char letters[16];
            std::size_t count = 0;
            for (std::int64_t n = number; n > 0; n = (n - 1) / 26)
                letters[count++] = static_cast<char>(
                    (style == MarkerStyle::LowerAlpha ? 'a' : 'A') + (n - 1) % 26);
            std::reverse(letters, letters + count);
            put({ letters, count });
        }
        break;
    case MarkerStyle::LowerRoman:
    case MarkerStyle::UpperRoman:
        if (number >= 1 && number <= 3999) {
            static constexpr std::pair<int, std::string_view> numerals[] = { { 1000, "m" },
                { 900, "cm" }, { 500, "d" }, { 400, "cd" }, { 100, "c" }, { 90, "xc" }, { 50, "l" },
                { 40, "xl" }, { 10, "x" }, { 9, "ix" }, { 5, "v" }, { 4, "iv" }, { 1, "i" } };
            for (std::int64_t n = number; const auto &[value, letters] : numerals) {
                for (; n >= value; n -= value)
                    put(letters);
            }
            if (style == MarkerStyle::UpperRoman)
                std::transform(
                    out, out + used, out, [](char c) { return static_cast<char>(c - 32); });
        }
        break;
    case MarkerStyle::Decimal:
        break;
    }
    if (used == 0) // decimal, and the numbers the other styles have no letters for
        used = static_cast<std::size_t>(std::to_chars(out, out + 24, number).ptr - out);
    put(". ");
    return { out, used };
}

std::optional<std::int64_t> parseHtmlInteger(std::string_view text)
{
    std::size_t at = text.find_first_not_of(" \t\n\f\r");
    if (at == std::string_view::npos)
        return std::nullopt;
    const bool negative = text[at] == '-';
    at += text[at] == '-' || text[at] == '+' ? 1U : 0U;
    std::int64_t value = 0;
    const std::size_t digits = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), std::int64_t { 1 } << 40);
    if (at == digits)
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace plaintrove::conversion
