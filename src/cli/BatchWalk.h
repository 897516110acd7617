#pragma once

// Which file a batch converts into which output, found as the batch goes: with -r each
// directory among the inputs is walked for its pages, whose paths below it are mirrored below
// the output directory. The walk lists one folder at a time, across every walked directory at
// once, since those mirror into the same folders; so the check that no two pages share an
// output needs only that folder's pages, and what the walk holds is bounded by the largest
// folder and the deepest path, whatever the number of pages. A page or folder the walk cannot
// take is a job refused with the reason, in its place among the pages. The walk stops when the
// run is interrupted. Not safe from several threads at once.

#include "FileIdentity.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace plaintrove::cli {

struct BatchJob
{
    std::filesystem::path input;
    std::filesystem::path output; // empty when refused by the walk
    std::string refusal; // why the input is not converted; empty when it is
    std::filesystem::path refusalAbout; // the file the refusal names
};

class BatchWalk
{
public:
    BatchWalk(const std::vector<std::filesystem::path> &inputs,
        const std::filesystem::path &outputDirectory, bool recursive);

    // The next job, in an order that is the same on every run: in each folder the inputs given
    // and the pages of each walked directory, in the order of the arguments and then of their
    // names; then its folders, by name. Nothing once all are found, or the run is interrupted.
    std::optional<BatchJob> next();

    // Why the job's output may not be written, if it may not: it is another input, which the
    // batch may not have read yet. Safe from any thread.
    std::optional<std::string> outputRefusal(const BatchJob &job) const;

private:
    struct Source
    {
        std::string path; // as given, or cleaned when walked
        bool walked = false;
    };
    struct Folder
    {
        std::string relative; // below each walked directory; empty for the top
        std::vector<std::size_t> sources; // the walked directories that hold it
    };

    void visit(const Folder &folder);
    void refuseClashes();

    std::vector<Source> m_sources; // the inputs, in the order given
    std::string m_outputDirectory; // ending in '/'
    std::vector<runtime::FileIdentity> m_fileInputs; // of the inputs given that are files
    std::vector<std::string> m_walkedFolders; // the walked directories, resolved, ending in '/'
    std::vector<Folder> m_folders; // left to visit; the next one last
    std::deque<BatchJob> m_jobs; // found in the folder visited last, not yet taken
};

} // namespace plaintrove::cli
