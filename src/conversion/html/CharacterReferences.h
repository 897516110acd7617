#pragma once

// HTML character references (&amp; &#233; &#xE9;), decoded into UTF-8 by the rules of HTML.

#include <cstddef>
#include <cstdint>
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

// The character a numeric reference names, in UTF-8 (one to four bytes of `out`), with HTML's
// repairs: 0, surrogates and numbers beyond U+10FFFF give U+FFFD, and 0x80 to 0x9F are read as
// Windows-1252. Returns the number of bytes.
std::size_t encodeNumericReference(std::uint32_t number, char (&out)[4]);

// Numbers grow no further than this while their digits are read: past it, all are too large.
constexpr std::uint32_t tooLargeNumber = 0x110000;

} // namespace plaintrove::conversion
