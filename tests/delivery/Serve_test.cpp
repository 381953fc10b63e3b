// The over-the-air server with real clients: curl, wget and headless
// chromium fetch the packages of a built demo project, an install report is
// posted as a phone posts it, zbarimg reads the printed QR code, and hostile
// clients get clear answers while the others go on being served.

#include "core/ProjectManager.h"
#include "delivery/DeliveryCatalog.h"
#include "delivery/OtaServer.h"
#include "support/DeliverySupport.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;

// One demo project, built once for every test here.
class ServedDemo : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TempDir;
        std::string log;
        s_project = buildDemoCopy(Kit, s_dir->path(), &log);
        ASSERT_FALSE(s_project.empty()) << log;
    }
    static void TearDownTestSuite() { delete s_dir; }

    static std::string output() { return s_dir->file("demo/Output"); }

    static TempDir* s_dir;
    static std::string s_project;
};
TempDir* ServedDemo::s_dir = nullptr;
std::string ServedDemo::s_project;

// Waits up to 10 s for `text` in the file at `path`; the file's text from
// `text` on, or "" when it never came.
std::string waitFor(const std::string& path, const std::string& text)
{
    for (int i = 0; i < 200; ++i) {
        const std::string now = exists(path) ? readFile(path) : "";
        if (const size_t at = now.find(text); at != std::string::npos)
            return now.substr(at);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "";
}

} // namespace

TEST_F(ServedDemo, RealClientsFetchEveryPackageAndReportTheInstall)
{
    TempDir work;
    const std::string out = work.file("cli.out");
    // Everything below runs while serve does; Ctrl-C ends it on every way out.
    const ProgramRun run = runCli(work.path(), Kit, {"serve", s_project, "--address", "127.0.0.1"}, {}, [&](int pid) {
        struct Interrupt {
            int pid;
            ~Interrupt() { ::kill(pid, SIGINT); }
        } interrupt{pid};
        const std::string printed = waitFor(out, "http://");
        const std::string url = printed.substr(0, printed.find('\n'));
        ASSERT_EQ(0u, url.rfind("http://127.0.0.1:", 0)) << readFile(out);
        // At least 128 random bits: 32 hex digits.
        const std::string token = url.substr(url.rfind('/', url.size() - 2) + 1, 32);
        EXPECT_EQ(std::string::npos, token.find_first_not_of("0123456789abcdef"));
        EXPECT_EQ(url.size(), url.find(token) + 33);

        const HttpReply landing = curl(url);
        EXPECT_EQ(200, landing.status);
        EXPECT_EQ("text/html; charset=utf-8", landing.header("Content-Type"));
        for (const char* id : {"1", "2", "3"}) {
            SCOPED_TRACE(id);
            EXPECT_NE(std::string::npos, landing.body.find(std::string("<a href=\"") + id + "/demo.jad\">Runtime " + id));
            const std::string jarFile = output() + "/" + id + "/demo.jar";
            const std::string bytes = readFile(jarFile);
            EXPECT_NE(std::string::npos, landing.body.find("(" + std::to_string(bytes.size()) + " bytes), built "));

            const HttpReply jad = curl(url + id + "/demo.jad");
            EXPECT_EQ(200, jad.status);
            EXPECT_EQ("text/vnd.sun.j2me.app-descriptor", jad.header("Content-Type"));
            EXPECT_EQ(std::to_string(jad.body.size()), jad.header("Content-Length"));
            const HttpReply jar = wget(url + id + "/demo.jar");
            EXPECT_EQ(200, jar.status);
            EXPECT_EQ("application/java-archive", jar.header("Content-Type"));
            EXPECT_TRUE(jar.body == bytes) << "the JAR served differs from the one built";
            EXPECT_EQ(std::to_string(bytes.size()), curl(url + id + "/demo.jar", "-I").header("Content-Length"));

            // The descriptor repeats the manifest and adds where and how large.
            const ShellRun manifest = runShell("unzip -p " + shellQuoted(jarFile) + " META-INF/MANIFEST.MF");
            std::map<std::string, std::string> expected;
            for (const auto& [key, value] : attributes(manifest.output))
                if (key != "Manifest-Version")
                    expected[key] = value;
            expected["MIDlet-Jar-URL"] = "demo.jar";
            expected["MIDlet-Jar-Size"] = std::to_string(bytes.size());
            expected["MIDlet-Install-Notify"] = url + "notify/" + id;
            const auto served = attributes(jad.body);
            EXPECT_EQ(expected, (std::map<std::string, std::string>(served.begin(), served.end())));
            EXPECT_EQ(readFile(output() + "/" + id + "/demo.jad") + "MIDlet-Install-Notify: " + url + "notify/" + id
                          + "\r\n",
                      jad.body);
        }

        // The phone's report after installing.
        const HttpReply report = curl(url + "notify/2", "-H 'Content-Type: text/plain' --data-binary '900 Success'");
        EXPECT_EQ(200, report.status);
        EXPECT_NE("", waitFor(out, "127.0.0.1 installed demo (runtime 2): 900 Success\n")) << readFile(out);
        EXPECT_NE("", waitFor(out, "127.0.0.1 GET /" + token + "/1/demo.jar 200 "
                                       + std::to_string(readFile(output() + "/1/demo.jar").size())));

        // A real browser follows the page's links and each descriptor's JAR URL.
        std::string followed = "done";
        for (const char* id : {"1", "2", "3"}) {
            const std::string size = std::to_string(readFile(output() + "/" + id + "/demo.jar").size());
            followed += std::string("\nRuntime ") + id + "|200|text/vnd.sun.j2me.app-descriptor|200|application/java-archive|"
                + size + "|" + size;
        }
        EXPECT_EQ(followed, followWithChromium(url, work.path()));

        // The code printed in the terminal leads back to the URL.
        ASSERT_TRUE(terminalQrToImage(readFile(out), work.file("code.pbm")));
        EXPECT_EQ(url, decodeQrImage(work.file("code.pbm")));
    });
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Stopped.\n"));
}

namespace {

// A client that speaks raw bytes: connects to 127.0.0.1:`port`.
class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RawClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool send(const std::string& bytes) const
    {
        return m_fd >= 0 && ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Everything the server sends until it closes, or until `ms` pass.
    std::string receive(int ms, bool* closed = nullptr) const
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        if (closed)
            *closed = false;
        while (m_fd >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                break;
            }
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    // The status of a whole request sent at once, "closed" without one.
    std::string status(const std::string& request) const
    {
        send(request);
        const std::string reply = receive(5000);
        return reply.size() >= 12 && reply.compare(0, 5, "HTTP/") == 0 ? reply.substr(9, 3) : "closed";
    }

private:
    int m_fd = -1;
};

// Every file of `dir` outside its Output folder with its size and time.
std::map<std::string, std::string> filesOutsideOutput(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == "Output") {
            it.disable_recursion_pending();
            continue;
        }
        const auto time = fs::last_write_time(it->path()).time_since_epoch().count();
        files[it->path().string()] = (it->is_regular_file() ? std::to_string(it->file_size()) : "dir") + "@"
            + std::to_string(time);
    }
    return files;
}

} // namespace

TEST_F(ServedDemo, HostileClientsGetClearAnswersAndOthersAreStillServed)
{
    Brask::ProjectManager manager(Kit, nullptr);
    ASSERT_TRUE(manager.loadProject(s_project));
    std::mutex linesLock;
    std::string lines;
    Delivery::OtaServer server(Delivery::deliveryCatalog(manager), [&](const std::string& line) {
        std::lock_guard<std::mutex> hold(linesLock);
        lines += line + "\n";
    });
    Delivery::ServerOptions options;
    options.address = "127.0.0.1";
    options.requestDeadline = std::chrono::milliseconds(1000);
    std::string error;
    ASSERT_TRUE(server.start(options, &error)) << error;
    const std::string url = server.url();
    const std::string base = url.substr(0, url.find('/', 7));
    const uint16_t port = static_cast<uint16_t>(std::stoi(base.substr(base.rfind(':') + 1)));
    const std::string path = url.substr(base.size()); // "/TOKEN/"
    const auto before = filesOutsideOutput(s_dir->path());
    TempDir work;
    writeFile(work.file("mebibyte"), std::string(1024 * 1024, '9'));
    writeFile(work.file("two-kib"), "900 " + std::string(2044, 'x'));

    // A request whose line ("GET " + target + " HTTP/1.1") is `line` bytes
    // and whose head, with its one header and the line ends, is `line` + 13.
    auto requestOfLine = [&](size_t line) {
        return "GET " + path + std::string(line - 4 - path.size() - 9, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n";
    };
    struct Row {
        const char* name;
        std::function<std::string()> act;
        std::string expected;
    };
    const Row rows[] = {
        {"wrong token", [&] { return std::to_string(curl(base + "/0123456789abcdef0123456789abcdef/").status); }, "404"},
        {"no token", [&] { return std::to_string(curl(base + "/").status); }, "404"},
        {"token without its slash", [&] { return std::to_string(curl(url.substr(0, url.size() - 1)).status); }, "404"},
        {"dot-dot path", [&] { return std::to_string(curl(url + "../demo.vnp", "--path-as-is").status); }, "404"},
        {"dot-dot below a runtime", [&] { return std::to_string(curl(url + "1/../../demo.vnp", "--path-as-is").status); }, "404"},
        {"encoded dot-dot", [&] { return std::to_string(curl(url + "%2e%2e/demo.vnp", "--path-as-is").status); }, "404"},
        {"encoded slash", [&] { return std::to_string(curl(url + "1%2f..%2f..%2fdemo.vnp").status); }, "404"},
        {"unknown runtime", [&] { return std::to_string(curl(url + "9/demo.jad").status); }, "404"},
        {"request line of 8 KiB + 1", [&] { return RawClient(port).status(requestOfLine(8193)); }, "414"},
        {"request of 8 KiB + 1", [&] { return RawClient(port).status(requestOfLine(8192 - 13 + 1)); }, "431"},
        {"request of exactly 8 KiB", [&] { return RawClient(port).status(requestOfLine(8192 - 13)); }, "404"},
        {"control characters in the path",
         [&] { return RawClient(port).status("GET " + path + "\x1b[2J\x07 HTTP/1.1\r\nHost: x\r\n\r\n"); }, "404"},
        {"PUT on the landing page", [&] { return std::to_string(curl(url, "-X PUT --data x").status); }, "405"},
        {"GET of an install report address", [&] { return std::to_string(curl(url + "notify/1").status); }, "405"},
        {"install report of 1 MiB",
         [&] { return std::to_string(curl(url + "notify/1", "--data-binary @" + shellQuoted(work.file("mebibyte"))).status); },
         "413"},
        {"chunked install report over 1 KiB",
         [&] {
             return std::to_string(curl(url + "notify/1", "-H 'Transfer-Encoding: chunked' --data-binary @"
                                                              + shellQuoted(work.file("two-kib"))).status);
         },
         "413"},
        {"install report without a status", [&] { return std::to_string(curl(url + "notify/1", "--data-binary hello").status); }, "400"},
        {"install report for an unknown runtime",
         [&] { return std::to_string(curl(url + "notify/9", "--data-binary '900 Success'").status); }, "404"},
        {"slowloris",
         [&] {
             // One byte every 100 ms: the deadline closes it, and meanwhile
             // another client is served.
             RawClient slow(port);
             const std::string request = "GET " + path + " HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(100, 's');
             const auto start = std::chrono::steady_clock::now();
             bool closed = false;
             int served = 0;
             for (size_t i = 0; i < request.size() && !closed; ++i) {
                 slow.send(request.substr(i, 1));
                 slow.receive(100, &closed);
                 if (i == 3)
                     served = curl(url).status;
             }
             const auto took = std::chrono::steady_clock::now() - start;
             return std::string(closed ? "closed" : "open") + (took < std::chrono::seconds(3) ? " in time" : " late")
                 + ", other client got " + std::to_string(served);
         },
         "closed in time, other client got 200"},
        {"100 connections at once",
         [&] {
             std::vector<std::unique_ptr<RawClient>> clients;
             for (int i = 0; i < 100; ++i)
                 clients.push_back(std::make_unique<RawClient>(port));
             int refused = 0;
             for (const auto& client : clients) {
                 bool closed = false;
                 client->receive(20, &closed);
                 refused += closed;
             }
             return refused >= 68 ? std::string("refused beyond the limit") : "refused only " + std::to_string(refused);
         },
         "refused beyond the limit"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, row.act());
        // The server keeps serving everyone else (the limit's connections are
        // gone once their row ends).
        HttpReply after;
        for (int i = 0; i < 30 && after.status != 200; ++i) {
            after = curl(url);
            if (after.status != 200)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(200, after.status);
    }
    server.stop();
    EXPECT_EQ(before, filesOutsideOutput(s_dir->path())) << "a file outside Output changed";
    std::lock_guard<std::mutex> hold(linesLock);
    EXPECT_EQ(std::string::npos, lines.find('\x1b')) << lines;
    EXPECT_NE(std::string::npos, lines.find(" GET " + path + "?[2J? 404 11\n")) << lines;
    EXPECT_NE(std::string::npos, lines.find("refused: 32 connections are open")) << lines;
    EXPECT_NE(std::string::npos, lines.find("sent no complete request within 1000 ms: connection closed")) << lines;
}

// What serve refuses before it listens: a clear line and exit status 1.
TEST_F(ServedDemo, ServeRefusesWhatItCannotServe)
{
    TempDir work;
    fs::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/demo", work.file("fresh"),
             fs::copy_options::recursive);
    const std::string fresh = work.file("fresh/demo.vnp");
    // A port another listener holds on this machine.
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof bound;
    ASSERT_EQ(0, ::bind(holder, reinterpret_cast<sockaddr*>(&bound), sizeof bound));
    ASSERT_EQ(0, ::listen(holder, 1));
    ASSERT_EQ(0, ::getsockname(holder, reinterpret_cast<sockaddr*>(&bound), &length));
    const std::string busy = std::to_string(ntohs(bound.sin_port));
    struct Row {
        std::vector<std::string> args;
        std::string message;
    };
    const Row rows[] = {
        {{fresh, "--address", "127.0.0.1"}, "has no package built yet; build it first with varbuild-cli build"},
        {{s_project, "--address", "127.0.0.1", "--port", "70000"}, "--port takes a number from 0 to 65535, not \"70000\""},
        {{s_project, "--address", "phone.local"}, "\"phone.local\" is not an IPv4 or IPv6 address"},
        {{s_project, "--address", "127.0.0.1", "--port", busy}, "cannot listen on 127.0.0.1 port " + busy},
        {{s_project, "--address"}, "usage: varbuild-cli serve PROJECT.vnp [--address A] [--port P]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        std::vector<std::string> args = {"serve"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ProgramRun run = runCli(work.path(), Kit, args);
        EXPECT_EQ(1, run.status);
        EXPECT_NE(std::string::npos, run.err.find(row.message)) << run.err;
        EXPECT_EQ("", run.out);
    }
    ::close(holder);
    EXPECT_FALSE(exists(work.file("fresh/Output"))) << "serve wrote into a project it refused";
}
