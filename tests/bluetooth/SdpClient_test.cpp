// The SDP client end to end against a fake server speaking real PDUs over a
// SOCK_SEQPACKET socketpair: the exchange, continuations, and every kind of
// hostile or broken answer failing the search cleanly.

#include "FakeSdpServer.h"
#include "SdpBuild.h"
#include "bluetooth/SdpClient.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace Brask;
using namespace SdpBuild;

namespace {

struct Outcome {
    bool ok = false;
    Bytes lists;
    SdpError error;
};

Outcome search(FakeSdpServer& server, int receiveMs = 5000, int totalMs = 20000)
{
    CancelSignal cancel;
    auto transport = server.connect(&cancel);
    Outcome outcome;
    SdpClient client(*transport, receiveMs, totalMs);
    outcome.ok = client.searchAttributes(ObexObjectPushUuid, outcome.lists, outcome.error);
    return outcome;
}

TEST(SdpClient, SendsTheRequestAndReadsOneRecord)
{
    const Bytes expected = lists({oppRecord(9, "OBEX Object Push")});
    FakeSdpServer server(expected);
    const Outcome outcome = search(server);
    ASSERT_TRUE(outcome.ok) << outcome.error.text;
    EXPECT_EQ(outcome.lists, expected);

    // PDU 0x06, transaction 1, 15 parameter bytes: the pattern {UUID16 0x1105},
    // the maximum byte count, the range 0x0000-0xFFFF, no continuation.
    const Bytes request = {0x06, 0x00, 0x01, 0x00, 0x0F, 0x35, 0x03, 0x19, 0x11, 0x05, 0x0F, 0xE8,
                           0x35, 0x05, 0x0A, 0x00, 0x00, 0xFF, 0xFF, 0x00};
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], request);

    std::vector<std::pair<std::size_t, std::size_t>> records;
    SdpError error;
    ASSERT_TRUE(splitSdpAttributeLists(outcome.lists, records, error));
    EXPECT_EQ(records.size(), 1u);
}

TEST(SdpClient, FollowsContinuationsAndSplitsSeveralRecords)
{
    const Bytes expected = lists({oppRecord(9, "First"), oppRecord(10, "Second"), oppRecord(11, "Third")});
    for (std::size_t continuationSize : {2u, 16u}) {
        FakeSdpServer server(expected, 17, continuationSize);
        const Outcome outcome = search(server);
        ASSERT_TRUE(outcome.ok) << outcome.error.text;
        EXPECT_EQ(outcome.lists, expected);

        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), (expected.size() + 16) / 17);
        for (std::size_t i = 0; i < requests.size(); ++i) {
            EXPECT_EQ(tidOf(requests[i]), i + 1) << "each request its own transaction";
            // Every request after the first carries the state the previous answer gave.
            EXPECT_EQ(requests[i][19], i == 0 ? 0 : continuationSize);
        }

        std::vector<std::pair<std::size_t, std::size_t>> records;
        SdpError error;
        ASSERT_TRUE(splitSdpAttributeLists(outcome.lists, records, error));
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].first, 2u);
        EXPECT_EQ(records[1].first, records[0].first + records[0].second);
        EXPECT_EQ(records[2].first + records[2].second, expected.size());
    }
}

// A server that answers every request with what `make` builds for its transaction id.
FakeSdpServer::Responder answer(std::function<Bytes(std::uint16_t tid)> make)
{
    return [make](const Bytes& request, int) { return FakeSdpServer::Reply{{make(tidOf(request))}, false}; };
}

TEST(SdpClient, FailsCleanlyOnBrokenOrHostileAnswers)
{
    const Bytes one = lists({oppRecord(9, "x")});
    struct Case {
        const char* name;
        FakeSdpServer::Responder responder;
        const char* reason;
    };
    const Case cases[] = {
        {"errorResponse", answer([](std::uint16_t tid) { return errorResponse(tid, 3); }),
         "the device answered with error 3"},
        {"wrongTransaction", answer([&](std::uint16_t tid) { return response(tid + 1, one); }),
         "an answer to transaction 2 instead of 1"},
        {"unknownPdu", answer([&](std::uint16_t tid) { auto r = response(tid, one); r[0] = 0x05; return r; }),
         "an answer of PDU type 5"},
        {"shortPdu", answer([](std::uint16_t) { return Bytes{0x07, 0x00}; }), "shorter than a PDU header"},
        {"parameterLengthTooBig",
         answer([&](std::uint16_t tid) { auto r = response(tid, one); r[4] += 1; return r; }), "a parameter length of"},
        {"parameterLengthTooSmall",
         answer([&](std::uint16_t tid) { auto r = response(tid, one); r[4] -= 1; return r; }), "a parameter length of"},
        {"errorWithoutCode", answer([](std::uint16_t tid) { return cat({{0x01}, bigEndian(tid, 2), {0, 0}}); }),
         "an error response without an error code"},
        {"byteCountPastEnd",
         answer([&](std::uint16_t tid) { auto r = response(tid, one); r[6] += 2; return r; }),
         "past the end of the response"},
        {"moreThanAskedFor",
         answer([](std::uint16_t tid) { return response(tid, Bytes(4073, 0x00)); }), "more than the 4072 asked for"},
        {"continuationOf17Bytes",
         answer([&](std::uint16_t tid) { return response(tid, one, Bytes(17, 1)); }), "a continuation state of 17 bytes"},
        {"continuationNotLast",
         answer([&](std::uint16_t tid) { auto r = response(tid, one, {1, 2}); r.push_back(0); r[4] += 1; return r; }),
         "does not end the response"},
        {"continuationWithoutBytes", answer([](std::uint16_t tid) { return response(tid, {}, {1, 2}); }),
         "a continuation without attribute bytes"},
        {"endlessContinuations",
         answer([](std::uint16_t tid) { return response(tid, Bytes(4000, 0x35), {1, 2}); }),
         "attribute lists longer than 65536 bytes"},
        {"longerThanTheBuffer", answer([](std::uint16_t) { return Bytes(SdpReceiveCapacity + 1, 0x07); }),
         "an answer longer than 4096 bytes"},
        {"closed", [](const Bytes&, int) { return FakeSdpServer::Reply{{}, true}; }, "closed the connection"},
        {"emptyPdu", answer([](std::uint16_t) { return Bytes{}; }), "closed the connection"},
    };
    for (const Case& c : cases) {
        FakeSdpServer server(c.responder);
        const Outcome outcome = search(server);
        EXPECT_FALSE(outcome.ok) << c.name;
        EXPECT_NE(outcome.error.text.find(c.reason), std::string::npos) << c.name << ": " << outcome.error.text;
        EXPECT_NE(outcome.error.code, 0) << c.name;
    }
}

TEST(SdpClient, SilenceEndsWithATimeOutAndCancelEndsTheWait)
{
    FakeSdpServer silent([](const Bytes&, int) { return FakeSdpServer::Reply{}; });
    const Outcome outcome = search(silent, 200, 5000);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.error.code, ETIMEDOUT);
    EXPECT_NE(outcome.error.text.find("no answer within 200 ms"), std::string::npos) << outcome.error.text;

    // The whole exchange is bounded as well: a server that trickles parts
    // just within each receive limit still ends.
    FakeSdpServer trickling([](const Bytes& request, int) {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        return FakeSdpServer::Reply{{response(tidOf(request), {0x35}, {1, 2})}, false};
    });
    const Outcome slow = search(trickling, 1000, 300);
    EXPECT_FALSE(slow.ok);
    EXPECT_EQ(slow.error.code, ETIMEDOUT);

    CancelSignal cancel;
    auto transport = silent.connect(&cancel);
    SdpClient client(*transport, 600000, 600000);
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancel.cancel();
    });
    Bytes listsRead;
    SdpError error;
    EXPECT_FALSE(client.searchAttributes(ObexObjectPushUuid, listsRead, error));
    canceller.join();
    EXPECT_EQ(error.code, ECANCELED);
}

TEST(SdpClient, SplitRejectsMalformedOuterLists)
{
    struct Case {
        const char* name;
        Bytes bytes;
        bool ok;
        std::size_t records;
    };
    const Case cases[] = {
        {"nothing", {}, true, 0},
        {"emptySequence", {0x35, 0x00}, true, 0},
        {"notASequence", u8(1), false, 0},
        {"trailingBytes", {0x35, 0x00, 0x00}, false, 0},
        {"outerTooLong", {0x35, 0x05, 0x35, 0x00}, false, 0},
        {"recordPastOuter", {0x35, 0x03, 0x35, 0x05, 0x00}, false, 0},
        {"badRecordHeader", {0x35, 0x02, 0xF8, 0x00}, false, 0},
        {"twoEmptyRecords", {0x35, 0x04, 0x35, 0x00, 0x35, 0x00}, true, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::size_t, std::size_t>> records;
        SdpError error;
        EXPECT_EQ(splitSdpAttributeLists(c.bytes, records, error), c.ok) << c.name << ": " << error.text;
        if (c.ok) {
            EXPECT_EQ(records.size(), c.records) << c.name;
        }
    }
}

TEST(SdpClient, RequestCarriesA128BitTargetWhole)
{
    const BtUuid target{{0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978}};
    const Bytes request = sdpSearchAttributeRequest(7, target, {0xAA, 0xBB});
    const Bytes expected = cat({{0x06, 0x00, 0x07, 0x00, 0x1F, 0x35, 0x11, 0x1C},
                                bigEndian(0x12345678, 4), bigEndian(0x9ABCDEF0, 4), bigEndian(0x0F1E2D3C, 4),
                                bigEndian(0x4B5A6978, 4),
                                {0x0F, 0xE8, 0x35, 0x05, 0x0A, 0x00, 0x00, 0xFF, 0xFF, 0x02, 0xAA, 0xBB}});
    EXPECT_EQ(request, expected);
}

} // namespace
