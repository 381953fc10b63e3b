// varbuild-cli build --changed after sequences of edits: two copies of the
// demo project take the same edits, one built in full and one with
// --changed, and after every build their Output directories must hold the
// same bytes (JARs with their zip timestamps zeroed). The summary line shows
// that only what had to run ran.

#include "BuildFixture.h"

#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>

using BuildTest::shellQuote;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;

uint32_t le16(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

uint32_t le32(const std::string& b, size_t at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

// Zeroes the times of a local or central header at `header`: the DOS time
// and date at `timeAt`, and the times in an extended-timestamp extra field.
void zeroTimes(std::string& zip, size_t timeAt, size_t extraAt, size_t extraLength)
{
    ASSERT_LE(extraAt + extraLength, zip.size());
    std::fill(zip.begin() + timeAt, zip.begin() + timeAt + 4, '\0');
    for (size_t at = extraAt; at + 4 <= extraAt + extraLength;) {
        const uint32_t id = le16(zip, at), size = le16(zip, at + 2);
        if (id == 0x5455 && size > 1)
            std::fill(zip.begin() + at + 5, zip.begin() + at + 4 + size, '\0');
        at += 4 + size;
    }
}

// The archive with every stored time zeroed, found through its central
// directory.
std::string withoutZipTimes(std::string zip)
{
    const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(end, std::string::npos);
    if (end == std::string::npos)
        return zip;
    const size_t entries = le16(zip, end + 10);
    size_t at = le32(zip, end + 16);
    for (size_t i = 0; i < entries && at + 46 <= zip.size(); ++i) {
        const size_t name = le16(zip, at + 28), extra = le16(zip, at + 30), comment = le16(zip, at + 32);
        const size_t local = le32(zip, at + 42);
        zeroTimes(zip, at + 12, at + 46 + name, extra);
        zeroTimes(zip, local + 10, local + 30 + le16(zip, local + 26), le16(zip, local + 28));
        at += 46 + name + extra + comment;
    }
    return zip;
}

// Every file below `dir` by its relative path, the build record left out
// (`dir` itself when it is a file).
std::map<std::string, std::string> outputFiles(const std::string& dir)
{
    std::map<std::string, std::string> files;
    if (fs::is_regular_file(dir))
        files[""] = readFile(dir);
    if (!fs::is_directory(dir))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string relative = fs::relative(entry.path(), dir).string();
        if (!entry.is_regular_file() || relative == ".varbuild-record")
            continue;
        const std::string bytes = readFile(entry.path().string());
        files[relative] = entry.path().extension() == ".jar" ? withoutZipTimes(bytes) : bytes;
    }
    return files;
}

// One copy of the demo project, which the edits below change.
struct Copy {
    std::string dir;  // the project directory
    bool changed;     // built with --changed
    std::string name = "demo";

    std::string project() const { return dir + "/" + name + ".vnp"; }
    void write(const std::string& file, const std::string& text) const { writeFile(dir + "/" + file, text); }
    void append(const std::string& file, const std::string& text) const
    {
        writeFile(dir + "/" + file, readFile(dir + "/" + file) + text);
    }
    // Replaces the first `from` in the project file with `to`.
    void editProject(const std::string& from, const std::string& to) const
    {
        std::string text = readFile(project());
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        writeFile(project(), text.replace(at, from.size(), to));
    }
    void setProperty(const std::string& key, const std::string& value) const
    {
        editProject("\t</Configuration>", "\t\t<Property name=\"" + key + "\" value=\"" + value + "\"/>\n\t</Configuration>");
    }
    void remove(const std::string& file) const { fs::remove(dir + "/" + file); }
};

using Edit = std::function<void(const Copy&)>;

struct Step {
    Edit edit;
    int status;
    // The --changed build's summary line without "Build Changed: "; none
    // for a build that is killed (killFile()), whose Output is not compared.
    const char* summary;
    const char* options = "";
    // A line the --changed build must show as well.
    const char* says = "";
};

const char* const kAllBuilt = "3 compiled, 0 up to date; resources built; link ran; 3 packages made, 0 up to date";

struct Sequence {
    const char* name;
    Edit setup;
    std::vector<Step> steps;
    const char* first = kAllBuilt;
    // One of the kit's demo projects.
    const char* project = "demo";
};
void PrintTo(const Sequence& sequence, std::ostream* out)
{
    *out << sequence.name;
}

const char* const kNothingToDo = "0 compiled, 3 up to date; resources up to date; link up to date; 0 packages made, 3 up to date";

const Edit nothing = [](const Copy&) {};

// The kit lies beside both copies.
std::string kitOf(const Copy& copy)
{
    return fs::path(copy.dir).parent_path().parent_path().string() + "/kit";
}

// Names the source at which the compiler stops the build, as Ctrl+C would.
std::string stopFile(const std::string& kit)
{
    return kit + "/stop-at";
}

// Names the source (or "zip": the last zip of the first package) at which
// the build is killed with SIGKILL.
std::string killFile(const std::string& kit)
{
    return kit + "/kill-at";
}

// Shell text that kills VarBuild when killFile() holds `what` (in the full
// build, and then in the changed one, which removes the file). It first
// waits (boundedly) until it is VarBuild's last child, and a second more for
// the build to record the compile shown before it, so a loaded machine
// leaves the same files behind as an idle one.
std::string killWhen(const std::string& kit, const std::string& what, const std::string& before)
{
    return "kill=" + shellQuote(killFile(kit)) + "\n"
           "if [ -f \"$kill\" ] && [ " + what + " = \"$(cat \"$kill\")\" ]; then\n"
           "  [ -z \"$CHANGED\" ] || rm -f \"$kill\"\n"
           "  for i in $(seq 100); do\n"
           "    [ \"$(cat /proc/[0-9]*/stat 2>/dev/null | awk -v p=$PPID '$4 == p' | wc -l)\" -le 1 ] && break\n"
           "    sleep 0.1\n  done\n  sleep 1\n  " + before + "\n"
           "  kill -KILL $PPID; exit 1\nfi\n";
}

// The kit's compiler: a wrapper of the real one that adds `options`, stops
// the build at the source that stopFile() names (in the full build, and then
// in the changed one, which removes the file) and kills it at the one
// killFile() names.
void writeCompiler(const std::string& kit, const std::string& options)
{
    BuildTest::writeScript(kit + "/bin/xgcc",
                           "for last; do :; done\n"
                           "stop=" + shellQuote(stopFile(kit)) + "\n"
                           "if [ -f \"$stop\" ] && [ \"${last##*/}\" = \"$(cat \"$stop\")\" ]; then\n"
                           "  [ -z \"$CHANGED\" ] || rm -f \"$stop\"\n"
                           "  kill -INT $PPID; sleep 10; exit 1\nfi\n"
                           + killWhen(kit, "\"${last##*/}\"", ":") +
                           "exec " + shellQuote(Kit + "/bin/xgcc") + " \"$@\" " + options + "\n");
}

// The kit's zip, killed at the last zip of a package (-r -9 PART META-INF)
// when killFile() says "zip", with the work file it was writing left beside
// the package.
void writeZip(const std::string& kit)
{
    BuildTest::writeScript(kit + "/bin/zip",
                           "if [ \"$1\" = -r ]; then\n"
                           + killWhen(kit, "zip", "printf 'PK\\003\\004' >\"$(dirname \"$3\")/zi4Kq9Xz\"") +
                           "fi\nexec " + shellQuote(Kit + "/bin/zip") + " \"$@\"\n");
}

// A directory first on PATH in every build: gcc and g++ put there come
// before the host's own.
std::string hostBin(const Copy& copy)
{
    return fs::path(kitOf(copy)).parent_path().string() + "/hostbin";
}

std::string foundOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return dir + "/" + name;
    }
    return "/usr/bin/" + name;
}

// Host compilers that add `options` to every compile, as another compiler
// first on PATH or an upgrade in place would change what a compile makes.
void writeHostCompilers(const Copy& copy, const std::string& options)
{
    for (const char* name : {"gcc", "g++"})
        BuildTest::writeScript(hostBin(copy) + "/" + name,
                               "exec " + shellQuote(foundOnPath(name)) + " \"$@\" " + options + "\n");
}

const Sequence kSequences[] = {
    {"Source", nothing,
     {{[](const Copy& c) { c.append("src/main.c", "int touched = 1;\n"); }, 0,
       "1 compiled, 2 up to date; resources up to date; link ran; 3 packages made, 0 up to date"},
      {nothing, 0, kNothingToDo}}},
    {"HeaderTwoLevelsDeep",
     [](const Copy& c) {
         c.write("src/game/deep.h", "#define DEEP 1\n");
         c.write("src/game/world.h", readFile(c.dir + "/src/game/world.h") + "#include \"deep.h\"\n");
         c.append("src/game/world.cpp", "int deepValue = DEEP;\n");
     },
     {{[](const Copy& c) { c.write("src/game/deep.h", "#define DEEP 22\n"); }, 0,
       "2 compiled, 1 up to date; resources up to date; link ran; 3 packages made, 0 up to date", "-j 2"}}},
    {"DefineInTheSettings",
     [](const Copy& c) {
         c.append("src/main.c", "int definedValue = DEMO_VALUE;\n");
         c.setProperty("extraCmd", "-DDEMO_VALUE=1");
     },
     {{[](const Copy& c) { c.editProject("-DDEMO_VALUE=1", "-DDEMO_VALUE=2"); }, 0,
       "3 compiled, 0 up to date; resources up to date; link ran; 3 packages made, 0 up to date"}}},
    {"IncludePathOrder",
     [](const Copy& c) {
         c.write("inc1/cfg.h", "#define CFG 1\n");
         c.write("inc2/cfg.h", "#define CFG 2\n");
         c.append("src/util/fixed.c", "#include <cfg.h>\nint cfgValue = CFG;\n");
         c.setProperty("additionalIncludeDirectories", "inc1;inc2");
     },
     {{[](const Copy& c) { c.editProject("inc1;inc2", "inc2;inc1"); }, 0,
       "3 compiled, 0 up to date; resources up to date; link ran; 3 packages made, 0 up to date"}}},
    {"CompilerReplaced", nothing,
     {{[](const Copy& c) { writeCompiler(kitOf(c), "-O0"); },
       0, "3 compiled, 0 up to date; resources up to date; link ran; 3 packages made, 0 up to date"}}},
    {"HostCompilerChanged",
     [](const Copy& c) { c.append("src/main.c", "#ifndef HOST\n#define HOST 1\n#endif\nint host = HOST;\n"); },
     {{[](const Copy& c) { writeHostCompilers(c, "-DHOST=2"); }, 0,
       "3 compiled, 0 up to date; resources up to date; link ran; 3 packages made, 0 up to date"},
      {[](const Copy& c) { writeHostCompilers(c, "-DHOST=3"); }, 0,
       "3 compiled, 0 up to date; resources up to date; link ran; 3 packages made, 0 up to date"},
      {nothing, 0, kNothingToDo}}},
    {"FileAddedAndRemoved", nothing,
     {{[](const Copy& c) {
           c.write("src/extra.c", "int extra(void) { return 7; }\n");
           c.editProject("</Project>", "\t<File path=\"src/extra.c\"/>\n</Project>");
       },
       0, "1 compiled, 3 up to date; resources up to date; link ran; 3 packages made, 0 up to date"},
      {[](const Copy& c) { c.editProject("\t<File path=\"src/extra.c\"/>\n", ""); }, 0,
       "0 compiled, 3 up to date; resources up to date; link ran; 3 packages made, 0 up to date"}}},
    {"TargetDeviceChanged",
     [](const Copy& c) { c.editProject("<Criteria>\n", "<Criteria>\n\t\t<Vendor is=\"Quessa\"/>\n"); },
     {{[](const Copy& c) { c.editProject("Quessa", "Vellomar"); }, 0,
       "0 compiled, 3 up to date; resources up to date; link up to date; 1 package made, 2 up to date"}},
     "3 compiled, 0 up to date; resources built; link ran; 2 packages made, 0 up to date"},
    {"OutputFileDeleted", nothing,
     {{[](const Copy& c) { c.remove("Output/main.s"); }, 0,
       "1 compiled, 2 up to date; resources up to date; link ran; 3 packages made, 0 up to date"},
      {[](const Copy& c) { c.remove("Output/2/demo.jar"); }, 0,
       "0 compiled, 3 up to date; resources up to date; link up to date; 1 package made, 2 up to date"},
      {[](const Copy& c) { c.remove("Output/1/demo.jad"); }, 0,
       "0 compiled, 3 up to date; resources up to date; link up to date; 1 package made, 2 up to date"},
      {[](const Copy& c) { c.remove("Output/resources"); }, 0,
       "0 compiled, 3 up to date; resources built; link up to date; 3 packages made, 0 up to date"}}},
    {"CompileFailedLastTime", nothing,
     {{[](const Copy& c) { c.append("src/game/world.cpp", "int broken( {\n"); }, 1,
       "1 compiled, 2 up to date; resources up to date; link not run; no package made"},
      {[](const Copy& c) {
           std::string text = readFile(c.dir + "/src/game/world.cpp");
           c.write("src/game/world.cpp", text.erase(text.rfind("int broken")));
       },
       0, "1 compiled, 2 up to date; resources up to date; link ran; 3 packages made, 0 up to date"}}},
    {"StoppedBuild", nothing,
     {{[](const Copy& c) {
           c.append("src/game/world.cpp", "int stopped = 1;\n");
           c.append("src/util/fixed.c", "int stoppedToo = 2;\n");
           writeFile(stopFile(kitOf(c)), "world.cpp");
       },
       130, "1 compiled, 1 up to date; resources up to date; link not run; no package made"},
      {nothing, 0, "2 compiled, 1 up to date; resources up to date; link ran; 3 packages made, 0 up to date"}}},
    {"KilledWhileCompiling", nothing,
     {{[](const Copy& c) {
           c.append("src/game/world.cpp", "int killed = 1;\n");
           c.append("src/util/fixed.c", "int killedToo = 2;\n");
           writeFile(killFile(kitOf(c)), "fixed.c");
       },
       0, nullptr, "-j 2"},
      {nothing, 0, "1 compiled, 2 up to date; resources up to date; link ran; 3 packages made, 0 up to date", "-j 2"}}},
    {"KilledWhilePackaging", nothing,
     {{[](const Copy& c) {
           c.append("src/main.c", "int packaged = 1;\n");
           writeFile(killFile(kitOf(c)), "zip");
       },
       0, nullptr},
      {nothing, 0, "0 compiled, 3 up to date; resources up to date; link up to date; 3 packages made, 0 up to date"}}},
    {"RecordDamaged", nothing,
     {{[](const Copy& c) {
           if (!c.changed)
               return;
           // The last entry (the third package) loses its last byte.
           const std::string record = c.dir + "/Output/.varbuild-record";
           const std::string bytes = readFile(record);
           writeFile(record, bytes.substr(0, bytes.size() - 1));
       },
       0, "0 compiled, 3 up to date; resources up to date; link up to date; 1 package made, 2 up to date", "",
       "is damaged (entry 8 at byte"},
      {nothing, 0, kNothingToDo}}},
    // Dead-code elimination and the Symbian package with the demo SDK.
    {"SymbianPackage", nothing,
     {{[](const Copy& c) { c.append("src/util/fixed.c", "int unused(void) { return 4; }\n"); }, 0,
       "1 compiled, 2 up to date; resources up to date; link ran; 1 package made, 0 up to date"},
      {nothing, 0, "0 compiled, 3 up to date; resources up to date; link up to date; 0 packages made, 1 up to date"}},
     "3 compiled, 0 up to date; resources built; link ran; 1 package made, 0 up to date", "symbian"},
    {"RecordOfAnotherVersion", nothing,
     {{[](const Copy& c) {
           if (!c.changed)
               return;
           const std::string record = c.dir + "/Output/.varbuild-record";
           std::string bytes = readFile(record);
           bytes[8] = '\x7f';
           writeFile(record, bytes);
       },
       0, "3 compiled, 0 up to date; resources built; link ran; 3 packages made, 0 up to date"}}},
};

class ChangedBuildSequence : public ::testing::TestWithParam<Sequence> {
protected:
    void SetUp() override
    {
        // The kit by links, except bin/xgcc (writeCompiler()) and what the
        // Symbian SDK's tools write below Epoc32, which other tests running
        // at the same time write as well.
        fs::create_directories(m_tmp.file("kit/bin"));
        fs::create_directories(m_tmp.file("kit/symbian/Epoc32"));
        fs::create_directory_symlink(Kit + "/symbian/Epoc32/tools", m_tmp.file("kit/symbian/Epoc32/tools"));
        for (const auto& entry : fs::directory_iterator(Kit)) {
            if (entry.path().filename() != "bin" && entry.path().filename() != "symbian")
                fs::create_directory_symlink(entry.path(), m_tmp.file("kit") / entry.path().filename());
        }
        for (const auto& entry : fs::directory_iterator(Kit + "/bin")) {
            if (entry.path().filename() != "xgcc" && entry.path().filename() != "zip")
                fs::create_symlink(entry.path(), m_tmp.file("kit/bin") / entry.path().filename());
        }
        writeCompiler(m_tmp.file("kit"), "");
        writeZip(m_tmp.file("kit"));
        fs::create_directories(m_tmp.file("hostbin"));
        for (Copy* copy : {&m_full, &m_changed}) {
            copy->name = GetParam().project;
            fs::create_directories(fs::path(copy->dir).parent_path());
            fs::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/" + copy->name, copy->dir,
                     fs::copy_options::recursive);
        }
    }

    // Builds both copies; `options` go to both, --changed to the second.
    void buildBoth(int status, const std::string& summary, const std::string& options, const std::string& says = "")
    {
        const TestSupport::ShellRun full = build(m_full, options);
        const TestSupport::ShellRun changed = build(m_changed, options);
        if (summary.empty()) {
            // Killed: no summary, and what is left is settled by the next build.
            EXPECT_NE(full.status, 0) << full.output;
            EXPECT_NE(changed.status, 0) << changed.output;
            EXPECT_EQ(changed.output.find("Build Changed:"), std::string::npos) << changed.output;
            return;
        }
        EXPECT_EQ(full.status, status) << full.output;
        EXPECT_EQ(changed.status, status) << changed.output;
        std::smatch line;
        ASSERT_TRUE(std::regex_search(changed.output, line, std::regex("Build Changed: ([^\n]*)\n"))) << changed.output;
        EXPECT_EQ(line[1], summary) << changed.output;
        EXPECT_NE(changed.output.find(says), std::string::npos) << changed.output;
        // Nothing of the changed build's own bookkeeping is left beside the
        // outputs. The Symbian package and the dead-code pass write outside Output.
        for (const char* place : {"Output", "so", "rebuild.s"}) {
            SCOPED_TRACE(place);
            const auto fullFiles = outputFiles(m_full.dir + "/" + place);
            const auto changedFiles = outputFiles(m_changed.dir + "/" + place);
            ASSERT_TRUE(!fullFiles.empty() || std::string(place) != "Output");
            for (const auto& [name, bytes] : fullFiles) {
                const auto other = changedFiles.find(name);
                EXPECT_TRUE(other != changedFiles.end() && other->second == bytes) << name << " differs";
            }
            for (const auto& [name, bytes] : changedFiles) {
                EXPECT_TRUE(fullFiles.count(name)) << name << " only in the changed build";
                // What a killed build leaves: old assembly moved aside, zip's work file.
                EXPECT_FALSE(std::regex_search(name, std::regex("\\.kept-|(^|/)zi[A-Za-z0-9]{6}$"))) << name;
            }
        }
    }

    // The compiler writes the source's path into the assembly, so each copy
    // is built in the same place: moved there for its build and back.
    TestSupport::ShellRun build(const Copy& copy, const std::string& options)
    {
        const std::string place = m_tmp.file("work/demo");
        fs::create_directories(fs::path(place).parent_path());
        fs::rename(copy.dir, place);
        const char* path = std::getenv("PATH");
        const TestSupport::ShellRun run = TestSupport::runShell(
            (copy.changed ? "CHANGED=1 " : "") + std::string("VARNELDIR=") + shellQuote(m_tmp.file("kit"))
            + " EPOCROOT=" + shellQuote(m_tmp.file("kit/symbian/")) + " PATH="
            + shellQuote(m_tmp.file("hostbin") + ":" + m_tmp.file("kit/symbian/Epoc32/tools") + ":"
                         + (path ? path : "/usr/bin:/bin"))
            + " "
            + shellQuote(Kit + "/bin/varbuild-cli") + " build " + (copy.changed ? "--changed " : "") + options + " "
            + shellQuote(place + "/" + copy.name + ".vnp") + " </dev/null 2>&1");
        fs::rename(place, copy.dir);
        return run;
    }

    TestSupport::TempDir m_tmp;
    Copy m_full{m_tmp.file("full/demo"), false};
    Copy m_changed{m_tmp.file("changed/demo"), true};
};

TEST_P(ChangedBuildSequence, LeavesOutputAsAFullBuildDoes)
{
    const Sequence& sequence = GetParam();
    sequence.setup(m_full);
    sequence.setup(m_changed);
    buildBoth(0, sequence.first, "");
    int number = 0;
    for (const Step& step : sequence.steps) {
        SCOPED_TRACE("step " + std::to_string(++number));
        step.edit(m_full);
        step.edit(m_changed);
        buildBoth(step.status, step.summary ? step.summary : "", step.options, step.says);
    }
}

INSTANTIATE_TEST_SUITE_P(Edits, ChangedBuildSequence, ::testing::ValuesIn(kSequences),
                         [](const ::testing::TestParamInfo<Sequence>& info) { return std::string(info.param.name); });

} // namespace
