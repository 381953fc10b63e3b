// selectPhone and sendToPhone on a ProjectManager of a temporary
// installation: the chooser's outcomes, the address byte order, what is
// stored, and the command line that pushes the JAR.

#include "FakeSdpServer.h"
#include "SdpBuild.h"
#include "bluetooth/PhoneChooser.h"
#include "bluetooth/discovery.h"
#include "core/ProjectManager.h"
#include "core/CommandExecutor.h"
#include "platform/CommandLine.h"
#include "support/Executors.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace Brask;
using namespace SdpBuild;
using TestSupport::TempDir;

namespace {

class FakeChooser : public PhoneChooser {
public:
    int result = 0;
    int count = 1;
    std::array<std::uint8_t, 6> address{0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB};
    bool giveUp = false;  // the user presses Cancel while the search runs
    int waits = 0;

    int chooseDevices(int& chosen, std::array<std::uint8_t, 6>& bytes) override
    {
        chosen = count;
        bytes = address;
        return result;
    }

    bool waitForSearch(const std::function<bool(int ms)>& waitFor) override
    {
        for (;;) {
            ++waits;
            if (waitFor(50))
                return true;
            if (giveUp)
                return false;
        }
    }
};

class PhoneSelection : public ::testing::Test {
protected:
    PhoneSelection() { TestSupport::makeMinimalInstallation(m_root.path()); }

    void TearDown() override
    {
        setSdpTransportFactory({});
        setSdpTimeouts(SdpTimeouts{});
    }

    void useServer(FakeSdpServer& server)
    {
        setSdpTransportFactory([&server, this](const BtAddress& address, CancelSignal& cancel, SdpError&) {
            m_searched = address;
            return server.connect(&cancel);
        });
    }

    std::string configFile() const { return m_root.file("bin/config.xml"); }

    TempDir m_root;
    BtAddress m_searched{};
};

TEST_F(PhoneSelection, StoresTheAddressAndTheFirstUsablePushChannel)
{
    struct Case {
        const char* name;
        Bytes lists;
        int port;
    };
    const Case cases[] = {
        {"firstOfTwo", lists({oppRecord(9, "OBEX Object Push"), oppRecord(12, "Second push")}), 9},
        // A server that ignores the search pattern: Serial Port, Dial-up, Headset first.
        {"patternIgnored",
         lists({classRecord(0x1101, u8(1)), classRecord(0x1103, u8(2)), classRecord(0x1108, u8(3)),
                classRecord(0x1105, u8(9)), classRecord(0x1106, u8(10))}),
         9},
        {"firstWithoutChannel", lists({classRecord(0x1105, {}), classRecord(0x1105, u32(0xFFFFFFFF)), oppRecord(12, "x")}),
         12},
    };
    for (const Case& c : cases) {
        FakeSdpServer server(c.lists);
        useServer(server);
        ProjectManager manager(m_root.path(), nullptr);
        FakeChooser chooser;
        TestSupport::CapturedDiagnostics diagnostics;
        EXPECT_EQ(manager.selectPhone(chooser), 1) << c.name << "\n" << diagnostics.text();

        // The chooser's bytes come least significant first.
        EXPECT_EQ(m_searched, (BtAddress{0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56}));
        EXPECT_EQ(manager.getConfig().phoneAddress, "abcdef123456");
        EXPECT_EQ(manager.getConfig().phonePort, c.port) << c.name;
        const std::string file = TestSupport::readFile(configFile());
        EXPECT_NE(file.find("\t<Property name=\"PhoneAddress\" value=\"abcdef123456\"/>\n"
                            "\t<Property name=\"PhonePort\" value=\"" + std::to_string(c.port) + "\"/>\n"),
                  std::string::npos)
            << file;
        EXPECT_GE(chooser.waits, 1);
    }
}

TEST_F(PhoneSelection, FailuresAndCancelsKeepTheStoredPhone)
{
    struct Case {
        const char* name;
        int chooserResult;
        int count;
        Bytes lists;  // what the phone offers (empty: an error response)
        bool giveUp;
        int expected;
        const char* line;
    };
    const Case cases[] = {
        {"dialogCancelled", PhoneChooser::Cancelled, 1, {}, false, 2, ""},
        {"noWindow", PhoneChooser::NoWindow, 1, {}, false, 2, ""},
        {"noBluetooth", 5, 1, {}, false, 0, "BluetoothSelectDevices error 5\n"},
        {"twoDevices", 0, 2, {}, false, 0, "2 devices selected!\n"},
        {"noDevice", 0, 0, {}, false, 0, "0 devices selected!\n"},
        {"noService", 0, 1, lists({}), false, 0, "Search done\nNo service found!\n"},
        {"searchFails", 0, 1, {}, false, 0, "No service found!\n"},
        {"userGivesUpWaiting", 0, 1, lists({oppRecord(9, "x")}), true, 2, "Service search cancelled\n"},
        {"noChannel", 0, 1, lists({classRecord(0x1105, {})}), false, 0,
         "Record 0 passed over: no RFCOMM channel from 1 to 30\nNo service found!\n"},
        {"channelsOutOfRange", 0, 1,
         lists({classRecord(0x1105, u8(0)), classRecord(0x1105, u8(31)), classRecord(0x1105, u32(0xFFFFFFFF))}), false,
         0, "Record 2 passed over: no RFCOMM channel from 1 to 30\nNo service found!\n"},
        {"otherClassesOnly", 0, 1, lists({classRecord(0x1101, u8(1)), classRecord(0x1106, u8(10))}), false, 0,
         "Record 1 passed over: not an OBEX Object Push record\nNo service found!\n"},
    };
    for (const Case& c : cases) {
        FakeSdpServer server([&c](const Bytes& request, int) {
            if (c.giveUp)
                return FakeSdpServer::Reply{};  // the phone never answers
            if (c.lists.empty())
                return FakeSdpServer::Reply{{errorResponse(tidOf(request), 3)}, false};
            return FakeSdpServer::serveLists(c.lists, 4000, 2, request);
        });
        useServer(server);
        setSdpTimeouts(SdpTimeouts{600000, 600000, 600000});
        ProjectManager manager(m_root.path(), nullptr);
        manager.getConfig().phoneAddress = "0123456789ab";
        manager.getConfig().phonePort = 4;
        FakeChooser chooser;
        chooser.result = c.chooserResult;
        chooser.count = c.count;
        chooser.giveUp = c.giveUp;
        TestSupport::CapturedDiagnostics diagnostics;
        EXPECT_EQ(manager.selectPhone(chooser), c.expected) << c.name;
        EXPECT_NE(diagnostics.text().find(c.line), std::string::npos) << c.name << "\n" << diagnostics.text();
        EXPECT_EQ(manager.getConfig().phoneAddress, "0123456789ab") << c.name;
        EXPECT_EQ(manager.getConfig().phonePort, 4) << c.name;
        EXPECT_FALSE(TestSupport::exists(configFile())) << c.name << ": config.xml written";
        // Nothing of the search runs on after selectPhone returned.
        EXPECT_NE(gBtDiscoveryState, BtStateRunning) << c.name;
    }
}

TEST_F(PhoneSelection, AnUnwritableConfigurationIsAFailure)
{
    FakeSdpServer server(lists({oppRecord(9, "x")}));
    useServer(server);
    ProjectManager manager(m_root.path(), nullptr);
    manager.getConfig().phoneAddress = "0123456789ab";
    manager.getConfig().phonePort = 4;
    // A directory where the file should be.
    TestSupport::makeDirs(configFile());
    FakeChooser chooser;
    TestSupport::CapturedDiagnostics diagnostics;
    KVUtil::String why;
    EXPECT_EQ(manager.selectPhone(chooser, &why), 0);
    EXPECT_NE(diagnostics.text().find("Can't store the phone: "), std::string::npos) << diagnostics.text();
    EXPECT_FALSE(why.empty());
    // Neither the next send nor a later save of the settings uses the phone.
    EXPECT_EQ(manager.getConfig().phoneAddress, "0123456789ab");
    EXPECT_EQ(manager.getConfig().phonePort, 4);
}

TEST_F(PhoneSelection, DestroyingTheManagerEndsARunningSearch)
{
    FakeSdpServer silent([](const Bytes&, int) { return FakeSdpServer::Reply{}; });
    useServer(silent);
    setSdpTimeouts(SdpTimeouts{600000, 600000, 600000});
    auto alive = std::make_shared<std::atomic<int>>(0);
    {
        // The capture outlives the manager, which joins the worker: the
        // worker's last lines still go to it.
        TestSupport::CapturedDiagnostics diagnostics;
        ProjectManager manager(m_root.path(), nullptr);
        startServiceDiscovery(BtAddress{1, 2, 3, 4, 5, 6}, ObexObjectPushUuid, [alive] { ++*alive; });
        for (int i = 0; i < 500 && silent.requests().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The worker has ended (and was joined) with the manager.
    EXPECT_EQ(gBtDiscoveryState, BtStateFailed);
    EXPECT_EQ(*alive, 1);
}

using TestSupport::RecordingExecutor;

class SendToPhone : public ::testing::Test {
protected:
    SendToPhone() { TestSupport::makeMinimalInstallation(m_root.path()); }

    std::unique_ptr<ProjectManager> managerWithProject(const std::string& directory, RecordingExecutor* executor)
    {
        auto manager = std::make_unique<ProjectManager>(m_root.path(), executor);
        manager->createProject(directory);
        manager->getProject()->setName("demo");
        manager->getConfig().phoneAddress = "0123456789ab";
        manager->getConfig().phonePort = 9;
        return manager;
    }

    TempDir m_root;
    TempDir m_projects;
};

TEST_F(SendToPhone, PushesTheJarOfTheRuntime)
{
    struct Case {
        const char* name;
        std::string directory;
        std::string runtime;
        std::string jar;  // below the project directory
    };
    const std::string blanks = m_projects.file("my game");
    TestSupport::makeDirs(blanks);
    const Case cases[] = {
        {"targetRuntime3", m_projects.path(), "profiles\\runtimes\\3", "/Output/3/demo.jar"},
        {"defaultRuntime1", m_projects.path(), "profiles\\runtimes\\1", "/Output/1/demo.jar"},
        {"slashes", m_projects.path(), "profiles/runtimes/7", "/Output/7/demo.jar"},
        {"bareIdentifier", m_projects.path(), "5", "/Output/5/demo.jar"},
        {"blanksInDirectory", blanks, "profiles\\runtimes\\2", "/Output/2/demo.jar"},
    };
    for (const Case& c : cases) {
        RecordingExecutor executor;
        auto manager = managerWithProject(c.directory, &executor);
        TestSupport::CapturedDiagnostics diagnostics;
        EXPECT_EQ(manager->sendToPhone(c.runtime), 0) << c.name;
        const std::string id = c.jar.substr(8, c.jar.find('/', 8) - 8);
        EXPECT_EQ(diagnostics.text(), "Should use runtime " + c.runtime + "\nsending Output/" + id + "/\n") << c.name;
        ASSERT_EQ(executor.ran.size(), 1u) << c.name;
        EXPECT_TRUE(executor.echoes[0]) << c.name;

        const std::string jar = c.directory + c.jar;
        const bool quoted = jar.find(' ') != std::string::npos;
        EXPECT_EQ(executor.ran[0],
                  "sendel " + (quoted ? "\"" + jar + "\"" : jar) + " 0123456789ab 9")
            << c.name;
        // The tool gets exactly its three arguments, the path in one piece.
        const auto words = Platform::splitCommandLine(executor.ran[0]);
        ASSERT_EQ(words.size(), 4u) << c.name;
        EXPECT_EQ(words[1], jar) << c.name;
    }
}

TEST_F(SendToPhone, ReturnsTheToolsStatusOrMinus1)
{
    RecordingExecutor failing;
    failing.result = [](const std::string&, size_t) { return 3; };
    auto manager = managerWithProject(m_projects.path(), &failing);
    TestSupport::CapturedDiagnostics diagnostics;
    EXPECT_EQ(manager->sendToPhone("profiles\\runtimes\\1"), 3);

    auto withoutExecutor = managerWithProject(m_projects.path(), nullptr);
    EXPECT_EQ(withoutExecutor->sendToPhone("profiles\\runtimes\\1"), -1);

    RecordingExecutor executor;
    ProjectManager noProject(m_root.path(), &executor);
    EXPECT_EQ(noProject.sendToPhone("profiles\\runtimes\\1"), -1);
    EXPECT_TRUE(executor.ran.empty());
}

} // namespace
