#include "core/builder/packaging/JavaMePackager.h"

#include "core/project/Project.h"
#include "core/ProjectManager.h"
#include "core/builder/BuildSupport.h"
#include "core/builder/ChangedBuild.h"
#include "core/builder/packaging/JadFile.h"
#include "core/CommandExecutor.h"
#include "core/profiles/Device.h"
#include "util/AtomicFile.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace Brask {

namespace {

String readWholeFile(const String& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int ProjectManager::packageJavaMe(bool includeResources)
{
    return JavaMePackager(*this).run(includeResources);
}

JavaMePackager::JavaMePackager(ProjectManager& manager)
    : m_manager(manager)
{
}

String JavaMePackager::manifestText(const String& name)
{
    return "Manifest-Version: 1.0\n"
           "MIDlet-Vendor: Kestrane\n"
           "MIDlet-Name: " + name + "\n"
           "MIDlet-1: " + name + " , " + name + ".png, KVMidlet\n"
           "MIDlet-Version: 1.0\n"
           "MicroEdition-Configuration: CLDC-1.1\n"
           "MicroEdition-Profile: MIDP-2.0\n";
}

String JavaMePackager::runtimeIdentifier(const String& runtime)
{
    const size_t slash = runtime.find_last_of("/\\");
    return slash == String::npos ? runtime : runtime.substr(slash + 1);
}

Vector<String> JavaMePackager::packagingOrder(const Vector<const Device*>& devices)
{
    // std::string orders by unsigned bytes, as the runtimes must be.
    std::set<String> runtimes;
    for (const Device* device : devices)
        runtimes.insert(device->getRuntime());
    return Vector<String>(runtimes.begin(), runtimes.end());
}

String JavaMePackager::jarPath(const String& outputDir, const String& name, const String& runtime)
{
    return outputDir + "/" + runtimeIdentifier(runtime) + "/" + name + ".jar";
}

int JavaMePackager::run(bool includeResources)
{
    const Project* project = m_manager.getProject();
    if (!project)
        return 1;

    const Vector<const Device*> devices = m_manager.getTargetDevices();
    diag("Building for %d devices\n\n", static_cast<int>(devices.size()));
    const Vector<String> runtimes = packagingOrder(devices);

    m_name = project->getName();
    m_outputDir = outputDirectory(*project);
    m_program = m_outputDir + "/program";
    m_resources = m_outputDir + "/resources";
    const String manifestDir = m_outputDir + "/META-INF";
    const String manifestFile = manifestDir + "/MANIFEST.MF";

    ChangedBuild* changed = m_manager.changedBuild();
    if (m_manager.getExecutor() && !(changed && isDirectory(manifestDir)))
        runTool(m_manager, "cmd /c mkdir " + commandPath(manifestDir));

    // A manifest left from an earlier build would otherwise be zipped into
    // every JAR under this project's name. Build Changed keeps one that is
    // right, so the packages made from it stay up to date.
    String error;
    const bool current = changed && fileExists(manifestFile) && readWholeFile(manifestFile) == manifestText(m_name);
    if (!current && !writeFileAtomically(manifestFile, manifestText(m_name), &error)) {
        showMessage(m_manager, "Can't write \"" + manifestFile + "\"\n");
        return -1;
    }
    if (changed) {
        changed->produced(manifestFile);
        changed->produced(manifestDir);
    }

    for (const String& runtime : runtimes) {
        if (stopRequested(m_manager))
            return kStoppedResult;
        if (int result = packageRuntime(runtime, includeResources))
            return result;
    }
    return 0;
}

namespace {

// Whether `name` has the form of zip's work file: "zi" and six letters or
// digits, where zip keeps an archive while it rewrites it.
bool isZipWorkFile(const char* name)
{
    if (std::strncmp(name, "zi", 2) != 0 || std::strlen(name) != 8)
        return false;
    for (const char* c = name + 2; *c; ++c) {
        if (!std::isalnum(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

// The names of zip's work files in `directory`.
std::set<std::string> zipWorkFiles(const String& directory)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (isZipWorkFile(entry->d_name))
                names.insert(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

// Removes zip's work files and the package under its temporary name: after
// a failed step, and before a runtime is packaged, since a run that was
// killed left them for good. Output then holds what a finished build leaves.
void removeZipLeftovers(const String& directory, const String& part)
{
    for (const std::string& name : zipWorkFiles(directory))
        ::unlink((directory + "/" + name).c_str());
    ::unlink(part.c_str());
}

// Flushes `path` and then its directory to disk, so a rename that follows
// cannot outlive the content it puts in place.
bool syncFileAndDirectory(const String& path, const String& directory)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (const int dfd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return synced;
}

} // namespace

int JavaMePackager::writeDescriptor(const String& jar, const String& jad)
{
    struct stat jarStat{};
    String error = "cannot read its size";
    if (::stat(jar.c_str(), &jarStat) == 0
        && writeFileAtomically(jad, jadText(manifestText(m_name), jarUrlFor(m_name), jarStat.st_size), &error))
        return 0;
    showMessage(m_manager, "Can't write the descriptor \"" + jad + "\": " + error + "\n");
    return -1;
}

String JavaMePackager::partialJarPath(const String& jar)
{
    return jar + ".part";
}

int JavaMePackager::packageRuntime(const String& runtime, bool includeResources)
{
    const String root = m_manager.getRoot();
    const String runtimeDir = root + "/" + toSlashes(runtime);
    const String outDir = m_outputDir + "/" + runtimeIdentifier(runtime);
    const String jar = jarPath(m_outputDir, m_name, runtime);
    // The package is made under a name of its own beside the JAR and takes
    // the JAR's place with one rename when every step has succeeded: a step
    // that fails (a full disk) or is stopped leaves the previous JAR as it was.
    const String part = partialJarPath(jar);
    const String jad = jadPathFor(jar);
    const String zip = commandPath(root + "/bin/zip");

    // The commands up to the last zip, which runs inside Output.
    Vector<String> commands = {
        "cmd /c copy " + commandPath(runtimeDir + "/VarnelRuntime.jar") + " " + commandPath(part) + " /y",
        "cmd /c copy " + commandPath(runtimeDir + "/devices.txt") + " " + commandPath(outDir) + " /y",
        "cmd /c copy " + commandPath(runtimeDir + "/config.h") + " " + commandPath(outDir) + " /y",
    };
    // The manifest names the icon NAME.png; a runtime that has an icon gives
    // it to the package under that name, so the JAR holds what it names.
    const String icon = runtimeDir + "/icon.png";
    const String namedIcon = outDir + "/" + m_name + ".png";
    const bool hasIcon = fileExists(icon) && !isDirectory(icon);
    if (hasIcon) {
        commands.push_back("cmd /c copy " + commandPath(icon) + " " + commandPath(namedIcon) + " /y");
        commands.push_back(zip + " -j -9 " + commandPath(part) + " " + commandPath(namedIcon));
    }
    if (includeResources)
        commands.push_back(zip + " -j -9 " + commandPath(part) + " " + commandPath(m_resources));
    commands.push_back(zip + " -j -9 " + commandPath(part) + " " + commandPath(m_program));
    const String manifestZip = zip + " -r -9 " + commandPath(part) + " META-INF";

    removeZipLeftovers(outDir, part);
    ChangedBuild* changed = m_manager.changedBuild();
    ChangedBuild::Step step;
    if (changed) {
        step.key = "package " + runtime;
        step.command = join(commands, "\n") + "\n" + manifestZip + "\n" + manifestText(m_name);
        step.inputs = {runtimeDir + "/VarnelRuntime.jar", runtimeDir + "/devices.txt", runtimeDir + "/config.h", icon,
                       m_program, m_outputDir + "/META-INF", m_outputDir + "/META-INF/MANIFEST.MF"};
        if (includeResources)
            step.inputs.push_back(m_resources);
        step.outputs = {jar, jad, outDir + "/devices.txt", outDir + "/config.h"};
        if (hasIcon)
            step.outputs.push_back(namedIcon);
        if (changed->upToDate(step)) {
            ++changed->counts.packagesUpToDate;
            return 0;
        }
        ++changed->counts.packagesMade;
    }

    if (m_manager.getExecutor() && !(changed && isDirectory(outDir)))
        runTool(m_manager, "cmd /c mkdir " + commandPath(outDir));

    auto failed = [&](int result) {
        // zip leaves its work file behind when the disk fills under it.
        removeZipLeftovers(outDir, part);
        return result;
    };

    const ChangedBuild::Clock started = ChangedBuild::now();
    for (const String& command : commands) {
        if (int result = runTool(m_manager, command))
            return failed(result);
    }

    // META-INF must enter the archive under that relative name, so the last
    // zip runs inside Output; the previous directory comes back on every path.
    {
        DirectoryRestorer restorer;
        if (::chdir(m_outputDir.c_str()) != 0) {
            showMessage(m_manager, "Can't enter \"" + m_outputDir + "\"\n");
            return failed(-1);
        }
        if (int result = runTool(m_manager, manifestZip))
            return failed(result);
    }
    if (stopRequested(m_manager))
        return failed(kStoppedResult);
    // The descriptor states the JAR's size: the old one goes before the JAR
    // it describes is replaced, and the new one follows the new JAR.
    ::unlink(jad.c_str());
    if (!syncFileAndDirectory(part, outDir) || std::rename(part.c_str(), jar.c_str()) != 0) {
        const String reason = std::strerror(errno);
        showMessage(m_manager, "Can't put the package in place as \"" + jar + "\": " + reason + "\n");
        return failed(-1);
    }
    if (int result = writeDescriptor(jar, jad))
        return result;
    if (changed)
        changed->succeeded(step, started);
    return 0;
}

} // namespace Brask
