// The service-search module: its states, the callback contract, the lines it
// prints, reading results out, cancel and join, and the reports that end the
// process on impossible local states.

#include "FakeSdpServer.h"
#include "SdpBuild.h"
#include "bluetooth/discovery.h"
#include "support/TestSupport.h"
#include "util/Diagnostics.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>

using namespace Brask;
using namespace SdpBuild;

namespace {

const BtAddress Phone{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

class Discovery : public ::testing::Test {
protected:
    void TearDown() override
    {
        stopServiceDiscovery();
        setSdpTransportFactory({});
        setSdpTimeouts(SdpTimeouts{});
    }

    void useServer(FakeSdpServer& server)
    {
        setSdpTransportFactory([&server, this](const BtAddress& address, CancelSignal& cancel, SdpError&) {
            m_address = address;
            return server.connect(&cancel);
        });
    }

    // Runs a search to its end; returns the callback count.
    int runSearch()
    {
        std::mutex mutex;
        std::condition_variable changed;
        int calls = 0;
        bool ended = false;
        startServiceDiscovery(Phone, ObexObjectPushUuid, [&] {
            // The lock is free while the callback runs: another thread can take it.
            auto other = std::async(std::launch::async, [] {
                std::unique_lock<std::recursive_mutex> lock(discoveryLock(), std::try_to_lock);
                return lock.owns_lock();
            });
            EXPECT_TRUE(other.get());
            std::lock_guard<std::mutex> guard(mutex);
            ++calls;
            ended = gBtDiscoveryState != 0;
            changed.notify_all();
        });
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait(guard, [&] { return ended; });
        guard.unlock();
        joinServiceDiscovery();
        return calls;
    }

    BtAddress m_address{};
};

TEST_F(Discovery, FindsRecordsCallsBackAndHandsThemOutInOrder)
{
    FakeSdpServer server(lists({oppRecord(9, "OBEX Object Push"), oppRecord(12, "Second")}), 30);
    useServer(server);
    TestSupport::CapturedDiagnostics diagnostics;
    EXPECT_EQ(runSearch(), 3) << "once per record and once at the end";
    EXPECT_EQ(gBtDiscoveryState, 3);
    EXPECT_EQ(m_address, Phone);

    const std::string text = diagnostics.text();
    EXPECT_EQ(text.find("doServiceSearch\n"), 0u) << text;
    EXPECT_NE(text.find("sh s0: port 9. 4 UUIDs. Name:\"OBEX Object Push\" Comment:\"\"\n"
                        "UUID: 00001105-00001000-80000080-5F9B34FB\n"
                        "UUID: 00000100-00001000-80000080-5F9B34FB\n"
                        "UUID: 00000003-00001000-80000080-5F9B34FB\n"
                        "UUID: 00000008-00001000-80000080-5F9B34FB\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("sh s1: port 12. 4 UUIDs. Name:\"Second\""), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 12), "Search done\n");

    int nameSize = 0;
    int uuids = 0;
    ASSERT_EQ(peekNextService(nameSize, uuids), 1);
    EXPECT_EQ(nameSize, 17);
    EXPECT_EQ(uuids, 4);
    BtServiceResult first;
    ASSERT_EQ(getNextService(first), 1);
    EXPECT_EQ(first.port, 9);
    EXPECT_STREQ(first.name.get(), "OBEX Object Push");
    EXPECT_EQ(first.nameBufSize, 17);
    ASSERT_EQ(first.uuidCount, 4);
    EXPECT_EQ(first.uuids[0], ObexObjectPushUuid);
    BtServiceResult second;
    ASSERT_EQ(getNextService(second), 1);
    EXPECT_EQ(second.port, 12);
    BtServiceResult none;
    EXPECT_EQ(getNextService(none), 0);
    EXPECT_EQ(peekNextService(nameSize, uuids), 0);
}

TEST_F(Discovery, CopyCutsTheNameToTheCallersBuffer)
{
    FakeSdpServer server(lists({oppRecord(9, "OBEX Object Push")}));
    useServer(server);
    TestSupport::CapturedDiagnostics diagnostics;
    runSearch();
    BtServiceResult result;
    result.nameBufSize = 5;
    result.name.reset(new char[5]);
    result.uuidCount = 2;
    result.uuids.reset(new BtUuid[2]);
    ASSERT_EQ(copyNextService(result), 1);
    EXPECT_STREQ(result.name.get(), "OBEX");
    EXPECT_EQ(result.uuidCount, 2);
    EXPECT_EQ(result.uuids[0], ObexObjectPushUuid);
    EXPECT_EQ(copyNextService(result), 0) << "the cursor moved on";
}

TEST_F(Discovery, SkipsAMalformedRecordAndKeepsTheOthers)
{
    const Bytes bad = seq({attr(0x0001, {0xF8, 0x00})});
    FakeSdpServer server(lists({bad, oppRecord(4, "Good"), seq({attr(0x0300, Bytes{0x35, 0x09, 0x19})})}));
    useServer(server);
    TestSupport::CapturedDiagnostics diagnostics;
    EXPECT_EQ(runSearch(), 2);
    EXPECT_EQ(gBtDiscoveryState, 2) << "one record found";
    const std::string text = diagnostics.text();
    EXPECT_NE(text.find("Record skipped\n"), text.rfind("Record skipped\n")) << text;
    EXPECT_NE(text.find("sh s0: port 4."), std::string::npos) << text;
}

TEST_F(Discovery, AFailedSearchEndsInStateMinus2WithOneCallback)
{
    struct Case {
        const char* name;
        FakeSdpServer::Responder responder;
        const char* reason;
    };
    const Case cases[] = {
        {"errorResponse",
         [](const Bytes& request, int) { return FakeSdpServer::Reply{{errorResponse(tidOf(request), 2)}, false}; },
         "the device answered with error 2"},
        {"badOuterList",
         [](const Bytes& request, int) { return FakeSdpServer::Reply{{response(tidOf(request), u8(1))}, false}; },
         "attribute lists that are not a sequence"},
        {"silence", [](const Bytes&, int) { return FakeSdpServer::Reply{}; }, "no answer within 100 ms"},
    };
    setSdpTimeouts(SdpTimeouts{1000, 100, 1000});
    for (const Case& c : cases) {
        FakeSdpServer server(c.responder);
        useServer(server);
        TestSupport::CapturedDiagnostics diagnostics;
        EXPECT_EQ(runSearch(), 1) << c.name;
        EXPECT_EQ(gBtDiscoveryState, BtStateFailed) << c.name;
        const std::string text = diagnostics.text();
        EXPECT_NE(text.find(c.reason), std::string::npos) << c.name << "\n" << text;
        const std::string failure = std::string("Failure ") + (std::string(c.name) == "silence" ? "110" : "71") +
                                    " in discovery.cpp @ line ";
        EXPECT_NE(text.find(failure), std::string::npos) << c.name << "\n" << text;
        int nameSize, uuids;
        EXPECT_EQ(peekNextService(nameSize, uuids), 0) << c.name;
    }

    // No connection at all.
    setSdpTransportFactory([](const BtAddress&, CancelSignal&, SdpError& error) {
        error = SdpError{113, "no route"};
        return std::unique_ptr<SdpTransport>();
    });
    TestSupport::CapturedDiagnostics diagnostics;
    EXPECT_EQ(runSearch(), 1);
    EXPECT_EQ(gBtDiscoveryState, BtStateFailed);
    EXPECT_NE(diagnostics.text().find("Service search on 001122334455: no route\nFailure 113 in discovery.cpp"),
              std::string::npos)
        << diagnostics.text();
}

TEST_F(Discovery, CancelEndsASearchThatWouldWaitLong)
{
    FakeSdpServer silent([](const Bytes&, int) { return FakeSdpServer::Reply{}; });
    useServer(silent);
    setSdpTimeouts(SdpTimeouts{600000, 600000, 600000});
    TestSupport::CapturedDiagnostics diagnostics;
    std::atomic<int> calls{0};
    startServiceDiscovery(Phone, ObexObjectPushUuid, [&calls] { ++calls; });
    EXPECT_EQ(gBtDiscoveryState, BtStateRunning);
    // Wait for the request, so the cancel meets the exchange itself.
    for (int i = 0; i < 500 && silent.requests().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(silent.requests().size(), 1u);
    cancelServiceDiscovery();
    joinServiceDiscovery();
    EXPECT_EQ(gBtDiscoveryState, BtStateFailed);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(diagnostics.text().find("cancelled"), std::string::npos) << diagnostics.text();

    // A new search may start at once and runs normally.
    FakeSdpServer server(lists({oppRecord(2, "again")}));
    useServer(server);
    EXPECT_EQ(runSearch(), 2);
    EXPECT_EQ(gBtDiscoveryState, 2);
}

TEST_F(Discovery, ANewSearchJoinsTheFinishedWorkerAndResetsTheList)
{
    FakeSdpServer server(lists({oppRecord(9, "a"), oppRecord(10, "b")}));
    useServer(server);
    TestSupport::CapturedDiagnostics diagnostics;
    for (int round = 0; round < 5; ++round) {
        EXPECT_EQ(runSearch(), 3);
        BtServiceResult result;
        ASSERT_EQ(getNextService(result), 1);
        EXPECT_EQ(result.port, 9) << "the list starts afresh each search";
    }
}

TEST_F(Discovery, ACallbackMayStartTheNextSearch)
{
    FakeSdpServer server(lists({oppRecord(9, "a")}));
    useServer(server);
    TestSupport::CapturedDiagnostics diagnostics;
    std::promise<void> done;
    int searches = 0;
    BtDiscoveryCallback callback = [&] {
        if (gBtDiscoveryState == 0)
            return;
        if (++searches == 1)
            startServiceDiscovery(Phone, ObexObjectPushUuid, callback);
        else
            done.set_value();
    };
    startServiceDiscovery(Phone, ObexObjectPushUuid, callback);
    done.get_future().wait();
    joinServiceDiscovery();
    EXPECT_EQ(searches, 2);
    EXPECT_EQ(server.connections(), 2);
}

using DiscoveryDeathTest = Discovery;

TEST_F(DiscoveryDeathTest, ImpossibleLocalStatesEndTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setDiagnosticStream(stderr);
            startServiceDiscovery(Phone, ObexObjectPushUuid, nullptr);
        }, ::testing::ExitedWithCode(1),
                "Assert failure cb != 0 in discovery.cpp @ line [0-9]+\nError code 1\n");

    EXPECT_EXIT(
        {
            setDiagnosticStream(stderr);
            FakeSdpServer silent([](const Bytes&, int) { return FakeSdpServer::Reply{}; });
            useServer(silent);
            startServiceDiscovery(Phone, ObexObjectPushUuid, [] {});
            startServiceDiscovery(Phone, ObexObjectPushUuid, [] {});
        },
        ::testing::ExitedWithCode(120002 & 0xFF),
        "Assert failure gBtDiscoveryState != 0 in discovery.cpp @ line [0-9]+\nError code 120002\n");

    EXPECT_EXIT(
        {
            setDiagnosticStream(stderr);
            BtServiceResult result;
            result.nameBufSize = -1;
            copyNextService(result);
        },
        ::testing::ExitedWithCode(120003 & 0xFF),
        "Assert failure dst->nameBufSize >= 0 in discovery.cpp @ line [0-9]+\nError code 120003\n");
}

} // namespace
