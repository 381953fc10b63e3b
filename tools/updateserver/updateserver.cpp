// updateserver: a small update server for trying VarBuild's profile-database
// update and release check on one machine. Serves the three GET requests from
// a directory and accepts the feedback and invitation posts.
// See docs/kit-tools.md.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kHelp[] =
    "updateserver - update server of the Varnel demo kit\n"
    "\n"
    "usage: updateserver [--bind ADDRESS] [--port N] [--port-file FILE] [--exit-with-parent] DIRECTORY\n"
    "\n"
    "Answers VarBuild's update requests over plain HTTP from DIRECTORY:\n"
    "  GET /latest/                             the number in DIRECTORY/release.dat\n"
    "  GET /currentProfile/index.php?version=N  \"1\" when N is below the number in\n"
    "                                           DIRECTORY/profiles.dat, else \"0\"\n"
    "  GET /update/index.php                    the archive DIRECTORY/update.zip\n"
    "  POST /bugs/, POST /invites/              accepted; the form is printed\n"
    "Everything else is answered 404. Files are read at each request, so they\n"
    "can be changed while the server runs.\n"
    "\n"
    "  --bind ADDRESS       IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N             port (default 0: any free port)\n"
    "  --port-file FILE     write the port number to FILE once listening\n"
    "  --exit-with-parent   end when the process that started it ends\n"
    "\n"
    "Point VarBuild at it with VARNEL_UPDATE_SERVER=127.0.0.1:PORT.\n"
    "Ends on SIGINT or SIGTERM.\n";

constexpr int kTimeoutMs = 10000;
constexpr size_t kMaxHeader = 16384;
constexpr size_t kMaxPost = 65536;
constexpr long kMaxArchive = 64L * 1024 * 1024;

volatile std::sig_atomic_t stopping = 0;

void onSignal(int)
{
    stopping = 1;
}

// Waits for `events` on `fd` for at most the time-out (or until a signal).
bool waitFor(int fd, short events)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (!stopping) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left < 200 ? left : 200));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
    return false;
}

bool sendAll(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        if (!waitFor(fd, POLLOUT))
            return false;
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool readFile(const std::string& path, std::string& out, long limit)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const long size = static_cast<long>(in.tellg());
    if (size < 0 || size > limit)
        return false;
    in.seekg(0);
    out.assign(static_cast<size_t>(size), '\0');
    return static_cast<bool>(in.read(out.data(), size));
}

// A version number as VarBuild reads it: the first line's leading digits.
bool readNumber(const std::string& path, long& value)
{
    std::string text;
    if (!readFile(path, text, 4096))
        return false;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == text.size() || text[i] < '0' || text[i] > '9')
        return false;
    value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1000000000L; ++i)
        value = value * 10 + (text[i] - '0');
    if (negative)
        value = -value;
    return true;
}

std::string response(int status, const char* reason, const std::string& type, const std::string& body)
{
    return "HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + type
           + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string notFound()
{
    return response(404, "Not Found", "text/plain", "not found\n");
}

std::string answerGet(const std::string& directory, const std::string& target)
{
    static const std::string query = "/currentProfile/index.php?version=";
    long number = 0;
    if (target == "/latest/") {
        if (!readNumber(directory + "/release.dat", number))
            return notFound();
        return response(200, "OK", "text/plain", std::to_string(number));
    }
    if (target.rfind(query, 0) == 0) {
        long offered = 0;
        if (!readNumber(directory + "/profiles.dat", offered))
            return notFound();
        // The asked version as VarBuild sends it: a signed decimal number.
        const std::string asked = target.substr(query.size());
        char* end = nullptr;
        errno = 0;
        const long version = std::strtol(asked.c_str(), &end, 10);
        if (asked.empty() || *end != '\0' || errno != 0)
            return response(400, "Bad Request", "text/plain", "bad version\n");
        return response(200, "OK", "text/plain", version < offered ? "1" : "0");
    }
    if (target == "/update/index.php") {
        std::string archive;
        if (!readFile(directory + "/update.zip", archive, kMaxArchive))
            return notFound();
        return response(200, "OK", "application/zip", archive);
    }
    return notFound();
}

// The value of a Content-Length field of `header`, or -1.
long contentLength(const std::string& header)
{
    std::string lower = header;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\ncontent-length:");
    if (at == std::string::npos)
        return -1;
    size_t i = at + 16;
    while (i < header.size() && header[i] == ' ')
        ++i;
    long value = 0;
    bool digits = false;
    for (; i < header.size() && header[i] >= '0' && header[i] <= '9'; ++i) {
        digits = true;
        value = value * 10 + (header[i] - '0');
        if (value > static_cast<long>(kMaxPost))
            return -1;
    }
    return digits ? value : -1;
}

void serveConnection(int fd, const std::string& directory)
{
    std::string request;
    size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos && request.size() < kMaxHeader) {
        if (!waitFor(fd, POLLIN))
            return;
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<size_t>(n));
        // VarBuild and browsers end their lines with CR LF; a bare line feed
        // is taken too.
        headerEnd = request.find("\n\n");
        const size_t crlf = request.find("\r\n\r\n");
        if (crlf != std::string::npos && (headerEnd == std::string::npos || crlf < headerEnd))
            headerEnd = crlf + 2;
    }
    if (headerEnd == std::string::npos) {
        sendAll(fd, response(431, "Request Header Fields Too Large", "text/plain", "header too large\n"));
        return;
    }
    const size_t lineEnd = request.find('\n');
    std::string line = request.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);

    std::istringstream words(line);
    std::string method, target;
    words >> method >> target;
    if (method == "GET") {
        sendAll(fd, answerGet(directory, target));
        return;
    }
    if (method == "POST" && (target == "/bugs/" || target == "/invites/")) {
        const long length = contentLength(request.substr(0, headerEnd));
        if (length < 0) {
            sendAll(fd, response(411, "Length Required", "text/plain", "length required\n"));
            return;
        }
        std::string body = request.substr(headerEnd + 2);
        while (body.size() < static_cast<size_t>(length)) {
            if (!waitFor(fd, POLLIN))
                return;
            char buffer[1024];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            body.append(buffer, static_cast<size_t>(n));
        }
        body.resize(static_cast<size_t>(length));
        std::printf("  %s\n", body.c_str());
        std::fflush(stdout);
        sendAll(fd, response(200, "OK", "text/plain", "thank you\n"));
        return;
    }
    sendAll(fd, notFound());
}

} // namespace

int main(int argc, char** argv)
{
    std::string bind = "127.0.0.1";
    long port = 0;
    std::string portFile;
    std::string directory;
    bool exitWithParent = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if ((arg == "--bind" || arg == "--port" || arg == "--port-file") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--bind") {
                bind = value;
            } else if (arg == "--port-file") {
                portFile = value;
            } else {
                char* end = nullptr;
                port = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || port < 0 || port > 65535) {
                    std::fprintf(stderr, "updateserver: bad port '%s'\n", value.c_str());
                    return 2;
                }
            }
        } else if (arg == "--exit-with-parent") {
            exitWithParent = true;
        } else if (!arg.empty() && arg[0] != '-' && directory.empty()) {
            directory = arg;
        } else {
            std::fprintf(stderr, "updateserver: unexpected argument '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }
    if (directory.empty()) {
        std::fputs("updateserver: no directory given (see --help)\n", stderr);
        return 2;
    }
    if (exitWithParent) {
        const pid_t parent = ::getppid();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The parent may have gone before the request took effect.
        if (::getppid() != parent)
            return 0;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, bind.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "updateserver: bad address '%s'\n", bind.c_str());
        return 2;
    }
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::fprintf(stderr, "updateserver: cannot listen on %s:%ld: %s\n", bind.c_str(), port, std::strerror(errno));
        return 1;
    }
    const int bound = ntohs(address.sin_port);
    std::printf("updateserver: serving %s on %s:%d\n", directory.c_str(), bind.c_str(), bound);
    std::fflush(stdout);
    if (!portFile.empty()) {
        // Written whole under another name first, so a reader never sees half a number.
        const std::string temporary = portFile + ".tmp";
        std::FILE* f = std::fopen(temporary.c_str(), "w");
        if (!f || std::fprintf(f, "%d\n", bound) < 0 || std::fclose(f) != 0
            || std::rename(temporary.c_str(), portFile.c_str()) != 0) {
            std::fprintf(stderr, "updateserver: cannot write %s\n", portFile.c_str());
            return 1;
        }
    }

    while (!stopping) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        serveConnection(fd, directory);
        ::close(fd);
    }
    ::close(listener);
    return 0;
}
