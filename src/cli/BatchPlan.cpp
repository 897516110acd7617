#include "BatchPlan.h"

#include "FileIdentity.h"
#include "Reporting.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace plaintrove::cli {

namespace {

// Qt takes a path that starts with ':' for one of its resources.
QString notResource(const QString &path)
{
    return path.startsWith(QLatin1Char(':')) ? QLatin1String("./") + path : path;
}

// `relative` below the output directory, its last extension replaced by ".txt".
QString outputPath(const QString &outputDirectory, const QString &relative)
{
    QString path = relative;
    // A leading dot starts a hidden name, not an extension.
    const qsizetype name = path.lastIndexOf(QLatin1Char('/')) + 1;
    if (const qsizetype dot = path.lastIndexOf(QLatin1Char('.')); dot > name)
        path.truncate(dot);
    // Not QDir::filePath(): it returns a name that starts with ':' unchanged, as the absolute path
    // of a Qt resource, and the output would land in the working directory.
    QString directory = QDir(outputDirectory).path();
    if (!directory.endsWith(QLatin1Char('/')))
        directory += QLatin1Char('/');
    return directory + path + QLatin1String(".txt");
}

// The pages below `root`, sorted so that every run meets them in the same order. Links to
// files are followed, links to directories are not: a walk cannot loop.
void addPagesBelow(const QString &root, const QString &outputDirectory, std::vector<BatchJob> &jobs)
{
    const QString top = notResource(QDir::cleanPath(root));
    QDirIterator walk(top,
        { QStringLiteral("*.html"), QStringLiteral("*.htm"), QStringLiteral("*.xhtml") },
        QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    std::vector<QString> pages;
    while (walk.hasNext())
        pages.push_back(walk.next());
    std::sort(pages.begin(), pages.end());
    const qsizetype below = top.size() + (top.endsWith(QLatin1Char('/')) ? 0 : 1);
    for (QString &page : pages) {
        const QString relative = page.mid(below);
        jobs.push_back({ std::move(page), outputPath(outputDirectory, relative), {}, {} });
    }
}

void refuse(BatchJob &job, const QString &about, const QString &reason)
{
    job.refusalAbout = about;
    job.refusal = reason;
}

// Two inputs that would share an output: the second is refused. So is an output that is
// another input, which the batch may not have read yet.
void refuseClashes(std::vector<BatchJob> &jobs)
{
    std::map<runtime::FileIdentity, qsizetype> existingOutputs;
    for (qsizetype index = 0; index < qsizetype(jobs.size()); ++index) {
        if (const auto identity = runtime::fileIdentity(jobs[std::size_t(index)].output))
            existingOutputs.try_emplace(*identity, index);
    }
    // Only outputs that exist can be inputs: a first run into a new directory looks up nothing.
    std::set<qsizetype> outputsThatAreInputs;
    for (qsizetype index = 0; !existingOutputs.empty() && index < qsizetype(jobs.size()); ++index) {
        const auto identity = runtime::fileIdentity(jobs[std::size_t(index)].input);
        const auto output = identity ? existingOutputs.find(*identity) : existingOutputs.end();
        if (output != existingOutputs.end() && output->second != index)
            outputsThatAreInputs.insert(output->second);
    }

    std::map<QString, qsizetype> claimed; // cleaned output path -> the input that writes it
    for (qsizetype index = 0; index < qsizetype(jobs.size()); ++index) {
        BatchJob &job = jobs[std::size_t(index)];
        if (const auto first = claimed.find(QDir::cleanPath(job.output)); first != claimed.end()) {
            refuse(job, job.input,
                tr("its output file %1 is already the output of %2")
                    .arg(job.output, jobs[std::size_t(first->second)].input));
        } else if (outputsThatAreInputs.contains(index)) {
            refuse(job, job.output, tr("the output file is also one of the input files"));
        } else {
            claimed.emplace(QDir::cleanPath(job.output), index);
        }
    }
}

// As `mkdir -p`, once for each directory.
void makeOutputDirectories(std::vector<BatchJob> &jobs)
{
    std::map<QString, std::error_code> made;
    for (BatchJob &job : jobs) {
        if (!job.refusal.isEmpty())
            continue;
        const QString directory = QFileInfo(job.output).path();
        auto [entry, isNew] = made.try_emplace(directory);
        if (isNew)
            std::filesystem::create_directories(
                QFile::encodeName(directory).toStdString(), entry->second);
        if (entry->second) {
            refuse(job, job.input,
                tr("its output directory %1 cannot be made: %2")
                    .arg(directory, QString::fromLocal8Bit(entry->second.message())));
        }
    }
}

} // namespace

std::vector<BatchJob> planBatch(
    const QStringList &inputs, const QString &outputDirectory, bool recursive)
{
    std::vector<BatchJob> jobs;
    for (const QString &input : inputs) {
        if (recursive && QFileInfo(notResource(input)).isDir())
            addPagesBelow(input, outputDirectory, jobs);
        else
            jobs.push_back(
                { input, outputPath(outputDirectory, QFileInfo(input).fileName()), {}, {} });
    }
    refuseClashes(jobs);
    makeOutputDirectories(jobs);
    return jobs;
}

} // namespace plaintrove::cli
