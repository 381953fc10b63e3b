#include "cli/Interrupt.h"

#include <pthread.h>

namespace Cli {

namespace {

// The signals whose default action ends the process and that come from
// outside: a closed terminal or dropped connection (SIGHUP), the keyboard
// (SIGINT, SIGQUIT), kill and timers.
const int kTerminatingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

} // namespace

InterruptWatcher::InterruptWatcher(InterruptibleExecutor& executor)
    : m_executor(executor)
{
    sigemptyset(&m_signals);
    for (int signal : kTerminatingSignals)
        sigaddset(&m_signals, signal);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previousMask);
    m_thread = std::thread([this] { watch(); });
}

InterruptWatcher::~InterruptWatcher()
{
    m_done = true;
    pthread_kill(m_thread.native_handle(), SIGTERM);
    m_thread.join();
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

void InterruptWatcher::watch()
{
    for (;;) {
        int received = 0;
        if (sigwait(&m_signals, &received) != 0 || m_done)
            return;
        m_executor.interrupt(received);
    }
}

} // namespace Cli
