// varbuild-cli phone select and send, run as a program. The SDP search goes
// to a fake server on a Unix socket named by VARBUILD_SDP_SOCKET.

#include "FakeSdpServer.h"
#include "SdpBuild.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace SdpBuild;
using TestSupport::TempDir;

namespace {

class PhoneCommand : public ::testing::Test {
protected:
    PhoneCommand() { TestSupport::makeMinimalInstallation(m_root.path()); }

    TestSupport::ProgramRun run(const std::vector<std::string>& args)
    {
        return TestSupport::runCli(m_work.path(), m_root.path(), args,
                                   {"VARBUILD_SDP_SOCKET=" + m_work.file("sdp.sock"),
                                    // sendel, too, stays off the radio: nobody listens there.
                                    "SENDEL_SOCKET=" + m_work.file("phone.sock")});
    }

    TempDir m_root;
    TempDir m_work;
};

TEST_F(PhoneCommand, SelectStoresTheChannelOfThePhonesPushService)
{
    FakeSdpServer server(lists({oppRecord(11, "OBEX Object Push")}));
    server.listen(m_work.file("sdp.sock"));
    for (const std::string address : {"AB:CD:EF:12:34:56", "abcdef123456"}) {
        const auto result = run({"phone", "select", address});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "PhoneAddress abcdef123456\nPhonePort 11\n");
        EXPECT_NE(result.err.find("sh s0: port 11."), std::string::npos) << result.err;
        const std::string config = TestSupport::readFile(m_root.file("bin/config.xml"));
        EXPECT_NE(config.find("<Property name=\"PhonePort\" value=\"11\"/>"), std::string::npos) << config;
    }
    // Found but not storable (a directory where config.xml should be): the
    // command says what went wrong.
    ::unlink(m_root.file("bin/config.xml").c_str());
    TestSupport::makeDirs(m_root.file("bin/config.xml"));
    const auto unstored = run({"phone", "select", "001122334455"});
    EXPECT_EQ(unstored.status, 1);
    EXPECT_NE(unstored.err.find("cannot store the phone in " + m_root.file("bin/config.xml")), std::string::npos)
        << unstored.err;
    EXPECT_EQ(unstored.err.find("no OBEX Object Push service"), std::string::npos) << unstored.err;
    EXPECT_EQ(server.connections(), 3);
}

TEST_F(PhoneCommand, SelectFailsWithoutServiceOrWithABadAddress)
{
    FakeSdpServer server(lists({}));
    server.listen(m_work.file("sdp.sock"));
    const auto none = run({"phone", "select", "00:11:22:33:44:55"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("No service found!"), std::string::npos) << none.err;
    EXPECT_FALSE(TestSupport::exists(m_root.file("bin/config.xml")));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"phone", "select", "00:11:22:33:44"}, {"phone", "select"}, {"phone"},
          {"phone", "pair", "001122334455"}}) {
        const auto bad = run(args);
        EXPECT_EQ(bad.status, 1);
        EXPECT_NE(bad.err.find("usage: varbuild-cli phone"), std::string::npos) << bad.err;
    }

    // Nobody listening: the search fails, the command says so.
    const auto unreachable = TestSupport::runCli(m_work.path(), m_root.path(), {"phone", "select", "001122334455"},
                                                 {"VARBUILD_SDP_SOCKET=" + m_work.file("nobody.sock")});
    EXPECT_EQ(unreachable.status, 1);
    EXPECT_NE(unreachable.err.find("Failure "), std::string::npos) << unreachable.err;
}

TEST_F(PhoneCommand, SendRunsSendelOnTheRuntimesJar)
{
    const std::string directory = m_work.file("my game");
    TestSupport::writeFile(directory + "/demo.vnp", "<Project name=\"demo\">\n</Project>");
    // No phone stored: nothing is run, and the user hears how to choose one.
    const auto nophone = run({"send", directory + "/demo.vnp"});
    EXPECT_EQ(nophone.status, 1);
    EXPECT_EQ(nophone.out.find("Running:"), std::string::npos) << nophone.out;
    EXPECT_NE(nophone.err.find("no phone is chosen; choose one with varbuild-cli phone select ADDRESS"),
              std::string::npos)
        << nophone.err;

    TestSupport::writeFile(m_root.file("bin/config.xml"),
                           "<Config version=\"1\">\n"
                           "\t<Property name=\"PhoneAddress\" value=\"0123456789ab\"/>\n"
                           "\t<Property name=\"PhonePort\" value=\"9\"/>\n"
                           "</Config>");
    for (const auto& [args, id] : {std::pair<std::vector<std::string>, std::string>{{"send", directory + "/demo.vnp", "3"}, "3"},
                                   {{"send", directory + "/demo.vnp"}, "1"}}) {
        const auto result = run(args);
        // No phone is there, so sendel (or its absence) fails; the line it was given is what counts.
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.out.find("Running: sendel \"" + directory + "/Output/" + id + "/demo.jar\" 0123456789ab 9"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.err.find("Should use runtime profiles\\runtimes\\" + id), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("sending to phone failed"), std::string::npos) << result.err;
    }
    // Ctrl-C while sendel waits on a silent phone ends the push at once.
    TestSupport::writeFile(directory + "/Output/1/demo.jar", "jar");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_work.file("phone.sock").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    int phone = -1;
    const auto interrupted = TestSupport::runCli(
        m_work.path(), m_root.path(), {"send", directory + "/demo.vnp"},
        {"SENDEL_SOCKET=" + m_work.file("phone.sock"), "SENDEL_TIMEOUT_MS=30000"}, [&](int cli) {
            pollfd waiting{listener, POLLIN, 0};
            if (::poll(&waiting, 1, 20000) == 1)
                phone = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            // The CONNECT has arrived: sendel now waits for the answer.
            pollfd request{phone, POLLIN, 0};
            ::poll(&request, 1, 20000);
            ::kill(cli, SIGINT);
        });
    EXPECT_GE(phone, 0) << "sendel never connected";
    EXPECT_EQ(interrupted.status, 130) << interrupted.out << interrupted.err;
    EXPECT_NE(interrupted.out.find("sendel: stopped while waiting for the phone's answer to the CONNECT\n"),
              std::string::npos)
        << interrupted.out;
    EXPECT_EQ(interrupted.out.substr(interrupted.out.size() - 17), "Sending stopped.\n") << interrupted.out;
    EXPECT_EQ(interrupted.err.find("sending to phone failed"), std::string::npos) << interrupted.err;
    ::close(phone);
    ::close(listener);

    const auto missing = run({"send", m_work.file("none.vnp")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read project"), std::string::npos);
}

} // namespace
