#include "CommandLine.h"

#include "Batch.h"
#include "ConversionRun.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "html/Encodings.h"

#include <algorithm>
#include <charconv>
#include <getopt.h>
#include <optional>
#include <sched.h>
#include <string_view>

namespace plaintrove::cli {

namespace {

constexpr std::string_view programName = "plaintrove-strip";
constexpr std::string_view standardStream = "-";

// The options, each a line here and in the help. Those without a letter get a number above
// any character's.
enum LongOnly : int { ReadableOption = 256, ArticleOption, LfOption, EncodingOption };
constexpr option optionTable[] = {
    { "help", no_argument, nullptr, 'h' },
    { "version", no_argument, nullptr, 'v' },
    { "output-directory", required_argument, nullptr, 'd' },
    { "recursive", no_argument, nullptr, 'r' },
    { "jobs", required_argument, nullptr, 'j' },
    { "readable", no_argument, nullptr, ReadableOption },
    { "article", no_argument, nullptr, ArticleOption },
    { "lf", no_argument, nullptr, LfOption },
    { "encoding", required_argument, nullptr, EncodingOption },
    {},
};
// The leading ':' makes a missing value ':' and keeps getopt's own messages quiet.
constexpr char shortOptions[] = ":hvd:rj:";

constexpr std::string_view helpText = R"(Usage: plaintrove-strip [options] [INPUT [OUTPUT]]
       plaintrove-strip [options] -d DIR [-r] [-j N] FILE...
Deletes the markup of HTML files: everything from a '<' up to the next '>', even across lines.
Each input line becomes one output line, ending in CR LF. With --readable, the text a
browser shows instead: scripts and styles dropped, references decoded, spaces
collapsed, a line for each block, in UTF-8 whatever the page's encoding (a
byte-order mark, else --encoding, else the page's <meta charset>, else UTF-8 if
its first non-ASCII bytes are UTF-8, else windows-1252). With --article, only the
page's main text (a story, a post), read and laid out the same way: a heuristic
that drops menus, sidebars, teasers, comments and the like. An output file is
replaced only when its conversion succeeded.

page                             default          --readable     --article
<nav><a href=/>Home</a></nav>    Home             Home
<p>Hi <b>there</b> &amp; bye</p> Hithere&amp; bye Hi there & bye Hi there & bye
<script>x()</script>             x()

Exit status: 0 converted; 1 a file could not be opened, read or written;
2 wrong usage; 3 an input ended inside a tag that is never closed (the text
before it was kept). With -d, the worst status of all files: a failure (1)
outranks a warning (3).

With -d, a batch on a terminal shows its progress on standard error: files
done of the total, MB/s and the time taken.

Options:
  -h, --help                    Show this help and exit.
  -v, --version                 Show the version and exit.
  -d, --output-directory <DIR>  Convert each FILE to <DIR>/<its name without
                                the last extension>.txt.
  -r, --recursive               With -d: convert the pages (*.html, *.htm,
                                *.xhtml) in each FILE that is a directory and
                                below it, into the same folders below DIR.
  -j, --jobs <N>                With -d: convert up to N files at once; the
                                default is the number of processors (%).
  --readable                    Write the text a browser shows instead of
                                deleting tags line by line.
  --article                     Write the page's main text (a story, a post)
                                without the page around it, laid out as
                                --readable lays out text. A heuristic: see the
                                manual.
  --lf                          End lines with LF instead of CR LF, in any
                                mode.
  --encoding <LABEL>            With --readable or --article: read pages
                                without a byte-order mark as LABEL (utf-8,
                                latin1, windows-1251, shift_jis, gb18030,
                                euc-kr... any label browsers know).

Arguments:
  INPUT                         The HTML file to read; standard input when
                                missing or "-".
  OUTPUT                        The text file to write; standard output when
                                missing or "-".
  FILE                          With -d: the HTML files to convert.
)";

// The processors this process may run on, as `nproc` counts them.
int processorCount()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    return ::sched_getaffinity(0, sizeof set, &set) == 0 ? std::max(CPU_COUNT(&set), 1) : 1;
}

// A whole number, with spaces around it allowed; nothing for anything else.
std::optional<int> wholeNumber(std::string_view text)
{
    constexpr std::string_view spaces = " \t\n\v\f\r";
    text.remove_prefix(std::min(text.find_first_not_of(spaces), text.size()));
    text.remove_suffix(text.size() - std::min(text.find_last_not_of(spaces) + 1, text.size()));
    if (text.starts_with('+'))
        text.remove_prefix(1);
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return number;
}

ExitStatus printToStandardOutput(std::string_view text)
{
    runtime::OutputFile output = runtime::OutputFile::standardOutput();
    if (!output.write(text) || !output.commit()) {
        printFileMessage(output.path(), output.errorString());
        return ExitStatus::FileError;
    }
    return ExitStatus::Converted;
}

conversion::ConversionResult convert(const std::filesystem::path &inputPath,
    const std::filesystem::path &outputPath, conversion::StripOptions options)
{
    runtime::InputFile input = inputPath == standardStream ? runtime::InputFile::standardInput()
                                                           : runtime::InputFile(inputPath);
    if (outputPath == standardStream) {
        runtime::OutputFile output = runtime::OutputFile::standardOutput();
        return conversion::StripTags(input, output, options);
    }
    return conversion::runConversion(input, outputPath, options);
}

// The name of a long option as the argument spells it: "--name" or "--name=value".
std::string_view spelling(const char *argument)
{
    const std::string_view text = std::string_view(argument).substr(2);
    return text.substr(0, text.find('='));
}

// What the options say, before it is checked against the rest.
struct Given
{
    std::vector<std::string> unknown; // options, as spelt
    std::string problem; // the first value missing or not expected
    bool help = false, version = false, jobsGiven = false, validJobs = true, readable = false;
    const char *encodingLabel = nullptr;
    std::vector<std::string> directories;
};

// getopt_long, with the messages and the strictness of the parser the windows use: a long
// option is spelt in full, and every unknown option is named. What an option sets goes into
// `invocation`, what needs checking later into the result.
Given readOptions(int argc, char *argv[], Invocation &invocation)
{
    Given given;
    optind = 0; // from the start, whatever ran before
    for (;;) {
        int index = -1;
        const int found = ::getopt_long(argc, argv, shortOptions, optionTable, &index);
        if (found == -1)
            break;
        // getopt_long names a long option by its index, and in an error by optopt: 0 when it is
        // unknown, its value when it was given a value it does not take; a short option's error
        // names an unknown letter. Only a missing value (':') needs the argument to tell which.
        const int option = found == '?' || found == ':' ? optopt : found;
        const auto entry = std::ranges::find(optionTable, option, &::option::val);
        const bool known = option != 0 && entry != std::end(optionTable);
        const char *last = argv[optind - 1]; // a long option is a whole argument
        const bool spelledLong = index >= 0
            || (found == '?' ? option == 0 || known
                             : found == ':' && std::string_view(last).starts_with("--"));
        const char *named = optarg && optarg == last ? argv[optind - 2] : last;
        if (spelledLong && (!known || spelling(named) != entry->name)) {
            given.unknown.emplace_back(spelling(named)); // unknown, or not spelt in full
            continue;
        }
        if (found == '?' && !spelledLong) {
            given.unknown.emplace_back(1, char(optopt));
            continue;
        }
        if (found == ':' || found == '?') {
            if (given.problem.empty())
                given.problem
                    = (found == ':' ? "Missing value after '" : "Unexpected value after '")
                    + (spelledLong ? "--" + std::string(spelling(named))
                                   : std::string("-") + char(option))
                    + "'.";
            continue;
        }
        switch (found) {
        case 'h':
            given.help = true;
            break;
        case 'v':
            given.version = true;
            break;
        case 'd':
            given.directories.emplace_back(optarg);
            break;
        case 'r':
            invocation.recursive = true;
            break;
        case 'j': {
            given.jobsGiven = true;
            const std::optional<int> jobs = wholeNumber(optarg);
            given.validJobs = jobs && *jobs > 0;
            invocation.jobs = jobs.value_or(0);
            break;
        }
        case ReadableOption:
            given.readable = true;
            if (invocation.options.mode == conversion::StripMode::Exact)
                invocation.options.mode = conversion::StripMode::Readable;
            break;
        case ArticleOption:
            invocation.options.mode = conversion::StripMode::Article;
            break;
        case LfOption:
            invocation.options.lineEnd = conversion::LineEnd::Lf;
            break;
        case EncodingOption:
            given.encodingLabel = optarg;
            invocation.options.encoding = conversion::encodingForLabel(optarg);
            break;
        }
    }
    return given;
}

// Unknown options, or a value missing or not expected; empty when there are none.
std::string optionError(const Given &given)
{
    if (given.unknown.size() == 1)
        return "Unknown option '" + given.unknown.front() + "'.";
    if (!given.unknown.empty()) {
        std::string text = "Unknown options: " + given.unknown.front();
        for (std::size_t i = 1; i < given.unknown.size(); ++i)
            text += ", " + given.unknown[i];
        return text + '.';
    }
    return given.problem;
}

// Options that do not go together, or with the names given; empty when they do.
std::string usageError(const Given &given, const Invocation &invocation,
    const std::vector<std::filesystem::path> &positional)
{
    const conversion::StripMode mode = invocation.options.mode;
    if (given.encodingLabel && invocation.options.encoding == nullptr)
        return "unknown encoding \"" + std::string(given.encodingLabel) + '"';
    if (given.encodingLabel && mode == conversion::StripMode::Exact)
        return "--encoding needs --readable or --article: the default mode keeps the bytes as "
               "they are";
    if (std::ranges::find(positional, std::filesystem::path()) != positional.end())
        return "an empty file name was given";
    if (!given.validJobs)
        return "the number of jobs must be a whole number of at least 1";
    if (given.readable && mode == conversion::StripMode::Article)
        return "--article and --readable cannot be given together";
    if (invocation.recursive && given.directories.empty())
        return "--recursive needs --output-directory";
    if (given.jobsGiven && given.directories.empty())
        return "--jobs needs --output-directory";
    if (given.directories.empty())
        return positional.size() > 2 ? "too many arguments; only INPUT and OUTPUT may be given"
                                     : "";
    if (given.directories.size() > 1)
        return "the output directory is given more than once";
    if (given.directories.front().empty())
        return "the output directory name is empty";
    if (positional.empty())
        return "--output-directory needs at least one FILE to convert";
    if (std::ranges::find(positional, standardStream) != positional.end())
        return "standard input (\"-\") cannot be converted into a directory";
    return {};
}

} // namespace

Invocation parseCommandLine(int argc, char *argv[])
{
    Invocation invocation;
    const Given given = readOptions(argc, argv, invocation);
    invocation.text = optionError(given);
    if (!invocation.text.empty())
        return invocation;
    if (given.help) {
        invocation.action = Invocation::Action::ShowHelp;
        const std::size_t count = helpText.find('%');
        invocation.text = std::string(helpText.substr(0, count)) + std::to_string(processorCount())
            + std::string(helpText.substr(count + 1));
        return invocation;
    }
    if (given.version) {
        invocation.action = Invocation::Action::ShowVersion;
        return invocation;
    }

    const std::vector<std::filesystem::path> positional(argv + optind, argv + argc);
    if (!given.jobsGiven)
        invocation.jobs = processorCount();
    invocation.text = usageError(given, invocation, positional);
    if (!invocation.text.empty())
        return invocation;
    if (!given.directories.empty()) {
        invocation.action = Invocation::Action::ConvertBatch;
        invocation.outputDirectory = given.directories.front();
        invocation.inputs = positional;
        return invocation;
    }
    invocation.action = Invocation::Action::Convert;
    invocation.input = positional.size() > 0 ? positional[0] : standardStream;
    invocation.output = positional.size() > 1 ? positional[1] : standardStream;
    return invocation;
}

ExitStatus execute(const Invocation &invocation)
{
    switch (invocation.action) {
    case Invocation::Action::ShowHelp:
        return printToStandardOutput(invocation.text);
    case Invocation::Action::ShowVersion:
        return printToStandardOutput(std::string(programName) + ' ' + PLAINTROVE_VERSION + '\n');
    case Invocation::Action::Convert:
        return report(convert(invocation.input, invocation.output, invocation.options));
    case Invocation::Action::ConvertBatch:
        return convertBatch(invocation.inputs, invocation.outputDirectory, invocation.recursive,
            invocation.jobs, invocation.options);
    case Invocation::Action::RefuseUsage:
        break;
    }
    printError(invocation.text);
    printLineToStandardError("Try '" + std::string(programName) + " --help' for more information.");
    return ExitStatus::UsageError;
}

} // namespace plaintrove::cli
