#pragma once

// What plaintrove-strip tells its caller: the exit status, and messages on standard error that
// name the file and the reason.

#include <QString>

namespace plaintrove::conversion {
struct ConversionResult;
} // namespace plaintrove::conversion

namespace plaintrove::cli {

enum class ExitStatus : int {
    Converted = 0,
    FileError = 1, // a file could not be opened, read or written
    UsageError = 2, // the command line itself was wrong
    UnclosedTag = 3, // converted, but an input ended inside a tag
};

// The status of a batch is the worst of its files': a failure (1) outranks a warning (3), and
// wrong usage (2) outranks both.
ExitStatus worse(ExitStatus a, ExitStatus b);

QString tr(const char *text);

// One line, written at once: lines of a batch never mix.
void printLineToStandardError(const QString &text);
void printError(const QString &message);
void printFileMessage(const QString &path, const QString &reason);

// Prints what went wrong with a conversion, if anything, and returns its status.
ExitStatus report(const conversion::ConversionResult &result);

} // namespace plaintrove::cli
