#include "Encodings.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace plaintrove::conversion {

namespace {

struct Label
{
    std::string_view label;
    std::uint8_t encoding; // its place in encodings[]
};

constexpr Encoding encodings[] = {
    { "UTF-8", "UTF-8", Encoding::Kind::Utf8 },
    { "IBM866", "IBM866", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-2", "ISO-8859-2", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-3", "ISO-8859-3", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-4", "ISO-8859-4", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-5", "ISO-8859-5", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-6", "ISO-8859-6", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-7", "ISO-8859-7", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-8", "ISO-8859-8", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-8-I", "ISO-8859-8", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-10", "ISO-8859-10", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-13", "ISO-8859-13", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-14", "ISO-8859-14", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-15", "ISO-8859-15", Encoding::Kind::AsciiCompatible },
    { "ISO-8859-16", "ISO-8859-16", Encoding::Kind::AsciiCompatible },
    { "KOI8-R", "KOI8-R", Encoding::Kind::AsciiCompatible },
    { "KOI8-U", "KOI8-U", Encoding::Kind::AsciiCompatible },
    { "macintosh", "MACINTOSH", Encoding::Kind::AsciiCompatible },
    { "windows-874", "WINDOWS-874", Encoding::Kind::AsciiCompatible },
    { "windows-1250", "CP1250", Encoding::Kind::AsciiCompatible },
    { "windows-1251", "CP1251", Encoding::Kind::AsciiCompatible },
    { "windows-1252", "CP1252", Encoding::Kind::AsciiCompatible },
    { "windows-1253", "CP1253", Encoding::Kind::AsciiCompatible },
    { "windows-1254", "CP1254", Encoding::Kind::AsciiCompatible },
    { "windows-1255", "CP1255", Encoding::Kind::AsciiCompatible },
    { "windows-1256", "CP1256", Encoding::Kind::AsciiCompatible },
    { "windows-1257", "CP1257", Encoding::Kind::AsciiCompatible },
    { "windows-1258", "CP1258", Encoding::Kind::AsciiCompatible },
    { "x-mac-cyrillic", "MAC-CYRILLIC", Encoding::Kind::AsciiCompatible },
    { "GBK", "GB18030", Encoding::Kind::AsciiCompatible },
    { "gb18030", "GB18030", Encoding::Kind::AsciiCompatible },
    { "Big5", "BIG5-HKSCS", Encoding::Kind::AsciiCompatible },
    { "EUC-JP", "EUC-JP", Encoding::Kind::AsciiCompatible },
    { "ISO-2022-JP", "ISO-2022-JP", Encoding::Kind::Stateful },
    { "Shift_JIS", "CP932", Encoding::Kind::AsciiCompatible },
    { "EUC-KR", "CP949", Encoding::Kind::AsciiCompatible },
    { "replacement", "", Encoding::Kind::Replacement },
    { "UTF-16BE", "UTF-16BE", Encoding::Kind::Utf16Be },
    { "UTF-16LE", "UTF-16LE", Encoding::Kind::Utf16Le },
    { "x-user-defined", "", Encoding::Kind::UserDefined },
};

// Every label of the Encoding Standard, sorted, with its encoding's place in encodings[].
constexpr Label labels[] = {
    { "866", 1 },
    { "ansi_x3.4-1968", 21 },
    { "arabic", 6 },
    { "ascii", 21 },
    { "asmo-708", 6 },
    { "big5", 31 },
    { "big5-hkscs", 31 },
    { "chinese", 29 },
    { "cn-big5", 31 },
    { "cp1250", 19 },
    { "cp1251", 20 },
    { "cp1252", 21 },
    { "cp1253", 22 },
    { "cp1254", 23 },
    { "cp1255", 24 },
    { "cp1256", 25 },
    { "cp1257", 26 },
    { "cp1258", 27 },
    { "cp819", 21 },
    { "cp866", 1 },
    { "csbig5", 31 },
    { "cseuckr", 35 },
    { "cseucpkdfmtjapanese", 32 },
    { "csgb2312", 29 },
    { "csibm866", 1 },
    { "csiso2022jp", 33 },
    { "csiso2022kr", 36 },
    { "csiso58gb231280", 29 },
    { "csiso88596e", 6 },
    { "csiso88596i", 6 },
    { "csiso88598e", 8 },
    { "csiso88598i", 9 },
    { "csisolatin1", 21 },
    { "csisolatin2", 2 },
    { "csisolatin3", 3 },
    { "csisolatin4", 4 },
    { "csisolatin5", 23 },
    { "csisolatin6", 10 },
    { "csisolatin9", 13 },
    { "csisolatinarabic", 6 },
    { "csisolatincyrillic", 5 },
    { "csisolatingreek", 7 },
    { "csisolatinhebrew", 8 },
    { "cskoi8r", 15 },
    { "csksc56011987", 35 },
    { "csmacintosh", 17 },
    { "csshiftjis", 34 },
    { "csunicode", 38 },
    { "cyrillic", 5 },
    { "dos-874", 18 },
    { "ecma-114", 6 },
    { "ecma-118", 7 },
    { "elot_928", 7 },
    { "euc-jp", 32 },
    { "euc-kr", 35 },
    { "gb18030", 30 },
    { "gb2312", 29 },
    { "gb_2312", 29 },
    { "gb_2312-80", 29 },
    { "gbk", 29 },
    { "greek", 7 },
    { "greek8", 7 },
    { "hebrew", 8 },
    { "hz-gb-2312", 36 },
    { "ibm819", 21 },
    { "ibm866", 1 },
    { "iso-10646-ucs-2", 38 },
    { "iso-2022-cn", 36 },
    { "iso-2022-cn-ext", 36 },
    { "iso-2022-jp", 33 },
    { "iso-2022-kr", 36 },
    { "iso-8859-1", 21 },
    { "iso-8859-10", 10 },
    { "iso-8859-11", 18 },
    { "iso-8859-13", 11 },
    { "iso-8859-14", 12 },
    { "iso-8859-15", 13 },
    { "iso-8859-16", 14 },
    { "iso-8859-2", 2 },
    { "iso-8859-3", 3 },
    { "iso-8859-4", 4 },
    { "iso-8859-5", 5 },
    { "iso-8859-6", 6 },
    { "iso-8859-6-e", 6 },
    { "iso-8859-6-i", 6 },
    { "iso-8859-7", 7 },
    { "iso-8859-8", 8 },
    { "iso-8859-8-e", 8 },
    { "iso-8859-8-i", 9 },
    { "iso-8859-9", 23 },
    { "iso-ir-100", 21 },
    { "iso-ir-101", 2 },
    { "iso-ir-109", 3 },
    { "iso-ir-110", 4 },
    { "iso-ir-126", 7 },
    { "iso-ir-127", 6 },
    { "iso-ir-138", 8 },
    { "iso-ir-144", 5 },
    { "iso-ir-148", 23 },
    { "iso-ir-149", 35 },
    { "iso-ir-157", 10 },
    { "iso-ir-58", 29 },
    { "iso8859-1", 21 },
    { "iso8859-10", 10 },
    { "iso8859-11", 18 },
    { "iso8859-13", 11 },
    { "iso8859-14", 12 },
    { "iso8859-15", 13 },
    { "iso8859-2", 2 },
    { "iso8859-3", 3 },
    { "iso8859-4", 4 },
    { "iso8859-5", 5 },
    { "iso8859-6", 6 },
    { "iso8859-7", 7 },
    { "iso8859-8", 8 },
    { "iso8859-9", 23 },
    { "iso88591", 21 },
    { "iso885910", 10 },
    { "iso885911", 18 },
    { "iso885913", 11 },
    { "iso885914", 12 },
    { "iso885915", 13 },
    { "iso88592", 2 },
    { "iso88593", 3 },
    { "iso88594", 4 },
    { "iso88595", 5 },
    { "iso88596", 6 },
    { "iso88597", 7 },
    { "iso88598", 8 },
    { "iso88599", 23 },
    { "iso_8859-1", 21 },
    { "iso_8859-15", 13 },
    { "iso_8859-1:1987", 21 },
    { "iso_8859-2", 2 },
    { "iso_8859-2:1987", 2 },
    { "iso_8859-3", 3 },
    { "iso_8859-3:1988", 3 },
    { "iso_8859-4", 4 },
    { "iso_8859-4:1988", 4 },
    { "iso_8859-5", 5 },
    { "iso_8859-5:1988", 5 },
    { "iso_8859-6", 6 },
    { "iso_8859-6:1987", 6 },
    { "iso_8859-7", 7 },
    { "iso_8859-7:1987", 7 },
    { "iso_8859-8", 8 },
    { "iso_8859-8:1988", 8 },
    { "iso_8859-9", 23 },
    { "iso_8859-9:1989", 23 },
    { "koi", 15 },
    { "koi8", 15 },
    { "koi8-r", 15 },
    { "koi8-ru", 16 },
    { "koi8-u", 16 },
    { "koi8_r", 15 },
    { "korean", 35 },
    { "ks_c_5601-1987", 35 },
    { "ks_c_5601-1989", 35 },
    { "ksc5601", 35 },
    { "ksc_5601", 35 },
    { "l1", 21 },
    { "l2", 2 },
    { "l3", 3 },
    { "l4", 4 },
    { "l5", 23 },
    { "l6", 10 },
    { "l9", 13 },
    { "latin1", 21 },
    { "latin2", 2 },
    { "latin3", 3 },
    { "latin4", 4 },
    { "latin5", 23 },
    { "latin6", 10 },
    { "logical", 9 },
    { "mac", 17 },
    { "macintosh", 17 },
    { "ms932", 34 },
    { "ms_kanji", 34 },
    { "replacement", 36 },
    { "shift-jis", 34 },
    { "shift_jis", 34 },
    { "sjis", 34 },
    { "sun_eu_greek", 7 },
    { "tis-620", 18 },
    { "ucs-2", 38 },
    { "unicode", 38 },
    { "unicode-1-1-utf-8", 0 },
    { "unicode11utf8", 0 },
    { "unicode20utf8", 0 },
    { "unicodefeff", 38 },
    { "unicodefffe", 37 },
    { "us-ascii", 21 },
    { "utf-16", 38 },
    { "utf-16be", 37 },
    { "utf-16le", 38 },
    { "utf-8", 0 },
    { "utf8", 0 },
    { "visual", 8 },
    { "windows-1250", 19 },
    { "windows-1251", 20 },
    { "windows-1252", 21 },
    { "windows-1253", 22 },
    { "windows-1254", 23 },
    { "windows-1255", 24 },
    { "windows-1256", 25 },
    { "windows-1257", 26 },
    { "windows-1258", 27 },
    { "windows-31j", 34 },
    { "windows-874", 18 },
    { "windows-949", 35 },
    { "x-cp1250", 19 },
    { "x-cp1251", 20 },
    { "x-cp1252", 21 },
    { "x-cp1253", 22 },
    { "x-cp1254", 23 },
    { "x-cp1255", 24 },
    { "x-cp1256", 25 },
    { "x-cp1257", 26 },
    { "x-cp1258", 27 },
    { "x-euc-jp", 32 },
    { "x-gbk", 29 },
    { "x-mac-cyrillic", 28 },
    { "x-mac-roman", 17 },
    { "x-mac-ukrainian", 28 },
    { "x-sjis", 34 },
    { "x-unicode20utf8", 0 },
    { "x-user-defined", 39 },
    { "x-x-big5", 31 },
};

constexpr bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

constexpr char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
}

const Encoding *encodingNamed(std::string_view name)
{
    const auto *found = std::find_if(std::begin(encodings), std::end(encodings),
        [&](const Encoding &encoding) { return encoding.name == name; });
    return found == std::end(encodings) ? nullptr : found;
}

// The prescan's reading of the first bytes of a page; "running off the end" of them ends it.
class Prescan
{
public:
    explicit Prescan(std::string_view head)
        : m_head(head)
    { }

    const Encoding *run()
    {
        while (m_at < m_head.size()) {
            if (startsWith("<!--")) {
                // "<!-->" ends it too: the dashes may be those of "<!--".
                const std::size_t close = m_head.find("-->", m_at + 2);
                if (close == std::string_view::npos)
                    return nullptr;
                m_at = close + 3;
            } else if (startsWithLetters("<meta") && m_at + 5 < m_head.size()
                && (isSpace(m_head[m_at + 5]) || m_head[m_at + 5] == '/')) {
                m_at += 6;
                if (const Encoding *encoding = meta())
                    return encoding;
                if (m_ranOff)
                    return nullptr;
            } else if (tagStart()) {
                while (m_at < m_head.size() && !isSpace(m_head[m_at]) && m_head[m_at] != '>')
                    ++m_at;
                while (attribute()) { }
                if (m_ranOff)
                    return nullptr;
            } else if (startsWith("<!") || startsWith("</") || startsWith("<?")) {
                const std::size_t close = m_head.find('>', m_at);
                if (close == std::string_view::npos)
                    return nullptr;
                m_at = close + 1;
            } else {
                ++m_at;
            }
        }
        return nullptr;
    }

private:
    bool startsWith(std::string_view bytes) const { return m_head.substr(m_at).starts_with(bytes); }

    bool startsWithLetters(std::string_view lower) const
    {
        if (m_head.size() - m_at < lower.size())
            return false;
        return std::equal(lower.begin(), lower.end(),
            m_head.begin() + static_cast<std::ptrdiff_t>(m_at),
            [](char a, char b) { return a == lowered(b); });
    }

    // "<" or "</" before an ASCII letter: moves past the "<" or "</".
    bool tagStart()
    {
        const std::size_t name = m_at + (startsWith("</") ? 2 : 1);
        if (m_head[m_at] != '<' || name >= m_head.size()
            || static_cast<unsigned char>(lowered(m_head[name]) - 'a') >= 26)
            return false;
        m_at = name;
        return true;
    }

    // The attributes of a <meta>: the encoding they name, if they name one as HTML requires.
    const Encoding *meta()
    {
        std::string_view seen[32];
        std::size_t seenCount = 0;
        bool gotPragma = false;
        int needPragma = -1; // unknown, false, true
        const Encoding *charset = nullptr;
        while (attribute()) {
            if (std::find(seen, seen + seenCount, m_name) != seen + seenCount)
                continue;
            if (seenCount < std::size(seen))
                seen[seenCount++] = m_name;
            if (m_name == "http-equiv") {
                gotPragma = gotPragma || m_value == "content-type";
            } else if (m_name == "content" && charset == nullptr) {
                if (const Encoding *named = charsetInContent(m_value)) {
                    charset = named;
                    needPragma = 1;
                }
            } else if (m_name == "charset") {
                charset = encodingForLabel(m_value);
                needPragma = 0;
            }
        }
        if (m_ranOff || needPragma < 0 || (needPragma == 1 && !gotPragma) || charset == nullptr)
            return nullptr;
        if (charset->kind == Encoding::Kind::Utf16Le || charset->kind == Encoding::Kind::Utf16Be)
            return &utf8Encoding();
        if (charset->kind == Encoding::Kind::UserDefined)
            return &windows1252Encoding();
        return charset;
    }

    // "Get an attribute": false when there is none, at a '>' or past the end of the bytes.
    bool attribute()
    {
        m_name.clear();
        m_value.clear();
        while (m_at < m_head.size() && (isSpace(m_head[m_at]) || m_head[m_at] == '/'))
            ++m_at;
        if (m_at >= m_head.size())
            return ranOff();
        if (m_head[m_at] == '>')
            return false;
        for (;; ++m_at) { // the name
            if (m_at >= m_head.size())
                return ranOff();
            const char c = m_head[m_at];
            if (c == '=' && !m_name.empty()) {
                ++m_at;
                break;
            }
            if (isSpace(c)) {
                skipSpaces();
                if (m_at >= m_head.size())
                    return ranOff();
                if (m_head[m_at] != '=')
                    return true;
                ++m_at;
                break;
            }
            if (c == '/' || c == '>')
                return true;
            m_name += lowered(c);
        }
        skipSpaces();
        if (m_at >= m_head.size())
            return ranOff();
        const char first = m_head[m_at];
        if (first == '"' || first == '\'') {
            for (++m_at; m_at < m_head.size(); ++m_at) {
                if (m_head[m_at] == first) {
                    ++m_at;
                    return true;
                }
                m_value += lowered(m_head[m_at]);
            }
            return ranOff();
        }
        if (first == '>')
            return true;
        for (; m_at < m_head.size(); ++m_at) {
            if (isSpace(m_head[m_at]) || m_head[m_at] == '>')
                return true;
            m_value += lowered(m_head[m_at]);
        }
        return ranOff();
    }

    void skipSpaces()
    {
        while (m_at < m_head.size() && isSpace(m_head[m_at]))
            ++m_at;
    }

    bool ranOff()
    {
        m_ranOff = true;
        return false;
    }

    // "Extract a character encoding from a meta element": the charset=... in a content value.
    static const Encoding *charsetInContent(std::string_view content)
    {
        for (std::size_t at = 0;;) {
            at = content.find("charset", at);
            if (at == std::string_view::npos)
                return nullptr;
            at += 7;
            while (at < content.size() && isSpace(content[at]))
                ++at;
            if (at >= content.size() || content[at] != '=')
                continue;
            ++at;
            while (at < content.size() && isSpace(content[at]))
                ++at;
            if (at >= content.size())
                return nullptr;
            if (content[at] == '"' || content[at] == '\'') {
                const std::size_t close = content.find(content[at], at + 1);
                return close == std::string_view::npos
                    ? nullptr
                    : encodingForLabel(content.substr(at + 1, close - at - 1));
            }
            std::size_t end = at;
            while (end < content.size() && !isSpace(content[end]) && content[end] != ';')
                ++end;
            return encodingForLabel(content.substr(at, end - at));
        }
    }

    std::string_view m_head;
    std::size_t m_at = 0;
    bool m_ranOff = false;
    std::string m_name, m_value; // of the last attribute, lowered
};

} // namespace

const Encoding *encodingForLabel(std::string_view label)
{
    while (!label.empty() && isSpace(label.front()))
        label.remove_prefix(1);
    while (!label.empty() && isSpace(label.back()))
        label.remove_suffix(1);
    char lower[32];
    if (label.empty() || label.size() > sizeof lower)
        return nullptr;
    std::transform(label.begin(), label.end(), lower, lowered);
    const std::string_view key(lower, label.size());
    const auto *found = std::lower_bound(std::begin(labels), std::end(labels), key,
        [](const Label &row, std::string_view wanted) { return row.label < wanted; });
    return found != std::end(labels) && found->label == key ? &encodings[found->encoding] : nullptr;
}

const Encoding &utf8Encoding()
{
    return *encodingNamed("UTF-8");
}

const Encoding &windows1252Encoding()
{
    return *encodingNamed("windows-1252");
}

const Encoding *prescanForEncoding(std::string_view head)
{
    return Prescan(head).run();
}

} // namespace plaintrove::conversion
