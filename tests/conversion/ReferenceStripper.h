#pragma once

// A deliberately naive model of the tag stripper, used as the oracle of the differential tests.
// It splits the whole input into lines up front and then walks the line algorithm literally,
// with one std::string as the current line and nothing but find, substring and trim:
//
//   1. If no line is left, stop.
//   2. Take the next line; the current line is that line trimmed.
//   3. Find the first '<'. If there is none, go to 9. Call its index p.
//   4. The piece is the text before p, trimmed.
//   5. The current line becomes the text after p, trimmed.
//   6. Write the piece.
//   7. Find the first '>'. While there is none, take the next line untrimmed as the current
//      line and search again; with no line left the tag stays open and the run ends here.
//   8. The current line becomes the text after the '>', trimmed. Go to 3.
//   9. Write the current line and CR LF. Go to 1.
//
// It is quadratic on long lines, so it only serves small inputs.

#include <cstddef>
#include <string>
#include <vector>

namespace plaintrove::conversion::reference {

struct ReferenceResult
{
    std::string output;
    bool unclosedTag = false;

    friend bool operator==(const ReferenceResult &, const ReferenceResult &) = default;
};

// CR LF, a bare LF and a bare CR each end a line; a terminator at the very end of the input
// does not start a further line.
inline std::vector<std::string> splitLines(const std::string &input)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const char c = input[i];
        if (c == '\r') {
            lines.push_back(line);
            line.clear();
            if (i + 1 < input.size() && input[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Leading spaces, then trailing spaces; only code 32 counts.
inline std::string trimSpaces(const std::string &text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

inline ReferenceResult referenceStrip(const std::string &input)
{
    const std::vector<std::string> lines = splitLines(input);
    ReferenceResult result;
    std::size_t next = 0;

    while (next < lines.size()) { // 1
        std::string current = trimSpaces(lines[next]); // 2
        ++next;
        for (;;) {
            const std::size_t p = current.find('<'); // 3
            if (p == std::string::npos)
                break;
            const std::string piece = trimSpaces(current.substr(0, p)); // 4
            current = trimSpaces(current.substr(p + 1)); // 5
            result.output += piece; // 6
            std::size_t q = current.find('>'); // 7
            while (q == std::string::npos) {
                if (next == lines.size()) {
                    result.unclosedTag = true;
                    return result;
                }
                current = lines[next];
                ++next;
                q = current.find('>');
            }
            current = trimSpaces(current.substr(q + 1)); // 8
        }
        result.output += current; // 9
        result.output += "\r\n";
    }
    return result;
}

} // namespace plaintrove::conversion::reference
