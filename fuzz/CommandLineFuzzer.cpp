// Fuzzing of plaintrove-strip's command-line parsing. Nothing here touches a file: the invocation
// that parseCommandLine() makes is checked, never carried out.
//
// An input is one command line: its arguments separated by NUL bytes, the program's name first.

#include "CommandLine.h"

#include <QByteArrayView>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using plaintrove::cli::Invocation;

constexpr std::size_t maxInputSize = PLAINTROVE_FUZZ_MAX_LEN;
const QString standardStream = QStringLiteral("-");

// As QCoreApplication::arguments() decodes them.
QStringList splitArguments(std::string_view bytes)
{
    QStringList arguments;
    for (;;) {
        const std::size_t end = bytes.find('\0');
        const std::string_view argument = bytes.substr(0, end);
        arguments << QString::fromLocal8Bit(
            QByteArrayView(argument.data(), static_cast<qsizetype>(argument.size())));
        if (end == std::string_view::npos)
            return arguments;
        bytes.remove_prefix(end + 1);
    }
}

const char *actionName(Invocation::Action action)
{
    switch (action) {
    case Invocation::Action::Convert:
        return "Convert";
    case Invocation::Action::ConvertBatch:
        return "ConvertBatch";
    case Invocation::Action::ShowHelp:
        return "ShowHelp";
    case Invocation::Action::ShowVersion:
        return "ShowVersion";
    case Invocation::Action::RefuseUsage:
        return "RefuseUsage";
    }
    return "?";
}

class Checker
{
public:
    Checker(const QStringList &arguments, const Invocation &invocation)
        : m_arguments(arguments)
        , m_invocation(invocation)
    { }

    void require(bool holds, const char *what, const QString &detail = {}) const
    {
        if (holds)
            return;
        std::fprintf(stderr, "command line: %s\n  arguments:", what);
        for (const QString &argument : m_arguments)
            std::fprintf(stderr, " \"%s\"", qUtf8Printable(argument));
        std::fprintf(stderr, "\n  action: %s\n", actionName(m_invocation.action));
        if (!detail.isEmpty())
            std::fprintf(stderr, "  %s\n", qUtf8Printable(detail));
        std::abort();
    }

    // The parser may take a path apart from its option, never make one up.
    bool isGivenPath(const QString &path) const
    {
        const QStringList given = m_arguments.mid(1);
        return given.contains(path);
    }
    bool endsSomeArgument(const QString &value) const
    {
        for (qsizetype i = 1; i < m_arguments.size(); ++i) {
            if (m_arguments[i].endsWith(value))
                return true;
        }
        return false;
    }

    // DIR/<the input's name without its last extension>.txt
    void checkBatchOutputPath(const QString &directory, const QString &input) const
    {
        const QString path = plaintrove::cli::batchOutputPath(directory, input);
        const QString detail = QStringLiteral("directory \"%1\", input \"%2\", output \"%3\"")
                                   .arg(directory, input, path);
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        require(slash >= 0, "the output path names no directory", detail);
        const QString name = path.mid(slash + 1);
        require(
            name.endsWith(QLatin1String(".txt")), "the output name does not end in .txt", detail);
        const QString inputName = input.mid(input.lastIndexOf(QLatin1Char('/')) + 1);
        require(inputName.startsWith(name.chopped(4)),
            "the output name is not taken from the input's name", detail);
        const QString parent = slash == 0 ? QStringLiteral("/") : path.left(slash);
        require(QDir::cleanPath(parent) == QDir::cleanPath(directory),
            "the output path lies outside the output directory", detail);
    }

    void check() const
    {
        switch (m_invocation.action) {
        case Invocation::Action::Convert:
            require(!m_invocation.input.isEmpty(), "Convert without an input");
            require(!m_invocation.output.isEmpty(), "Convert without an output");
            require(m_invocation.input == standardStream || isGivenPath(m_invocation.input),
                "the input is not one of the arguments");
            require(m_invocation.output == standardStream || isGivenPath(m_invocation.output),
                "the output is not one of the arguments");
            require(m_invocation.outputDirectory.isEmpty() && m_invocation.inputs.isEmpty(),
                "Convert with batch fields");
            break;
        case Invocation::Action::ConvertBatch:
            require(!m_invocation.outputDirectory.isEmpty(), "ConvertBatch without a directory");
            require(endsSomeArgument(m_invocation.outputDirectory),
                "the output directory is not taken from the arguments");
            require(!m_invocation.inputs.isEmpty(), "ConvertBatch without inputs");
            require(m_invocation.input.isEmpty() && m_invocation.output.isEmpty(),
                "ConvertBatch with the fields of a single conversion");
            for (const QString &input : m_invocation.inputs) {
                require(!input.isEmpty(), "ConvertBatch with an empty input name");
                require(input != standardStream, "ConvertBatch with standard input");
                require(isGivenPath(input), "a batch input is not one of the arguments", input);
                checkBatchOutputPath(m_invocation.outputDirectory, input);
            }
            break;
        case Invocation::Action::ShowHelp:
            require(m_invocation.text.startsWith(QLatin1String("Usage: plaintrove-strip ")),
                "the help does not start with the usage", m_invocation.text.left(80));
            break;
        case Invocation::Action::ShowVersion:
            break;
        case Invocation::Action::RefuseUsage:
            require(!m_invocation.text.isEmpty(), "a refusal without a reason");
            break;
        }
    }

private:
    const QStringList &m_arguments;
    const Invocation &m_invocation;
};

} // namespace

// The program parses its command line with an application object in place; so does this.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "plaintrove-strip";
    static char *argv[] = { name, nullptr };
    static const QCoreApplication application(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > maxInputSize)
        return 0;
    const QStringList arguments = splitArguments({ reinterpret_cast<const char *>(data), size });
    const Invocation invocation = plaintrove::cli::parseCommandLine(arguments);
    Checker(arguments, invocation).check();
    return 0;
}
