#include "BuildFixture.h"

#include "core/profiles/Vendor.h"
#include "platform/CommandLine.h"
#include "platform/ProcessRunner.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using TestSupport::writeFile;

namespace BuildTest {

std::string shellQuote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

void writeScript(const std::string& path, const std::string& body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

namespace {

// Logs the tool's name and arguments, then fails with FAKE_FAIL_<NAME> when
// that is set.
std::string prelude(const std::string& log, const std::string& name)
{
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    return "{ printf '%s' " + name + "; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } >> "
        + shellQuote(log) + "\n"
        + "if [ -n \"$FAKE_FAIL_" + upper + "\" ]; then echo \"" + name + ": failing as asked\"; exit \"$FAKE_FAIL_"
        + upper + "\"; fi\n";
}

std::string runForOutput(const std::string& command)
{
    Platform::ProcessRunner runner;
    std::string out;
    runner.run(command, true, [&out](const char* data, size_t size) { out.append(data, size); });
    return out;
}

} // namespace

FakeKit::FakeKit(const std::string& root)
    : m_root(root)
{
    writeFile(root + "/profiles/vendors/definitions.txt", "");
    const std::string bin = root + "/bin/";
    writeScript(bin + "xgcc", prelude(log(), "xgcc") + R"(out=; prev=; src=
for a in "$@"; do [ "$prev" = "-o" ] && out=$a; prev=$a; src=$a; done
if [ ! -f "$src" ]; then echo "xgcc: $src: No such file or directory"; exit 1; fi
if grep -q FAILME "$src"; then echo "$src:1: error: FAILME found"; exit 3; fi
printf '; compiled from %s\n' "$src" > "$out"
)");
    writeScript(bin + "lintel", prelude(log(), "lintel") + R"(prev=
for a in "$@"; do
  case "$a" in *.s|*.lst) [ -f "$a" ] || { echo "lintel: cannot open $a"; exit 1; };; esac
  case "$prev" in -R) echo resources > "$a";; -B) echo program > "$a";; -L) echo library > "$a";; esac
  [ "$a" = "-elim" ] && echo '; reduced program' > rebuild.s
  prev=$a
done
exit 0
)");
    writeScript(bin + "cmd", prelude(log(), "cmd") + R"([ "$1" = /c ] || exit 1
case "$2" in
  mkdir) mkdir "$3" || exit 1 ;;
  copy) cp "$3" "$4" || exit 1 ;;
  *) exit 1 ;;
esac
)");
    fs::create_symlink("/usr/bin/zip", bin + "zip");

    const std::string sym = symbianDir() + "/";
    writeScript(sym + "bldmake", prelude(log(), "bldmake") + "[ -f Bld.inf ] || { echo 'bldmake: no Bld.inf'; exit 1; }\n");
    writeScript(sym + "abld", prelude(log(), "abld") + "[ -f LauncherApp.mmp ] || exit 1\n");
    writeScript(sym + "CreateSIS", prelude(log(), "CreateSIS") + "[ -f LauncherApp.pkg ] || exit 1\n"
                "[ -n \"$FAKE_NO_SIS\" ] && exit 0\n"
                "n=$(cat " + shellQuote(sym + "count") + " 2>/dev/null || echo 0); n=$((n+1)); echo $n > "
                + shellQuote(sym + "count") + "\n"
                "{ echo \"package $n\"; cat LauncherApp.pkg; } > LauncherApp.sis\n");
}

void FakeKit::addRuntime(const std::string& id) const
{
    const std::string dir = m_root + "/profiles/runtimes/" + id;
    const std::string work = dir + "/jar";
    writeFile(work + "/kv/Interp.class", "class bytes");
    writeFile(work + "/META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nCreated-By: runtime " + id + "\n");
    {
        TestSupport::DirectoryGuard guard;
        if (::chdir(work.c_str()) == 0)
            runForOutput("/usr/bin/zip -q -r " + Brask::quoteArgument(dir + "/VarnelRuntime.jar") + " kv META-INF");
    }
    fs::remove_all(work);
    writeFile(dir + "/devices.txt", "devices of " + id + "\n");
    writeFile(dir + "/config.h", "#define RUNTIME \"" + id + "\"\n");
}

void FakeKit::writeTemplates() const
{
    const std::string dir = m_root + "/profiles/runtimes/S60v3/LauncherTemplate/";
    writeFile(dir + "LauncherApp.cpp", "name=%s hex=%s\n");
    writeFile(dir + "Bld.inf", "PRJ_MMPFILES\nLauncherApp.mmp\n");
    writeFile(dir + "LauncherApp.mmp", "%s|%s|%s|%s\n");
    writeFile(dir + "LauncherApp.pkg", "%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s\n");
    writeFile(dir + "xxxxxxxx.rss", "caption %s, %s\n");
    writeFile(dir + "xxxxxxxx_reg.rss", "%s;%s;%s;%s\n");
}

std::vector<std::string> zipEntries(const std::string& archive)
{
    std::istringstream in(runForOutput("/usr/bin/unzip -Z1 " + Brask::quoteArgument(archive)));
    std::vector<std::string> entries;
    for (std::string line; std::getline(in, line);)
        entries.push_back(line);
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string zipEntry(const std::string& archive, const std::string& entry)
{
    return runForOutput("/usr/bin/unzip -p " + Brask::quoteArgument(archive) + " " + entry);
}

BuildFixture::BuildFixture(const std::string& kitName, const std::string& projectName)
    : m_root(m_tmp.file(kitName))
    , m_projectDir(m_tmp.file(projectName) + "/")
    , m_output(m_projectDir + "Output")
    , m_projectName(projectName)
    , m_kit(m_root)
    , m_varneldir("VARNELDIR", m_root)
    , m_path("PATH", m_root + "/bin:" + m_kit.symbianDir() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"))
{
    TestSupport::makeDirs(m_projectDir);
}

std::unique_ptr<Brask::ProjectManager> BuildFixture::makeManager(Brask::CommandExecutor* executor)
{
    // The configuration's report of its defaults is not what these tests look at.
    std::FILE* diagnostics = Brask::diagnosticStream();
    Brask::setDiagnosticStream(nullptr);
    auto manager = std::make_unique<Brask::ProjectManager>(m_root, executor, m_kit.createSis());
    Brask::setDiagnosticStream(diagnostics);
    manager->createProject(m_projectDir);
    manager->getProject()->setName(m_projectName);
    return manager;
}

void BuildFixture::addFile(Brask::ProjectManager& manager, const std::string& path, const std::string& content)
{
    new Brask::Sourcefile(path, manager.getProject()->getRoot());
    writeFile(m_projectDir + Brask::toSlashes(path), content);
}

void BuildFixture::addDevice(Brask::ProjectManager& manager, const std::string& name, const std::string& runtime)
{
    Brask::ProfileDatabase& db = manager.getProfileDatabase();
    Brask::Vendor& vendor = db.getVendors().empty() ? db.addVendor("V", "") : *db.getVendors().front();
    vendor.addDevice(name).setRuntime(runtime);
}

} // namespace BuildTest
