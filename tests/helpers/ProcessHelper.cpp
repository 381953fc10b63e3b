// The one child program of the process tests; the first argument picks what
// it does, so each edge case of running a tool is a real process.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

void pause(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const char* arg = argc > 2 ? argv[2] : "";
    if (mode == "exit")
        return std::atoi(arg);
    if (mode == "stderr") { // text on stderr, a marker on stdout
        writeAll(2, std::string(arg) + "\n");
        writeAll(1, "on stdout\n");
        return 0;
    }
    if (mode == "noeol") {
        writeAll(1, arg);
        return 0;
    }
    if (mode == "pieces") { // N pieces with pauses, each a partial line
        const int count = std::atoi(arg);
        for (int i = 0; i < count; ++i) {
            writeAll(1, "piece" + std::to_string(i) + (i + 1 == count ? "\n" : " "));
            pause(30);
        }
        return 0;
    }
    if (mode == "stdin") { // reads to end of file
        char buf[256];
        long total = 0;
        ssize_t n;
        while ((n = ::read(0, buf, sizeof buf)) > 0)
            total += n;
        writeAll(1, "read " + std::to_string(total) + " bytes, " + (n == 0 ? "eof" : "error") + "\n");
        return 0;
    }
    if (mode == "background") { // a child keeps the output pipe after we exit
        const pid_t pid = ::fork();
        if (pid == 0) {
            pause(std::atol(arg));
            writeAll(1, "background done\n");
            ::_exit(0);
        }
        writeAll(1, "parent done\n");
        return 0;
    }
    if (mode == "signal") {
        std::signal(std::atoi(arg), SIG_DFL);
        ::raise(std::atoi(arg));
        pause(1000);
        return 99;
    }
    if (mode == "longline") {
        writeAll(1, std::string(static_cast<size_t>(std::atol(arg)), 'x') + "\n");
        return 0;
    }
    if (mode == "args") { // each argument in brackets, one per line
        for (int i = 2; i < argc; ++i)
            writeAll(1, std::string("[") + argv[i] + "]\n");
        return 0;
    }
    if (mode == "arglengths") { // argument count and total length
        size_t total = 0;
        for (int i = 2; i < argc; ++i)
            total += std::strlen(argv[i]);
        writeAll(1, std::to_string(argc - 2) + " args, " + std::to_string(total) + " bytes\n");
        return 0;
    }
    if (mode == "hang") { // a child in the same group, then wait forever
        if (::fork() == 0) {
            pause(60000);
            ::_exit(0);
        }
        writeAll(1, "hanging\n");
        pause(60000);
        return 0;
    }
    if (mode == "ignoreterm") {
        std::signal(SIGTERM, SIG_IGN);
        writeAll(1, "ignoring\n");
        pause(60000);
        return 0;
    }
    if (mode == "tty") { // talks to the controlling terminal, as a password prompt does
        const int fd = ::open("/dev/tty", O_RDWR);
        if (fd < 0) {
            writeAll(1, "no terminal\n");
            return 3;
        }
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        writeAll(1, n == 1 ? "read a key\n" : "read failed\n");
        return 0;
    }
    if (mode == "touch") { // creates the file named by the argument
        std::FILE* f = std::fopen(arg, "w");
        if (!f)
            return 1;
        std::fclose(f);
        return 0;
    }
    std::fprintf(stderr, "process_helper: unknown mode '%s'\n", mode.c_str());
    return 64;
}
