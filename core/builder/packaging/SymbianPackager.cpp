#include "core/builder/packaging/SymbianPackager.h"

#include "core/project/Project.h"
#include "core/ProjectManager.h"
#include "core/builder/BuildSupport.h"
#include "core/builder/ChangedBuild.h"
#include "core/CommandExecutor.h"
#include "core/builder/packaging/SymbianUid.h"
#include "platform/ProgramSearch.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Brask {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Replaces `to` with `from`; a missing source leaves any earlier target alone.
bool moveReplacing(const String& from, const String& to)
{
    if (!fileExists(from))
        return false;
    if (fileExists(to) && std::remove(to.c_str()) != 0)
        return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

int ProjectManager::packageSymbian()
{
    return SymbianPackager(*this).run();
}

SymbianPackager::SymbianPackager(ProjectManager& manager)
    : m_manager(manager)
    , m_templates(manager.getRoot() + "/profiles/runtimes/S60v3/LauncherTemplate/")
{
}

bool SymbianPackager::isValidUid(const String& uid)
{
    if (uid.size() != 10 || uid[0] != '0' || uid[1] != 'x')
        return false;
    for (size_t i = 2; i < uid.size(); ++i) {
        if (!isHexDigit(uid[i]))
            return false;
    }
    return true;
}

String SymbianPackager::fillTemplate(const String& text, const Vector<String>& values)
{
    String out;
    out.reserve(text.size());
    size_t next = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '%' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char conversion = text[i + 1];
        if (conversion == '%') {
            out += '%';
            ++i;
        } else if (conversion == 's' && next < values.size()) {
            out += values[next++];
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

int SymbianPackager::copyLauncherTemplate(const String& name, std::initializer_list<String> values)
{
    const String source = m_templates + name;
    const String target = "so/" + name;
    const String cantRead = "Can't read \"" + source + "\"\n";

    File in(std::fopen(source.c_str(), "rb"));
    if (!in) {
        showMessage(m_manager, cantRead);
        return -1;
    }
    // Only a regular file has a size to read: a directory opens fine but
    // reports an absurd end position.
    struct stat info;
    long size = -1;
    if (::fstat(fileno(in.get()), &info) == 0 && S_ISREG(info.st_mode) && std::fseek(in.get(), 0, SEEK_END) == 0)
        size = std::ftell(in.get());
    if (size < 0 || std::fseek(in.get(), 0, SEEK_SET) != 0) {
        showMessage(m_manager, cantRead);
        return -1;
    }
    String text(static_cast<size_t>(size), '\0');
    if (std::fread(text.data(), 1, text.size(), in.get()) != text.size()) {
        diag("%s", cantRead.c_str());
        return -1;
    }
    in.reset();

    const String filled = fillTemplate(text, Vector<String>(values));
    File out(std::fopen(target.c_str(), "wb"));
    const String cantWrite = "Can't write \"" + target + "\"\n";
    if (!out) {
        showMessage(m_manager, cantWrite);
        return -1;
    }
    // A short write (full disk) must not pass for a filled launcher.
    const bool written = std::fwrite(filled.data(), 1, filled.size(), out.get()) == filled.size();
    if (std::fclose(out.release()) != 0 || !written) {
        showMessage(m_manager, cantWrite);
        return -1;
    }
    return 0;
}

namespace {

// The SDK names its root with EPOCROOT; without it the SDK's usual
// installation path stands.
String sdkCreateSisPath(const String& configured)
{
    const char* epocRoot = std::getenv("EPOCROOT");
    if (!epocRoot || !*epocRoot || configured != ProjectManager::DefaultCreateSisPath)
        return configured;
    String path = epocRoot;
    if (path[path.size() - 1] != '/')
        path += '/';
    return path + "Epoc32/tools/CreateSIS";
}

} // namespace

int SymbianPackager::fillLaunchers(const String& name, const String& uid, const String& programPath)
{
    const String hex = uid.substr(2);
    if (copyLauncherTemplate("LauncherApp.cpp", {name, hex})
        || copyLauncherTemplate("Bld.inf", {})
        || copyLauncherTemplate("LauncherApp.mmp", {hex, uid, hex, hex})
        || copyLauncherTemplate("LauncherApp.pkg", {name, uid, hex, hex, programPath, hex, hex, hex, hex, hex,
                                                    hex, hex, hex, hex, hex})
        || copyLauncherTemplate("xxxxxxxx.rss", {name, name}))
        return -1;
    if (!moveReplacing("so/xxxxxxxx.rss", "so/" + hex + ".rss"))
        return -1;
    if (copyLauncherTemplate("xxxxxxxx_reg.rss", {hex, uid, hex, hex}))
        return -1;
    if (!moveReplacing("so/xxxxxxxx_reg.rss", "so/" + hex + "_reg.rss"))
        return -1;
    return 0;
}

int SymbianPackager::run()
{
    Project* project = m_manager.getProject();
    if (!project)
        return 1;

    const String uid = project->getProperty("S60v3UID");
    if (!isValidUid(uid)) {
        showMessage(m_manager, "Bad UID: \"" + uid + "\"\n");
        return -1;
    }
    const String note = uidRangeNote(uid);
    if (!note.empty())
        showMessage(m_manager, note);
    const String hex = uid.substr(2);
    const String name = project->getName();
    const String programPath = project->getDirectory() + "Output/program";
    const String createSisPath = sdkCreateSisPath(m_manager.getCreateSisPath());
    const String createSis = commandPath(createSisPath) + " create -cert my.cert -key my.key -pass Zeqa LauncherApp.pkg";
    const String package = name + ".sis";

    ChangedBuild* changed = m_manager.changedBuild();
    ChangedBuild::Step step;
    if (changed) {
        const String so = project->getDirectory() + "so/";
        step.key = "package sis";
        step.command = uid + "\n" + name + "\n" + programPath + "\nbldmake bldfiles\nabld build gcce urel\n" + createSis;
        for (const char* file : {"LauncherApp.cpp", "Bld.inf", "LauncherApp.mmp", "LauncherApp.pkg", "xxxxxxxx.rss",
                                 "xxxxxxxx_reg.rss"})
            step.inputs.push_back(m_templates + file);
        step.inputs.push_back(outputDirectory(*project) + "/program");
        step.inputs.push_back(so + "my.cert");
        step.inputs.push_back(so + "my.key");
        step.inputs.push_back(createSisPath);
        for (const char* tool : {"bldmake", "abld"}) {
            const String found = Platform::findProgram(tool);
            if (!found.empty())
                step.inputs.push_back(found);
        }
        for (const String& file : {package, String("LauncherApp.cpp"), String("Bld.inf"), String("LauncherApp.mmp"),
                                   String("LauncherApp.pkg"), hex + ".rss", hex + "_reg.rss"})
            step.outputs.push_back(so + file);
        if (changed->upToDate(step)) {
            ++changed->counts.packagesUpToDate;
            return 0;
        }
        ++changed->counts.packagesMade;
    }
    const ChangedBuild::Clock started = ChangedBuild::now();

    // Exists after the first Symbian build.
    ::mkdir("so", 0777);

    if (fillLaunchers(name, uid, programPath) != 0)
        return -1;

    if (::chdir("so") != 0)
        return -1;
    // CreateSIS writes LauncherApp.sis, which takes the package's name with
    // one rename once every tool has succeeded: a failed or stopped build
    // leaves the previous package as it was. One left by an earlier failure
    // must not pass for this build's.
    const String made = "LauncherApp.sis";
    if (std::remove(made.c_str()) != 0 && errno != ENOENT) {
        showMessage(m_manager, "Can't remove the old package \"" + made + "\": " + std::strerror(errno) + "\n");
        return -1;
    }
    auto failed = [&](int result) {
        std::remove(made.c_str());
        return result;
    };
    if (int result = runTool(m_manager, "bldmake bldfiles"))
        return failed(result);
    if (int result = runTool(m_manager, "abld build gcce urel"))
        return failed(result);
    // Nothing in a build makes the signing files: say which is missing and
    // where, beside whatever CreateSIS reports.
    for (const char* signing : {"my.cert", "my.key"}) {
        if (!fileExists(signing))
            showMessage(m_manager, String("The signing ") + (signing[3] == 'c' ? "certificate" : "key") + " \""
                                       + signing + "\" is missing in \"" + currentDirectory() + "\"\n");
    }
    if (int result = runTool(m_manager, createSis))
        return failed(result);
    if (stopRequested(m_manager))
        return failed(kStoppedResult);

    if (!fileExists(made)) {
        showMessage(m_manager, "CreateSIS made no package: \"LauncherApp.sis\" is missing in \"" + currentDirectory()
                                   + "\"\n");
        return -1;
    }
    if (std::rename(made.c_str(), package.c_str()) != 0) {
        showMessage(m_manager, "Can't rename \"LauncherApp.sis\" to \"" + package + "\": " + std::strerror(errno)
                                   + "\n");
        return failed(-1);
    }
    if (changed)
        changed->succeeded(step, started);
    return 0;
}

} // namespace Brask
