#pragma once
// Commands run side by side with their output kept back: each one's text is
// collected whole so that it can be shown later, in an order of the caller's
// choosing, exactly as a command run on its own would have shown it.

#include "platform/ProcessRunner.h"

#include <mutex>
#include <set>
#include <string>

namespace Platform {

class RunnerGroup {
public:
    // Runs `commandLine` as ProcessRunner::run does with echo on, from any
    // thread, with the child's output appended to `shown`. Once stopAll() has been called nothing more starts: the
    // call returns 128 + SIGTERM at once.
    RunResult run(const std::string& commandLine, std::string& shown);

    // Ends every command running through the group (see
    // ProcessRunner::terminate) and keeps later ones from starting.
    void stopAll();
    // Lets commands start again after a stopAll().
    void reset();
    bool stopped() const;

private:
    mutable std::mutex m_lock;
    std::set<ProcessRunner*> m_running;
    bool m_stopped = false;
};

} // namespace Platform
