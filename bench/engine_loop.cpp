// The stripping engine alone, between two raw file descriptors: stdin to stdout with plain
// read(2) and write(2), no Qt and no temporary file. The benchmark runs it beside the real
// command so that the cost of the engine can be told apart from the cost of the file layer.

#include "exact/TagStripper.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

class DescriptorSink final : public plaintrove::conversion::TextSink
{
public:
    bool write(std::string_view text) override
    {
        while (!text.empty()) {
            const ssize_t count = ::write(STDOUT_FILENO, text.data(), text.size());
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                return false;
            text.remove_prefix(static_cast<std::size_t>(count));
        }
        return true;
    }
};

} // namespace

int main()
{
    DescriptorSink sink;
    plaintrove::conversion::TagStripper stripper(sink);
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            std::fprintf(stderr, "engine_loop: read: %s\n", std::strerror(errno));
            return 1;
        }
        if (count == 0)
            break;
        if (!stripper.feed({ buffer.data(), static_cast<std::size_t>(count) }))
            break;
    }
    if (stripper.finish() == plaintrove::conversion::StripOutcome::SinkFailed) {
        std::fprintf(stderr, "engine_loop: write: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
