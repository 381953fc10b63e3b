// The HTTP GET client against a scripted loopback server: request bytes, URL
// and port rules, status and length rules, hostile answers, time-outs.

#include "LoopbackServer.h"
#include "net/HttpGet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace Brask;
using NetTest::LoopbackServer;
using NetTest::Reply;
using TestSupport::CapturedDiagnostics;

namespace {

// Restores the normal time-out after a test that lowered it.
struct TimeoutGuard {
    explicit TimeoutGuard(int ms) { setHttpTimeoutMilliseconds(ms); }
    ~TimeoutGuard() { setHttpTimeoutMilliseconds(0); }
};

struct Fetch {
    int socket = 0;
    int length = 0;
    std::string body;
    int result = 0;
    std::string diagnostics;
};

// KVHttpGet, then the body read when a socket came back.
Fetch fetch(const std::string& url, HttpProgress* progress = nullptr)
{
    CapturedDiagnostics diagnostics;
    Fetch f;
    f.socket = KVHttpGet(url.c_str(), f.length, progress);
    if (f.socket) {
        f.result = httpReadBody(f.body, f.length, f.socket, progress);
        closeHttpSocket(f.socket);
    }
    f.diagnostics = diagnostics.text();
    return f;
}

Fetch fetchFrom(const std::string& answer, const std::string& path = "/x")
{
    LoopbackServer server([&](const std::string&) { return LoopbackServer::raw(answer); });
    return fetch(server.address() + path);
}

TEST(HttpGet, SendsExactRequestBytesWithTheHostButNotThePort)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::ok("hello"); });
    const Fetch f = fetch(server.address() + "/latest/");
    ASSERT_NE(f.socket, 0);
    EXPECT_EQ(f.length, 5);
    EXPECT_EQ(f.body, "hello");
    EXPECT_EQ(f.result, 5);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /latest/ HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_NE(f.diagnostics.find("KVHttpGet resolving 127.0.0.1:" + std::to_string(server.port()) + "/latest/...\n"),
              std::string::npos);
    EXPECT_NE(f.diagnostics.find("KVHttpGet sending 61 bytes...\n"), std::string::npos);
    EXPECT_NE(f.diagnostics.find("HTTP 200\nContent-length: 5\nHttpGot 5\n"), std::string::npos);
}

TEST(HttpGet, WithoutAPortConnectsToPort80)
{
    // Port 80 of the loopback address is ours only when it is free and we may
    // bind it; otherwise the resolving line still shows the port chosen.
    LoopbackServer server([](const std::string&) { return LoopbackServer::ok("x"); }, 80);
    const Fetch f = fetch("127.0.0.1/latest/");
    EXPECT_NE(f.diagnostics.find("KVHttpGet resolving 127.0.0.1:80/latest/...\n"), std::string::npos);
    if (server.port() != 80)
        GTEST_SKIP() << "port 80 is not free to bind here";
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /latest/ HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

TEST(HttpGet, BadUrlsFailWithoutSendingAnything)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::ok("x"); });
    const std::string port = std::to_string(server.port());
    for (const std::string& url : std::vector<std::string>{"127.0.0.1:abc/x", "127.0.0.1:0/x", "127.0.0.1:" + port, "127.0.0.1",
                                  "127.0.0.1:70000/x", "127.0.0.1:-80/x", ""}) {
        SCOPED_TRACE(url);
        CapturedDiagnostics diagnostics;
        int length = 12345;
        EXPECT_EQ(KVHttpGet(url.c_str(), length), 0);
        EXPECT_EQ(diagnostics.text(), "");
        EXPECT_EQ(length, 12345);
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST(HttpGet, PortRulesAndAColonInThePath)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::ok("ok"); });
    // atoi-style port: digits up to the first non-digit.
    Fetch f = fetch(server.address() + "junk/a");
    EXPECT_NE(f.socket, 0);
    // A ":" after the first "/" belongs to the path.
    f = fetch(server.address() + "/a:b");
    EXPECT_NE(f.socket, 0);
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].substr(0, 14), "GET /a:b HTTP/");
}

struct StatusCase {
    const char* answer;
    bool accepted;
    int length;
    const char* line;
};

TEST(HttpGet, StatusAndLengthRules)
{
    const StatusCase cases[] = {
        {"HTTP/1.0 204 No Content\r\n\r\n", true, -1, "HTTP 204\nno Content-length!\n"},
        {"HTTP/1.1 299 Odd\r\nContent-Length: 0\r\n\r\n", true, 0, "Content-length: 0\n"},
        {"HTTP/1.0 301 Moved\r\nLocation: /y\r\n\r\n", false, 0, "HTTP 301\nBad reply; HTTP status 301\n"},
        {"HTTP/1.0 199 Early\r\n\r\n", false, 0, "Bad reply; HTTP status 199\n"},
        {"HTTP/1.0 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", false, 0, "Bad reply; HTTP status 404\n"},
        {"HTTP/1.0 200 OK\r\ncontent-length: 3\r\n\r\nabc", true, -1, "no Content-length!\n"},
        {"HTTP/1.0 200 OK\r\nContent-length: 3\r\n\r\nabc", true, 3, "Content-length: 3\n"},
        {"HTTP/1.0 200 OK\nContent-Length: 3\n\nabc", true, 3, "Content-length: 3\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length:3\r\n\r\nabc", true, 3, "Content-length: 3\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length:13\r\n\r\n0123456789abc", true, 13, "Content-length: 13\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 010\r\n\r\n0123456789", true, 10, "Content-length: 10\n"},
        {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc", true, 3, "Content-length: 3\n"},
        // Only a field name at the start of a line counts.
        {"HTTP/1.0 200 OK\r\nX-Content-Length: 99\r\nContent-Length: 1\r\n\r\na", true, 1, "Content-length: 1\n"},
        {"HTTP/1.0 200 OK\r\nX-Note: see Content-Length: 9\r\n\r\na", true, -1, "no Content-length!\n"},
        // The status is plain decimal.
        {"HTTP/1.0 0200 OK\r\nContent-Length: 1\r\n\r\na", true, 1, "HTTP 200\n"},
        {"SSH-2.0-OpenSomething\r\n\r\n", false, 0, "Bad reply; can't find HTTP/\n"},
        {"HTTP/1.0\r\n\r\n", false, 0, "Bad reply; can't find HTTP status\n"},
        {"HTTP/1.0 abc\r\n\r\n", false, 0, "Bad reply; can't find HTTP status\n"},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.answer);
        const Fetch f = fetchFrom(c.answer);
        EXPECT_EQ(f.socket != 0, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(f.length, c.length);
        }
        EXPECT_NE(f.diagnostics.find(c.line), std::string::npos) << f.diagnostics;
    }
}

TEST(HttpGet, HostileLengthFieldsAreBadReplies)
{
    const char* const lengths[] = {
        "-1", "+5", "5abc", "0x10", "", " ", "18446744073709551616", "2147483648", "99999999999999999999999",
        "3\r\nContent-Length: 4", "3\r\nContent-length: 4", "1 2", "٣",
    };
    for (const char* length : lengths) {
        SCOPED_TRACE(length);
        const Fetch f = fetchFrom(std::string("HTTP/1.0 200 OK\r\nContent-Length: ") + length + "\r\n\r\nabcd");
        EXPECT_EQ(f.socket, 0);
        EXPECT_NE(f.diagnostics.find("Bad reply; can't find content-length number\n"), std::string::npos)
            << f.diagnostics;
    }
}

TEST(HttpGet, LengthAboveTheCeilingIsRefusedBeforeAnythingIsRead)
{
    const std::string over = std::to_string(HttpBodyCeiling + 1);
    Fetch f = fetchFrom("HTTP/1.0 200 OK\r\nContent-Length: " + over + "\r\n\r\nabc");
    EXPECT_EQ(f.socket, 0);
    EXPECT_NE(f.diagnostics.find("above the limit"), std::string::npos) << f.diagnostics;
    // The ceiling itself is a length like any other.
    f = fetchFrom("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(HttpBodyCeiling) + "\r\n\r\nabc");
    EXPECT_NE(f.socket, 0);

    // The body read refuses it on its own too, without allocating.
    CapturedDiagnostics diagnostics;
    std::string body = "kept";
    EXPECT_EQ(httpReadBody(body, static_cast<int>(HttpBodyCeiling) + 1, -1), static_cast<int>(HttpBodyCeiling) + 1);
    EXPECT_EQ(body, "kept");
    EXPECT_NE(diagnostics.text().find("HttpGot 0\nHttpGet size mismatch!\n"), std::string::npos);
}

TEST(HttpGet, HeaderLongerThanTheBufferIsCutAndTheRestReadAsBody)
{
    std::string header = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\nX-Pad: ";
    header += std::string(3000 - header.size(), 'p');
    const std::string answer = header + "\r\n\r\n" + "tail";
    const Fetch f = fetchFrom(answer);
    ASSERT_NE(f.socket, 0);
    EXPECT_EQ(f.length, 100);
    EXPECT_EQ(f.result, 100);
    ASSERT_EQ(f.body.size(), 100u);
    // Everything after byte 2048 of the answer arrives as body.
    EXPECT_EQ(f.body, answer.substr(2048, 100));
}

TEST(HttpGet, EarlyCloseGivesTheAnnouncedLengthAndTheMismatchLine)
{
    const Fetch f = fetchFrom("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabcd");
    ASSERT_NE(f.socket, 0);
    EXPECT_EQ(f.result, 10);
    EXPECT_EQ(f.body, std::string("abcd\0\0\0\0\0\0", 10));
    EXPECT_NE(f.diagnostics.find("HttpGot 4\nHttpGet size mismatch!\n"), std::string::npos);

    std::string body;
    long long received = -1;
    LoopbackServer server(
        [](const std::string&) { return LoopbackServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabcd"); });
    CapturedDiagnostics diagnostics;
    int length = 0;
    const int socket = KVHttpGet((server.address() + "/x").c_str(), length);
    ASSERT_NE(socket, 0);
    EXPECT_FALSE(httpReadWholeBody(body, length, socket, nullptr, received));
    EXPECT_EQ(received, 4);
    closeHttpSocket(socket);
}

TEST(HttpGet, EveryTruncationOfAGoodAnswerFailsCleanly)
{
    const std::string good = "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc";
    const size_t headerEnd = good.find("\r\n\r\n") + 4;
    for (size_t cut = 0; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        const Fetch f = fetchFrom(good.substr(0, cut));
        if (cut < headerEnd) {
            // The empty line never came: a complete header is all that counts.
            EXPECT_EQ(f.socket, 0);
        } else {
            ASSERT_NE(f.socket, 0);
            EXPECT_EQ(f.length, 3);
            EXPECT_NE(f.diagnostics.find("HttpGot " + std::to_string(cut - headerEnd) + "\n"), std::string::npos);
        }
    }
}

TEST(HttpGet, AServerThatNeverAnswersTimesOut)
{
    TimeoutGuard timeout(300);
    {
        // Accepts and never reads: the header read gives up.
        LoopbackServer server([](const std::string&) { return LoopbackServer::ok(""); });
        server.silent = true;
        const Fetch f = fetch(server.address() + "/x");
        EXPECT_EQ(f.socket, 0);
        EXPECT_NE(f.diagnostics.find("the header did not arrive whole within 300 ms"), std::string::npos)
            << f.diagnostics;
    }
    {
        // A header dripping one byte at a time: every receive is quick, the
        // whole is not; the server is still sending when the client gives up.
        LoopbackServer server([](const std::string&) {
            return Reply{"HTTP/1.0 200 OK\r\nX-Pad: " + std::string(200, 'p') + "\r\n\r\n", false, 20};
        });
        const Fetch f = fetch(server.address() + "/x");
        EXPECT_EQ(f.socket, 0);
        EXPECT_LT(server.bytesSent(), 100);
        EXPECT_NE(f.diagnostics.find("the header did not arrive whole within 300 ms"), std::string::npos)
            << f.diagnostics;
    }
    {
        // The header, part of the body, then nothing: the body read gives up.
        LoopbackServer server([](const std::string&) {
            return Reply{"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nab", true};
        });
        const Fetch f = fetch(server.address() + "/x");
        ASSERT_NE(f.socket, 0);
        EXPECT_EQ(f.result, 10);
        EXPECT_NE(f.diagnostics.find("no answer to the body within 300 ms"), std::string::npos) << f.diagnostics;
        EXPECT_NE(f.diagnostics.find("HttpGot 2\nHttpGet size mismatch!\n"), std::string::npos);
    }
}

TEST(HttpGet, TimeOutFromTheEnvironment)
{
    const std::pair<const char*, int> cases[] = {
        {"2", 2000}, {"86400", 86400000}, {"", 30000}, {"0", 30000}, {"-5", 30000}, {"2s", 30000},
        {"86401", 30000}, {"99999999999999999999", 30000},
    };
    for (const auto& [value, milliseconds] : cases) {
        SCOPED_TRACE(value);
        ::setenv(HttpTimeoutVariable, value, 1);
        EXPECT_EQ(httpTimeoutMilliseconds(), milliseconds);
        // A test's own time-out wins.
        TimeoutGuard timeout(300);
        EXPECT_EQ(httpTimeoutMilliseconds(), 300);
    }
    ::unsetenv(HttpTimeoutVariable);
}

TEST(HttpGet, AConnectThatNeverCompletesTimesOut)
{
    // A listener that never accepts, its queue filled by connects of our own:
    // the kernel then drops further handshakes, so the next connect hangs.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    TimeoutGuard timeout(300);
    const Fetch f = fetch("127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x");
    EXPECT_EQ(f.socket, 0);
    EXPECT_NE(f.diagnostics.find("no answer to connect within 300 ms\nconnect failed\n"), std::string::npos)
        << f.diagnostics;
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}

TEST(HttpGet, NothingListeningIsAConnectFailure)
{
    const Fetch f = fetch("127.0.0.1:" + std::to_string(NetTest::closedPort()) + "/x");
    EXPECT_EQ(f.socket, 0);
    EXPECT_NE(f.diagnostics.find("connect failed\n"), std::string::npos) << f.diagnostics;
}

TEST(HttpGet, ProgressIsReportedAndCancelEndsTheRead)
{
    {
        LoopbackServer server([](const std::string&) { return LoopbackServer::ok(std::string(100000, 'z')); });
        HttpProgress progress;
        const Fetch f = fetch(server.address() + "/big", &progress);
        ASSERT_NE(f.socket, 0);
        EXPECT_EQ(progress.total.load(), 100000);
        EXPECT_EQ(progress.received.load(), 100000);
    }
    {
        // Long time-out: only the cancel can end this read early.
        TimeoutGuard timeout(60000);
        LoopbackServer server([](const std::string&) {
            return Reply{"HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nab", true};
        });
        HttpProgress progress;
        std::thread canceller([&] {
            for (int i = 0; i < 2000 && progress.received.load() < 2; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            progress.cancelled = true;
        });
        const Fetch f = fetch(server.address() + "/x", &progress);
        canceller.join();
        ASSERT_NE(f.socket, 0);
        EXPECT_EQ(progress.received.load(), 2);
        EXPECT_NE(f.diagnostics.find("the body cancelled"), std::string::npos) << f.diagnostics;
        EXPECT_NE(f.diagnostics.find("HttpGet size mismatch!\n"), std::string::npos);
    }
}

} // namespace
