#include "platform/ProcessRunner.h"
#include "platform/ProgramSearch.h"
#include "platform/RunnerGroup.h"
#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

std::string helper(const std::string& args)
{
    return Brask::quoteArgument(VB_PROCESS_HELPER) + " " + args;
}

struct Captured {
    RunResult result;
    std::string output;
    int calls = 0;
};

Captured runCaptured(const std::string& commandLine, bool echo = true)
{
    Captured c;
    ProcessRunner runner;
    c.result = runner.run(commandLine, echo, [&c](const char* data, size_t size) {
        c.output.append(data, size);
        ++c.calls;
    });
    EXPECT_FALSE(runner.isRunning());
    return c;
}

// Polls `done` until it holds; the limit only keeps a broken test from
// hanging, it is no timing assertion.
template <typename Pred>
bool eventually(Pred done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

TEST(ProcessRunner, ReturnsTheExitCode)
{
    for (int code : {0, 1, 2, 42, 255}) {
        const Captured c = runCaptured(helper("exit " + std::to_string(code)));
        EXPECT_EQ(c.result.code, code);
        EXPECT_EQ(c.result.failedStep, StepNone);
        EXPECT_EQ(c.output, "");
    }
}

TEST(ProcessRunner, ChildEndedBySignalGives128PlusSignal)
{
    for (int sig : {SIGKILL, SIGTERM, SIGSEGV, SIGABRT}) {
        const Captured c = runCaptured(helper("signal " + std::to_string(sig)));
        EXPECT_EQ(c.result.code, 128 + sig) << "signal " << sig;
        EXPECT_EQ(c.result.failedStep, StepNone);
    }
}

TEST(ProcessRunner, EchoCapturesStdoutAndStderrWithoutEchoOnlyStderr)
{
    const Captured both = runCaptured(helper("stderr boom"), true);
    EXPECT_NE(both.output.find("boom\n"), std::string::npos);
    EXPECT_NE(both.output.find("on stdout\n"), std::string::npos);

    const Captured errOnly = runCaptured(helper("stderr boom"), false);
    EXPECT_EQ(errOnly.output, "boom\n");
    EXPECT_EQ(errOnly.result.code, 0);
}

TEST(ProcessRunner, OutputArrivesWholeAndInOrder)
{
    const Captured noEol = runCaptured(helper("noeol abc"));
    EXPECT_EQ(noEol.output, "abc");

    const Captured pieces = runCaptured(helper("pieces 8"));
    EXPECT_EQ(pieces.output, "piece0 piece1 piece2 piece3 piece4 piece5 piece6 piece7\n");

    const Captured longLine = runCaptured(helper("longline 1000000"));
    EXPECT_EQ(longLine.output, std::string(1000000, 'x') + "\n");
    EXPECT_GT(longLine.calls, 1);
}

TEST(ProcessRunner, StdinIsAtEndOfFile)
{
    const Captured c = runCaptured(helper("stdin"));
    EXPECT_EQ(c.output, "read 0 bytes, eof\n");
}

TEST(ProcessRunner, BackgroundChildHoldingThePipeKeepsTheCallWaiting)
{
    const Captured c = runCaptured(helper("background 300"));
    EXPECT_EQ(c.result.code, 0);
    EXPECT_EQ(c.output, "parent done\nbackground done\n");
}

TEST(ProcessRunner, RefusedStartsReportErrnoAndStep)
{
    TestSupport::TempDir tmp;
    const std::string notExecutable = tmp.file("not-executable");
    TestSupport::writeFile(notExecutable, "data\n");
    ::chmod(notExecutable.c_str(), 0644);

    const std::string noInterpreter = tmp.file("no-interpreter");
    TestSupport::writeFile(noInterpreter, "#!/vb/no/such/interpreter\n");
    ::chmod(noInterpreter.c_str(), 0755);
    const char* root = std::getenv("VARNELDIR");
    const char* path = std::getenv("PATH");
    const std::string searched = "the directory of the running program (" + runningProgramDirectory()
        + "), VARNELDIR/bin (" + (root && *root ? std::string(root) + "/bin" : "VARNELDIR is not set") + ") and PATH ("
        + (path && *path ? path : "empty") + ")";

    struct Case {
        std::string line;
        int code;
        std::string detail;  // the line after "Error %i on line %i"
    };
    const Case cases[] = {
        {"vb-no-such-program-anywhere arg", ENOENT,
         "Cannot find the program \"vb-no-such-program-anywhere\": looked in " + searched},
        {tmp.file("missing/tool") + " arg", ENOENT, "Cannot find the program \"" + tmp.file("missing/tool") + "\""},
        {"", ENOENT, ""},
        {notExecutable, EACCES, "Cannot start the program \"" + notExecutable + "\": Permission denied"},
        {noInterpreter, ENOENT,
         "Cannot start the program \"" + noInterpreter + "\": the interpreter or loader it names is missing"},
    };
    for (const Case& k : cases) {
        const Captured c = runCaptured(k.line);
        EXPECT_EQ(c.result.code, k.code) << k.line;
        EXPECT_EQ(c.result.failedStep, StepCreateProcess) << k.line;
        EXPECT_EQ(c.calls, 0) << k.line;
        EXPECT_EQ(c.result.detail, k.detail);
        EXPECT_EQ(failureExplanation(c.result), k.detail.empty() ? "" : k.detail + "\n");
    }
    // Nothing was started, so nothing is left to reap.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    EXPECT_EQ(failureLine({ENOENT, StepCreateProcess}), "Error 2 on line 721\n");
}

TEST(ProcessRunner, ArgumentsAreSplitNotInterpretedByAShell)
{
    const Captured c = runCaptured(helper("args \"a b\"  c\\\"d \"\" $HOME;echo `x` *"));
    EXPECT_EQ(c.output, "[a b]\n[c\"d]\n[]\n[$HOME;echo]\n[`x`]\n[*]\n");
}

TEST(ProcessRunner, LongCommandLines)
{
    const Captured one = runCaptured(helper("arglengths " + std::string(100 * 1024, 'a')));
    EXPECT_EQ(one.output, "1 args, 102400 bytes\n");

    std::string many;
    for (int i = 0; i < 1024; ++i)
        many += " " + std::string(99, 'b');
    const Captured c = runCaptured(helper("arglengths" + many));
    EXPECT_EQ(c.output, "1024 args, 101376 bytes\n");
}

TEST(ProcessRunner, TerminateFromAnotherThreadEndsTheWholeGroup)
{
    ProcessRunner runner;
    std::atomic<bool> started{false};
    RunResult result;
    std::thread worker([&] {
        // The helper's own child also holds the pipe: only ending the whole
        // group lets run() return.
        result = runner.run(helper("hang"), true, [&](const char*, size_t) { started = true; });
    });
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    EXPECT_TRUE(runner.isRunning());
    runner.terminate();
    worker.join();
    EXPECT_EQ(result.code, 128 + SIGTERM);
    EXPECT_EQ(result.failedStep, StepNone);
    EXPECT_FALSE(runner.isRunning());
}

TEST(ProcessRunner, TerminateEscalatesToKill)
{
    ProcessRunner runner;
    std::atomic<bool> started{false};
    RunResult result;
    std::thread worker([&] {
        result = runner.run(helper("ignoreterm"), true, [&](const char*, size_t) { started = true; });
    });
    ASSERT_TRUE(eventually([&] { return started.load(); }));
    runner.terminate();
    worker.join();
    EXPECT_EQ(result.code, 128 + SIGKILL);
}

// Tools side by side that ignore SIGTERM: one stop ends them all, by the
// SIGKILL that follows the grace period they share.
TEST(RunnerGroup, StopAllEndsEveryToolThatIgnoresTerm)
{
    TestSupport::TempDir tmp;
    RunnerGroup group;
    constexpr size_t Tools = 3;
    std::vector<RunResult> results(Tools);
    std::vector<std::thread> workers;
    for (size_t i = 0; i < Tools; ++i)
        workers.emplace_back([&, i] {
            const std::string marker = Brask::quoteArgument(tmp.file(std::to_string(i)));
            results[i] = group.run("/bin/sh -c \"trap '' TERM; touch " + marker + "; sleep 60\"", nullptr);
        });
    EXPECT_TRUE(eventually([&] {
        for (size_t i = 0; i < Tools; ++i) {
            if (!TestSupport::exists(tmp.file(std::to_string(i))))
                return false;
        }
        return true;
    }));
    group.stopAll();
    for (std::thread& worker : workers)
        worker.join();
    for (const RunResult& result : results)
        EXPECT_EQ(result.code, 128 + SIGKILL);
    EXPECT_EQ(group.run("/bin/true", nullptr).code, 128 + SIGTERM) << "nothing starts after a stop";
}

TEST(ProcessRunner, TerminateWithoutChildDoesNothing)
{
    ProcessRunner runner;
    runner.terminate();
    EXPECT_FALSE(runner.isRunning());
    EXPECT_EQ(runCaptured(helper("exit 3")).result.code, 3);
}

TEST(StartDetached, StartsAndLeavesNoChildBehind)
{
    TestSupport::TempDir tmp;
    const std::string marker = tmp.file("started");
    std::string error;
    ASSERT_TRUE(startDetached(helper("touch " + Brask::quoteArgument(marker)), &error)) << error;
    EXPECT_TRUE(eventually([&] { return TestSupport::exists(marker); }));
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(StartDetached, ReportsWhatCannotStart)
{
    TestSupport::TempDir tmp;
    std::string error;
    EXPECT_FALSE(startDetached("vb-no-such-program-anywhere", &error));
    EXPECT_NE(error.find("vb-no-such-program-anywhere"), std::string::npos);
    error.clear();
    EXPECT_FALSE(startDetached(tmp.file("missing"), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(startDetached("  ", &error));
}

// A stop that lands while the child is being started, or before run() has
// even begun, ends that child: it is never lost, and the runner is not left
// with a tool that nobody can stop any more.
TEST(ProcessRunner, StopAtAnyMomentEndsTheStartingTool)
{
    TestSupport::TempDir tmp;
    // Before run(): nothing is started at all.
    {
        ProcessRunner runner;
        runner.terminate();
        const std::string marker = tmp.file("started");
        const RunResult r = runner.run(helper("touch " + Brask::quoteArgument(marker)), true, nullptr);
        EXPECT_EQ(r.code, 128 + SIGTERM);
        EXPECT_EQ(r.failedStep, StepNone);
        EXPECT_FALSE(TestSupport::exists(marker));
        EXPECT_EQ(runner.run(helper("exit 4"), true, nullptr).code, 4) << "the stop was used up";
    }
    // Around the start: every stop ends its hanging tool. A lost stop would
    // leave the run waiting; the rescue stop after a generous wait only keeps
    // the test from hanging and counts the loss.
    int lost = 0;
    for (int i = 0; i < 60; ++i) {
        ProcessRunner runner;
        std::atomic<bool> done{false};
        RunResult result;
        std::thread worker([&] {
            result = runner.run(helper("hang"), true, nullptr);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::microseconds((i % 12) * 150));
        runner.terminate();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!done) {
            ++lost;
            while (!done) {
                runner.terminate();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        worker.join();
        EXPECT_EQ(result.code, 128 + SIGTERM) << "iteration " << i;
    }
    EXPECT_EQ(lost, 0);
}

// Tools run without a controlling terminal: one that opens /dev/tty fails at
// once instead of being stopped by the terminal while the run waits. The
// runner is put in a session whose controlling terminal is a pseudo-terminal.
TEST(ProcessRunner, ToolsHaveNoControllingTerminal)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    TestSupport::TempDir tmp;
    const std::string report = tmp.file("report");

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        const int tty = ::open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
        if (tty < 0)
            ::_exit(90);
        ProcessRunner runner;
        std::string output;
        const RunResult r = runner.run(helper("tty"), true, [&](const char* d, size_t n) { output.append(d, n); });
        TestSupport::writeFile(report, std::to_string(r.code) + " " + output);
        ::_exit(0);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > limit) {
            ::kill(pid, SIGKILL);  // its stopped tool gets SIGHUP with the session's end
            ::waitpid(pid, &status, 0);
            ::close(master);
            FAIL() << "the tool was stopped by the terminal";
        }
        char buf[256];
        (void)!::read(master, buf, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(TestSupport::readFile(report), "3 no terminal\n");
}
