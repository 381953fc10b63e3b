// sendel against fake phones: a Unix socket in a temporary directory takes
// the place of the RFCOMM connection, and a scripted OBEX server answers on it.

#include "ToolRun.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace ToolTest;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

using Bytes = std::vector<uint8_t>;

// Every wait of the fake phone ends after this, whatever sendel does.
constexpr int kPhoneWaitMs = 10000;

struct Request {
    uint8_t opcode = 0;
    Bytes bytes;  // the whole packet
    pid_t sender = 0;  // the process at the other end of the socket
};

// What the phone does after a request; NoAnswer waits for the next request.
struct Reply {
    enum Kind { Send, SendThenClose, Silence, Close, NoAnswer } kind = Send;
    Bytes bytes;
};

Reply send(Bytes bytes)
{
    return {Reply::Send, std::move(bytes)};
}

Bytes response(uint8_t code)
{
    return {code, 0x00, 0x03};
}

Bytes connectAnswer(uint16_t maximumPacket, const Bytes& headers = {})
{
    Bytes b{0xA0, 0, 0, 0x10, 0x00, static_cast<uint8_t>(maximumPacket >> 8), static_cast<uint8_t>(maximumPacket & 0xFF)};
    b.insert(b.end(), headers.begin(), headers.end());
    b[1] = static_cast<uint8_t>(b.size() >> 8);
    b[2] = static_cast<uint8_t>(b.size() & 0xFF);
    return b;
}

// The request number `index` (from 0) decides the reply.
using Script = std::function<Reply(const Request& request, int index)>;

// A well-behaved phone with the given maximum packet length.
Script goodPhone(uint16_t maximumPacket, const Bytes& connectHeaders = {})
{
    return [=](const Request& r, int) {
        switch (r.opcode) {
        case 0x80: return send(connectAnswer(maximumPacket, connectHeaders));
        case 0x02: return send(response(0x90));
        default: return send(response(0xA0));
        }
    };
}

// A well-behaved phone except for request `at`, which gets `reply` after
// `effect` has run.
Script phoneThatAt(int at, Reply reply, std::function<void(const Request&)> effect = {})
{
    const Script good = goodPhone(4096);
    return [=](const Request& r, int index) {
        if (index == at && effect)
            effect(r);
        return index == at ? reply : good(r, index);
    };
}

bool waitReadable(int fd, int stopFd, int ms)
{
    pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    const int n = ::poll(p, stopFd >= 0 ? 2 : 1, ms);
    return n > 0 && (p[0].revents != 0);
}

// Reads exactly `size` bytes; false on end of stream or after kPhoneWaitMs.
bool readExact(int fd, uint8_t* data, size_t size)
{
    size_t got = 0;
    while (got < size) {
        if (!waitReadable(fd, -1, kPhoneWaitMs))
            return false;
        const ssize_t n = ::recv(fd, data + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

void writeAll(int fd, const Bytes& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// An OBEX server on a Unix socket, answering one client by its script.
class FakePhone {
public:
    FakePhone(const std::string& path, Script script)
        : m_script(std::move(script))
    {
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(m_listen, 1) != 0)
            ADD_FAILURE() << "cannot listen on " << path;
        if (::pipe(m_stop) != 0)
            ADD_FAILURE() << "pipe";
        m_thread = std::thread([this] { run(); });
    }

    ~FakePhone() { finish(); }

    // Stops waiting for a client and waits for the conversation to end.
    void finish()
    {
        if (m_thread.joinable()) {
            const char byte = 1;
            (void)!::write(m_stop[1], &byte, 1);
            m_thread.join();
            ::close(m_listen);
            ::close(m_stop[0]);
            ::close(m_stop[1]);
        }
    }

    // Valid after finish().
    const std::vector<Request>& requests() const { return m_requests; }
    bool connected() const { return m_connected; }

private:
    void run()
    {
        if (!waitReadable(m_listen, m_stop[0], kPhoneWaitMs))
            return;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        m_connected = true;
        ucred peer{};
        socklen_t peerSize = sizeof peer;
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize);
        for (int index = 0;; ++index) {
            Request r;
            r.sender = peer.pid;
            r.bytes.resize(3);
            if (!readExact(fd, r.bytes.data(), 3))
                break;
            r.opcode = r.bytes[0];
            const size_t length = (size_t(r.bytes[1]) << 8) | r.bytes[2];
            if (length < 3) {
                ADD_FAILURE() << "sendel sent a packet length of " << length;
                break;
            }
            r.bytes.resize(length);
            if (!readExact(fd, r.bytes.data() + 3, length - 3)) {
                ADD_FAILURE() << "sendel's packet ended early";
                break;
            }
            m_requests.push_back(r);
            const Reply reply = m_script(r, index);
            if (reply.kind == Reply::Send || reply.kind == Reply::SendThenClose)
                writeAll(fd, reply.bytes);
            if (reply.kind == Reply::SendThenClose || reply.kind == Reply::Close)
                break;
            if (reply.kind == Reply::Silence) {
                // Keep the connection open until sendel gives up.
                uint8_t sink[4096];
                while (waitReadable(fd, -1, kPhoneWaitMs) && ::recv(fd, sink, sizeof sink, 0) > 0) {
                }
                break;
            }
        }
        ::close(fd);
    }

    Script m_script;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
    std::vector<Request> m_requests;
    bool m_connected = false;
};


// Runs sendel from the kit's bin; a watchdog ends it should it ever hang.
ToolResult runSendel(const std::string& directory, const std::string& arguments)
{
    TestSupport::DirectoryGuard guard;
    if (::chdir(directory.c_str()) != 0)
        return {};
    ToolResult r;
    Platform::ProcessRunner runner;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> l(lock);
        if (!ended.wait_for(l, std::chrono::seconds(30), [&] { return done; }))
            runner.terminate();
    });
    const Platform::RunResult result = runner.run("\"" + tool("sendel") + "\" " + arguments, true,
                                                  [&r](const char* data, size_t size) { r.output.append(data, size); });
    {
        std::lock_guard<std::mutex> l(lock);
        done = true;
    }
    ended.notify_all();
    watchdog.join();
    r.code = result.failedStep == Platform::StepNone ? result.code : -1000 - result.code;
    return r;
}

struct Header {
    uint8_t id;
    Bytes data;  // content of text and byte headers, the 4 bytes of 4-byte headers
};

// The headers of a request, starting at `offset`.
std::vector<Header> headersOf(const Bytes& packet, size_t offset)
{
    std::vector<Header> out;
    size_t pos = offset;
    while (pos < packet.size()) {
        const uint8_t id = packet[pos];
        size_t length;
        size_t prefix;
        switch (id >> 6) {
        case 0:
        case 1:
            length = (size_t(packet.at(pos + 1)) << 8) | packet.at(pos + 2);
            prefix = 3;
            break;
        case 2: length = 2, prefix = 1; break;
        default: length = 5, prefix = 1; break;
        }
        if (length < prefix || pos + length > packet.size()) {
            ADD_FAILURE() << "bad header " << int(id) << " in a request";
            break;
        }
        out.push_back({id, Bytes(packet.begin() + pos + prefix, packet.begin() + pos + length)});
        pos += length;
    }
    return out;
}

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// UTF-16BE with the terminating NUL, for ASCII and two-byte UTF-8 only.
Bytes utf16(const std::u16string& text)
{
    Bytes out;
    for (char16_t c : text + u'\0') {
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c & 0xFF));
    }
    return out;
}

std::string content(size_t size)
{
    std::string s(size, '\0');
    std::mt19937 random(static_cast<unsigned>(size));
    for (char& c : s)
        c = static_cast<char>(random());
    return s;
}

// What a successful push must look like on the phone's side.
struct Received {
    Bytes body;
    std::vector<Header> describing;  // every header but Body, End-of-Body and Connection ID
    int endOfBodies = 0;
    bool endOfBodyLast = false;
};

Received receivedPut(const std::vector<Request>& requests, size_t packetLimit, uint32_t connectionId = 0, bool withId = false)
{
    Received got;
    for (size_t i = 1; i < requests.size(); ++i) {
        const Request& r = requests[i];
        EXPECT_LE(r.bytes.size(), packetLimit) << "request " << i;
        if (r.opcode != 0x02 && r.opcode != 0x82)
            continue;
        const std::vector<Header> headers = headersOf(r.bytes, 3);
        if (withId) {
            EXPECT_FALSE(headers.empty());
            EXPECT_EQ(headers.front().id, 0xCB) << "the Connection ID comes first";
            if (!headers.empty()) {
                EXPECT_EQ(headers.front().data, Bytes({uint8_t(connectionId >> 24), uint8_t(connectionId >> 16),
                                                       uint8_t(connectionId >> 8), uint8_t(connectionId)}));
            }
        }
        for (size_t h = 0; h < headers.size(); ++h) {
            if (headers[h].id == 0x48 || headers[h].id == 0x49) {
                got.body.insert(got.body.end(), headers[h].data.begin(), headers[h].data.end());
                EXPECT_EQ(headers[h].id == 0x49, r.opcode == 0x82) << "End-of-Body goes in the final PUT, Body elsewhere";
                if (headers[h].id == 0x49) {
                    ++got.endOfBodies;
                    got.endOfBodyLast = h + 1 == headers.size();
                }
            } else if (headers[h].id != 0xCB) {
                got.describing.push_back(headers[h]);
            }
        }
    }
    return got;
}

class SendelTest : public ::testing::Test {
protected:
    std::string socketPath() const { return tmp.file("phone"); }

    TempDir tmp;
    TestSupport::EnvGuard socketEnv{"SENDEL_SOCKET", tmp.file("phone")};
    TestSupport::EnvGuard timeoutEnv{"SENDEL_TIMEOUT_MS", "10000"};
};

} // namespace

// The file arrives whole and in order, in packets no larger than agreed,
// with the phone's maximum packet length honoured whatever it says.
TEST_F(SendelTest, PushesTheFileInPacketsOfTheAgreedSize)
{
    struct Case {
        uint16_t phoneMaximum;
        size_t size;
        size_t agreed;
        bool belowMinimumNote;
    };
    const Case cases[] = {
        {0, 1000, 255, true},       // no division by zero, no endless loop
        {254, 1000, 255, true},     // below the OBEX minimum
        {255, 700, 255, false},
        {4096, 20000, 4096, false},
        {65535, 100000, 32767, false},  // our own maximum is smaller
        {4096, 0, 4096, false},         // an empty file is one final PUT
        {4096, 4036, 4096, false},  // one final PUT of exactly 4096 bytes
        {4096, 4037, 4096, false},  // one byte more: a full PUT and a final one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("phone maximum " + std::to_string(c.phoneMaximum) + ", " + std::to_string(c.size) + " bytes");
        ::unlink(socketPath().c_str());
        const std::string data = content(c.size);
        writeFile(tmp.file("out/game.jar"), data);
        FakePhone phone(socketPath(), goodPhone(c.phoneMaximum));
        const ToolResult r = runSendel(tmp.path(), tmp.file("out/game.jar") + " 0123456789ab 9");
        phone.finish();

        EXPECT_EQ(r.code, 0) << r.output;
        EXPECT_TRUE(contains(r.output, "sendel: connecting to 01:23:45:67:89:AB channel 9")) << r.output;
        EXPECT_TRUE(contains(r.output, "sendel: connected, packets of up to " + std::to_string(c.agreed) + " bytes\n")) << r.output;
        EXPECT_EQ(contains(r.output, "below the minimum of 255"), c.belowMinimumNote) << r.output;
        EXPECT_TRUE(contains(r.output, "sendel: sending game.jar (" + std::to_string(c.size) + " bytes)\n")) << r.output;
        EXPECT_TRUE(contains(r.output, "sendel: done, the phone accepted game.jar\n")) << r.output;

        const std::vector<Request>& requests = phone.requests();
        ASSERT_GE(requests.size(), 3u);
        EXPECT_EQ(requests.front().bytes, Bytes({0x80, 0x00, 0x07, 0x10, 0x00, 0x7F, 0xFF}));
        EXPECT_EQ(requests.back().bytes, Bytes({0x81, 0x00, 0x03}));
        EXPECT_EQ(requests[requests.size() - 2].opcode, 0x82) << "the last PUT carries the final bit";
        for (size_t i = 1; i + 2 < requests.size(); ++i)
            EXPECT_EQ(requests[i].opcode, 0x02) << "request " << i;

        const Received got = receivedPut(requests, c.agreed);
        EXPECT_EQ(got.body, bytesOf(data)) << "the bytes arrive whole and in order";
        EXPECT_EQ(got.endOfBodies, 1);
        EXPECT_TRUE(got.endOfBodyLast);
        ASSERT_EQ(got.describing.size(), 3u);
        EXPECT_EQ(got.describing[0].id, 0x01);
        EXPECT_EQ(got.describing[0].data, utf16(u"game.jar"));
        EXPECT_EQ(got.describing[1].id, 0x42);
        EXPECT_EQ(got.describing[1].data, bytesOf(std::string("application/java-archive", 25)));
        EXPECT_EQ(got.describing[2].id, 0xC3);
        EXPECT_EQ(got.describing[2].data, Bytes({uint8_t(c.size >> 24), uint8_t(c.size >> 16), uint8_t(c.size >> 8), uint8_t(c.size)}));
        if (c.size >= 20000) {
            EXPECT_TRUE(contains(r.output, "% (")) << "progress in between";
            EXPECT_TRUE(contains(r.output, "sendel: 100% (" + std::to_string(c.size) + " of " + std::to_string(c.size) + " bytes)\n"));
        }
    }
}

// A name with blanks and non-ASCII letters, a Connection ID from the phone, a
// file type without a known MIME type, and a name that fills the first packet.
TEST_F(SendelTest, NameConnectionIdAndType)
{
    writeFile(tmp.file("Spiel über.jar"), "jar");
    {
        FakePhone phone(socketPath(), goodPhone(1000, {0xCB, 0x12, 0x34, 0x56, 0x78}));
        const ToolResult r = runSendel(tmp.path(), "\"" + tmp.file("Spiel über.jar") + "\" 01:23:45:67:89:ab 30");
        phone.finish();
        EXPECT_EQ(r.code, 0) << r.output;
        const Received got = receivedPut(phone.requests(), 1000, 0x12345678, true);
        ASSERT_FALSE(got.describing.empty());
        EXPECT_EQ(got.describing[0].data, utf16(u"Spiel über.jar"));
        EXPECT_EQ(got.body, bytesOf("jar"));
        EXPECT_EQ(phone.requests().back().bytes, Bytes({0x81, 0x00, 0x08, 0xCB, 0x12, 0x34, 0x56, 0x78}));
    }

    ::unlink(socketPath().c_str());
    const std::string longName = std::string(150, 'n') + ".txt";  // 308 bytes of Name header: over 255
    writeFile(tmp.file(longName), "text");
    FakePhone phone(socketPath(), goodPhone(255));
    const ToolResult r = runSendel(tmp.path(), tmp.file(longName) + " 0123456789ab 1");
    phone.finish();
    EXPECT_EQ(r.code, 5) << r.output;
    EXPECT_TRUE(contains(r.output, "sendel: error: the file name does not fit in the phone's packets of 255 bytes")) << r.output;

    ::unlink(socketPath().c_str());
    writeFile(tmp.file("notes.txt"), "plain");
    FakePhone second(socketPath(), goodPhone(255));
    const ToolResult plain = runSendel(tmp.path(), tmp.file("notes.txt") + " 0123456789ab 1");
    second.finish();
    EXPECT_EQ(plain.code, 0) << plain.output;
    const Received got = receivedPut(second.requests(), 255);
    ASSERT_EQ(got.describing.size(), 2u) << "no Type header for an unknown kind of file";
    EXPECT_EQ(got.describing[1].id, 0xC3);
}

// Every way a phone can end the push early gives its own status and line,
// and sendel survives each.
TEST_F(SendelTest, FailuresFromThePhone)
{
    struct Case {
        const char* name;
        Script script;
        int code;
        std::string line;
        bool disconnects;  // DISCONNECT is sent after the failure
        bool aborts = false;  // ABORT comes right before the DISCONNECT
    };
    const Reply silence{Reply::Silence, {}};
    const std::string jar = tmp.file("game.jar");
    const Case cases[] = {
        {"refused on the first PUT", phoneThatAt(1, send(response(0xC3))), 4,
         "sendel: error: refused by the phone: it answered the file with 0xC3 Forbidden: declined on the phone\n", true},
        {"unauthorized", phoneThatAt(2, send(response(0xC1))), 4, "0xC1 Unauthorized: declined on the phone", true},
        {"refused on the last PUT", phoneThatAt(3, send(response(0xCF))), 4,
         "0xCF Unsupported Media Type: the phone does not take this kind of file", true},
        {"connection refused", phoneThatAt(0, send(response(0xD3))), 4,
         "sendel: error: refused by the phone: it answered the CONNECT with 0xD3 Service Unavailable\n", false},
        {"length longer than received", phoneThatAt(1, {Reply::SendThenClose, {0x90, 0x00, 0x20, 0x01, 0x02}}), 5,
         "sendel: error: the phone's answer to the PUT was cut short: the connection closed after 5 of 32 bytes\n", false},
        {"length shorter than 3", phoneThatAt(1, send({0x90, 0x00, 0x02})), 5,
         "gives a packet length of 2, less than the 3 bytes of its own header", false},
        {"length 0 in the CONNECT answer", phoneThatAt(0, send({0xA0, 0x00, 0x00, 0x10, 0x00, 0x10, 0x00})), 5,
         "the phone's answer to the CONNECT gives a packet length of 0", false},
        {"length shorter than sent", phoneThatAt(1, send({0x90, 0x00, 0x03, 0xAA, 0xBB})), 5,
         "sent more bytes than the packet length 3 of its answer to the PUT says", false},
        {"length over our maximum", phoneThatAt(1, {Reply::SendThenClose, {0x90, 0xFF, 0xFF}}), 5,
         "packet length of 65535, more than the maximum of 32767 we announced", false},
        {"short CONNECT answer", phoneThatAt(0, send(response(0xA0))), 5,
         "the phone's answer to the CONNECT has 3 bytes, too few", false},
        {"bad header in the CONNECT answer", phoneThatAt(0, send(connectAnswer(4096, {0xCB, 0x00, 0x01}))), 5,
         "holds a bad header: four-byte header 0xCB is cut off", false},
        {"text header longer than the packet", phoneThatAt(0, send(connectAnswer(4096, {0x05, 0x00, 0x40, 0x00}))), 5,
         "header 0x05 declares 64 bytes, but only 4 remain in the packet", false},
        {"no final bit", phoneThatAt(1, send(response(0x10))), 5, "answer 0x10 to the PUT lacks the final bit", false},
        {"success too early", phoneThatAt(1, send(response(0xA0))), 5, "answered Success before the last packet (4036 of 10000", false},
        {"continue to the last PUT", phoneThatAt(3, send(response(0x90))), 5, "answered the last PUT with 0x90 Continue", false},
        {"silent on CONNECT", phoneThatAt(0, silence), 6, "sendel: error: time-out: the phone did not answer the CONNECT within 300 ms\n", false},
        {"silent on a PUT", phoneThatAt(2, silence), 6, "sendel: error: time-out: the phone did not answer the PUT within 300 ms\n", false},
        {"half an answer, then silence", phoneThatAt(1, {Reply::Send, {0x90, 0x00, 0x06, 0x01}}), 6,
         "the phone's answer to the PUT stopped after 4 of 6 bytes (nothing more within 300 ms)", false},
        {"closed mid-transfer", phoneThatAt(2, {Reply::Close, {}}), 7,
         "sendel: error: the phone closed the connection instead of answering the PUT\n", false},
        {"closed before CONNECT answer", phoneThatAt(0, {Reply::Close, {}}), 7,
         "the phone closed the connection instead of answering the CONNECT", false},
        {"file cut short mid-transfer", phoneThatAt(1, send(response(0x90)), [jar](const Request&) { ::truncate(jar.c_str(), 100); }),
         2, "sendel: error: the file became shorter while it was being sent (4036 of 10000 bytes sent; the phone was told "
            "to abort the transfer)\n", true, true},
        {"stopped while the phone is silent", phoneThatAt(2, {Reply::NoAnswer, {}}, [](const Request& r) { ::kill(r.sender, SIGTERM); }),
         128 + SIGTERM, "sendel: stopped after 8126 of 10000 bytes; the phone was told to abort the transfer\n", true, true},
        {"stopped waiting for the CONNECT answer", phoneThatAt(0, {Reply::NoAnswer, {}}, [](const Request& r) { ::kill(r.sender, SIGINT); }),
         128 + SIGINT, "sendel: stopped while waiting for the phone's answer to the CONNECT\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(jar, content(10000));
        // Short only where the time-out is the point, so a busy machine
        // cannot turn another case into a time-out.
        TestSupport::EnvGuard timeout("SENDEL_TIMEOUT_MS", c.code == 6 ? "300" : "10000");
        ::unlink(socketPath().c_str());
        FakePhone phone(socketPath(), c.script);
        const ToolResult r = runSendel(tmp.path(), "game.jar 0123456789ab 9");
        phone.finish();
        EXPECT_EQ(r.code, c.code) << r.output;
        EXPECT_TRUE(contains(r.output, c.line)) << r.output;
        EXPECT_FALSE(contains(r.output, "done")) << r.output;
        const std::vector<Request>& requests = phone.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().opcode == 0x81, c.disconnects);
        EXPECT_EQ(requests.size() >= 2 && requests[requests.size() - 2].opcode == 0xFF, c.aborts);
    }
}

// Whatever bytes the phone answers with, sendel ends with one of its own
// statuses and never reports success for them.
TEST_F(SendelTest, SurvivesRandomAnswers)
{
    writeFile(tmp.file("game.jar"), content(10000));
    TestSupport::EnvGuard quick("SENDEL_TIMEOUT_MS", "150");
    std::mt19937 random(20261207);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int at = static_cast<int>(random() % 3);
        Bytes answer(random() % 12);
        for (uint8_t& b : answer)
            b = static_cast<uint8_t>(random());
        if (answer.size() >= 3 && round % 2 == 0) {
            // Half the rounds carry a plausible code and a length that fits.
            answer[0] = static_cast<uint8_t>(0x80 | answer[0]);
            answer[1] = 0;
            answer[2] = static_cast<uint8_t>(answer.size());
        }
        ::unlink(socketPath().c_str());
        FakePhone phone(socketPath(), phoneThatAt(at, {Reply::SendThenClose, answer}));
        const ToolResult r = runSendel(tmp.path(), "game.jar 0123456789ab 9");
        phone.finish();
        EXPECT_GE(r.code, 3) << r.output;
        EXPECT_LE(r.code, 7) << r.output;
        EXPECT_TRUE(contains(r.output, "sendel: error: ")) << r.output;
    }
}

// Arguments and files are checked before any connection is tried.
TEST_F(SendelTest, BadArgumentsAndFiles)
{
    writeFile(tmp.file("game.jar"), "jar");
    TestSupport::makeDirs(tmp.file("folder.jar"));
    struct Case {
        std::string arguments;
        int code;
        std::string line;
    };
    const Case cases[] = {
        {"", 1, "sendel: error: expected FILE ADDRESS CHANNEL, got 0 argument(s) (see sendel --help)\n"},
        {"game.jar  -1", 1, "got 2 argument(s)"},  // no phone chosen yet: empty address
        {"game.jar 0123456789ab 9 extra", 1, "got 4 argument(s)"},
        {"game.jar 0123456789a 9", 1, "sendel: error: bad phone address '0123456789a': expected 12 hexadecimal digits"},
        {"game.jar 0123456789abc 9", 1, "bad phone address"},
        {"game.jar 0123456789ag 9", 1, "bad phone address"},
        {"game.jar 01:23:45:67:89 9", 1, "bad phone address"},
        {"game.jar 01-23-45-67-89-ab 9", 1, "bad phone address"},
        {"game.jar 01:23:45:67:89:a 9", 1, "bad phone address"},
        {"game.jar 0123456789ab 0", 1, "sendel: error: bad RFCOMM channel '0': expected a number from 1 to 30\n"},
        {"game.jar 0123456789ab 31", 1, "bad RFCOMM channel '31'"},
        {"game.jar 0123456789ab -1", 1, "bad RFCOMM channel '-1'"},
        {"game.jar 0123456789ab 9x", 1, "bad RFCOMM channel '9x'"},
        {"game.jar 0123456789ab 009", 1, "bad RFCOMM channel '009'"},
        {"game.jar 0123456789ab \"\"", 1, "bad RFCOMM channel ''"},
        {"missing.jar 0123456789ab 9", 2, "sendel: error: cannot open missing.jar: No such file or directory\n"},
        {"folder.jar 0123456789ab 9", 2, "sendel: error: cannot send folder.jar: not a regular file\n"},
    };
    FakePhone phone(socketPath(), goodPhone(4096));
    for (const Case& c : cases) {
        const ToolResult r = runSendel(tmp.path(), c.arguments);
        EXPECT_EQ(r.code, c.code) << c.arguments << "\n" << r.output;
        EXPECT_TRUE(contains(r.output, c.line)) << c.arguments << "\n" << r.output;
        EXPECT_FALSE(contains(r.output, "connecting")) << c.arguments;
    }
    phone.finish();
    EXPECT_FALSE(phone.connected()) << "nothing reached the phone";
}

TEST_F(SendelTest, UnreachablePhoneAndHelp)
{
    writeFile(tmp.file("game.jar"), "jar");
    // Nothing listens on the socket path.
    ToolResult r = runSendel(tmp.path(), "game.jar 0123456789AB 9");
    EXPECT_EQ(r.code, 3) << r.output;
    EXPECT_TRUE(contains(r.output, "sendel: error: cannot reach the phone 01:23:45:67:89:AB on channel 9: ")) << r.output;

    {
        TestSupport::EnvGuard bad("SENDEL_TIMEOUT_MS", "soon");
        r = runSendel(tmp.path(), "game.jar 0123456789AB 9");
        EXPECT_EQ(r.code, 3) << r.output;
        EXPECT_TRUE(contains(r.output, "sendel: ignoring SENDEL_TIMEOUT_MS=soon")) << r.output;
    }

    r = runSendel(tmp.path(), "--help");
    EXPECT_EQ(r.code, 0);
    for (const char* part : {"Usage: sendel FILE ADDRESS CHANNEL", "SENDEL_TIMEOUT_MS", "SENDEL_SOCKET", "4  refused by the phone",
                             "6  time-out"})
        EXPECT_TRUE(contains(r.output, part)) << part;
}
