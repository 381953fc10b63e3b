#include "cli/ConsoleExecutor.h"
#include "platform/ProgramSearch.h"
#include "util/PathUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string helper(const std::string& args)
{
    return Brask::quoteArgument(VB_PROCESS_HELPER) + " " + args;
}

// The line that follows "Error 2 on line 721" for the missing program.
std::string notFound()
{
    return "Cannot find the program \"vb-no-such-program-anywhere\": looked in " + Platform::describeProgramSearch()
        + "\n";
}

// A ConsoleExecutor writing into a temporary file instead of the console.
class ConsoleExecutorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_file = std::tmpfile();
        ASSERT_NE(m_file, nullptr);
    }
    void TearDown() override { std::fclose(m_file); }

    std::string written()
    {
        std::fflush(m_file);
        std::string out;
        std::rewind(m_file);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, m_file)) > 0)
            out.append(buf, n);
        std::fseek(m_file, 0, SEEK_END);
        return out;
    }

    std::FILE* m_file = nullptr;
};

} // namespace

TEST_F(ConsoleExecutorTest, EchoAnnouncesTheCommandAndPassesOutputThrough)
{
    Brask::ConsoleExecutor executor(m_file);
    const std::string command = helper("stderr oops");
    EXPECT_EQ(executor.execute(command, true), 0);
    const std::string out = written();
    ASSERT_EQ(out.rfind("Running: " + command + "\n", 0), 0u) << out;
    EXPECT_NE(out.find("oops\n"), std::string::npos);
    EXPECT_NE(out.find("on stdout\n"), std::string::npos);
}

TEST_F(ConsoleExecutorTest, WithoutEchoOnlyStderrAndNoAnnouncement)
{
    Brask::ConsoleExecutor executor(m_file);
    EXPECT_EQ(executor.execute(helper("stderr oops"), false), 0);
    EXPECT_EQ(written(), "oops\n");
}

TEST_F(ConsoleExecutorTest, ReturnsTheToolsCode)
{
    Brask::ConsoleExecutor executor(m_file);
    EXPECT_EQ(executor.execute(helper("exit 7"), true), 7);
    EXPECT_EQ(executor.execute(helper("signal 9"), true), 137);
}

TEST_F(ConsoleExecutorTest, RefusedStartPrintsTheFailureLine)
{
    Brask::ConsoleExecutor executor(m_file);
    EXPECT_EQ(executor.execute("vb-no-such-program-anywhere -x", true), 2);
    EXPECT_EQ(written(), "Running: vb-no-such-program-anywhere -x\nError 2 on line 721\n" + notFound());
}

TEST_F(ConsoleExecutorTest, OwnLinesNeverRunOnAfterAnOpenToolLine)
{
    Brask::ConsoleExecutor executor(m_file);
    executor.execute(helper("noeol partial"), true);
    executor.message("Build complete");
    executor.execute(helper("noeol again"), true);
    executor.execute("vb-no-such-program-anywhere", true);
    executor.message("done\n");
    const std::string a = "Running: " + helper("noeol partial") + "\n";
    const std::string b = "Running: " + helper("noeol again") + "\n";
    EXPECT_EQ(written(), a + "partial\nBuild complete\n" + b + "again\n"
                             + "Running: vb-no-such-program-anywhere\nError 2 on line 721\n" + notFound() + "done\n");
}

TEST_F(ConsoleExecutorTest, MessageEndsItsLine)
{
    Brask::ConsoleExecutor executor(m_file);
    executor.message("one");
    executor.message("two\n");
    executor.message("");
    EXPECT_EQ(written(), "one\ntwo\n\n");
}
