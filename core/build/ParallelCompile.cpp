#include "core/build/ParallelCompile.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

namespace Brask {

namespace {

struct Outcome {
    bool done = false;
    ParallelExecutor::Captured run;
};

// What the workers and the releasing thread share.
struct Shared {
    std::mutex lock;
    size_t next = 0;
    // Set once the releasing thread has met a failure: no new command starts.
    bool halted = false;
    std::vector<Outcome> outcomes;
};

} // namespace

int runInOrder(ParallelExecutor& executor, const KVUtil::Vector<KVUtil::String>& commands)
{
    const size_t count = commands.size();
    auto shared = std::make_shared<Shared>();
    shared->outcomes.resize(count);

    auto work = [&executor, &commands, shared] {
        for (;;) {
            size_t index;
            {
                std::lock_guard<std::mutex> hold(shared->lock);
                if (shared->halted || shared->next >= shared->outcomes.size())
                    return;
                index = shared->next++;
            }
            ParallelExecutor::Captured run = executor.runCaptured(commands[index]);
            {
                std::lock_guard<std::mutex> hold(shared->lock);
                Outcome& outcome = shared->outcomes[index];
                const bool failed = run.code != 0 || !run.started;
                outcome.run = std::move(run);
                outcome.done = true;
                // A failure stops new starts at once: a command after it would
                // never have run one by one; one before it has started already.
                if (failed)
                    shared->halted = true;
            }
            executor.wake();
        }
    };

    const size_t workers = std::min<size_t>(count, static_cast<size_t>(std::max(1, executor.jobs())));
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (size_t i = 0; i < workers; ++i)
        threads.emplace_back(work);

    int result = 0;
    for (size_t index = 0; index < count; ++index) {
        executor.waitUntil([&] {
            std::lock_guard<std::mutex> hold(shared->lock);
            return shared->outcomes[index].done;
        });
        Outcome outcome;
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            outcome = std::move(shared->outcomes[index]);
        }
        if (outcome.run.started)
            executor.release(commands[index], outcome.run);
        if (outcome.run.code != 0 || !outcome.run.started) {
            result = outcome.run.code;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->halted = true;
    }
    // The commands still running finish; their text is not shown, as one by
    // one they would not have run.
    for (std::thread& thread : threads)
        thread.join();
    return result;
}

} // namespace Brask
