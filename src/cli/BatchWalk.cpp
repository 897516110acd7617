#include "BatchWalk.h"

#include "Interruption.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <system_error>

namespace plaintrove::cli {

namespace {

namespace fs = std::filesystem;

// The name without its last extension, and ".txt". A leading dot starts a hidden name, not an
// extension.
std::string textName(std::string_view name)
{
    if (const std::size_t dot = name.rfind('.'); dot != 0 && dot != std::string_view::npos)
        name = name.substr(0, dot);
    return std::string(name) + ".txt";
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

std::string joined(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + '/' + name;
}

// "./site//" as "site", as a user would name it in a message.
std::string cleaned(const fs::path &path)
{
    std::string clean = path.lexically_normal().native();
    if (clean.size() > 1 && clean.back() == '/')
        clean.pop_back();
    return clean;
}

} // namespace

BatchWalk::BatchWalk(
    const std::vector<fs::path> &inputs, const fs::path &outputDirectory, bool recursive)
    : m_outputDirectory(joined(outputDirectory.native(), {}))
{
    Folder top;
    for (const fs::path &input : inputs) {
        std::error_code unknown;
        if (recursive && fs::is_directory(input, unknown)) {
            top.sources.push_back(m_sources.size());
            m_sources.push_back({ cleaned(input), true });
            if (const fs::path resolved = fs::canonical(input, unknown); !unknown)
                m_walkedFolders.push_back(joined(resolved.native(), {}));
        } else {
            m_sources.push_back({ input.native(), false });
            if (const auto identity = runtime::fileIdentity(input))
                m_fileInputs.push_back(*identity);
        }
    }
    m_folders.push_back(std::move(top));
}

std::optional<BatchJob> BatchWalk::next()
{
    while (m_jobs.empty()) {
        if (m_folders.empty() || runtime::interruption())
            return std::nullopt;
        const Folder folder = std::move(m_folders.back());
        m_folders.pop_back();
        visit(folder);
    }
    BatchJob job = std::move(m_jobs.front());
    m_jobs.pop_front();
    return job;
}

// Links to files are followed, links to folders are not: a walk cannot loop.
void BatchWalk::visit(const Folder &folder)
{
    std::map<std::string, std::vector<std::size_t>> subfolders; // by name: sorted
    const std::string outputFolder = m_outputDirectory + joined(folder.relative, {});
    std::size_t next = 0; // the next source given at the top, in the order of the arguments
    const auto addFilesGivenUpTo = [&](std::size_t end) {
        for (; folder.relative.empty() && next < end; ++next) {
            if (const Source &file = m_sources[next]; !file.walked)
                m_jobs.push_back({ file.path,
                    m_outputDirectory + textName(fs::path(file.path).filename().native()), {},
                    {} });
        }
    };
    for (const std::size_t source : folder.sources) {
        addFilesGivenUpTo(source);
        next = source + 1;
        const std::string &root = m_sources[source].path;
        const std::string path = folder.relative.empty() ? root : joined(root, folder.relative);
        std::vector<std::pair<std::string, std::string>> pages; // name, refusal
        std::error_code error;
        for (fs::directory_iterator entry(path, error), end; !error && entry != end;
             entry.increment(error)) {
            std::string name = entry->path().filename().native();
            std::error_code unknown; // a page that cannot be looked at says why when opened
            const fs::file_type type = entry->symlink_status(unknown).type();
            if (type == fs::file_type::directory) {
                subfolders[std::move(name)].push_back(source);
                continue;
            }
            if (!namedLikeAPage(name))
                continue;
            // A link to a folder is not followed; one to nothing fails when it is opened.
            const fs::file_type target
                = type == fs::file_type::symlink ? entry->status(unknown).type() : type;
            if (target == fs::file_type::directory)
                continue;
            const bool readable = target == fs::file_type::regular
                || target == fs::file_type::not_found || target == fs::file_type::none;
            pages.emplace_back(std::move(name), readable ? "" : "not a regular file");
        }
        if (error) {
            m_jobs.push_back({ path, {}, error.message(), path });
            continue;
        }
        std::ranges::sort(pages);
        for (auto &[name, refusal] : pages) {
            std::string page = joined(path, name);
            if (refusal.empty())
                m_jobs.push_back({ std::move(page), outputFolder + textName(name), {}, {} });
            else
                m_jobs.push_back({ page, {}, std::move(refusal), page });
        }
    }
    addFilesGivenUpTo(m_sources.size());
    refuseClashes();
    // Pushed last first, so that they are visited by name.
    for (auto subfolder = subfolders.rbegin(); subfolder != subfolders.rend(); ++subfolder)
        m_folders.push_back(
            { joined(folder.relative, subfolder->first), std::move(subfolder->second) });
}

// Two inputs that would share an output: the second is refused. Only inputs of one folder can.
void BatchWalk::refuseClashes()
{
    std::map<std::string_view, const BatchJob *> claimed; // output -> the input that writes it
    for (BatchJob &job : m_jobs) {
        if (!job.refusal.empty())
            continue;
        if (const auto [first, added] = claimed.try_emplace(job.output.native(), &job); !added) {
            job.refusal = "its output file " + job.output.native() + " is already the output of "
                + first->second->input.native();
            job.refusalAbout = job.input;
        }
    }
}

std::optional<std::string> BatchWalk::outputRefusal(const BatchJob &job) const
{
    constexpr std::string_view anotherInput = "the output file is also one of the input files";
    // An input given by name: its own output is refused by the conversion, as the same file.
    if (!m_fileInputs.empty()) {
        const auto output = runtime::fileIdentity(job.output);
        if (output && std::ranges::find(m_fileInputs, *output) != m_fileInputs.end()
            && output != runtime::fileIdentity(job.input))
            return std::string(anotherInput);
    }
    // A page found by the walk: only through a link can an output, named *.txt, be one, and
    // replacing the link's target would replace the page.
    std::error_code unknown;
    if (m_walkedFolders.empty() || !fs::is_symlink(fs::symlink_status(job.output, unknown)))
        return std::nullopt;
    const fs::path target = fs::canonical(job.output, unknown);
    if (unknown || !namedLikeAPage(target.filename().native()))
        return std::nullopt;
    if (std::ranges::any_of(m_walkedFolders,
            [&](const std::string &folder) { return target.native().starts_with(folder); }))
        return std::string(anotherInput);
    return std::nullopt;
}

} // namespace plaintrove::cli
