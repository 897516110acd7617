#pragma once

// plaintrove-strip: the conversion without windows, for scripts and pipelines.
//
//   plaintrove-strip [INPUT [OUTPUT]]       "-" or a missing name is standard input / output
//   plaintrove-strip -d DIR FILE...         each FILE to DIR/<name without last extension>.txt
//   plaintrove-strip -d DIR -r DIRECTORY... the pages below each DIRECTORY, mirrored below DIR
//   --readable: the text a browser shows; --lf: LF line ends instead of CR LF

#include "Reporting.h"
#include "TextSink.h"

#include <QString>
#include <QStringList>

namespace plaintrove::cli {

// What the command line asks for, decided before any file is touched.
struct Invocation
{
    enum class Action { Convert, ConvertBatch, ShowHelp, ShowVersion, RefuseUsage };

    Action action = Action::RefuseUsage;
    QString input; // Convert: a path, or "-" for standard input
    QString output; // Convert: a path, or "-" for standard output
    QString outputDirectory; // ConvertBatch
    QStringList inputs; // ConvertBatch
    bool recursive = false; // ConvertBatch: directories among the inputs are walked
    int jobs = 1; // ConvertBatch: conversions at once
    conversion::StripOptions options; // Convert, ConvertBatch
    QString text; // ShowHelp: the help; RefuseUsage: what is wrong
};

// `arguments` as QCoreApplication::arguments() gives them, the program's name first.
Invocation parseCommandLine(const QStringList &arguments);

// Carries out an invocation, writing messages to standard error. Returns the exit status.
ExitStatus execute(const Invocation &invocation);

} // namespace plaintrove::cli
