#include "BatchPlan.h"

#include "FileIdentity.h"
#include "Interruption.h"
#include "Reporting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <system_error>

namespace plaintrove::cli {

namespace {

namespace fs = std::filesystem;

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

bool namedLikeAPage(std::string_view name)
{
    constexpr auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::ranges::any_of(std::array<std::string_view, 3> { ".html", ".htm", ".xhtml" },
        [&](std::string_view suffix) {
            return name.size() >= suffix.size()
                && std::ranges::equal(name.substr(name.size() - suffix.size()), suffix, {}, lower);
        });
}

// Qt spells names as UTF-8, and would spell any other as another file.
bool spelt(const std::string &name)
{
    const QByteArray bytes = QByteArray::fromStdString(name);
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

// A page, or a page or folder the walk cannot take; its path below the walked directory.
struct Found
{
    std::string relative;
    QString refusal; // why it is not converted; empty when it is
};

// The pages below `top` and what cannot be walked there, sorted so that every run meets them in
// the same order. Links to files are followed, links to folders are not: a walk cannot loop.
std::vector<Found> walk(const fs::path &top)
{
    const QString notUtf8
        = tr("the name is not valid UTF-8, and the program can only open UTF-8 names");
    std::vector<Found> found;
    std::vector<std::string> folders { std::string() };
    while (!folders.empty() && !runtime::interruption()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        for (fs::directory_iterator entry(top / folder, error), end; !error && entry != end;
             entry.increment(error)) {
            const std::string name = entry->path().filename().string();
            const std::string relative = folder.empty() ? name : folder + '/' + name;
            std::error_code unknown; // a page that cannot be looked at says why when opened
            const fs::file_type type = entry->symlink_status(unknown).type();
            if (type == fs::file_type::directory) {
                if (spelt(name))
                    folders.push_back(relative);
                else
                    found.push_back({ relative, notUtf8 });
                continue;
            }
            if (!namedLikeAPage(name))
                continue;
            // A link to a folder is not followed; one to nothing fails when it is opened.
            const fs::file_type target
                = type == fs::file_type::symlink ? entry->status(unknown).type() : type;
            if (target == fs::file_type::directory)
                continue;
            if (!spelt(name))
                found.push_back({ relative, notUtf8 });
            else if (target == fs::file_type::regular || target == fs::file_type::not_found
                || target == fs::file_type::none)
                found.push_back({ relative, {} });
            else
                found.push_back({ relative, tr("not a regular file") });
        }
        if (error)
            found.push_back({ folder, QString::fromLocal8Bit(error.message()) });
    }
    std::ranges::sort(found, {}, &Found::relative);
    return found;
}

void addPagesBelow(const QString &root, const QString &outputDirectory, std::vector<BatchJob> &jobs)
{
    const QString top = QDir::cleanPath(root);
    for (Found &each : walk(QFile::encodeName(top).toStdString())) {
        const QString relative = QFile::decodeName(QByteArray::fromStdString(each.relative));
        const QString page = relative.isEmpty() ? top
            : top.endsWith(QLatin1Char('/'))    ? top + relative
                                                : top + QLatin1Char('/') + relative;
        if (each.refusal.isEmpty())
            jobs.push_back({ page, outputPath(outputDirectory, relative), {}, {} });
        else
            jobs.push_back({ page, {}, std::move(each.refusal), page });
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
        if (!job.refusal.isEmpty())
            continue;
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

} // namespace

std::vector<BatchJob> planBatch(
    const QStringList &inputs, const QString &outputDirectory, bool recursive)
{
    std::vector<BatchJob> jobs;
    for (const QString &input : inputs) {
        if (std::error_code unknown;
            recursive && fs::is_directory(QFile::encodeName(input).toStdString(), unknown))
            addPagesBelow(input, outputDirectory, jobs);
        else
            jobs.push_back(
                { input, outputPath(outputDirectory, QFileInfo(input).fileName()), {}, {} });
    }
    refuseClashes(jobs);
    return jobs;
}

} // namespace plaintrove::cli
