#include "platform/ProcessRunner.h"

#include "platform/CommandLine.h"
#include "platform/ProgramSearch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Platform {

namespace {

// How long terminate() gives the group to end after SIGTERM.
constexpr auto kTerminateGrace = std::chrono::seconds(2);

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

// Prepares spawn attributes: own process group, default signal handling, an
// empty signal mask. Returns 0 or an error number.
int prepareAttributes(posix_spawnattr_t* attr)
{
    int rc = posix_spawnattr_init(attr);
    if (rc != 0)
        return rc;
    short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_USEVFORK
    flags |= POSIX_SPAWN_USEVFORK;
#endif
    sigset_t empty;
    sigset_t defaults;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    for (int sig : kResetSignals)
        sigaddset(&defaults, sig);
    if ((rc = posix_spawnattr_setflags(attr, flags)) != 0 || (rc = posix_spawnattr_setpgroup(attr, 0)) != 0
        || (rc = posix_spawnattr_setsigmask(attr, &empty)) != 0
        || (rc = posix_spawnattr_setsigdefault(attr, &defaults)) != 0) {
        posix_spawnattr_destroy(attr);
        return rc;
    }
    return 0;
}

int prepareFileActions(posix_spawn_file_actions_t* actions, int stdinFd, int outputFd, bool echo)
{
    int rc = posix_spawn_file_actions_init(actions);
    if (rc != 0)
        return rc;
    if ((rc = posix_spawn_file_actions_adddup2(actions, stdinFd, STDIN_FILENO)) != 0
        || (rc = posix_spawn_file_actions_adddup2(actions, outputFd, STDERR_FILENO)) != 0
        || (rc = echo ? posix_spawn_file_actions_adddup2(actions, outputFd, STDOUT_FILENO)
                      : posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0))
            != 0) {
        posix_spawn_file_actions_destroy(actions);
        return rc;
    }
    return 0;
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

void ProcessRunner::terminate()
{
    if (!signalGroup(SIGTERM))
        return;
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (isRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    signalGroup(SIGKILL);
}

RunResult ProcessRunner::run(const std::string& commandLine, bool echo, const OutputCallback& onOutput)
{
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty())
        return {ENOENT, StepCreateProcess};
    int searchError = 0;
    const std::string program = findProgram(words[0], &searchError);
    if (program.empty())
        return {searchError, StepCreateProcess};

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {errno, StepOutputPipe};
    Descriptor outputRead(fds[0]);
    Descriptor outputWrite(fds[1]);
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {errno, StepInputPipe};
    Descriptor inputRead(fds[0]);
    Descriptor inputWrite(fds[1]);

    posix_spawn_file_actions_t actions;
    int rc = prepareFileActions(&actions, inputRead.get(), outputWrite.get(), echo);
    if (rc != 0)
        return {rc, StepCreateProcess};
    posix_spawnattr_t attr;
    rc = prepareAttributes(&attr);
    if (rc != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return {rc, StepCreateProcess};
    }
    std::vector<char*> argv = argumentVector(words);
    pid_t pid = 0;
    rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0)
        return {rc, StepCreateProcess};
    m_pid.store(pid);

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

std::string failureLine(const RunResult& result)
{
    char line[64];
    std::snprintf(line, sizeof line, "Error %i on line %i\n", result.code, static_cast<int>(result.failedStep));
    return line;
}

} // namespace Platform
