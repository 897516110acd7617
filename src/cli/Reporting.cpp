#include "Reporting.h"

#include "ConversionRun.h"
#include "Interruption.h"

#include <QCoreApplication>
#include <cstdio>

namespace plaintrove::cli {

ExitStatus worse(ExitStatus a, ExitStatus b)
{
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("plaintrove::cli::CommandLine", text);
}

// Standard error is unbuffered and the last resort: if even it fails there is no one to tell.
void printLineToStandardError(const QString &text)
{
    const QByteArray line = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
}

void printError(const QString &message)
{
    printLineToStandardError(QLatin1String("plaintrove-strip: ") + message);
}

void printFileMessage(const QString &path, const QString &reason)
{
    printError(path + QLatin1String(": ") + reason);
}

ExitStatus report(const conversion::ConversionResult &result)
{
    // One line says why the run stopped; the files it stopped are no news.
    if (runtime::interruption())
        return ExitStatus::FileError;
    switch (result.status) {
    case conversion::ConversionStatus::Converted:
        if (!result.reason.isEmpty()) // nothing is missing: a warning, not a failure
            printFileMessage(result.path, tr("warning: %1").arg(result.reason));
        return ExitStatus::Converted;
    case conversion::ConversionStatus::ConvertedUnclosedTag:
        printFileMessage(result.path, tr("warning: %1").arg(result.reason));
        return ExitStatus::UnclosedTag;
    case conversion::ConversionStatus::Failed:
        break;
    }
    printFileMessage(result.path, result.reason);
    return ExitStatus::FileError;
}

} // namespace plaintrove::cli
