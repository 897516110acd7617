#pragma once

// HTML character references (&amp; &#233; &#xE9;), decoded into UTF-8 by the rules of HTML.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace plaintrove::conversion {

struct NamedReferenceMatch
{
    std::size_t length = 0; // how much of the name the reference took; 0 when none matched
    std::string_view text; // what it stands for, in UTF-8
};

// The longest named reference that `name` (what follows the '&', with its ';' if any) starts
// with: "notit;" holds the legacy "not" without a semicolon.
NamedReferenceMatch longestNamedReference(std::string_view name);

// A character in UTF-8, one to four bytes of `out`. Returns the number of bytes.
std::size_t encodeUtf8(char32_t c, char *out);

// The character a numeric reference names, in UTF-8 (one to four bytes of `out`), with HTML's
// repairs: 0, surrogates and numbers beyond U+10FFFF give U+FFFD, and 0x80 to 0x9F are read as
// Windows-1252. Returns the number of bytes.
std::size_t encodeNumericReference(std::uint32_t number, char (&out)[4]);

// An attribute's value with its references decoded, written to `out` and cut to its size. A
// legacy name without ';' before '=' or a letter or digit stays as it is ("?a=1&copy=2").
std::string_view decodeAttributeValue(std::string_view value, std::span<char> out);

// Numbers grow no further than this while their digits are read: past it, all are too large.
constexpr std::uint32_t tooLargeNumber = 0x110000;

} // namespace plaintrove::conversion
