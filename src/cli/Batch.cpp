#include "Batch.h"

#include "BatchWalk.h"
#include "ConversionRun.h"
#include "InputFile.h"
#include "Interruption.h"
#include "OutputFile.h"
#include "OutputFolders.h"
#include "ProgressLine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <vector>

namespace plaintrove::cli {

namespace {

using namespace std::chrono_literals;

// A job's conversion, handed from the worker that ran it to the committer.
struct Slot
{
    conversion::PendingConversion pending;
    std::int64_t bytes = 0;
    std::string folder; // of the output
    bool done = false;
};

// The most outputs committed together: 1024, or fewer where few descriptors may be open, since
// each output holds one until it is committed and as many again may be on their way. The limit
// is first raised as far as the system allows: every group costs two flushes of the disk.
std::size_t largestGroup()
{
    rlimit descriptors = {};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) != 0)
        return 1;
    if (descriptors.rlim_cur < descriptors.rlim_max) {
        descriptors.rlim_cur = descriptors.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &descriptors);
        ::getrlimit(RLIMIT_NOFILE, &descriptors);
    }
    // No limit (RLIM_INFINITY) is the largest number, and gives the most too.
    constexpr std::size_t most = 1024;
    return descriptors.rlim_cur > 36 ? std::min<std::size_t>((descriptors.rlim_cur - 32) / 4, most)
                                     : 1;
}

// Workers take the jobs in turn from the walk; the calling thread commits what they finish, in
// the order of the jobs, in groups of whatever is ready whenever the last group is on the disk.
// While it waits for the disk, the workers go on, at most two groups ahead. It alone prints, so
// messages never mix.
class BatchRun
{
public:
    BatchRun(BatchWalk &walk, conversion::StripOptions options)
        : m_walk(walk)
        , m_options(options)
    { }

    ExitStatus run(std::size_t jobs)
    {
        // More could not be busy: the workers stay at most two groups ahead of the commits.
        const std::size_t workerCount = std::min(jobs, 2 * m_largestGroup);
        std::vector<std::jthread> workers;
        m_working = workerCount; // before any of them starts, and may stop
        for (std::size_t i = 0; i < workerCount; ++i) {
            try {
                workers.emplace_back([this] { work(); });
            } catch (const std::system_error &) { // the system lets no more threads start
                const std::lock_guard lock(m_mutex);
                m_working -= workerCount - i;
                break;
            }
        }
        ProgressLine progress;
        ExitStatus status = ExitStatus::Converted;
        for (;;) {
            if (workers.empty()) // not even one: this thread converts each group itself
                convertGroup();
            const std::vector<Slot *> group = waitForGroup(progress);
            if (group.empty() || runtime::interruption())
                break;
            status = worse(status, commit(group, progress));
            {
                const std::lock_guard lock(m_mutex);
                m_slots.erase(m_slots.begin(), m_slots.begin() + std::ptrdiff_t(group.size()));
                m_committed += group.size();
            }
            m_changed.notify_all();
        }
        // Interrupted: the outputs not yet committed are given up with the slots.
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
        // The signal reached one thread; a worker blocked reading a pipe learns of it only when
        // the signal ends its read, so it is sent to the workers until they have all stopped.
        while (!m_changed.wait_for(lock, 50ms, [this] { return m_working == 0; })) {
            for (std::jthread &worker : workers)
                ::pthread_kill(worker.native_handle(), runtime::interruption());
        }
        return status;
    }

private:
    void work()
    {
        for (;;) {
            std::unique_lock lock(m_mutex);
            // Not too far ahead of the commits: every output waiting holds a descriptor.
            m_changed.wait(lock,
                [this] { return m_stopping || m_walked || m_slots.size() < 2 * m_largestGroup; });
            std::optional<BatchJob> job;
            if (!m_stopping && !m_walked && !(job = m_walk.next()))
                m_walked = true;
            if (!job) {
                --m_working;
                m_changed.notify_all();
                return;
            }
            const std::size_t index = m_committed + m_slots.size();
            m_slots.emplace_back();
            lock.unlock();
            Slot slot = convert(*job);
            lock.lock();
            m_slots[index - m_committed] = std::move(slot);
            m_slots[index - m_committed].done = true;
            lock.unlock();
            m_changed.notify_all();
        }
    }

    Slot convert(const BatchJob &job)
    {
        Slot slot;
        // Once interrupted, the jobs left end at once, so that the committer never waits on one.
        if (!job.refusal.empty() || runtime::interruption()) {
            slot.pending.result
                = { conversion::ConversionStatus::Failed, job.refusalAbout, job.refusal };
            return slot;
        }
        if (std::optional<std::string> refusal = m_walk.outputRefusal(job)) {
            slot.pending.result
                = { conversion::ConversionStatus::Failed, job.output, std::move(*refusal) };
            return slot;
        }
        runtime::InputFile input(job.input);
        if (struct stat status = {}; input.isOpen() && ::fstat(input.descriptor(), &status) == 0)
            slot.bytes = status.st_size;
        // An input that cannot be read needs no folder for its output.
        if (slot.folder = job.output.parent_path().native(); input.isOpen()) {
            if (const std::error_code error = m_folders.make(slot.folder)) {
                slot.pending.result = { conversion::ConversionStatus::Failed, job.input,
                    "its output directory " + slot.folder + " cannot be made: " + error.message() };
                return slot;
            }
        }
        slot.pending = conversion::convertWithoutCommit(input, job.output, m_options);
        return slot;
    }

    // Without workers, the jobs of the next group, converted here.
    void convertGroup()
    {
        while (m_slots.size() < m_largestGroup) {
            std::optional<BatchJob> job = m_walk.next();
            if (!job) {
                m_walked = true;
                return;
            }
            m_slots.push_back(convert(*job));
            m_slots.back().done = true;
        }
    }

    // The run of finished jobs from the first one not committed, at least one long; none when
    // every job is committed, or the run is interrupted.
    std::vector<Slot *> waitForGroup(ProgressLine &progress)
    {
        std::unique_lock lock(m_mutex);
        // The signal handler may have run on this thread, which no notification would wake.
        while (!m_changed.wait_for(lock, 50ms, [this] {
            return m_slots.empty() ? m_walked || m_working == 0 : m_slots.front().done;
        })) {
            if (runtime::interruption())
                return {};
        }
        if (m_walked)
            progress.setTotal(m_committed + m_slots.size());
        std::vector<Slot *> group;
        for (auto slot = m_slots.begin();
             slot != m_slots.end() && slot->done && group.size() < m_largestGroup; ++slot)
            group.push_back(&*slot);
        return group;
    }

    // No worker touches the slots of the group: they are done.
    ExitStatus commit(const std::vector<Slot *> &group, ProgressLine &progress)
    {
        std::vector<runtime::OutputFile *> outputs;
        for (const Slot *slot : group) {
            const auto &[result, output] = slot->pending;
            if (output && result.status != conversion::ConversionStatus::Failed)
                outputs.push_back(output.get());
        }
        runtime::commitTogether(outputs);

        ExitStatus status = ExitStatus::Converted;
        for (Slot *slot : group) {
            auto &[result, output] = slot->pending;
            if (output && !output->errorString().empty())
                result = { conversion::ConversionStatus::Failed, output->path(),
                    output->errorString() };
            else if (output && result.status != conversion::ConversionStatus::Failed)
                m_folders.filled(slot->folder);
            output.reset();
            if (result.status != conversion::ConversionStatus::Converted)
                progress.clear();
            status = worse(status, report(result));
            progress.fileDone(slot->bytes);
        }
        return status;
    }

    BatchWalk &m_walk; // taken from under the mutex
    const conversion::StripOptions m_options;
    const std::size_t m_largestGroup = largestGroup();
    OutputFolders m_folders; // before the slots: their temporary files go first
    std::deque<Slot> m_slots; // from the first job not committed; references stay valid
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_committed = 0; // the jobs before m_slots, committed and reported
    bool m_walked = false; // every job was taken from the walk
    bool m_stopping = false; // the run was interrupted: workers take no more jobs
    std::size_t m_working = 0; // workers that have not yet stopped
};

} // namespace

ExitStatus convertBatch(const std::vector<std::filesystem::path> &inputs,
    const std::filesystem::path &outputDirectory, bool recursive, int jobs,
    conversion::StripOptions options)
{
    BatchWalk walk(inputs, outputDirectory, recursive);
    const ExitStatus status = BatchRun(walk, options).run(std::size_t(jobs));
    return runtime::interruption() ? ExitStatus::FileError : status;
}

} // namespace plaintrove::cli
