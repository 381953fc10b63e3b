#include "core/builder/ParallelCompile.h"

#include "core/builder/KeptOutputs.h"
#include "core/builder/OutputSpool.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace Brask {

namespace {

// What became of the file a command writes, before it ran.
enum class Before {
    Untouched, // the command did not start, or its file could not be moved aside
    Absent,    // there was no file
    KeptAside, // the old file waits under keptName
};

struct Job {
    explicit Job(size_t spoolLimit)
        : spool(spoolLimit)
    {
    }

    std::mutex lock;
    // Guarded by lock.
    OutputSpool spool;
    bool started = false;
    bool live = false;
    bool done = false;
    // Set when the build no longer shows this command's text.
    bool abandoned = false;
    // Signalled when the spool was read, the command went live or was abandoned.
    std::condition_variable room;
    ParallelExecutor::Outcome outcome;
    // Only the build's thread touches these.
    bool shown = false;
    // Set by the worker before the command starts; read after it has been joined.
    Before before = Before::Untouched;
    std::string keptName;
};

// Where a worker's command reports: the job's spool until the build's
// thread makes it the command being shown, the executor from then on.
class JobSink : public ParallelExecutor::Sink {
public:
    JobSink(Job& job, ParallelExecutor& executor)
        : m_job(job)
        , m_executor(executor)
    {
    }

    void started() override
    {
        {
            std::lock_guard<std::mutex> hold(m_job.lock);
            m_job.started = true;
        }
        m_executor.wake();
    }

    void output(const char* data, size_t size) override
    {
        std::unique_lock<std::mutex> hold(m_job.lock);
        // What can be kept neither on disk nor in memory's share waits for
        // its turn, as a tool writing to a full pipe does.
        m_job.room.wait(hold, [this] { return m_job.live || m_job.abandoned || !m_job.spool.full(); });
        if (m_job.live)
            m_executor.showOutput(data, size);
        else if (!m_job.abandoned)
            m_job.spool.append(data, size);
    }

private:
    Job& m_job;
    ParallelExecutor& m_executor;
};

// Moves `path` aside before a command rewrites it, so an unseen run can be
// undone.
void keepAside(Job& job, const std::string& path, size_t index)
{
    job.keptName = keptOutputName(path, ::getpid(), index);
    if (std::rename(path.c_str(), job.keptName.c_str()) == 0)
        job.before = Before::KeptAside;
    else
        job.before = errno == ENOENT ? Before::Absent : Before::Untouched;
}

struct Shared {
    std::mutex lock;
    size_t next = 0;
    // Set at a failure: no new command starts.
    bool halted = false;
};

// What the command printed while an earlier one was shown goes in piece by
// piece; once it has caught up, the rest streams live.
void release(ParallelExecutor& executor, Job& job)
{
    auto slice = std::chrono::steady_clock::now();
    for (;;) {
        std::string piece;
        {
            std::lock_guard<std::mutex> hold(job.lock);
            if (job.spool.empty()) {
                job.live = !job.done;
                job.room.notify_all();
                return;
            }
            piece = job.spool.read(ReleasePiece);
        }
        job.room.notify_all();
        executor.showOutput(piece.data(), piece.size());
        const auto now = std::chrono::steady_clock::now();
        if (now - slice >= std::chrono::milliseconds(ReleaseSliceMs)) {
            executor.breathe();
            slice = std::chrono::steady_clock::now();
        }
    }
}

void abandonAll(const std::vector<std::unique_ptr<Job>>& jobs)
{
    for (const std::unique_ptr<Job>& job : jobs) {
        {
            std::lock_guard<std::mutex> hold(job->lock);
            job->abandoned = true;
        }
        job->room.notify_all();
    }
}

// The commands that ran unseen are undone; those shown stand.
void undoUnseen(const std::vector<std::unique_ptr<Job>>& jobs, const KVUtil::Vector<KVUtil::String>& outputs)
{
    for (size_t index = jobs.size(); index-- > 0;) {
        Job& job = *jobs[index];
        const std::string path = outputs[index];
        if (job.shown) {
            if (job.before == Before::KeptAside)
                std::remove(job.keptName.c_str());
            continue;
        }
        if (job.before == Before::Untouched)
            continue;
        if (job.started)
            std::remove(path.c_str());
        if (job.before == Before::KeptAside)
            std::rename(job.keptName.c_str(), path.c_str());
    }
}

} // namespace

ParallelExecutor::Outcome runInGroup(Platform::RunnerGroup& group, const KVUtil::String& command,
                                     ParallelExecutor::Sink& sink)
{
    ParallelExecutor::Outcome outcome;
    if (group.stopped()) {
        outcome.code = 128 + SIGTERM;
        outcome.started = false;
        return outcome;
    }
    sink.started();
    const Platform::RunResult result
        = group.run(command, [&sink](const char* data, size_t size) { sink.output(data, size); });
    outcome.code = result.code;
    if (result.failedStep != Platform::StepNone)
        outcome.failure = Platform::failureLine(result) + Platform::failureExplanation(result);
    return outcome;
}

int runInOrder(ParallelExecutor& executor, const KVUtil::Vector<KVUtil::String>& commands,
               const KVUtil::Vector<KVUtil::String>& outputs,
               const std::function<void(size_t index, int code)>& shown,
               const std::function<bool()>& stopRequested)
{
    const size_t count = commands.size();
    const bool tracksFiles = outputs.size() == count;
    const size_t workers = std::min<size_t>(count, static_cast<size_t>(std::max(1, executor.jobs())));
    const size_t spoolLimit = std::min(SpoolShareLimit, SpoolMemory / std::max<size_t>(workers, 1));

    std::vector<std::unique_ptr<Job>> jobs;
    jobs.reserve(count);
    for (size_t i = 0; i < count; ++i)
        jobs.push_back(std::make_unique<Job>(spoolLimit));
    Shared shared;

    auto work = [&] {
        for (;;) {
            size_t index;
            {
                std::lock_guard<std::mutex> hold(shared.lock);
                if (shared.halted || shared.next >= count)
                    return;
                index = shared.next++;
            }
            Job& job = *jobs[index];
            if (tracksFiles)
                keepAside(job, outputs[index], index);
            JobSink sink(job, executor);
            ParallelExecutor::Outcome outcome = executor.runStreaming(commands[index], sink);
            const bool failed = outcome.code != 0 || !outcome.started;
            {
                std::lock_guard<std::mutex> hold(job.lock);
                job.outcome = std::move(outcome);
                job.done = true;
            }
            if (failed) {
                std::lock_guard<std::mutex> hold(shared.lock);
                // A failure stops new starts at once: a command after it
                // would never have run one by one; one before it has started
                // already.
                shared.halted = true;
            }
            executor.wake();
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (size_t i = 0; i < workers; ++i)
        threads.emplace_back(work);

    // Shows the command at `index` once its turn has come: its "Running:"
    // line, its output kept back and then live, its end. The outcome is the
    // command's.
    auto showInTurn = [&](size_t index) {
        Job& job = *jobs[index];
        bool started;
        executor.waitUntil([&] {
            std::lock_guard<std::mutex> hold(job.lock);
            return job.started || job.done;
        });
        {
            std::lock_guard<std::mutex> hold(job.lock);
            started = job.started;
        }
        if (started) {
            job.shown = true;
            executor.showStart(commands[index]);
            release(executor, job);
        }
        executor.waitUntil([&] {
            std::lock_guard<std::mutex> hold(job.lock);
            return job.done;
        });
        ParallelExecutor::Outcome outcome;
        {
            std::lock_guard<std::mutex> hold(job.lock);
            outcome = job.outcome;
        }
        if (started) {
            executor.showEnd(outcome);
            if (shown)
                shown(index, outcome.code);
        }
        return outcome;
    };

    int result = 0;
    size_t index = 0;
    for (; index < count; ++index) {
        const ParallelExecutor::Outcome outcome = showInTurn(index);
        if (outcome.code != 0 || !outcome.started) {
            result = outcome.code;
            break;
        }
    }
    size_t taken;
    {
        std::lock_guard<std::mutex> hold(shared.lock);
        shared.halted = true;
        taken = shared.next;
    }
    // After a stop, the commands that had started did run, if only briefly:
    // each is shown in its turn, as a failure's unseen ones are not.
    if (result != 0 && stopRequested && stopRequested()) {
        for (size_t later = index + 1; later < taken; ++later)
            showInTurn(later);
    }
    // The commands still running finish; their text is not shown, as one by
    // one they would not have run.
    abandonAll(jobs);
    for (std::thread& thread : threads)
        thread.join();

    if (tracksFiles)
        undoUnseen(jobs, outputs);
    return result;
}

} // namespace Brask
