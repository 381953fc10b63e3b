// varbuild-cli build -j: compiles run side by side, yet the transcript is the
// one-by-one build's byte for byte, also when a compile fails. The kit's real
// compiler runs behind a wrapper that makes later sources finish first.

#include "BuildFixture.h"
#include "core/builder/KeptOutputs.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using BuildTest::shellQuote;
using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;

using CliRun = TestSupport::ShellRun;
using TestSupport::runShell;

// Whether `pid` has ended (or is a zombie left for its reaper) within `ms`;
// a signalled process group may take a moment to go.
bool goneWithin(pid_t pid, int ms)
{
    for (int waited = 0; waited <= ms; waited += 20) {
        const std::string stat = TestSupport::exists("/proc/" + std::to_string(pid) + "/stat")
            ? readFile("/proc/" + std::to_string(pid) + "/stat")
            : std::string();
        const size_t paren = stat.rfind(')');
        if (stat.empty() || (paren != std::string::npos && stat.compare(paren + 2, 1, "Z") == 0))
            return true;
        ::usleep(20000);
    }
    return false;
}

// The completion line carries the clock time.
std::string withoutTime(const std::string& transcript)
{
    return std::regex_replace(transcript, std::regex("Build complete, time: [^\n]*"), "Build complete, time: T");
}

class ParallelBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/demo", m_tmp.file("demo"),
                 fs::copy_options::recursive);
        // The kit by links, except bin/xgcc: the wrapper written by delayCompiles().
        fs::create_directories(m_tmp.file("kit/bin"));
        for (const auto& entry : fs::directory_iterator(Kit)) {
            if (entry.path().filename() != "bin")
                fs::create_directory_symlink(entry.path(), m_tmp.file("kit") / entry.path().filename());
        }
        for (const auto& entry : fs::directory_iterator(Kit + "/bin")) {
            if (entry.path().filename() != "xgcc")
                fs::create_symlink(entry.path(), m_tmp.file("kit/bin") / entry.path().filename());
        }
        for (int i = 0; i < 4; ++i)
            addSource("p" + std::to_string(i) + ".c",
                      "int p" + std::to_string(i) + "(int x)\n{\n    return x * " + std::to_string(i + 2) + ";\n}\n");
        delayCompiles({});
    }

    void addSource(const std::string& name, const std::string& content)
    {
        writeFile(m_tmp.file("demo/" + name), content);
        std::string text = readFile(project());
        text.insert(text.rfind("</Project>"), "\t<File path=\"" + name + "\"/>\n");
        writeFile(project(), text);
    }

    // The wrapper sleeps the longer the earlier its source comes in `order`,
    // runs the real compiler and logs "end SOURCE" when it is done.
    void delayCompiles(const std::vector<std::string>& order)
    {
        std::string body = "for last; do :; done\ncase \"$last\" in\n";
        for (size_t i = 0; i < order.size(); ++i)
            body += "  *" + order[i] + ") sleep " + std::to_string(0.1 * double(order.size() - i)) + " ;;\n";
        body += "esac\n" + shellQuote(Kit + "/bin/xgcc") + " \"$@\"\ncode=$?\necho \"end $last\" >> "
            + shellQuote(m_tmp.file("ends.log")) + "\nexit $code\n";
        BuildTest::writeScript(m_tmp.file("kit/bin/xgcc"), body);
    }

    std::string project() const { return m_tmp.file("demo/demo.vnp"); }

    // A build from a clean Output (or from `earlier`), so every run meets the
    // same state.
    CliRun build(const std::string& options, const std::map<std::string, std::string>& earlier = {})
    {
        fs::remove_all(m_tmp.file("demo/Output"));
        for (const auto& [name, content] : earlier) {
            fs::create_directories(m_tmp.file("demo/Output"));
            writeFile(m_tmp.file("demo/Output/" + name), content);
        }
        fs::remove(m_tmp.file("ends.log"));
        return runShell("VARNELDIR=" + shellQuote(m_tmp.file("kit")) + " " + shellQuote(Kit + "/bin/varbuild-cli")
                        + " build " + options + " " + shellQuote(project()) + " </dev/null 2>&1");
    }

    // The sources in the order the build compiles them.
    std::vector<std::string> compileOrder(const std::string& transcript) const
    {
        std::vector<std::string> sources;
        const std::regex compile("Running: [^\n]*/bin/xgcc [^\n]* (\\S+\\.(?:c|cpp))\n");
        for (std::sregex_iterator it(transcript.begin(), transcript.end(), compile), end; it != end; ++it)
            sources.push_back((*it)[1]);
        return sources;
    }

    // Output's files and what they hold.
    std::map<std::string, std::string> outputFiles() const
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_tmp.file("demo/Output")))
            if (entry.is_regular_file())
                files[entry.path().lexically_relative(m_tmp.file("demo/Output")).string()] = readFile(entry.path());
        return files;
    }

    std::vector<std::string> endOrder() const
    {
        std::vector<std::string> ends;
        const std::string log = readFile(m_tmp.file("ends.log"));
        const std::regex line("end (\\S+)\n");
        for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
            ends.push_back((*it)[1]);
        return ends;
    }

    TempDir m_tmp;
};

TEST_F(ParallelBuild, TranscriptIsTheSequentialOneByteForByte)
{
    const CliRun plain = build("");
    ASSERT_EQ(plain.status, 0) << plain.output;
    const std::vector<std::string> order = compileOrder(plain.output);
    ASSERT_EQ(order.size(), 7u) << plain.output;
    delayCompiles(order);

    const CliRun sequential = build("");
    ASSERT_EQ(sequential.status, 0) << sequential.output;
    // One job is the build as it always was.
    const CliRun one = build("-j 1");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(withoutTime(one.output), withoutTime(sequential.output));
    EXPECT_EQ(endOrder(), order);

    for (const std::string options : {"-j 4", "-j3", "-j"}) {
        SCOPED_TRACE(options);
        const CliRun parallel = build(options);
        EXPECT_EQ(parallel.status, 0);
        EXPECT_EQ(withoutTime(parallel.output), withoutTime(sequential.output));
        EXPECT_TRUE(fs::exists(m_tmp.file("demo/Output/program")));
    }
    // The wrapper did reorder the compiles: the first source ended last.
    build("-j 7");
    const std::vector<std::string> ends = endOrder();
    ASSERT_EQ(ends.size(), order.size());
    EXPECT_EQ(ends.back(), order.front());
    EXPECT_NE(ends, order);
}

TEST_F(ParallelBuild, FailingCompileEndsTheTranscriptWhereSequentialDoes)
{
    const std::vector<std::string> order = compileOrder(build("").output);
    ASSERT_EQ(order.size(), 7u);
    delayCompiles(order);
    const std::string pristine = readFile(order[0]);
    // An earlier build's assembly for every other source: a compile that
    // ran unseen must neither leave its own file nor lose the earlier one.
    std::map<std::string, std::string> earlier;
    for (size_t i = 0; i < order.size(); i += 2)
        earlier[fs::path(order[i]).stem().string() + ".s"] = "earlier build\n";

    struct Case {
        const char* name;
        size_t failing;
    };
    for (const Case& c : {Case{"first", 0}, Case{"middle", 3}, Case{"last", 6}}) {
        SCOPED_TRACE(c.name);
        const std::string path = order[c.failing];
        const std::string before = readFile(path);
        writeFile(path, before + "\nint broken( { return; }\n");

        const CliRun sequential = build("", earlier);
        const auto sequentialFiles = outputFiles();
        EXPECT_EQ(sequential.status, 1);
        EXPECT_EQ(compileOrder(sequential.output).size(), c.failing + 1) << sequential.output;
        EXPECT_NE(sequential.output.find(path + ":"), std::string::npos) << sequential.output;
        EXPECT_NE(sequential.output.find("Tool returned error: "), std::string::npos) << sequential.output;
        for (const std::string options : {"-j 2", "-j 7"}) {
            SCOPED_TRACE(options);
            const CliRun parallel = build(options, earlier);
            EXPECT_EQ(parallel.status, sequential.status);
            EXPECT_TRUE(parallel.output == sequential.output) << parallel.output;
            EXPECT_TRUE(outputFiles() == sequentialFiles);
            EXPECT_FALSE(fs::exists(m_tmp.file("demo/Output/program")));
        }
        writeFile(path, before);
    }
    EXPECT_EQ(readFile(order[0]), pristine);
}

TEST_F(ParallelBuild, InterruptEndsEveryRunningCompileAndShowsEachThatStarted)
{
    // Every compile hangs in a child of its own, logging that child's id;
    // Build Changed's question for the host compilers is answered at once.
    BuildTest::writeScript(m_tmp.file("kit/bin/xgcc"),
                           "[ \"$1\" = --print-host-compilers ] && exit 0\nsleep 30 &\necho $! >> "
                               + shellQuote(m_tmp.file("pids")) + "\nwait\n");
    struct Case {
        const char* options;
        size_t started;       // compiles running when the stop comes
        const char* summary;  // Build Changed's line, before "Build stopped."
    };
    const Case cases[] = {
        {"", 1, nullptr},
        {"-j 3", 3, nullptr},
        {"--changed -j 2", 2, "Build Changed: 2 compiled, 0 up to date; resources built; link not run; no package made\n"
                              "Build stopped.\n"},
    };
    std::string first;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        fs::remove_all(m_tmp.file("demo/Output"));
        fs::remove(m_tmp.file("pids"));
        const CliRun run = runShell("VARNELDIR=" + shellQuote(m_tmp.file("kit")) + " "
                                    + shellQuote(Kit + "/bin/varbuild-cli") + " build " + c.options + " "
                                    + shellQuote(project()) + " >" + shellQuote(m_tmp.file("out"))
                                    + " 2>&1 </dev/null & pid=$!; sleep 1.5; kill -INT $pid; wait $pid; echo $?");
        EXPECT_EQ(run.output, "130\n");
        const std::string output = readFile(m_tmp.file("out"));
        EXPECT_NE(output.find("Build stopped.\n"), std::string::npos) << output;
        if (c.summary) {
            EXPECT_NE(output.find(c.summary), std::string::npos) << output;
        }
        // Each compile that started shows its "Running:" line, in source
        // order, as the first ones of the one-by-one build.
        const std::vector<std::string> shown = compileOrder(output);
        EXPECT_EQ(shown.size(), c.started) << output;
        if (first.empty() && !shown.empty())
            first = shown.front();
        EXPECT_TRUE(!shown.empty() && shown.front() == first) << output;
        EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()).size(), shown.size()) << output;
        // No compile's child is left.
        const std::string pids = readFile(m_tmp.file("pids"));
        EXPECT_EQ(std::count(pids.begin(), pids.end(), '\n'), static_cast<long>(c.started)) << pids;
        std::istringstream lines(pids);
        for (pid_t pid; lines >> pid;)
            EXPECT_TRUE(goneWithin(pid, 2000)) << pid;
    }
}

TEST_F(ParallelBuild, JobsOptionIsChecked)
{
    struct Case {
        const char* options;
        const char* error;
    };
    const Case cases[] = {
        {"-j 0", "-j needs a number of jobs from 1 to 256, not \"0\""},
        {"-j 257", "-j needs a number of jobs from 1 to 256, not \"257\""},
        {"-jx", "-j needs a number of jobs from 1 to 256, not \"x\""},
        {"-j99999999999", "-j needs a number of jobs from 1 to 256, not \"99999999999\""},
        // The word after -j is its count when it reads as one or the project
        // follows; a second word after the count is a second project.
        {"-j -3", "-j needs a number of jobs from 1 to 256, not \"-3\""},
        {"-j abc", "-j needs a number of jobs from 1 to 256, not \"abc\""},
        {"-j 1.5", "-j needs a number of jobs from 1 to 256, not \"1.5\""},
        {"-j ''", "-j needs a number of jobs from 1 to 256, not \"\""},
        {"-j 2 extra.vnp", "usage: varbuild-cli build [--changed] [-j [N]] [--launcher CMD] PROJECT.vnp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const CliRun run = build(c.options);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.output.find(c.error), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(m_tmp.file("demo/Output")));
    }
}

// What killed builds left is settled by the next one; what a build still
// running keeps aside is not touched.
TEST(KeptOutputs, KilledBuildsLeaveNothingButTheirOwnersDo)
{
    TempDir tmp;
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(gone, ::waitpid(gone, nullptr, 0));
    auto kept = [&](const char* name, pid_t owner) {
        return Brask::keptOutputName(tmp.file(name), owner, 3);
    };
    struct Row {
        const char* output;  // the assembly: written with "new" when `present`
        bool present;
        pid_t owner;
        const char* left;  // what `output` holds afterwards ("" when missing)
        bool keptStays;
    };
    const Row rows[] = {
        {"missing.s", false, gone, "old", false},
        {"rewritten.s", true, gone, "new", false},
        {"running.s", false, ::getppid(), "", true},
    };
    for (const Row& row : rows) {
        if (row.present)
            writeFile(tmp.file(row.output), "new");
        writeFile(kept(row.output, row.owner), "old");
    }
    writeFile(tmp.file(".note.kept-x-1"), "not ours");
    Brask::settleKeptOutputs(tmp.path());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.output);
        EXPECT_EQ(fs::exists(tmp.file(row.output)) ? readFile(tmp.file(row.output)) : "", row.left);
        EXPECT_EQ(fs::exists(kept(row.output, row.owner)), row.keptStays);
    }
    EXPECT_TRUE(fs::exists(tmp.file(".note.kept-x-1")));
}

} // namespace
