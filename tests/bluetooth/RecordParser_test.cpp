// The data-element decoder and the record parser: the dump lines, the UUIDs
// collected, the record's channel and name, and every malformed input
// rejected without reading past it.

#include "SdpBuild.h"
#include "bluetooth/SdpElement.h"
#include "bluetooth/SdpRecordParser.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Brask;
using namespace SdpBuild;

namespace {

struct Parsed {
    bool ok = false;
    BtServiceRecord record;
    std::string comment;
    std::string text;
};

Parsed parse(const Bytes& bytes)
{
    Parsed parsed;
    TestSupport::CapturedDiagnostics diagnostics;
    SdpRecordParser parser;
    // A heap copy of exactly the record's size, so a read past it shows under the sanitizer.
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    parsed.ok = parser.parse(copy.get(), bytes.size(), parsed.record, parsed.comment);
    parsed.text = diagnostics.text();
    return parsed;
}

struct DumpCase {
    const char* name;
    Bytes value;
    const char* dump;  // the lines after the attribute line
};

class DumpLines : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpLines, PrintsTheElement)
{
    const DumpCase& c = GetParam();
    const Parsed parsed = parse(seq({attr(0x0200, c.value)}, 2));
    ASSERT_TRUE(parsed.ok) << parsed.text;
    EXPECT_EQ(parsed.text,
              "Attribute ID 512, streamSize: " + std::to_string(c.value.size()) + " bytes\n" + std::string(c.dump));
}

INSTANTIATE_TEST_SUITE_P(
    EveryElement, DumpLines,
    ::testing::Values(
        DumpCase{"nil", nil(), "NIL\n"},
        DumpCase{"uint8", u8(200), "uint8: 200 (0xC8)\n"},
        DumpCase{"uint16", u16(0xBEEF), "uint16: 48879 (0xBEEF)\n"},
        DumpCase{"uint32", u32(0xDEADBEEF), "uint32: 3735928559 (0xDEADBEEF)\n"},
        DumpCase{"uint64", uintN(8, ~0ull), "uint64: 18446744073709551615 (0xFFFFFFFFFFFFFFFF)\n"},
        DumpCase{"uint128", cat({{0x0C}, bigEndian(0x8000000000000001ull, 8), bigEndian(5, 8)}),
                 "uint128: 80000000000000010000000000000005\n"},
        DumpCase{"int8", intN(1, -1), "int8: -1 (0xFF)\n"},
        DumpCase{"int16", intN(2, -300), "int16: -300 (0xFED4)\n"},
        DumpCase{"int32", intN(4, -70000), "int32: -70000 (0xFFFEEE90)\n"},
        DumpCase{"int64", intN(8, -2), "int64: -2 (0xFFFFFFFFFFFFFFFE)\n"},
        DumpCase{"int64max", intN(8, 0x7FFFFFFFFFFFFFFFll), "int64: 9223372036854775807 (0x7FFFFFFFFFFFFFFF)\n"},
        DumpCase{"int128", cat({{0x14}, bigEndian(~0ull, 8), bigEndian(~0ull, 8)}),
                 "int128: FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"},
        DumpCase{"uuid16", uuid16(0x1105), "UUID 1105\n"},
        DumpCase{"uuid32", uuid32(0x00011105), "UUID 00011105\n"},
        DumpCase{"uuid128", uuid128(0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978),
                 "UUID 12345678-9ABCDEF0-0F1E2D3C-4B5A6978\n"},
        DumpCase{"string", text("OBEX Object Push"), "String: \"OBEX Object Push\"\n"},
        DumpCase{"string16", text("wide length", 2), "String: \"wide length\"\n"},
        DumpCase{"stringControl", text(std::string("a\x1b[31mb\0c", 9)), "String: \"a.[31mb.c\"\n"},
        DumpCase{"true", boolean(true), "true\n"},
        DumpCase{"false", boolean(false), "false\n"},
        DumpCase{"url", url("http://example.invalid/"), "URL: http://example.invalid/\n"},
        DumpCase{"sequence", seq({u8(1), seq({uuid16(3)})}),
                 "Sequence, 7 bytes.\n  uint8: 1 (0x01)\n  Sequence, 3 bytes.\n    UUID 0003\n"},
        DumpCase{"alternative", alt({boolean(true)}), "Alternative, 2 bytes.\n  true\n"},
        DumpCase{"sequence32", seq({nil()}, 4), "Sequence, 1 bytes.\n  NIL\n"}),
    [](const ::testing::TestParamInfo<DumpCase>& info) { return std::string(info.param.name); });

TEST(RecordParser, CollectsUuidsInWalkOrderWithTheBaseUuid)
{
    const Parsed parsed = parse(seq({
        attr(0x0001, seq({uuid16(0x1105), uuid32(0x00011106)})),
        attr(0x0009, seq({seq({uuid128(0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978), u16(0x0100)})})),
    }));
    ASSERT_TRUE(parsed.ok) << parsed.text;
    ASSERT_EQ(parsed.record.uuids.size(), 3u);
    EXPECT_EQ(parsed.record.uuids[0], (BtUuid{{0x00001105, 0x00001000, 0x80000080, 0x5F9B34FB}}));
    EXPECT_EQ(parsed.record.uuids[0], ObexObjectPushUuid);
    EXPECT_EQ(parsed.record.uuids[1], (BtUuid{{0x00011106, 0x00001000, 0x80000080, 0x5F9B34FB}}));
    EXPECT_EQ(parsed.record.uuids[2], (BtUuid{{0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978}}));
    EXPECT_EQ(parsed.record.classes, (std::vector<BtUuid>{parsed.record.uuids[0], parsed.record.uuids[1]}));
    EXPECT_NE(parsed.text.find("Attribute ID 1, streamSize: 10 bytes\nSequence, 8 bytes.\n  UUID 1105\n  UUID 00011106\n"),
              std::string::npos)
        << parsed.text;
}

TEST(RecordParser, GuidConversionKeepsWordAndByteOrder)
{
    const BtUuid uuid{{0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978}};
    const BtGuid guid = toGuid(uuid);
    EXPECT_EQ(guid.data1, 0x12345678u);
    EXPECT_EQ(guid.data2, 0x9ABCu);
    EXPECT_EQ(guid.data3, 0xDEF0u);
    const std::uint8_t data4[8] = {0x0F, 0x1E, 0x2D, 0x3C, 0x4B, 0x5A, 0x69, 0x78};
    EXPECT_EQ(0, std::memcmp(guid.data4, data4, 8));
    EXPECT_EQ(fromGuid(guid), uuid);
    EXPECT_EQ(toGuid(fromGuid(guid)), guid);
}

TEST(RecordParser, TakesChannelNameAndDescription)
{
    struct Case {
        const char* name;
        Bytes record;
        int port;
        std::string serviceName;
        std::string comment;
    };
    const Case cases[] = {
        {"plain", oppRecord(9, "OBEX Object Push"), 9, "OBEX Object Push", ""},
        {"zeroTerminated", oppRecord(12, std::string("Push\0", 5)), 12, "Push", ""},
        {"noRfcomm",
         seq({attr(0x0004, seq({seq({uuid16(0x0100), u16(25)})})), attr(0x0100, text("L2CAP only"))}), 0,
         "L2CAP only", ""},
        {"noDescriptorList", seq({attr(0x0100, text("x"))}), 0, "x", ""},
        {"channelAfter128BitUuid",
         seq({attr(0x0004, seq({seq({uuid128(0x00000003, 0x00001000, 0x80000080, 0x5F9B34FB), u8(5)})}))}), 5, "",
         ""},
        {"alternativeStacks",
         seq({attr(0x0004, alt({seq({seq({uuid16(0x0100)})}), seq({seq({uuid16(0x0100)}), seq({uuid16(3), u8(7)})})}))}),
         7, "", ""},
        {"languageBase",
         seq({attr(0x0006, seq({u16(0x656E), u16(0x006A), u16(0x0200)})), attr(0x0100, text("not this")),
              attr(0x0200, text("Name")), attr(0x0201, text("Description"))}),
         0, "Name", "Description"},
        {"nameNotAString", seq({attr(0x0100, u8(1))}), 0, "", ""},
        // Only 1-30 are RFCOMM channels; anything else leaves the record without one.
        {"channel0", classRecord(0x1105, u8(0)), 0, "", ""},
        {"channel31", classRecord(0x1105, u8(31)), 0, "", ""},
        {"channel30", classRecord(0x1105, u8(30)), 30, "", ""},
        {"channelAllOnes32", classRecord(0x1105, u32(0xFFFFFFFF)), 0, "", ""},
        {"badStackThenGood",
         seq({attr(0x0004, alt({seq({seq({uuid16(3), u8(40)})}), seq({seq({uuid16(3), u8(6)})})}))}), 6, "", ""},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.record);
        ASSERT_TRUE(parsed.ok) << c.name << "\n" << parsed.text;
        EXPECT_EQ(parsed.record.port, c.port) << c.name;
        EXPECT_EQ(parsed.record.name, c.serviceName) << c.name;
        EXPECT_EQ(parsed.comment, c.comment) << c.name;
    }
}

Bytes nestedValue(int levels)
{
    Bytes element = u8(7);
    for (int i = 0; i < levels; ++i)
        element = seq({element});
    return element;
}

TEST(RecordParser, ParsesSixteenLevelsBelowTheTopAndSkipsSeventeen)
{
    const Parsed sixteen = parse(seq({attr(0x0300, nestedValue(16))}));
    ASSERT_TRUE(sixteen.ok) << sixteen.text;
    EXPECT_NE(sixteen.text.find(std::string(32, ' ') + "uint8: 7 (0x07)\n"), std::string::npos) << sixteen.text;

    const Parsed seventeen = parse(seq({attr(0x0300, nestedValue(17))}));
    EXPECT_FALSE(seventeen.ok);
    EXPECT_NE(seventeen.text.find("Elements nested deeper than 16 levels\n"), std::string::npos) << seventeen.text;
    EXPECT_NE(seventeen.text.find("Failure in SdpRecordParser.cpp @ line "), std::string::npos) << seventeen.text;
}

TEST(RecordParser, RejectsMalformedRecordsAndStaysUsable)
{
    struct Case {
        const char* name;
        Bytes record;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "element missing"},
        {"notASequence", u8(1), "Record is not a sequence"},
        {"unknownType", seq({attr(1, {0xF8, 0x00})}), "unknown element type"},
        {"uuidSize8Bit", seq({attr(1, {0x18, 0x11})}), "size code not allowed"},
        {"uuidSize64Bit", seq({attr(1, cat({{0x1B}, bigEndian(1, 8)}))}), "size code not allowed"},
        {"integerSizeCode5", seq({attr(1, {0x0D, 0x02, 0x00, 0x01})}), "size code not allowed"},
        {"nilWithSize", seq({attr(1, {0x01, 0x00, 0x00})}), "size code not allowed"},
        {"booleanWide", seq({attr(1, {0x29, 0x00, 0x01})}), "size code not allowed"},
        {"stringFixedSize", seq({attr(1, {0x20, 0x41})}), "size code not allowed"},
        {"childLongerThanParent", seq({attr(1, {0x35, 0x05, 0x19, 0x11})}), "element longer than its parent"},
        {"grandchildLongerThanChild", seq({attr(1, {0x35, 0x04, 0x35, 0x03, 0x19, 0x11, 0x05})}),
         "element longer than its parent"},
        {"length2To31", seq({attr(1, {0x37, 0x7F, 0xFF, 0xFF, 0xFF, 0x19, 0x11, 0x05})}),
         "element longer than its parent"},
        {"length2To32Minus1", seq({attr(1, {0x37, 0xFF, 0xFF, 0xFF, 0xFF, 0x00})}), "element longer than its parent"},
        {"lengthFieldCut", seq({attr(1, {0x36, 0x00})}), "element header cut off"},
        {"valueCut", seq({attr(1, {0x0A, 0x00, 0x01})}), "element longer than its parent"},
        {"attributeIdNot16Bit", seq({u8(1), u8(2)}), "attribute ID expected"},
        {"attributeWithoutValue", seq({u16(1)}), "element missing"},
        {"recordLongerThanData", {0x35, 0x10, 0x09, 0x00}, "element longer than its parent"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = parse(c.record);
        EXPECT_FALSE(parsed.ok) << c.name;
        EXPECT_NE(parsed.text.find(c.reason), std::string::npos) << c.name << "\n" << parsed.text;
        EXPECT_NE(parsed.text.find("Failure "), std::string::npos) << c.name << "\n" << parsed.text;
    }
    // A parser that rejected a record walks the next one from level 0.
    SdpRecordParser parser;
    BtServiceRecord record;
    std::string comment;
    TestSupport::CapturedDiagnostics diagnostics;
    const Bytes deep = seq({attr(0x0300, nestedValue(17))});
    EXPECT_FALSE(parser.parse(deep.data(), deep.size(), record, comment));
    const Bytes good = oppRecord(3, "ok");
    EXPECT_TRUE(parser.parse(good.data(), good.size(), record, comment));
    EXPECT_EQ(record.port, 3);
}

TEST(SdpElement, DecodesHeadersAndLengths)
{
    struct Case {
        Bytes bytes;
        SdpDecodeError error;
        std::size_t header;
        std::size_t length;
    };
    const Case cases[] = {
        {nil(), SdpDecodeError::None, 1, 0},
        {u8(1), SdpDecodeError::None, 1, 1},
        {uintN(16, 1), SdpDecodeError::None, 1, 16},
        {uuid32(1), SdpDecodeError::None, 1, 4},
        {text("abc"), SdpDecodeError::None, 2, 3},
        {text("abc", 2), SdpDecodeError::None, 3, 3},
        {seq({u8(1)}, 4), SdpDecodeError::None, 5, 2},
        {{0x08}, SdpDecodeError::ValueTruncated, 0, 0},
        {{0x47, 0x00, 0x00, 0x00}, SdpDecodeError::HeaderTruncated, 0, 0},
        {{0x48}, SdpDecodeError::UnknownType, 0, 0},
        {{0xFF}, SdpDecodeError::UnknownType, 0, 0},
        {{}, SdpDecodeError::Empty, 0, 0},
    };
    for (const Case& c : cases) {
        SdpElement element;
        EXPECT_EQ(decodeSdpElement(c.bytes.data(), c.bytes.size(), element), c.error)
            << "first byte " << (c.bytes.empty() ? -1 : c.bytes[0]);
        if (c.error == SdpDecodeError::None) {
            EXPECT_EQ(element.headerSize, c.header);
            EXPECT_EQ(element.length, c.length);
            EXPECT_EQ(element.totalSize(), c.bytes.size());
        }
    }
}

TEST(BtAddress, TextAndParsing)
{
    const BtAddress address{0xAB, 0xCD, 0xEF, 0x12, 0x34, 0x56};
    EXPECT_EQ(addressText(address), "abcdef123456");
    struct Case {
        const char* text;
        bool ok;
    };
    for (const Case& c : {Case{"AB:CD:EF:12:34:56", true}, Case{"ab-cd-ef-12-34-56", true}, Case{"abcdef123456", true},
                          Case{"ABCDEF123456", true}, Case{"abcdef12345", false}, Case{"ab:cd:ef:12:34:5g", false},
                          Case{"ab:cd:ef:12:34", false}, Case{"abcdef1234567", false}, Case{"", false},
                          Case{"ab.cd.ef.12.34.56", false}}) {
        BtAddress parsed{};
        EXPECT_EQ(parseAddress(c.text, parsed), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(parsed, address) << c.text;
        }
    }
}

} // namespace
