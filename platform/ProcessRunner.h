#pragma once
// Running the kit's tools as child processes, without a shell.
//
// A command line is split the way the Windows C runtime splits one (see
// CommandLine.h), the program is found by ProgramSearch.h, and the child runs
// with a closed pipe as its standard input and one pipe carrying its output.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <sys/types.h>

namespace Platform {

// Numbers of the steps that can fail, as reported in "Error %i on line %i".
enum RunStep {
    StepNone = 0,
    StepOutputPipe = 706,
    StepInputPipe = 707,
    StepCreateProcess = 721,
    StepCloseOutputWrite = 726,
    StepCloseInputRead = 727,
    StepCloseInputWrite = 728,
    StepRead = 736,
    StepWait = 745,
    StepExitCode = 747,
};

struct RunResult {
    RunResult() = default;
    RunResult(int code_, RunStep step, std::string detail_ = std::string())
        : code(code_), failedStep(step), detail(std::move(detail_))
    {
    }

    // The child's exit code (128 + signal for a child ended by a signal), or
    // the errno of the refused step.
    int code = 0;
    // StepNone when the child ran; otherwise the step the system refused.
    RunStep failedStep = StepNone;
    // For a program that could not be started: what was missing and where it
    // was looked for, in one line without line end. Empty otherwise.
    std::string detail;
};

using OutputCallback = std::function<void(const char* data, size_t size)>;

class ProcessRunner {
public:
    // Runs `commandLine` in the current directory and waits until the child
    // has ended and every writer of its output pipe has closed it (a
    // background grandchild holding the pipe keeps the call waiting).
    // With `echo` stdout and stderr both go to `onOutput`; without it only
    // stderr does and stdout goes to /dev/null. Output is handed over piece by
    // piece as it arrives.
    RunResult run(const std::string& commandLine, bool echo, const OutputCallback& onOutput);

    // Callable from another thread at any moment: ends the child and
    // everything in its process group (SIGTERM, then SIGKILL after a grace
    // period). run() then returns the 128 + signal code. Returns once the
    // child has gone or the SIGKILL has been sent, so it may block for up to
    // the grace period. A child being started is waited for and then ended;
    // when no child is there yet, the next run() starts none and returns
    // 128 + SIGTERM at once, so a stop is never lost.
    void terminate();

    // terminate() in two halves, so that many runners share one grace period
    // (RunnerGroup::stopAll). beginTerminate() sends SIGTERM to the child's
    // group and returns the group, or 0 when there is no child (the stop is
    // then kept for the next run()). finishTerminate() sends SIGKILL to
    // whatever is left of that group.
    pid_t beginTerminate();
    void finishTerminate(pid_t group);
    // How long a stop gives a tool after SIGTERM before it sends SIGKILL.
    static constexpr int TerminateGraceMs = 500;

    bool isRunning() const { return m_pid.load() > 0; }

private:
    // Sends `signal` to the child's process group while it has not been
    // reaped; the lock keeps the group id from being reused meanwhile.
    bool signalGroup(int signal);

    std::atomic<pid_t> m_pid{0};
    std::mutex m_pidLock;
    // Under m_pidLock: a child is between fork and its id being stored, and a
    // stop that found no child to end.
    bool m_starting = false;
    bool m_stopPending = false;
    std::condition_variable m_startDone;
};

// Starts `commandLine` without waiting and without capturing anything (editor,
// profile viewer, emulator): the program is found as for run() and runs
// detached from this process. False with a reason when it cannot be started.
bool startDetached(const std::string& commandLine, std::string* error = nullptr);

// Formats the failure line the executors show: "Error %i on line %i\n".
std::string failureLine(const RunResult& result);

// The line the executors show after the failure line: result.detail and a
// line end, or "" when there is nothing to explain.
std::string failureExplanation(const RunResult& result);

} // namespace Platform
