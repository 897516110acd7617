// The stripping engine alone, between two raw file descriptors: stdin to stdout with plain
// read(2) and write(2), no Qt and no temporary file. The benchmark runs it beside the real
// command so that the cost of the engine can be told apart from the cost of the file layer.

#include "StripTags.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <system_error>
#include <unistd.h>

namespace {

using plaintrove::conversion::ByteSink;
using plaintrove::conversion::ByteSource;

class DescriptorSource final : public ByteSource
{
public:
    explicit DescriptorSource(int descriptor)
        : m_descriptor(descriptor)
    { }

    std::size_t read(std::span<char> buffer) override
    {
        for (;;) {
            const ssize_t count = ::read(m_descriptor, buffer.data(), buffer.size());
            if (count >= 0)
                return static_cast<std::size_t>(count);
            if (errno != EINTR)
                throw std::system_error(errno, std::generic_category(), "read");
        }
    }

private:
    int m_descriptor;
};

class DescriptorSink final : public ByteSink
{
public:
    explicit DescriptorSink(int descriptor)
        : m_descriptor(descriptor)
    { }

    void write(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t count = ::write(m_descriptor, bytes.data(), bytes.size());
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                throw std::system_error(errno, std::generic_category(), "write");
            }
            bytes.remove_prefix(static_cast<std::size_t>(count));
        }
    }

private:
    int m_descriptor;
};

} // namespace

int main()
{
    try {
        DescriptorSource input(STDIN_FILENO);
        DescriptorSink output(STDOUT_FILENO);
        plaintrove::conversion::StripTags(input, output);
        return 0;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "engine_loop: %s\n", error.what());
        return 1;
    }
}
