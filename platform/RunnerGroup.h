#pragma once
// Commands run side by side, each from its own thread, that can all be ended
// at once: a stop reaches every one of them, and none starts after it.

#include "platform/ProcessRunner.h"

#include <mutex>
#include <set>
#include <string>

namespace Platform {

class RunnerGroup {
public:
    // Runs `commandLine` as ProcessRunner::run does with echo on, from any
    // thread, handing the child's output to `onOutput` as it arrives. Once
    // stopAll() has been called nothing more starts: the call returns
    // 128 + SIGTERM at once.
    RunResult run(const std::string& commandLine, const OutputCallback& onOutput);

    // Ends every command running through the group (see
    // ProcessRunner::terminate: SIGTERM to all of them at once, one shared
    // grace period, then SIGKILL to what is left) and keeps later ones from
    // starting.
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
