#pragma once

// The character encodings a page may be written in, by the labels browsers know them by, and
// how HTML finds a page's encoding from its first bytes.

#include <string>
#include <string_view>

namespace plaintrove::conversion {

struct Encoding
{
    enum class Kind {
        Utf8,
        Utf16Le,
        Utf16Be,
        AsciiCompatible, // ASCII stays ASCII; a second byte of a pair may be below 0x80 too
        Stateful, // ISO-2022-JP: escape sequences change what the bytes below 0x80 are
        UserDefined, // x-user-defined: ASCII, then U+F780 to U+F7FF
        Replacement, // labels of encodings that are unsafe to read: the page is one U+FFFD
    };
    std::string_view name; // as the Encoding Standard names it
    const char *iconvName; // glibc iconv's name for the decoder of that standard
    Kind kind;
};

// The encoding a label names, case and surrounding ASCII white space ignored; null when the
// label names none.
const Encoding *encodingForLabel(std::string_view label);

const Encoding &utf8Encoding();
const Encoding &windows1252Encoding();

// HTML's "prescan a byte stream to determine its encoding" over the first bytes of a page
// (1,024 of them, or fewer for a shorter page): the encoding that a <meta charset> or a
// <meta http-equiv=Content-Type content="...; charset=..."> outside comments names, with
// UTF-16 read as UTF-8 and x-user-defined as windows-1252; null when there is none.
const Encoding *prescanForEncoding(std::string_view head);

} // namespace plaintrove::conversion
