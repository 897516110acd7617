#pragma once

// The markers browsers draw before list items, with no style sheet of the page: a bullet for
// the items of ul (by nesting: disc, circle, square), a number and a dot for those of ol.

#include <cstdint>
#include <optional>
#include <string_view>

namespace plaintrove::conversion {

// How an item's marker looks: an ol's type attribute ('1', 'a', 'A', 'i', 'I'), or a bullet.
enum class MarkerStyle : std::uint8_t {
    Decimal,
    LowerAlpha,
    UpperAlpha,
    LowerRoman,
    UpperRoman,
    Disc,
    Circle,
    Square
};

// The style a type attribute names (case matters for a, A, i, I; not for disc and the like).
std::optional<MarkerStyle> markerStyleOf(std::string_view type);

// The bullet of an unordered list nested `level` lists deep (1 for the outermost).
MarkerStyle bulletForLevel(std::size_t level);

// The marker of an item, "3. " or "• "; the number only counts for the styles that are not
// bullets. Written to `out`, which it returns a view of.
std::string_view listMarker(MarkerStyle style, std::int64_t number, char (&out)[48]);

// HTML's rules for parsing integers: spaces, a sign, digits, and whatever follows ignored.
std::optional<std::int64_t> parseHtmlInteger(std::string_view text);

} // namespace plaintrove::conversion
