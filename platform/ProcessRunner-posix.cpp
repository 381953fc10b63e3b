#include "platform/ProcessRunner.h"

#include "platform/CommandLine.h"
#include "platform/ProgramSearch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform {

namespace {

constexpr auto kTerminateGrace = std::chrono::milliseconds(ProcessRunner::TerminateGraceMs);

// Owns one descriptor; close() reports failure so the caller can name the
// step, the destructor closes whatever is left on early returns.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        // Linux releases the descriptor even when close() reports EINTR, so it
        // is never retried.
        return ::close(fd) == 0 || errno == EINTR;
    }

private:
    int m_fd;
};

std::vector<char*> argumentVector(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return argv;
}

// Waits for `pid` to end, retrying on EINTR. Returns the wait status or -1
// with errno set.
int reap(pid_t pid)
{
    int status = 0;
    for (;;) {
        if (::waitpid(pid, &status, 0) == pid)
            return status;
        if (errno != EINTR)
            return -1;
    }
}

// Blocks until `pid` has ended without reaping it, so its id stays reserved.
bool waitUntilEnded(pid_t pid)
{
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Signals the child's own handlers and mask must not inherit from us: a
// parent that ignores SIGPIPE or blocks SIGTERM would otherwise pass that on.
const int kResetSignals[] = {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGTSTP, SIGTTIN, SIGTTOU, SIGUSR1, SIGUSR2, SIGALRM};

// The signals this process catches, from the kernel's SigCgt mask (bit n-1
// stands for signal n). One read of /proc costs less than asking for every
// signal's disposition.
uint64_t caughtSignals()
{
    char buffer[4096];
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ~uint64_t(0);
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer - 1);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0)
        return ~uint64_t(0);
    buffer[n] = '\0';
    const char* line = std::strstr(buffer, "\nSigCgt:");
    if (!line)
        return ~uint64_t(0);
    return std::strtoull(line + 8, nullptr, 16);
}

// Puts `from` on `to` for the new program (dup2 clears close-on-exec; a
// descriptor already in place only needs the flag cleared).
void placeDescriptor(int from, int to)
{
    if (from == to)
        ::fcntl(to, F_SETFD, 0);
    else
        ::dup2(from, to);
}

// Starts `program` with vfork and execve. The child shares our memory until
// it execs, so it only makes system calls: handlers we installed are reset
// before signals are let through (a handler must not run on our memory in
// the child), the signals in kResetSignals get their default action, and the
// child gets a session of its own and an empty signal mask. This is what
// posix_spawn does too, but posix_spawn asks for every signal's disposition
// in the child, which costs more than the rest of a start on some machines.
// A session of its own means no controlling terminal: a tool that opens
// /dev/tty (a password prompt) fails at once instead of being stopped by the
// user's terminal while the build waits for it. The session is also the
// process group that terminate() ends.
// Returns the pid, or -1 with `error` set; a failed exec has been reaped.
pid_t spawnChild(const char* program, char** argv, int stdinFd, int outputFd, int stdoutFd, int& error)
{
    const uint64_t caught = caughtSignals();
    sigset_t all;
    sigset_t saved;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &saved);

    volatile int childError = 0;
    const pid_t pid = ::vfork();
    if (pid == 0) {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < 65; ++sig) {
            if (caught & (uint64_t(1) << (sig - 1)))
                ::sigaction(sig, &dfl, nullptr);
        }
        for (int sig : kResetSignals)
            ::sigaction(sig, &dfl, nullptr);
        ::setsid();
        placeDescriptor(stdinFd, STDIN_FILENO);
        placeDescriptor(outputFd, STDERR_FILENO);
        placeDescriptor(stdoutFd, STDOUT_FILENO);
        sigset_t empty;
        sigemptyset(&empty);
        ::sigprocmask(SIG_SETMASK, &empty, nullptr);
        ::execve(program, argv, environ);
        childError = errno;
        ::_exit(127);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    if (pid < 0) {
        error = forkError;
        return -1;
    }
    if (childError != 0) {
        error = childError;
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return -1;
    }
    return pid;
}

// Why `program` (a path) could not be started.
std::string startFailure(const std::string& program, int error)
{
    struct stat st;
    if (error == ENOENT && ::stat(program.c_str(), &st) != 0)
        return "Cannot find the program \"" + program + "\"";
    if (error == ENOENT)
        return "Cannot start the program \"" + program + "\": the interpreter or loader it names is missing";
    return "Cannot start the program \"" + program + "\": " + std::strerror(error);
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

bool ProcessRunner::signalGroup(int signal)
{
    std::lock_guard<std::mutex> lock(m_pidLock);
    const pid_t pid = m_pid.load();
    if (pid <= 0)
        return false;
    ::kill(-pid, signal);
    return true;
}

pid_t ProcessRunner::beginTerminate()
{
    std::unique_lock<std::mutex> lock(m_pidLock);
    // A child being started has its id in a moment; ending it then is
    // better than losing the stop.
    m_startDone.wait(lock, [this] { return !m_starting; });
    const pid_t pid = m_pid.load();
    if (pid <= 0) {
        m_stopPending = true;
        return 0;
    }
    ::kill(-pid, SIGTERM);
    return pid;
}

void ProcessRunner::finishTerminate(pid_t group)
{
    if (group <= 0)
        return;
    // A member that ignores SIGTERM and let go of the output pipe outlives
    // the reaped child; its group (our child's id, which the kernel does not
    // hand out while the group has members) still names it.
    if (!signalGroup(SIGKILL))
        ::kill(-group, SIGKILL);
}

void ProcessRunner::terminate()
{
    const pid_t group = beginTerminate();
    if (group == 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (isRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    finishTerminate(group);
}

RunResult ProcessRunner::run(const std::string& commandLine, bool echo, const OutputCallback& onOutput)
{
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty())
        return {ENOENT, StepCreateProcess};
    int searchError = 0;
    const std::string program = findProgram(words[0], &searchError);
    if (program.empty())
        return {searchError, StepCreateProcess, "Cannot find the program \"" + words[0] + "\": looked in "
                                                    + describeProgramSearch()};

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {errno, StepOutputPipe};
    Descriptor outputRead(fds[0]);
    Descriptor outputWrite(fds[1]);
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {errno, StepInputPipe};
    Descriptor inputRead(fds[0]);
    Descriptor inputWrite(fds[1]);

    // Without echo the child's standard output goes nowhere.
    Descriptor devNull(echo ? -1 : ::open("/dev/null", O_WRONLY | O_CLOEXEC));
    if (!echo && devNull.get() < 0)
        return {errno, StepCreateProcess};
    std::vector<char*> argv = argumentVector(words);
    {
        std::lock_guard<std::mutex> lock(m_pidLock);
        if (m_stopPending) {
            m_stopPending = false;
            return {128 + SIGTERM, StepNone};
        }
        m_starting = true;
    }
    int spawnError = 0;
    const pid_t pid = spawnChild(program.c_str(), argv.data(), inputRead.get(), outputWrite.get(),
                                 echo ? outputWrite.get() : devNull.get(), spawnError);
    {
        std::lock_guard<std::mutex> lock(m_pidLock);
        m_starting = false;
        if (pid > 0)
            m_pid.store(pid);
    }
    m_startDone.notify_all();
    if (pid < 0)
        return {spawnError, StepCreateProcess, startFailure(program, spawnError)};

    // From here on a failure must not leave the child behind: end its group
    // and reap it before reporting.
    auto abandon = [&](RunStep step, int error) {
        signalGroup(SIGKILL);
        waitUntilEnded(pid);
        {
            std::lock_guard<std::mutex> lock(m_pidLock);
            m_pid.store(0);
        }
        reap(pid);
        return RunResult{error, step};
    };

    if (!outputWrite.close())
        return abandon(StepCloseOutputWrite, errno);
    if (!inputRead.close())
        return abandon(StepCloseInputRead, errno);
    if (!inputWrite.close())
        return abandon(StepCloseInputWrite, errno);

    // Read until every writer has closed the pipe: the child and anything it
    // left running with the pipe inherited.
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(outputRead.get(), buffer, sizeof buffer);
        if (n > 0) {
            if (onOutput) {
                try {
                    onOutput(buffer, static_cast<size_t>(n));
                } catch (...) {
                    abandon(StepRead, 0);
                    throw;
                }
            }
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        return abandon(StepRead, errno);
    }

    if (!waitUntilEnded(pid))
        return abandon(StepWait, errno);
    {
        std::lock_guard<std::mutex> lock(m_pidLock);
        m_pid.store(0);
    }
    const int status = reap(pid);
    if (status < 0)
        return {errno, StepWait};
    const int code = exitCodeOf(status);
    if (code < 0)
        return {ECHILD, StepExitCode};
    return {code, StepNone};
}

bool startDetached(const std::string& commandLine, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty())
        return fail("empty command line");
    int searchError = 0;
    const std::string program = findProgram(words[0], &searchError);
    if (program.empty())
        return fail("cannot find program " + words[0]);
    std::vector<char*> argv = argumentVector(words);

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it (close-on-exec) and the parent reads end of file.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return fail(std::string("cannot create pipe: ") + std::strerror(errno));
    Descriptor reportRead(report[0]);
    Descriptor reportWrite(report[1]);

    const pid_t child = ::fork();
    if (child < 0)
        return fail(std::string("cannot fork: ") + std::strerror(errno));
    if (child == 0) {
        // Only async-signal-safe calls from here on: the parent may have
        // other threads.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (grandchild < 0) {
                const int e = errno;
                (void)!::write(report[1], &e, sizeof e);
            }
            ::_exit(0);
        }
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0 && devNull != STDIN_FILENO) {
            ::dup2(devNull, STDIN_FILENO);
            ::close(devNull);
        }
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig : kResetSignals)
            ::sigaction(sig, &dfl, nullptr);
        sigset_t empty;
        sigemptyset(&empty);
        ::sigprocmask(SIG_SETMASK, &empty, nullptr);
        ::execve(program.c_str(), argv.data(), environ);
        const int e = errno;
        (void)!::write(report[1], &e, sizeof e);
        ::_exit(127);
    }

    reportWrite.close();
    // The intermediate child exits at once; reaping it leaves no zombie and
    // the grandchild is adopted by init.
    reap(child);
    int childError = 0;
    ssize_t n;
    do {
        n = ::read(reportRead.get(), &childError, sizeof childError);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof childError))
        return fail("cannot start " + program + ": " + std::strerror(childError));
    return true;
}

std::string failureExplanation(const RunResult& result)
{
    return result.detail.empty() ? std::string() : result.detail + "\n";
}

std::string failureLine(const RunResult& result)
{
    char line[64];
    std::snprintf(line, sizeof line, "Error %i on line %i\n", result.code, static_cast<int>(result.failedStep));
    return line;
}

} // namespace Platform
