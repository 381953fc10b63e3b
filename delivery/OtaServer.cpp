#include "delivery/OtaServer.h"

#include "delivery/DeliveryPages.h"
#include "delivery/ServerAddress.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace Delivery {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kDescriptorType = "text/vnd.sun.j2me.app-descriptor";
constexpr const char* kArchiveType = "application/java-archive";
// A descriptor is a few hundred bytes; anything far larger is not ours.
constexpr off_t kMaxDescriptor = 64 * 1024;

// One request, from its URI (the URI log callback) to its completion.
struct Request {
    std::string uri;
    std::string method;
    bool started = false;
    bool tooLarge = false;
    std::string body;
    unsigned status = 0;
    uint64_t bytes = 0;
};

// One connection, as the deadline watch sees it.
struct Connection {
    int fd = -1;
    std::string client;
    Clock::time_point since;
    bool answering = false;
    bool cut = false;
    // It has had an answer: being idle after it is a browser keeping the
    // connection for later, closed without a word.
    bool served = false;
};

std::string randomToken()
{
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            std::abort(); // no randomness: a guessable token must not be served
        got += static_cast<size_t>(n);
    }
    std::string token;
    char hex[3];
    for (const unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

std::string clientOf(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char text[INET6_ADDRSTRLEN] = "?";
    if (info && info->client_addr) {
        const sockaddr* address = info->client_addr;
        if (address->sa_family == AF_INET)
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
        else if (address->sa_family == AF_INET6)
            ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    }
    return text;
}

// Opens `path` for reading when it is a regular file that lies inside
// `directory` once every link is resolved; -1 otherwise.
int openInside(const std::string& path, const std::string& directory, struct stat& info)
{
    char realDir[PATH_MAX], realFile[PATH_MAX];
    if (!::realpath(directory.c_str(), realDir) || !::realpath(path.c_str(), realFile))
        return -1;
    const std::string inside = std::string(realDir) + "/";
    if (std::string(realFile).compare(0, inside.size(), inside) != 0)
        return -1;
    const int fd = ::open(realFile, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Request line and headers as they came, counted from what MHD parsed.
size_t headSize(MHD_Connection* connection, const Request& request, const char* version)
{
    size_t size = request.method.size() + 1 + request.uri.size() + 1 + std::strlen(version) + 2 + 2;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void* total, MHD_ValueKind, const char* key, const char* value) {
            *static_cast<size_t*>(total) += std::strlen(key) + 2 + (value ? std::strlen(value) : 0) + 2;
            return MHD_YES;
        },
        &size);
    return size;
}

} // namespace

struct OtaServer::Impl {
    DeliveryCatalog catalog;
    std::function<void(const std::string&)> say;
    ServerOptions options;
    std::string token = randomToken();
    std::string baseUrl; // http://HOST:PORT
    std::string url;
    MHD_Daemon* daemon = nullptr;
    std::thread thread;
    std::atomic<bool> stopping{false};
    // Touched on the server's thread only.
    std::unordered_map<MHD_Connection*, Connection> connections;

    const DeliveryPackage* package(const std::string& identifier) const
    {
        for (const DeliveryPackage& p : catalog.packages)
            if (p.identifier == identifier)
                return &p;
        return nullptr;
    }

    void loop();
    void enforceDeadlines();
    MHD_Result answer(MHD_Connection* connection, Request& request, unsigned status, const std::string& body,
                      const char* type = "text/plain; charset=utf-8");
    MHD_Result answerFile(MHD_Connection* connection, Request& request, const DeliveryPackage& package);
    MHD_Result answerDescriptor(MHD_Connection* connection, Request& request, const DeliveryPackage& package);
    MHD_Result answerLanding(MHD_Connection* connection, Request& request);
    MHD_Result answerReport(MHD_Connection* connection, Request& request, const std::string& identifier);
    MHD_Result handle(MHD_Connection* connection, Request& request, const char* version, const char* upload,
                      size_t* uploadSize);
    MHD_Result route(MHD_Connection* connection, Request& request);
    void completed(MHD_Connection* connection, Request* request, MHD_RequestTerminationCode code);
    void connectionEvent(MHD_Connection* connection, MHD_ConnectionNotificationCode code);
};

void OtaServer::Impl::loop()
{
    while (!stopping.load()) {
        MHD_run_wait(daemon, 100);
        enforceDeadlines();
    }
}

void OtaServer::Impl::enforceDeadlines()
{
    const Clock::time_point now = Clock::now();
    for (auto& [handle, connection] : connections) {
        if (connection.answering || connection.cut || now - connection.since < options.requestDeadline)
            continue;
        // The connection is closed from below: MHD sees the end of the
        // stream and releases it on its next pass.
        ::shutdown(connection.fd, SHUT_RDWR);
        connection.cut = true;
        if (!connection.served)
            say(connection.client + " sent no complete request within "
                + std::to_string(options.requestDeadline.count()) + " ms: connection closed");
    }
}

MHD_Result OtaServer::Impl::answer(MHD_Connection* connection, Request& request, unsigned status,
                                   const std::string& body, const char* type)
{
    MHD_Response* response
        = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    if (status >= 400)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    request.status = status;
    request.bytes = request.method == MHD_HTTP_METHOD_HEAD ? 0 : body.size();
    connections[connection].answering = queued == MHD_YES;
    return queued;
}

MHD_Result OtaServer::Impl::answerFile(MHD_Connection* connection, Request& request, const DeliveryPackage& package)
{
    struct stat info{};
    const int fd = openInside(package.jarPath, catalog.outputDir, info);
    if (fd < 0)
        return answer(connection, request, MHD_HTTP_NOT_FOUND, "Not built yet: build the project first.\n");
    // The open file is served even when a build replaces the JAR meanwhile.
    MHD_Response* response = MHD_create_response_from_fd64(static_cast<uint64_t>(info.st_size), fd);
    if (!response) {
        ::close(fd);
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kArchiveType);
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    request.status = MHD_HTTP_OK;
    request.bytes = request.method == MHD_HTTP_METHOD_HEAD ? 0 : static_cast<uint64_t>(info.st_size);
    connections[connection].answering = queued == MHD_YES;
    return queued;
}

MHD_Result OtaServer::Impl::answerDescriptor(MHD_Connection* connection, Request& request,
                                             const DeliveryPackage& package)
{
    struct stat info{};
    const int fd = openInside(package.jadPath, catalog.outputDir, info);
    std::string jad;
    if (fd >= 0 && info.st_size <= kMaxDescriptor) {
        jad.resize(static_cast<size_t>(info.st_size));
        const ssize_t got = ::pread(fd, jad.data(), jad.size(), 0);
        jad.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    if (fd >= 0)
        ::close(fd);
    if (jad.empty())
        return answer(connection, request, MHD_HTTP_NOT_FOUND, "Not built yet: build the project first.\n");
    const std::string notify = baseUrl + "/" + token + "/notify/" + percentEncode(package.identifier);
    return answer(connection, request, MHD_HTTP_OK, servedDescriptor(jad, notify), kDescriptorType);
}

MHD_Result OtaServer::Impl::answerLanding(MHD_Connection* connection, Request& request)
{
    std::vector<PackageView> views;
    for (const DeliveryPackage& package : catalog.packages) {
        PackageView view;
        view.package = &package;
        struct stat jar{};
        view.built = isBuilt(package) && ::stat(package.jarPath.c_str(), &jar) == 0;
        view.jarSize = view.built ? static_cast<uint64_t>(jar.st_size) : 0;
        view.builtAt = view.built ? jar.st_mtime : 0;
        views.push_back(view);
    }
    return answer(connection, request, MHD_HTTP_OK, landingPage(catalog.projectName, views),
                  "text/html; charset=utf-8");
}

MHD_Result OtaServer::Impl::answerReport(MHD_Connection* connection, Request& request, const std::string& identifier)
{
    std::string status;
    if (!installStatus(request.body, status))
        return answer(connection, request, MHD_HTTP_BAD_REQUEST, "An install report starts with its status code.\n");
    say(installReportLine(clientOf(connection), catalog.projectName, identifier, status));
    return answer(connection, request, MHD_HTTP_OK, "");
}

MHD_Result OtaServer::Impl::route(MHD_Connection* connection, Request& request)
{
    const Route where = routeFor(request.uri, token, catalog.projectName);
    const DeliveryPackage* found = where.kind == Route::Landing ? nullptr : package(where.identifier);
    if (where.kind == Route::NotFound || (where.kind != Route::Landing && !found))
        return answer(connection, request, MHD_HTTP_NOT_FOUND, "Not found.\n");
    const bool post = request.method == MHD_HTTP_METHOD_POST;
    if (where.kind == Route::Notify) {
        if (!post)
            return answer(connection, request, MHD_HTTP_METHOD_NOT_ALLOWED, "Install reports are posted.\n");
        return answerReport(connection, request, where.identifier);
    }
    if (request.method != MHD_HTTP_METHOD_GET && request.method != MHD_HTTP_METHOD_HEAD)
        return answer(connection, request, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are served here.\n");
    if (where.kind == Route::Landing)
        return answerLanding(connection, request);
    if (where.kind == Route::Descriptor)
        return answerDescriptor(connection, request, *found);
    return answerFile(connection, request, *found);
}

MHD_Result OtaServer::Impl::handle(MHD_Connection* connection, Request& request, const char* version,
                                   const char* upload, size_t* uploadSize)
{
    if (!request.started) {
        request.started = true;
        if (request.method.size() + request.uri.size() + std::strlen(version) + 2 > kMaxRequestHead)
            return answer(connection, request, MHD_HTTP_URI_TOO_LONG, "The request line is too long.\n");
        if (headSize(connection, request, version) > kMaxRequestHead)
            return answer(connection, request, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "The request is too large.\n");
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        if (length && (std::strlen(length) > 7 || std::strtoul(length, nullptr, 10) > kMaxReportBody))
            return answer(connection, request, MHD_HTTP_CONTENT_TOO_LARGE, "The body is too large.\n");
        if (request.method == MHD_HTTP_METHOD_POST)
            return MHD_YES; // the body follows
    }
    if (*uploadSize != 0) {
        if (request.body.size() + *uploadSize > kMaxReportBody)
            request.tooLarge = true; // what follows is dropped as it arrives
        else
            request.body.append(upload, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
    }
    if (request.tooLarge)
        return answer(connection, request, MHD_HTTP_CONTENT_TOO_LARGE, "The body is too large.\n");
    return route(connection, request);
}

void OtaServer::Impl::completed(MHD_Connection* connection, Request* request, MHD_RequestTerminationCode code)
{
    if (!request)
        return;
    auto found = connections.find(connection);
    std::string client = found != connections.end() ? found->second.client : clientOf(connection);
    if (found != connections.end()) {
        // A kept-alive connection's next request gets a deadline of its own.
        found->second.answering = false;
        found->second.served = true;
        found->second.since = Clock::now();
    }
    // A request refused before it reached the handler has no method yet.
    const std::string method = request->method.empty() ? std::string() : printable(request->method, 16) + " ";
    std::string line = client + " " + method + printable(request->uri, 200) + " "
        + (request->status ? std::to_string(request->status) : std::string("-")) + " "
        + std::to_string(request->bytes);
    if (code != MHD_REQUEST_TERMINATED_COMPLETED_OK)
        line += " (cut short)";
    say(line);
    delete request;
}

void OtaServer::Impl::connectionEvent(MHD_Connection* connection, MHD_ConnectionNotificationCode code)
{
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        connections.erase(connection);
        return;
    }
    Connection& entry = connections[connection];
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    entry.fd = info ? info->connect_fd : -1;
    entry.client = clientOf(connection);
    entry.since = Clock::now();
}

namespace {

void* requestStarted(void*, const char* uri, MHD_Connection*)
{
    auto* request = new Request;
    request->uri = uri ? uri : "";
    return request;
}

MHD_Result handleRequest(void* impl, MHD_Connection* connection, const char*, const char* method, const char* version,
                         const char* upload, size_t* uploadSize, void** context)
{
    if (!*context)
        *context = new Request;
    auto* request = static_cast<Request*>(*context);
    if (!request->started)
        request->method = method ? method : "";
    return static_cast<OtaServer::Impl*>(impl)->handle(connection, *request, version ? version : "", upload,
                                                       uploadSize);
}

void requestCompleted(void* impl, MHD_Connection* connection, void** context, MHD_RequestTerminationCode code)
{
    static_cast<OtaServer::Impl*>(impl)->completed(connection, static_cast<Request*>(*context), code);
    *context = nullptr;
}

void connectionChanged(void* impl, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
{
    static_cast<OtaServer::Impl*>(impl)->connectionEvent(connection, code);
}

MHD_Result acceptConnection(void* impl, const sockaddr* address, socklen_t)
{
    auto* d = static_cast<OtaServer::Impl*>(impl);
    if (d->connections.size() < d->options.maxConnections)
        return MHD_YES;
    char text[INET6_ADDRSTRLEN] = "?";
    if (address->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    else if (address->sa_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
    d->say(std::string(text) + " refused: " + std::to_string(d->options.maxConnections) + " connections are open");
    return MHD_NO;
}

} // namespace

OtaServer::OtaServer(DeliveryCatalog catalog, std::function<void(const std::string&)> say)
    : d(std::make_unique<Impl>())
{
    d->catalog = std::move(catalog);
    d->say = std::move(say);
}

OtaServer::~OtaServer()
{
    stop();
}

bool OtaServer::start(const ServerOptions& options, std::string* error)
{
    stop();
    d->options = options;
    ListenAddress address;
    if (!resolveListenAddress(options.address, options.port, address, error))
        return false;
    // The connection limit is kept by acceptConnection, which can say so;
    // MHD's own is a little higher so that it never stops accepting.
    d->daemon = MHD_start_daemon(
        address.ipv6 ? MHD_USE_IPv6 : 0, options.port, acceptConnection, d.get(),
        handleRequest, d.get(), MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr*>(&address.socket),
        MHD_OPTION_URI_LOG_CALLBACK, requestStarted, d.get(), MHD_OPTION_NOTIFY_COMPLETED, requestCompleted, d.get(),
        MHD_OPTION_NOTIFY_CONNECTION, connectionChanged, d.get(), MHD_OPTION_CONNECTION_LIMIT,
        options.maxConnections + 8, MHD_OPTION_CONNECTION_TIMEOUT, options.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(32 * 1024), MHD_OPTION_END);
    if (!d->daemon) {
        if (error)
            *error = "cannot listen on " + address.urlHost + " port " + std::to_string(options.port)
                + " (is the address this machine's and the port free?)";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(d->daemon, MHD_DAEMON_INFO_BIND_PORT);
    const unsigned port = info ? info->port : options.port;
    d->baseUrl = "http://" + address.urlHost + ":" + std::to_string(port);
    d->url = d->baseUrl + "/" + d->token + "/";
    d->stopping = false;
    d->thread = std::thread([this] { d->loop(); });
    return true;
}

void OtaServer::stop()
{
    if (!d->daemon)
        return;
    d->stopping = true;
    if (d->thread.joinable())
        d->thread.join();
    MHD_stop_daemon(d->daemon);
    d->daemon = nullptr;
    d->connections.clear();
}

bool OtaServer::running() const
{
    return d->daemon != nullptr;
}

const std::string& OtaServer::url() const
{
    return d->url;
}

} // namespace Delivery
