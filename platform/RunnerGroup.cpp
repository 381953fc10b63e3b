#include "platform/RunnerGroup.h"

#include <chrono>
#include <csignal>
#include <thread>
#include <utility>
#include <vector>

namespace Platform {

RunResult RunnerGroup::run(const std::string& commandLine, const OutputCallback& onOutput)
{
    ProcessRunner runner;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_stopped)
            return RunResult(128 + SIGTERM, StepNone);
        // Registered before it starts: a stop from now on reaches it, even
        // before its child exists.
        m_running.insert(&runner);
    }
    const RunResult result = runner.run(commandLine, true, onOutput);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_running.erase(&runner);
    }
    return result;
}

void RunnerGroup::stopAll()
{
    // Under the lock, so no runner leaves run() (and is destroyed) while it is
    // being ended; run() waits for the lock only after its child has gone.
    std::lock_guard<std::mutex> hold(m_lock);
    m_stopped = true;
    // Every tool is asked at once and all share one grace period, so a stop
    // takes about as long with N tools running as with one.
    std::vector<std::pair<ProcessRunner*, pid_t>> ended;
    for (ProcessRunner* runner : m_running)
        ended.emplace_back(runner, runner->beginTerminate());
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(ProcessRunner::TerminateGraceMs);
    auto anyRunning = [&] {
        for (const auto& [runner, group] : ended) {
            if (group > 0 && runner->isRunning())
                return true;
        }
        return false;
    };
    while (anyRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (const auto& [runner, group] : ended)
        runner->finishTerminate(group);
}

void RunnerGroup::reset()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_stopped = false;
}

bool RunnerGroup::stopped() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_stopped;
}

} // namespace Platform
