#include "CharacterReferences.h"

#include "TextScan.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace plaintrove::conversion {

namespace {

struct NamedReference
{
    std::string_view name;
    std::string_view text;
};

// Generated at build time from the list the HTML standard keeps, rather than typed in.
#include "NamedReferenceTable.inc"

std::string_view findNamedReference(std::string_view name)
{
    const auto *found = std::lower_bound(std::begin(namedReferences), std::end(namedReferences),
        name, [](const NamedReference &row, std::string_view key) { return row.name < key; });
    return found != std::end(namedReferences) && found->name == name ? found->text
                                                                     : std::string_view();
}

// What HTML makes of the numbers 0x80 to 0x9F, which pages meant as Windows-1252; 0 where
// Windows-1252 has no character and the number stays as it is.
constexpr std::array<std::uint16_t, 32> windows1252 { 0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026,
    0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C,
    0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178 };

} // namespace

NamedReferenceMatch longestNamedReference(std::string_view name)
{
    for (std::size_t length = name.size(); length > 0; --length) {
        if (const std::string_view text = findNamedReference(name.substr(0, length)); !text.empty())
            return { length, text };
    }
    return {};
}

std::size_t encodeUtf8(char32_t number, char *out)
{
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (number < 0x80) {
        out[0] = byte(number);
        return 1;
    }
    if (number < 0x800) {
        out[0] = byte(0xC0 | (number >> 6));
        out[1] = byte(0x80 | (number & 0x3F));
        return 2;
    }
    if (number < 0x10000) {
        out[0] = byte(0xE0 | (number >> 12));
        out[1] = byte(0x80 | ((number >> 6) & 0x3F));
        out[2] = byte(0x80 | (number & 0x3F));
        return 3;
    }
    out[0] = byte(0xF0 | (number >> 18));
    out[1] = byte(0x80 | ((number >> 12) & 0x3F));
    out[2] = byte(0x80 | ((number >> 6) & 0x3F));
    out[3] = byte(0x80 | (number & 0x3F));
    return 4;
}

std::size_t encodeNumericReference(std::uint32_t number, char (&out)[4])
{
    if (number == 0 || number > 0x10FFFF || (number >= 0xD800 && number <= 0xDFFF))
        number = 0xFFFD;
    else if (number >= 0x80 && number <= 0x9F && windows1252[number - 0x80] != 0)
        number = windows1252[number - 0x80];
    return encodeUtf8(number, out);
}

std::string_view decodeAttributeValue(std::string_view value, std::span<char> out)
{
    std::size_t used = 0;
    const auto put = [&](std::string_view text) {
        const std::size_t count = std::min(text.size(), out.size() - used);
        std::copy_n(text.begin(), count, out.begin() + static_cast<std::ptrdiff_t>(used));
        used += count;
    };
    const auto alphanumeric = [](char c) {
        return html::isLetter(static_cast<html::Byte>(c))
            || html::isDigit(static_cast<html::Byte>(c));
    };
    while (!value.empty()) {
        const std::size_t amp = value.find('&');
        put(value.substr(0, amp));
        if (amp == std::string_view::npos)
            break;
        value.remove_prefix(amp + 1);
        std::string_view replacement = "&";
        std::size_t taken = 0;
        char utf8[4];
        if (!value.empty() && value[0] == '#') {
            const bool hex = value.size() > 1 && (value[1] | 0x20) == 'x';
            const std::uint32_t base = hex ? 16 : 10;
            std::size_t i = hex ? 2 : 1;
            std::uint32_t number = 0;
            for (; i < value.size(); ++i) {
                const int digit = html::digitValue(static_cast<html::Byte>(value[i]), base);
                if (digit < 0)
                    break;
                number
                    = std::min(number * base + static_cast<std::uint32_t>(digit), tooLargeNumber);
            }
            if (i > (hex ? 2U : 1U)) {
                replacement = { utf8, encodeNumericReference(number, utf8) };
                taken = i < value.size() && value[i] == ';' ? i + 1 : i;
            }
        } else {
            std::size_t length = 0;
            while (length < value.size() && length < html::longestReferenceName
                && alphanumeric(value[length]))
                ++length;
            if (length < value.size() && value[length] == ';')
                ++length;
            const NamedReferenceMatch match = longestNamedReference(value.substr(0, length));
            const bool legacy = match.length > 0 && value[match.length - 1] != ';';
            const char next = match.length < value.size() ? value[match.length] : '\0';
            if (match.length > 0 && !(legacy && (next == '=' || alphanumeric(next)))) {
                replacement = match.text;
                taken = match.length;
            }
        }
        put(replacement);
        value.remove_prefix(taken);
    }
    return { out.data(), used };
}

} // namespace plaintrove::conversion
