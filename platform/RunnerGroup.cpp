#include "platform/RunnerGroup.h"

#include <csignal>

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
    for (ProcessRunner* runner : m_running)
        runner->terminate();
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
