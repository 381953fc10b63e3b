// The line a Symbian build shows for a UID in the protected or the test range.

#include "BuildFixture.h"

#include "core/builder/packaging/SymbianUid.h"

using BuildTest::BuildFixture;
using BuildTest::RecordingExecutor;
using Brask::UidRange;

namespace {

const char* const ProtectedLine = " is in the protected range (below 0x80000000): the package installs only when "
                                  "signed through the platform's signing programme.\n";
const char* const TestLine = " is in the test range (0xE0000000-0xEFFFFFFF): the package is for development only.\n";

TEST(SymbianUidRange, BoundariesOfEachRange)
{
    struct Case {
        const char* uid;
        UidRange range;
    };
    const Case cases[] = {
        {"0x00000000", UidRange::Protected},   {"0x2000abcd", UidRange::Protected},
        {"0x7FFFFFFF", UidRange::Protected},   {"0x80000000", UidRange::Unprotected},
        {"0xdfffffff", UidRange::Unprotected}, {"0xE0000000", UidRange::Test},
        {"0xe1234567", UidRange::Test},        {"0xEFFFFFFF", UidRange::Test},
        {"0xF0000000", UidRange::Unprotected}, {"0xFFFFFFFF", UidRange::Unprotected},
        {"0X12345678", UidRange::Invalid},     {"0x1234567", UidRange::Invalid},
        {"", UidRange::Invalid},               {"0x-1234567", UidRange::Invalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uid);
        EXPECT_EQ(Brask::uidRange(c.uid), c.range);
        const std::string note = Brask::uidRangeNote(c.uid);
        switch (c.range) {
        case UidRange::Protected: EXPECT_EQ(note, std::string("UID ") + c.uid + ProtectedLine); break;
        case UidRange::Test: EXPECT_EQ(note, std::string("UID ") + c.uid + TestLine); break;
        default: EXPECT_EQ(note, "");
        }
    }
}

class SymbianUidBuild : public BuildFixture {
protected:
    struct Result {
        int status;
        std::vector<std::string> messages;
        std::vector<std::string> symbianCommands;
        size_t messagesBeforeTools = 0;
    };

    Result build(const std::string& uid)
    {
        m_kit.writeTemplates();
        RecordingExecutor executor;
        Result result;
        executor.sideEffect = [&](const std::string& command) {
            if (command.find("bldmake") != std::string::npos)
                result.messagesBeforeTools = executor.messages.size();
            if (command.find("CreateSIS") != std::string::npos)
                TestSupport::writeFile("LauncherApp.sis", "");
        };
        auto manager = makeManager(&executor);
        manager->getProject()->setProperty("S60v3UID", uid);
        result.status = manager->build();
        result.messages = executor.messages;
        for (const std::string& command : executor.ran) {
            if (command.rfind("cmd ", 0) != 0 && command.find("xgcc") == std::string::npos
                && command.find("lintel") == std::string::npos)
                result.symbianCommands.push_back(command);
        }
        return result;
    }
};

TEST_F(SymbianUidBuild, TheRangeLineComesBeforeTheToolsWhichRunUnchanged)
{
    const Result plain = build("0xA0001234");
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(plain.symbianCommands.size(), 3u);
    EXPECT_EQ(plain.messagesBeforeTools, 0u);

    for (const char* uid : {"0x2000ABCD", "0xE0001234"}) {
        SCOPED_TRACE(uid);
        const Result noted = build(uid);
        EXPECT_EQ(noted.status, 0);
        ASSERT_FALSE(noted.messages.empty());
        EXPECT_EQ(noted.messages.front(), Brask::uidRangeNote(uid));
        EXPECT_EQ(noted.messagesBeforeTools, 1u);
        EXPECT_EQ(noted.symbianCommands, plain.symbianCommands);
    }

    // A bad UID still gets only its own line.
    const Result bad = build("0x2000ABC");
    EXPECT_EQ(bad.status, -1);
    EXPECT_EQ(bad.messages, std::vector<std::string>{"Bad UID: \"0x2000ABC\"\n"});
    EXPECT_TRUE(bad.symbianCommands.empty());
}

} // namespace
