// sendel: the kit's OBEX Object Push tool. Pushes one file to a phone over
// an RFCOMM connection; exit status 0 only when the phone confirmed the whole
// file. See docs/kit-tools.md.

#include "Link.h"
#include "ObjectPush.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Sendel;

namespace {

const char kHelp[] =
    "sendel - OBEX Object Push tool of the Varnel demo kit\n"
    "\n"
    "This stands in for the Varnel kit's phone transfer tool; a real kit's\n"
    "sendel replaces it. It pushes one file to a phone over Bluetooth (OBEX\n"
    "Object Push on an RFCOMM channel) and reports its progress as it goes.\n"
    "\n"
    "Usage: sendel FILE ADDRESS CHANNEL\n"
    "  FILE     the file to send; the phone sees its name without the directory\n"
    "           (.jar files go as application/java-archive)\n"
    "  ADDRESS  the phone's Bluetooth address: 12 hexadecimal digits, most\n"
    "           significant first (0123456789ab), or 01:23:45:67:89:AB\n"
    "  CHANNEL  the RFCOMM channel of the phone's Object Push service, 1 to 30\n"
    "\n"
    "Exit status:\n"
    "  0  the phone confirmed the whole file\n"
    "  1  bad arguments\n"
    "  2  the file is missing or cannot be read\n"
    "  3  the phone cannot be reached (connection failed)\n"
    "  4  refused by the phone (usually declined by its user)\n"
    "  5  protocol error: the phone's answer made no sense\n"
    "  6  time-out: the phone stopped answering\n"
    "  7  the phone closed the connection early\n"
    "Told to end (SIGINT, SIGTERM, SIGHUP) during a transfer, sendel sends the\n"
    "phone an OBEX ABORT and a DISCONNECT, then ends by that signal.\n"
    "\n"
    "Environment:\n"
    "  SENDEL_TIMEOUT_MS  how long to wait for the connection and for each\n"
    "                     answer of the phone, in milliseconds (default 60000)\n"
    "  SENDEL_SOCKET      path of a Unix stream socket to use in place of the\n"
    "                     RFCOMM connection (for tests)\n";

constexpr int kDefaultTimeoutMs = 60000;
constexpr int kLongestTimeoutMs = 3600000;

void say(const std::string& line)
{
    std::printf("sendel: %s\n", line.c_str());
    std::fflush(stdout);
}

int failWith(int status, const std::string& message)
{
    say("error: " + message);
    return status;
}

// "0123456789ab" or "01:23:45:67:89:AB" -> "01:23:45:67:89:AB". False when
// the text is neither.
bool parseAddress(const std::string& text, std::string& colonForm)
{
    std::string digits;
    if (text.size() == 12) {
        digits = text;
    } else if (text.size() == 17) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (i % 3 == 2) {
                if (text[i] != ':')
                    return false;
            } else {
                digits += text[i];
            }
        }
    } else {
        return false;
    }
    colonForm.clear();
    for (size_t i = 0; i < digits.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(digits[i])))
            return false;
        if (i > 0 && i % 2 == 0)
            colonForm += ':';
        colonForm += static_cast<char>(std::toupper(static_cast<unsigned char>(digits[i])));
    }
    return true;
}

// A decimal number of at most `maxDigits` digits and nothing else.
bool parseNumber(const std::string& text, size_t maxDigits, long& value)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

int timeoutFromEnvironment()
{
    const char* text = std::getenv("SENDEL_TIMEOUT_MS");
    if (!text || !*text)
        return kDefaultTimeoutMs;
    long value = 0;
    if (!parseNumber(text, 7, value) || value < 1 || value > kLongestTimeoutMs) {
        say(std::string("ignoring SENDEL_TIMEOUT_MS=") + text + ": expected milliseconds from 1 to "
            + std::to_string(kLongestTimeoutMs));
        return kDefaultTimeoutMs;
    }
    return static_cast<int>(value);
}

// The signal that told sendel to end, and the pipe that wakes the waits on
// the phone when it comes.
volatile std::sig_atomic_t g_stopSignal = 0;
int g_stopPipe[2] = {-1, -1};

void onStopSignal(int signal)
{
    const int saved = errno;
    if (g_stopSignal == 0)
        g_stopSignal = signal;
    const char byte = 1;
    (void)!::write(g_stopPipe[1], &byte, 1);
    errno = saved;
}

// Ctrl-C, a closed terminal and the build tool's Stop (SIGTERM) end the
// transfer in order: ABORT, DISCONNECT, then the end by that signal.
bool catchStopSignals()
{
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}

[[noreturn]] void endBySignal(int signal)
{
    std::fflush(stdout);
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    // A phone that drops the link must give an error line, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    if (args.size() != 3)
        return failWith(StatusBadArguments, "expected FILE ADDRESS CHANNEL, got " + std::to_string(args.size())
                                                + " argument(s) (see sendel --help)");
    const std::string& file = args[0];
    std::string address;
    if (!parseAddress(args[1], address))
        return failWith(StatusBadArguments, "bad phone address '" + args[1]
                                                + "': expected 12 hexadecimal digits (0123456789ab) or 01:23:45:67:89:AB");
    long channel = 0;
    if (!parseNumber(args[2], 2, channel) || channel < 1 || channel > 30)
        return failWith(StatusBadArguments, "bad RFCOMM channel '" + args[2] + "': expected a number from 1 to 30");

    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failWith(StatusFileError, "cannot open " + file + ": " + std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failWith(StatusFileError, "cannot send " + file + ": not a regular file");
    }
    const int timeoutMs = timeoutFromEnvironment();

    Link link;
    if (catchStopSignals())
        link.watchStop(g_stopPipe[0]);
    std::string why;
    const char* testSocket = std::getenv("SENDEL_SOCKET");
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool connected;
    if (testSocket && *testSocket) {
        say("connecting to " + address + " channel " + std::to_string(channel) + " (through the test socket " + testSocket + ")");
        connected = link.connectUnix(testSocket, deadline, why);
    } else {
        say("connecting to " + address + " channel " + std::to_string(channel));
        connected = link.connectRfcomm(address, static_cast<int>(channel), deadline, why);
    }
    if (!connected) {
        ::close(fd);
        if (g_stopSignal) {
            say("stopped before the phone was reached");
            endBySignal(g_stopSignal);
        }
        return failWith(StatusUnreachable, "cannot reach the phone " + address + " on channel " + std::to_string(channel) + ": "
                                               + why);
    }

    ObjectPush push(link, timeoutMs, say);
    Outcome outcome = push.connect();
    if (outcome.ok()) {
        say("connected, packets of up to " + std::to_string(push.packetSize()) + " bytes");
        outcome = push.put(baseName(file), fd, static_cast<uint64_t>(st.st_size));
        // The session still stands after a refusal, a stop or a file that
        // could not be read, so it is ended properly.
        if (outcome.status == StatusStopped)
            push.disconnect(StopDisconnectMs);
        else if (outcome.ok() || outcome.status == StatusRefused || outcome.status == StatusFileError)
            push.disconnect();
    }
    ::close(fd);
    if (outcome.status == StatusStopped) {
        say(outcome.message);
        endBySignal(g_stopSignal ? g_stopSignal : SIGTERM);
    }
    if (!outcome.ok())
        return failWith(outcome.status, outcome.message);
    say("done, the phone accepted " + baseName(file));
    return StatusSent;
}
