#pragma once
// Ending varbuild-cli's running tool when varbuild-cli itself is told to end.
// The tools run in process groups of their own, so a signal from the terminal
// reaches only varbuild-cli; it passes the stop on instead of leaving the tool
// behind.

#include "cli/ConsoleExecutor.h"

#include <atomic>
#include <csignal>
#include <thread>

namespace Cli {

// Once interrupted, no further tool starts: the command ends at the step that
// was running or at the next one.
class InterruptibleExecutor : public Brask::ConsoleExecutor {
public:
    int execute(const KVUtil::String& command, bool echo) override
    {
        if (const int signal = m_signal.load())
            return 128 + signal;
        return ConsoleExecutor::execute(command, echo);
    }

    void interrupt(int signal)
    {
        m_signal = signal;
        terminate();
    }

    bool stopRequested() const override { return m_signal.load() != 0; }
    // The signal that stopped the command, 0 when none did.
    int stopSignal() const { return m_signal.load(); }

private:
    std::atomic<int> m_signal{0};
};

// While alive, a thread takes every signal that would end the process (a
// closed terminal, the keyboard, kill, timers) and interrupts `executor`.
class InterruptWatcher {
public:
    explicit InterruptWatcher(InterruptibleExecutor& executor);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

private:
    void watch();

    InterruptibleExecutor& m_executor;
    sigset_t m_signals;
    sigset_t m_previousMask;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace Cli
