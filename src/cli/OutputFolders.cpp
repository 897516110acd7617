#include "OutputFolders.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace plaintrove::cli {

namespace {

// A walk goes through its folders one after the other: a few suffice to save the system calls.
constexpr std::size_t remembered = 64;

} // namespace

OutputFolders::~OutputFolders()
{
    // Deepest first; a folder that holds anything stays.
    for (auto folder = m_made.rbegin(); folder != m_made.rend(); ++folder)
        ::rmdir(folder->c_str());
}

std::error_code OutputFolders::make(const std::string &folder)
{
    const std::lock_guard lock(m_mutex);
    return makeWithLock(folder);
}

void OutputFolders::filled(const std::string &folder)
{
    const std::lock_guard lock(m_mutex);
    if (m_made.empty())
        return;
    for (std::size_t end = folder.size(); end != 0 && end != std::string::npos;
         end = folder.rfind('/', end - 1))
        m_made.erase(folder.substr(0, end));
}

std::error_code OutputFolders::makeWithLock(const std::string &folder)
{
    if (m_ready.contains(folder))
        return {};
    int made = ::mkdir(folder.c_str(), 0777);
    if (const std::size_t slash = folder.find_last_of('/');
        made != 0 && errno == ENOENT && slash != 0 && slash != std::string::npos) {
        if (const std::error_code error = makeWithLock(folder.substr(0, slash)))
            return error;
        made = ::mkdir(folder.c_str(), 0777);
    }
    if (made == 0) {
        m_made.insert(folder);
    } else if (struct stat status = {}; errno != EEXIST || ::stat(folder.c_str(), &status) != 0
               || !S_ISDIR(status.st_mode)) {
        return std::make_error_code(
            errno == EEXIST ? std::errc::not_a_directory : std::errc(errno));
    }
    if (m_ready.size() >= remembered)
        m_ready.clear();
    m_ready.insert(folder);
    return {};
}

} // namespace plaintrove::cli
