// The two programs as a new user starts them: the window's options and its
// project argument (run without a display, so no window or box can wait),
// and varbuild-cli on a source dated in the future and on a kit that was
// moved after its configuration was written.

#include "BuildFixture.h"

#include <filesystem>
#include <functional>
#include <regex>
#include <sys/time.h>

using BuildTest::shellQuote;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;

// Texts of a row hold "@T" for the row's temporary directory and "@K" for
// the build tree's kit.
std::string expand(std::string text, const std::string& tmp)
{
    text = std::regex_replace(text, std::regex("@T"), tmp);
    return std::regex_replace(text, std::regex("@K"), Kit);
}

// A kit at `root` made of the build tree's: bin by links but for its own
// copy of config.xml, include/ and lib/ copied, the rest by links.
void copyKit(const std::string& root)
{
    fs::create_directories(root + "/bin");
    for (const auto& entry : fs::directory_iterator(Kit)) {
        const std::string name = entry.path().filename();
        if (name == "include" || name == "lib")
            fs::copy(entry.path(), root + "/" + name, fs::copy_options::recursive);
        else if (name != "bin")
            fs::create_directory_symlink(entry.path(), root + "/" + name);
    }
    for (const auto& entry : fs::directory_iterator(Kit + "/bin")) {
        if (entry.path().filename() == "config.xml")
            fs::copy_file(entry.path(), root + "/bin/config.xml");
        else
            fs::create_symlink(entry.path(), root + "/bin/" + entry.path().filename().string());
    }
}

void copyDemo(const std::string& tmp)
{
    fs::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/demo", tmp + "/demo", fs::copy_options::recursive);
}

const char* const FutureWarning = "Warning: @T/demo/src/main.c was modified in the future (";

TEST(ProgramStart, OptionsProjectArgumentAndKitPlaces)
{
    struct Row {
        const char* name;
        std::function<void(const std::string& tmp)> prepare;
        // Run under sh, without display or VARNELDIR unless it sets them;
        // run `runs` times, the last run's results checked.
        std::string command;
        int runs;
        int status;
        std::vector<std::string> out;  // each in standard output
        std::vector<std::string> err;  // each in standard error; none: it is empty
    };
    const std::vector<std::string> usage = {"usage: varbuild [PROJECT.vnp]", "--version", "VARNELDIR", "DISPLAY",
                                            "VARNEL_HTTP_TIMEOUT", "VARBUILD_COMPILER_LAUNCHER"};
    auto withUsage = [&](std::vector<std::string> texts) {
        texts.insert(texts.end(), usage.begin(), usage.end());
        return texts;
    };
    const Row rows[] = {
        {"--help", {}, "@K/bin/varbuild --help", 1, 0, usage, {}},
        {"-h", {}, "@K/bin/varbuild -h some.vnp", 1, 0, usage, {}},
        {"unknown option", {}, "@K/bin/varbuild --bogus", 1, 2, {},
         withUsage({"varbuild: unknown option \"--bogus\" (a project file whose name starts with \"-\" is opened as "
                    "./--bogus)\n\nusage:"})},
        // Said before the display is looked for; the window would then
        // open without a project.
        {"unreadable project", {}, "VARNELDIR=@K @K/bin/varbuild @T/missing.vnp", 1, 1, {},
         {"The project @T/missing.vnp cannot be opened (No such file or directory). VarBuild starts without a "
          "project.\n",
          "no display"}},
        {"project that is a directory", [](const std::string& tmp) { fs::create_directory(tmp + "/dir.vnp"); },
         "VARNELDIR=@K @K/bin/varbuild @T/dir.vnp", 1, 1, {},
         {"The project @T/dir.vnp cannot be opened (it is a directory)."}},
        // Said on every Build Changed, which still builds.
        {"future timestamp",
         [](const std::string& tmp) {
             copyDemo(tmp);
             const struct timeval day[2] = {{std::time(nullptr) + 86400, 0}, {std::time(nullptr) + 86400, 0}};
             ASSERT_EQ(::utimes((tmp + "/demo/src/main.c").c_str(), day), 0);
         },
         "VARNELDIR=@K @K/bin/varbuild-cli build --changed @T/demo/demo.vnp", 2, 0,
         {FutureWarning, "Build Changed: 1 compiled, 2 up to date; resources up to date; link ran; "},
         {"Building for"}},
        // The configuration names its directories relative to the kit, so
        // the moved kit compiles against its own header and library.
        {"moved kit",
         [](const std::string& tmp) {
             copyKit(tmp + "/old");
             copyDemo(tmp);
             fs::rename(tmp + "/old", tmp + "/new");
         },
         "VARNELDIR=@T/new @K/bin/varbuild-cli build @T/demo/demo.vnp", 1, 0,
         {" -I@T/new/include ", " -s@T/new/lib/pipe ", "Build complete"}, {"Building for"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.command.find("/bin/varbuild ") != std::string::npos && !fs::exists(Kit + "/bin/varbuild"))
            continue; // built without the window
        TestSupport::TempDir tmp;
        if (row.prepare)
            row.prepare(tmp.path());
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u VARNELDIR "
            + expand(row.command, tmp.path()) + " 2>" + shellQuote(tmp.file("err")) + " </dev/null";
        TestSupport::ShellRun run;
        for (int i = 0; i < row.runs; ++i)
            run = TestSupport::runShell(command);
        const std::string err = readFile(tmp.file("err"));
        EXPECT_EQ(run.status, row.status) << run.output << err;
        for (const std::string& text : row.out)
            EXPECT_NE(run.output.find(expand(text, tmp.path())), std::string::npos) << text << "\n" << run.output;
        for (const std::string& text : row.err)
            EXPECT_NE(err.find(expand(text, tmp.path())), std::string::npos) << text << "\n" << err;
        if (row.err.empty()) {
            EXPECT_EQ(err, "");
        }
        if (row.name == std::string("future timestamp")) {
            const std::string warning = expand(FutureWarning, tmp.path());
            EXPECT_EQ(run.output.find(warning), run.output.rfind(warning)) << "said once per build";
        }
    }
}

} // namespace
