#include "core/update/ZipEntryReader.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Brask {

namespace {

// How much of unzip's complaint is kept for the user.
constexpr size_t MaxErrorText = 2048;
// A cancel is looked at this often while unzip runs.
constexpr int PollSliceMilliseconds = 100;

struct Pipe {
    int read = -1;
    int write = -1;
    bool open()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void closeBoth()
    {
        if (read >= 0)
            ::close(read);
        if (write >= 0)
            ::close(write);
        read = write = -1;
    }
};

// unzip's first line of complaint, without the line end.
std::string firstLine(const std::string& text)
{
    const size_t start = text.find_first_not_of(" \r\n");
    if (start == std::string::npos)
        return {};
    const size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Starts "UNZIP -p ZIP" with its output on `out` and its complaints on
// `err`; the write ends are closed here. The pid, or -1 with `error` set.
pid_t spawnUnzip(const std::string& unzip, const std::string& zipPath, Pipe& out, Pipe& err, std::string& error)
{
    std::vector<char*> argv = {const_cast<char*>(unzip.c_str()), const_cast<char*>("-p"),
                               const_cast<char*>(zipPath.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Whatever this process blocks or ignores, unzip starts with the defaults
    // (it must die of a closed pipe, and of Ctrl-C with us).
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGXFSZ})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, unzip.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out.write);
    ::close(err.write);
    out.write = err.write = -1;
    if (spawned != 0) {
        error = "unzip could not be started: " + std::string(std::strerror(spawned));
        return -1;
    }
    return pid;
}

// Hands what comes on `outFd` to `sink` and keeps the start of what comes
// on `errFd`, until both end, the limit is passed, the sink refuses or a
// cancel comes.
ZipEntryReader::Result pump(int outFd, int errFd, long long limit, const std::function<bool(const char*, size_t)>& sink,
                            const std::atomic<bool>* cancelled, long long& bytes, std::string& complaint,
                            std::string& error)
{
    bool outOpen = true;
    bool errOpen = true;
    std::vector<char> buffer(256 * 1024);
    while (outOpen || errOpen) {
        if (cancelled && cancelled->load())
            return ZipEntryReader::Cancelled;
        pollfd fds[2] = {{outOpen ? outFd : -1, POLLIN, 0}, {errOpen ? errFd : -1, POLLIN, 0}};
        const int n = ::poll(fds, 2, PollSliceMilliseconds);
        if (n < 0 && errno != EINTR) {
            error = std::string("unzip's output could not be read: ") + std::strerror(errno);
            return ZipEntryReader::Failed;
        }
        if (n <= 0)
            continue;
        if (outOpen && fds[0].revents) {
            const ssize_t got = ::read(outFd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                outOpen = false;
            } else if (bytes + got > limit) {
                // Not one byte past the limit reaches the sink; what fits
                // does, so the sink can say which entry overran.
                const size_t fits = static_cast<size_t>(limit - bytes);
                if (fits > 0)
                    sink(buffer.data(), fits);
                bytes = limit + 1;
                return ZipEntryReader::TooLarge;
            } else {
                bytes += got;
                if (!sink(buffer.data(), static_cast<size_t>(got)))
                    return ZipEntryReader::Failed;
            }
        }
        if (errOpen && fds[1].revents) {
            char text[4096];
            const ssize_t got = ::read(errFd, text, sizeof text);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                errOpen = false;
            else if (complaint.size() < MaxErrorText)
                complaint.append(text, std::min<size_t>(static_cast<size_t>(got), MaxErrorText - complaint.size()));
        }
    }
    return ZipEntryReader::Read;
}

} // namespace

ZipEntryReader::ZipEntryReader(std::string unzip)
    : m_unzip(std::move(unzip))
{
}

ZipEntryReader::Result ZipEntryReader::read(const std::string& zipPath, long long limit,
                                            const std::function<bool(const char*, size_t)>& sink,
                                            const std::atomic<bool>* cancelled, long long& bytes,
                                            std::string& error)
{
    bytes = 0;
    error.clear();
    Pipe out;
    Pipe err;
    if (!out.open() || !err.open()) {
        error = std::string("no pipe for unzip: ") + std::strerror(errno);
        out.closeBoth();
        err.closeBoth();
        return Failed;
    }
    const pid_t pid = spawnUnzip(m_unzip, zipPath, out, err, error);
    if (pid < 0) {
        out.closeBoth();
        err.closeBoth();
        return Failed;
    }
    std::string complaint;
    Result result = pump(out.read, err.read, limit, sink, cancelled, bytes, complaint, error);
    if (result != Read)
        ::kill(pid, SIGKILL);
    out.closeBoth();
    err.closeBoth();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (result != Read)
        return result;
    // Info-ZIP: 0 is success, 1 success with warnings; everything else failed.
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (code != 0 && code != 1) {
        error = "unzip failed with status " + std::to_string(code);
        // Info-ZIP's code for a disk that filled up under it.
        if (code == 50)
            error += ": the disk is full";
        const std::string said = firstLine(complaint);
        if (!said.empty())
            error += " (" + said + ")";
        return Failed;
    }
    return Read;
}

} // namespace Brask
