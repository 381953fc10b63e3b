#include "net/HttpGet.h"

#include "util/Diagnostics.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace Brask {

namespace {

// A test's own time-out; 0 when none is set.
std::atomic<int> timeoutOverride{0};
std::atomic<bool> badTimeoutReported{false};

// The progress cancel is looked at this often while a wait runs.
constexpr int PollSliceMilliseconds = 50;
constexpr long MaxTimeoutSeconds = 86400;

bool cancelled(const HttpProgress* progress)
{
    return progress && progress->cancelled.load();
}

enum class Wait { Ready, TimedOut, Cancelled, Failed };

// Waits until `fd` is ready for `events`, at most until `deadline`.
Wait waitFor(int fd, short events, const HttpProgress* progress, HttpClock::time_point deadline)
{
    for (;;) {
        if (cancelled(progress))
            return Wait::Cancelled;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - HttpClock::now()).count();
        if (left <= 0)
            return Wait::TimedOut;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, PollSliceMilliseconds)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (n > 0)
            return Wait::Ready;
    }
}

void reportWait(Wait wait, const char* step)
{
    if (wait == Wait::TimedOut)
        diag("KVHttpGet: no answer to %s within %d ms\n", step, httpTimeoutMilliseconds());
    else if (wait == Wait::Cancelled)
        diag("KVHttpGet: %s cancelled\n", step);
}

// One receive after waiting for data: >0 bytes, 0 closed, -1 error,
// -2 timed out or cancelled. Each receive waits at most one time-out, and
// never past `deadline`, the end of the whole exchange; running into the
// latter says so.
ssize_t receive(int fd, char* data, size_t size, const HttpProgress* progress, const char* step,
                HttpClock::time_point deadline)
{
    for (;;) {
        const auto own = HttpClock::now() + std::chrono::milliseconds(httpTimeoutMilliseconds());
        const Wait wait = waitFor(fd, POLLIN, progress, std::min(own, deadline));
        if (wait == Wait::TimedOut && deadline <= own) {
            diag("KVHttpGet: %s did not arrive whole within %d ms\n", step, httpTimeoutMilliseconds());
            return -2;
        }
        if (wait == Wait::TimedOut || wait == Wait::Cancelled) {
            reportWait(wait, step);
            return -2;
        }
        if (wait == Wait::Failed)
            return -1;
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        return n;
    }
}

// VARNEL_HTTP_TIMEOUT in milliseconds, or 0 when it is absent or unusable.
int timeoutFromEnvironment()
{
    const char* text = std::getenv(HttpTimeoutVariable);
    if (!text || !*text)
        return 0;
    long seconds = 0;
    const char* c = text;
    for (; *c >= '0' && *c <= '9' && seconds <= MaxTimeoutSeconds; ++c)
        seconds = seconds * 10 + (*c - '0');
    if (*c != '\0' || seconds < 1 || seconds > MaxTimeoutSeconds) {
        if (!badTimeoutReported.exchange(true))
            diag("%s=%s is not a number of seconds from 1 to %ld; using %d\n", HttpTimeoutVariable, text,
                 MaxTimeoutSeconds, HttpTimeoutSeconds);
        return 0;
    }
    return static_cast<int>(seconds * 1000);
}

// A socket number of 0 would read as "no socket" to the callers, so a socket
// that got descriptor 0 (standard input closed) is moved higher.
int notZero(int fd)
{
    if (fd != 0)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

// Connects without blocking longer than the time-out. False on any failure.
bool connectBounded(int fd, const sockaddr* address, socklen_t length, const HttpProgress* progress,
                    HttpClock::time_point deadline)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return false;
    if (::connect(fd, address, length) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR)
        return false;
    const Wait wait = waitFor(fd, POLLOUT, progress, deadline);
    if (wait != Wait::Ready) {
        reportWait(wait, "connect");
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// The port between ":" and "/": decimal as atoi reads it, then limited to
// what a TCP port can be. 0 means unusable.
int parsePort(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (isSpaceOrTab(text[i]) || text[i] == '\n' || text[i] == '\r'))
        ++i;
    long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 65535)
            return 0;
    }
    return static_cast<int>(value);
}

// The status after "HTTP/x.y ": optional blanks, then decimal digits.
bool parseStatus(const char* text, int& status)
{
    while (isSpaceOrTab(*text))
        ++text;
    if (!isDigit(*text))
        return false;
    long value = 0;
    for (; isDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > 999999)
            return false;
    }
    status = static_cast<int>(value);
    return true;
}

// The value of a length field starting right after its name: blanks, one or
// more decimal digits, then only blanks up to the line end. No sign, no other
// base, nothing that does not fit the body limit.
bool parseLength(const char* text, long long& length)
{
    while (isSpaceOrTab(*text))
        ++text;
    if (!isDigit(*text))
        return false;
    long long value = 0;
    for (; isDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<long long>(INT_MAX))
            return false;
    }
    while (isSpaceOrTab(*text))
        ++text;
    if (*text != '\0' && *text != '\r' && *text != '\n')
        return false;
    length = value;
    return true;
}

constexpr std::string_view LengthNames[] = {"Content-Length:", "Content-length:"};

// The next `name` at the start of a header line, from `from` on; the field
// names of "X-Content-Length:" or of a value do not count.
const char* findFieldName(const char* header, const char* from, std::string_view name)
{
    for (const char* at = std::strstr(from, name.data()); at; at = std::strstr(at + 1, name.data())) {
        if (at > header && at[-1] == '\n')
            return at;
    }
    return nullptr;
}

enum class LengthField { Missing, Found, Bad, TooLarge };

// Every length field in the header text must carry the same number; the
// first of the two spellings found is the one the answer is taken from.
LengthField findLength(const char* header, long long& length)
{
    bool found = false;
    for (std::string_view name : LengthNames) {
        for (const char* at = findFieldName(header, header, name); at; at = findFieldName(header, at + 1, name)) {
            long long value = 0;
            if (!parseLength(at + name.size(), value))
                return LengthField::Bad;
            if (found && value != length)
                return LengthField::Bad;
            length = value;
            found = true;
        }
    }
    if (!found)
        return LengthField::Missing;
    return length > HttpBodyCeiling ? LengthField::TooLarge : LengthField::Found;
}

} // namespace

void setHttpTimeoutMilliseconds(int milliseconds)
{
    timeoutOverride = milliseconds > 0 ? milliseconds : 0;
}

int httpTimeoutMilliseconds()
{
    if (const int own = timeoutOverride.load())
        return own;
    if (const int configured = timeoutFromEnvironment())
        return configured;
    return HttpTimeoutSeconds * 1000;
}

HttpClock::time_point httpExchangeDeadline()
{
    return HttpClock::now() + std::chrono::milliseconds(httpTimeoutMilliseconds());
}

void closeHttpSocket(int socket)
{
    if (socket > 0)
        ::close(socket);
}

namespace {

struct HttpTarget {
    std::string host;
    int port = 80;
    std::string path;
};

// "host[:port]/path"; false for a URL without a path or with a bad port.
bool parseTarget(std::string_view text, HttpTarget& target)
{
    const size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return false;
    // A ":" inside the path is no port separator.
    size_t colon = text.find(':');
    if (colon > slash)
        colon = std::string_view::npos;
    if (colon != std::string_view::npos) {
        target.port = parsePort(text.substr(colon + 1, slash - colon - 1));
        if (target.port == 0)
            return false;
    }
    target.host = std::string(text.substr(0, colon != std::string_view::npos ? colon : slash));
    target.path = std::string(text.substr(slash));
    return true;
}

// A socket connected to the target, or -1 after the diagnostic.
int connectTo(const HttpTarget& target, HttpProgress* progress, HttpClock::time_point deadline)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(target.port);
    if (::getaddrinfo(target.host.c_str(), service.c_str(), &hints, &addresses) != 0 || !addresses) {
        if (addresses)
            ::freeaddrinfo(addresses);
        diag("getaddrinfo() failed.\n");
        diag("ResolveHost error %i\n", -1);
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd >= 0)
        fd = notZero(fd);
    if (fd < 0) {
        ::freeaddrinfo(addresses);
        diag("socket failed\n");
        return -1;
    }
    const bool connected = connectBounded(fd, addresses->ai_addr, addresses->ai_addrlen, progress, deadline);
    ::freeaddrinfo(addresses);
    if (!connected) {
        ::close(fd);
        diag("connect failed\n");
        return -1;
    }
    return fd;
}

bool sendRequest(int fd, const HttpTarget& target, HttpProgress* progress, HttpClock::time_point deadline)
{
    // CR LF line ends: every server takes them, and some refuse bare line feeds.
    const std::string request = "GET " + target.path + " HTTP/1.0\r\n" + "Host: " + target.host + "\r\n"
        + "Connection: close\r\n" + "\r\n";
    diag("KVHttpGet sending %i bytes...\n", static_cast<int>(request.size()));
    ssize_t sent = -1;
    const Wait writable = waitFor(fd, POLLOUT, progress, deadline);
    if (writable == Wait::Ready)
        sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    else
        reportWait(writable, "send");
    if (sent != static_cast<ssize_t>(request.size())) {
        diag("SDLNet_TCP_Send failed: %i\n", static_cast<int>(sent));
        return false;
    }
    return true;
}

// The header as NUL-terminated text without the line ends that closed it,
// read one byte per receive so nothing of the body is taken.
bool receiveHeader(int fd, char (&header)[HttpHeaderBufferSize], HttpProgress* progress,
                   HttpClock::time_point deadline)
{
    int used = 0;
    int lineEnds = 0;
    while (lineEnds < 2 && used < HttpHeaderBufferSize) {
        const ssize_t n = receive(fd, header + used, 1, progress, "the header", deadline);
        if (n <= 0)
            return false;
        const char c = header[used++];
        if (c == '\n')
            ++lineEnds;
        else if (c != '\r')
            lineEnds = 0;
    }
    if (lineEnds == 2) {
        // The text ends before the line ends that closed the header, whether
        // they are CR LF or bare LF (cutting a fixed 3 bytes would eat the
        // last character of a bare-LF header).
        while (used > 0 && (header[used - 1] == '\n' || header[used - 1] == '\r'))
            --used;
        header[used] = '\0';
    } else {
        // Cut at the buffer's end: room for the terminator.
        header[used - 3] = '\0';
    }
    return true;
}

bool statusIsSuccess(const char* header)
{
    const char* http = std::strstr(header, "HTTP/");
    if (!http) {
        diag("Bad reply; can't find HTTP/\n");
        return false;
    }
    const char* blank = std::strchr(http, ' ');
    int status = 0;
    if (!blank || !parseStatus(blank + 1, status)) {
        diag("Bad reply; can't find HTTP status\n");
        return false;
    }
    diag("HTTP %i\n", status);
    if (status < 200 || status > 299) {
        diag("Bad reply; HTTP status %i\n", status);
        return false;
    }
    return true;
}

// False when the answer must be refused; bodyLength -1 when it names no length.
bool takeBodyLength(const char* header, int& bodyLength, HttpProgress* progress)
{
    long long length = 0;
    switch (findLength(header, length)) {
    case LengthField::Missing:
        diag("no Content-length!\n");
        bodyLength = -1;
        return true;
    case LengthField::Bad:
        diag("Bad reply; can't find content-length number\n");
        return false;
    case LengthField::TooLarge:
        diag("Bad reply; content-length %lld is above the limit of %lld bytes\n", length, HttpBodyCeiling);
        return false;
    case LengthField::Found:
        break;
    }
    diag("Content-length: %i\n", static_cast<int>(length));
    bodyLength = static_cast<int>(length);
    if (progress)
        progress->total = length;
    return true;
}

} // namespace

int KVHttpGet(const char* url, int& bodyLength, HttpProgress* progress)
{
    HttpTarget target;
    if (!url || !parseTarget(url, target))
        return 0;
    diag("KVHttpGet resolving %s:%i/%s...\n", target.host.c_str(), target.port, target.path.c_str() + 1);
    // Connect, request and header share one deadline.
    const HttpClock::time_point deadline = httpExchangeDeadline();
    const int fd = connectTo(target, progress, deadline);
    if (fd < 0)
        return 0;
    char header[HttpHeaderBufferSize];
    if (!sendRequest(fd, target, progress, deadline) || !receiveHeader(fd, header, progress, deadline)
        || !statusIsSuccess(header) || !takeBodyLength(header, bodyLength, progress)) {
        ::close(fd);
        return 0;
    }
    return fd;
}

bool httpReadWholeBody(KVUtil::String& body, int bodyLength, int socket, HttpProgress* progress,
                       long long& received, HttpClock::time_point deadline)
{
    received = 0;
    if (bodyLength <= 0)
        return bodyLength == 0;
    if (bodyLength > HttpBodyCeiling) {
        diag("Body of %i bytes is above the limit of %lld bytes\n", bodyLength, HttpBodyCeiling);
        diag("HttpGot %i\n", 0);
        diag("HttpGet size mismatch!\n");
        return false;
    }
    if (progress) {
        progress->total = bodyLength;
        progress->received = 0;
    }
    // The part that never arrives stays zero.
    body.assign(static_cast<size_t>(bodyLength), '\0');
    while (received < bodyLength) {
        const ssize_t n = receive(socket, body.data() + received, static_cast<size_t>(bodyLength - received),
                                  progress, "the body", deadline);
        if (n == -1)
            diag("Recv error %i\n", static_cast<int>(n));
        if (n <= 0)
            break;
        received += n;
        if (progress)
            progress->received = received;
    }
    diag("HttpGot %i\n", static_cast<int>(received));
    if (received != bodyLength) {
        diag("HttpGet size mismatch!\n");
        return false;
    }
    return true;
}

int httpReadBody(KVUtil::String& body, int bodyLength, int socket, HttpProgress* progress)
{
    long long received = 0;
    httpReadWholeBody(body, bodyLength, socket, progress, received);
    return bodyLength;
}

} // namespace Brask
