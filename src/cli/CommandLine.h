#pragma once

// plaintrove-strip: the conversion without windows, for scripts and pipelines.
//
//   plaintrove-strip [INPUT [OUTPUT]]       "-" or a missing name is standard input / output
//   plaintrove-strip -d DIR FILE...         each FILE to DIR/<name without last extension>.txt
//   plaintrove-strip -d DIR -r DIRECTORY... the pages below each DIRECTORY, mirrored below DIR
//   --readable: the text a browser shows; --article: the page's main text; --encoding LABEL:
//   the page's encoding; --lf: LF line ends instead of CR LF; -j N: N pages at a time
//
// Names are taken as the bytes they are, whatever their character set.

#include "Reporting.h"
#include "TextSink.h"

#include <filesystem>
#include <string>
#include <vector>

namespace plaintrove::cli {

// What the command line asks for, decided before any file is touched.
struct Invocation
{
    enum class Action { Convert, ConvertBatch, ShowHelp, ShowVersion, RefuseUsage };

    Action action = Action::RefuseUsage;
    std::filesystem::path input; // Convert: a path, or "-" for standard input
    std::filesystem::path output; // Convert: a path, or "-" for standard output
    std::filesystem::path outputDirectory; // ConvertBatch
    std::vector<std::filesystem::path> inputs; // ConvertBatch
    bool recursive = false; // ConvertBatch: directories among the inputs are walked
    int jobs = 1; // ConvertBatch: conversions at once
    conversion::StripOptions options; // Convert, ConvertBatch
    std::string text; // ShowHelp: the help; RefuseUsage: what is wrong
};

// The arguments of main(), the program's name first. Reorders argv as getopt_long does.
Invocation parseCommandLine(int argc, char *argv[]);

// Carries out an invocation, writing messages to standard error. Returns the exit status.
ExitStatus execute(const Invocation &invocation);

} // namespace plaintrove::cli
