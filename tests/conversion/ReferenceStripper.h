#pragma once

// A deliberately naive model of the tag stripper, the oracle of the differential tests. It splits
// the whole input into lines up front and then walks the line algorithm literally, with one
// std::string as the current line and nothing but find, substring and trim:
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
