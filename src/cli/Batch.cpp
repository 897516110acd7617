#include "Batch.h"

#include "BatchPlan.h"
#include "ConversionRun.h"
#include "InputFile.h"
#include "Interruption.h"
#include "OutputFile.h"
#include "OutputFolders.h"
#include "ProgressLine.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <chrono>
#include <condition_variable>
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
    qint64 bytes = 0;
    bool done = false;
};

// The most outputs committed together: 128, or fewer where few descriptors may be open, since
// each output holds one until it is committed and as many again may be on their way.
std::size_t largestGroup()
{
    rlimit descriptors = {};
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) != 0)
        return 128;
    // No limit (RLIM_INFINITY) is the largest number, and gives 128 too.
    return descriptors.rlim_cur > 36 ? std::min<std::size_t>((descriptors.rlim_cur - 32) / 4, 128)
                                     : 1;
}

// Workers take the jobs in turn; the calling thread commits what they finish, in the order of
// the jobs, in groups of whatever is ready whenever the last group is on the disk. While it
// waits for the disk, the workers go on. It alone prints, so messages never mix.
class BatchRun
{
public:
    BatchRun(std::vector<BatchJob> jobs, conversion::StripOptions options)
        : m_jobs(std::move(jobs))
        , m_options(options)
        , m_slots(m_jobs.size())
    { }

    ExitStatus run(int workerCount)
    {
        std::vector<std::jthread> workers;
        const std::size_t count = std::min<std::size_t>(std::size_t(workerCount), m_jobs.size());
        m_working = count; // before any of them starts, and may stop
        for (std::size_t i = 0; i < count; ++i) {
            try {
                workers.emplace_back([this] { work(); });
            } catch (const std::system_error &) { // the system lets no more threads start
                const std::lock_guard lock(m_mutex);
                m_working -= count - i;
                break;
            }
        }
        ProgressLine progress(qsizetype(m_jobs.size()));
        ExitStatus status = ExitStatus::Converted;
        while (m_committed < m_jobs.size()) {
            if (workers.empty()) // not even one: this thread converts each group itself
                convertGroup();
            const std::size_t end = waitForGroup();
            if (runtime::interruption())
                break;
            status = worse(status, commit(m_committed, end, progress));
            {
                const std::lock_guard lock(m_mutex);
                m_committed = end;
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
        // The last thing a worker does, however it leaves.
        const auto done = qScopeGuard([this] {
            const std::lock_guard lock(m_mutex);
            --m_working;
            m_changed.notify_all();
        });
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(m_mutex);
                // Not too far ahead of the commits: every output waiting holds a descriptor.
                m_changed.wait(lock, [this] {
                    return m_stopping || m_next >= m_jobs.size()
                        || m_next < m_committed + 2 * m_largestGroup;
                });
                if (m_stopping || m_next >= m_jobs.size())
                    return;
                index = m_next++;
            }
            Slot slot = convert(m_jobs[index]);
            {
                const std::lock_guard lock(m_mutex);
                m_slots[index] = std::move(slot);
                m_slots[index].done = true;
            }
            m_changed.notify_all();
        }
    }

    Slot convert(const BatchJob &job)
    {
        Slot slot;
        // Once interrupted, the jobs left end at once, so that the committer never waits on one.
        if (!job.refusal.isEmpty() || runtime::interruption()) {
            slot.pending.result
                = { conversion::ConversionStatus::Failed, job.refusalAbout, job.refusal };
            return slot;
        }
        runtime::InputFile input(job.input);
        if (struct stat status = {}; input.isOpen() && ::fstat(input.descriptor(), &status) == 0)
            slot.bytes = status.st_size;
        // An input that cannot be read needs no folder for its output.
        if (const QString folder = QFileInfo(job.output).path(); input.isOpen()) {
            if (const std::error_code error
                = m_folders.make(QFile::encodeName(folder).toStdString())) {
                slot.pending.result = { conversion::ConversionStatus::Failed, job.input,
                    tr("its output directory %1 cannot be made: %2")
                        .arg(folder, QString::fromLocal8Bit(error.message())) };
                return slot;
            }
        }
        slot.pending = conversion::convertWithoutCommit(input, job.output, m_options);
        return slot;
    }

    // Without workers, the jobs of the next group, converted here.
    void convertGroup()
    {
        const std::size_t end = std::min(m_committed + m_largestGroup, m_jobs.size());
        for (std::size_t index = m_committed; index < end; ++index) {
            m_slots[index] = convert(m_jobs[index]);
            m_slots[index].done = true;
        }
    }

    // The end of the run of finished jobs from the first one not committed, at least one long.
    std::size_t waitForGroup()
    {
        std::unique_lock lock(m_mutex);
        // The signal handler may have run on this thread, which no notification would wake.
        while (!m_changed.wait_for(lock, 50ms, [this] { return m_slots[m_committed].done; })) {
            if (runtime::interruption())
                return m_committed;
        }
        std::size_t end = m_committed;
        while (end < m_jobs.size() && end - m_committed < m_largestGroup && m_slots[end].done)
            ++end;
        return end;
    }

    // No worker touches the slots from `begin` to `end`: they are done.
    ExitStatus commit(std::size_t begin, std::size_t end, ProgressLine &progress)
    {
        std::vector<runtime::OutputFile *> outputs;
        for (std::size_t index = begin; index < end; ++index) {
            const auto &[result, output] = m_slots[index].pending;
            if (output && result.status != conversion::ConversionStatus::Failed)
                outputs.push_back(output.get());
        }
        runtime::commitTogether(outputs);

        ExitStatus status = ExitStatus::Converted;
        for (std::size_t index = begin; index < end; ++index) {
            auto &[result, output] = m_slots[index].pending;
            if (output && !output->errorString().isEmpty())
                result = { conversion::ConversionStatus::Failed, output->path(),
                    output->errorString() };
            output.reset();
            if (result.status != conversion::ConversionStatus::Converted)
                progress.clear();
            status = worse(status, report(result));
            progress.fileDone(m_slots[index].bytes);
        }
        return status;
    }

    const std::vector<BatchJob> m_jobs;
    const conversion::StripOptions m_options;
    const std::size_t m_largestGroup = largestGroup();
    OutputFolders m_folders; // before the slots: their temporary files go first
    std::vector<Slot> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0; // the next job a worker takes
    std::size_t m_committed = 0; // the jobs before it are committed and reported
    bool m_stopping = false; // the run was interrupted: workers take no more jobs
    std::size_t m_working = 0; // workers that have not yet stopped
};

} // namespace

ExitStatus convertBatch(const QStringList &inputs, const QString &outputDirectory, bool recursive,
    int jobs, conversion::StripOptions options)
{
    std::vector<BatchJob> plan = planBatch(inputs, outputDirectory, recursive);
    if (runtime::interruption())
        return ExitStatus::FileError;
    return BatchRun(std::move(plan), options).run(jobs);
}

} // namespace plaintrove::cli
