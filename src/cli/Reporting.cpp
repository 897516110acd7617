#include "Reporting.h"

#include "ConversionRun.h"
#include "Interruption.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace plaintrove::cli {

ExitStatus worse(ExitStatus a, ExitStatus b)
{
    // Not the numbers' order: a warning must not hide a file that was not written.
    constexpr auto rank = [](ExitStatus status) {
        constexpr ExitStatus mildestFirst[] = { ExitStatus::Converted, ExitStatus::UnclosedTag,
            ExitStatus::FileError, ExitStatus::UsageError };
        return std::ranges::find(mildestFirst, status) - std::begin(mildestFirst);
    };
    return rank(a) >= rank(b) ? a : b;
}

// Standard error is unbuffered and the last resort: if even it fails there is no one to tell.
void printLineToStandardError(std::string_view text)
{
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void printError(std::string_view message)
{
    printLineToStandardError(std::string("plaintrove-strip: ").append(message));
}

void printFileMessage(const std::filesystem::path &path, std::string_view reason)
{
    printError(path.native() + ": " + std::string(reason));
}

ExitStatus report(const conversion::ConversionResult &result)
{
    // One line says why the run stopped; the files it stopped are no news.
    if (runtime::interruption())
        return ExitStatus::FileError;
    switch (result.status) {
    case conversion::ConversionStatus::Converted:
        if (!result.reason.empty()) // nothing is missing: a warning, not a failure
            printFileMessage(result.path, "warning: " + result.reason);
        return ExitStatus::Converted;
    case conversion::ConversionStatus::ConvertedUnclosedTag:
        printFileMessage(result.path, "warning: " + result.reason);
        return ExitStatus::UnclosedTag;
    case conversion::ConversionStatus::Failed:
        break;
    }
    printFileMessage(result.path, result.reason);
    return ExitStatus::FileError;
}

} // namespace plaintrove::cli
