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

} // namespace

ZipEntryReader::ZipEntryReader(std::string unzip)
    : m_unzip(std::move(unzip))
{
}

std::string ZipEntryReader::literalPattern(const std::string& name)
{
    std::string out;
    for (char c : name) {
        if (c == '*' || c == '?' || c == '[') {
            out += '[';
            out += c;
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

ZipEntryReader::Result ZipEntryReader::read(const std::string& zipPath, const std::vector<std::string>& names,
                                            long long limit,
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

    std::vector<std::string> patterns;
    for (const std::string& name : names)
        patterns.push_back(literalPattern(name));
    std::vector<char*> argv = {const_cast<char*>(m_unzip.c_str()), const_cast<char*>("-p"),
                               const_cast<char*>(zipPath.c_str())};
    for (std::string& pattern : patterns)
        argv.push_back(pattern.data());
    argv.push_back(nullptr);
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
    const int spawned = ::posix_spawn(&pid, m_unzip.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out.write);
    ::close(err.write);
    out.write = err.write = -1;
    if (spawned != 0) {
        error = "unzip could not be started: " + std::string(std::strerror(spawned));
        out.closeBoth();
        err.closeBoth();
        return Failed;
    }

    Result result = Read;
    std::string complaint;
    bool outOpen = true;
    bool errOpen = true;
    char buffer[65536];
    while (outOpen || errOpen) {
        if (cancelled && cancelled->load()) {
            result = Cancelled;
            break;
        }
        pollfd fds[2] = {{outOpen ? out.read : -1, POLLIN, 0}, {errOpen ? err.read : -1, POLLIN, 0}};
        const int n = ::poll(fds, 2, PollSliceMilliseconds);
        if (n < 0 && errno != EINTR) {
            error = std::string("unzip's output could not be read: ") + std::strerror(errno);
            result = Failed;
            break;
        }
        if (n <= 0)
            continue;
        if (outOpen && fds[0].revents) {
            const ssize_t got = ::read(out.read, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                outOpen = false;
            } else {
                // Not one byte past the limit reaches the sink.
                if (bytes + got > limit) {
                    bytes = limit + 1;
                    result = TooLarge;
                    break;
                }
                bytes += got;
                if (!sink(buffer, static_cast<size_t>(got))) {
                    result = Failed;
                    break;
                }
            }
        }
        if (errOpen && fds[1].revents) {
            const ssize_t got = ::read(err.read, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                errOpen = false;
            else if (complaint.size() < MaxErrorText)
                complaint.append(buffer, static_cast<size_t>(std::min<size_t>(got, MaxErrorText - complaint.size())));
        }
    }
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
