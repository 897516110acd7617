#pragma once

// A deliberately naive model of the tag stripper, the oracle of the differential tests: it splits
// the input into lines, then walks the line algorithm literally with one string as the current
// line and nothing but find, substring and trim: 1. stop when no line is left; 2. the current line
// is the next line, trimmed; 3. find its first '<', or go to 9; 4. the piece is the text before it,
// trimmed; 5. the current line is the text after it, trimmed; 6. write the piece; 7. find the
// first '>', taking the next lines untrimmed until one holds it (none left: the tag stays open,
// the run ends); 8. the current line is the text after the '>', trimmed; back to 3; 9. write the
// current line and CR LF; back to 1. It is quadratic on long lines: small inputs only.

#include <string>
#include <vector>

namespace plaintrove::testing {

struct ReferenceResult
{
    std::string output;
    bool unclosedTag = false;
};

inline ReferenceResult referenceStrip(const std::string &input)
{
    // CR LF, a bare LF and a bare CR each end a line; a line end at the very end of the input
    // starts no further line.
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] != '\r' && input[i] != '\n') {
            lines.back() += input[i];
            continue;
        }
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n')
            ++i;
        lines.emplace_back();
    }
    if (lines.back().empty())
        lines.pop_back();
    // Leading spaces, then trailing spaces; only code 32 counts.
    const auto trim = [](const std::string &text) {
        const std::size_t first = text.find_first_not_of(' ');
        return first == std::string::npos
            ? std::string()
            : text.substr(first, text.find_last_not_of(' ') - first + 1);
    };

    ReferenceResult result;
    for (std::size_t next = 0; next < lines.size();) { // 1
        std::string current = trim(lines[next++]); // 2
        for (std::size_t p; (p = current.find('<')) != std::string::npos;) { // 3
            const std::string piece = trim(current.substr(0, p)); // 4
            current = trim(current.substr(p + 1)); // 5
            result.output += piece; // 6
            std::size_t q = current.find('>'); // 7
            while (q == std::string::npos) {
                if (next == lines.size()) {
                    result.unclosedTag = true;
                    return result;
                }
                current = lines[next++];
                q = current.find('>');
            }
            current = trim(current.substr(q + 1)); // 8
        }
        result.output += current + "\r\n"; // 9
    }
    return result;
}

} // namespace plaintrove::testing
