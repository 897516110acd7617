#pragma once

// plaintrove-strip: the conversion without windows, for scripts and pipelines.
//
//   plaintrove-strip [INPUT [OUTPUT]]       "-" or a missing name is standard input / output
//   plaintrove-strip -d DIR FILE...         each FILE to DIR/<name without last extension>.txt
//   --readable: the text a browser shows; --lf: LF line ends instead of CR LF

#include "TextSink.h"

#include <QString>
#include <QStringList>

namespace plaintrove::cli {

enum class ExitStatus : int {
    Converted = 0,
    FileError = 1, // a file could not be opened, read or written
    UsageError = 2, // the command line itself was wrong
    UnclosedTag = 3, // converted, but an input ended inside a tag
};

// What the command line asks for, decided before any file is touched.
struct Invocation
{
    enum class Action { Convert, ConvertBatch, ShowHelp, ShowVersion, RefuseUsage };

    Action action = Action::RefuseUsage;
    QString input; // Convert: a path, or "-" for standard input
    QString output; // Convert: a path, or "-" for standard output
    QString outputDirectory; // ConvertBatch
    QStringList inputs; // ConvertBatch
    conversion::StripOptions options; // Convert, ConvertBatch
    QString text; // ShowHelp: the help; RefuseUsage: what is wrong
};

// `arguments` as QCoreApplication::arguments() gives them, the program's name first.
Invocation parseCommandLine(const QStringList &arguments);

// Carries out an invocation, writing messages to standard error. Returns the exit status.
ExitStatus execute(const Invocation &invocation);

} // namespace plaintrove::cli
