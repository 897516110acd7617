#pragma once

// Reads a file of literate examples, one a line:
//     "input" -> "output" [unclosed] [lf] [encoding=LABEL] # comment
// Lines that do not start with a quote are comments. Escapes: \r \n \t \v \f \0 \\ \" \xHH.

#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace plaintrove::testing {

struct Example
{
    int line = 0;
    std::string input, expected;
    bool unclosed = false; // the input ends inside a tag
    bool lf = false; // lines end in LF rather than CR LF
    std::string encoding; // the user's, for the readable mode
    friend void PrintTo(const Example &row, std::ostream *os)
    {
        *os << "the example on line " << row.line;
    }
};

// The quoted, escaped string at the front of `text`, which it consumes.
inline std::string unquote(std::string_view &text)
{
    std::string bytes;
    std::size_t i = text.find('"') + 1;
    for (; text.at(i) != '"'; ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        const char c = text.at(++i);
        if (c == 'x') {
            bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            const std::string_view from = "rntvf0", to { "\r\n\t\v\f\0", 6 };
            const std::size_t escape = from.find(c);
            bytes += escape == std::string_view::npos ? c : to[escape];
        }
    }
    text.remove_prefix(i + 1);
    return bytes;
}

inline std::vector<Example> examples(const char *path)
{
    std::vector<Example> rows;
    std::ifstream file(path);
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.starts_with('"'))
            continue;
        std::string_view rest = line;
        Example row { number, unquote(rest), "", false, false, "" };
        row.expected = unquote(rest);
        const std::string_view flags = rest.substr(0, rest.find('#'));
        row.unclosed = flags.find("unclosed") != std::string_view::npos;
        row.lf = flags.find(" lf") != std::string_view::npos;
        if (const std::size_t at = flags.find("encoding="); at != std::string_view::npos)
            row.encoding = flags.substr(at + 9, flags.find(' ', at) - at - 9);
        rows.push_back(row);
    }
    return rows;
}

} // namespace plaintrove::testing
