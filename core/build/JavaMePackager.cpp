#include "core/build/JavaMePackager.h"

#include "core/Project.h"
#include "core/ProjectManager.h"
#include "core/build/BuildSupport.h"
#include "core/build/CommandExecutor.h"
#include "core/profiles/Device.h"
#include "util/AtomicFile.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <set>
#include <unistd.h>

namespace Brask {

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

    if (m_manager.getExecutor())
        runTool(m_manager, "cmd /c mkdir " + commandPath(manifestDir));

    // A manifest left from an earlier build would otherwise be zipped into
    // every JAR under this project's name.
    String error;
    if (!writeFileAtomically(manifestFile, manifestText(m_name), &error)) {
        showMessage(m_manager, "Can't write \"" + manifestFile + "\"\n");
        return -1;
    }

    for (const String& runtime : runtimes) {
        if (stopRequested(m_manager))
            return kStoppedResult;
        if (int result = packageRuntime(runtime, includeResources))
            return result;
    }
    return 0;
}

int JavaMePackager::packageRuntime(const String& runtime, bool includeResources)
{
    const String root = m_manager.getRoot();
    const String runtimeDir = root + "/" + toSlashes(runtime);
    const String outDir = m_outputDir + "/" + runtimeIdentifier(runtime);
    const String jar = jarPath(m_outputDir, m_name, runtime);
    const String zip = commandPath(root + "/bin/zip");

    if (m_manager.getExecutor())
        runTool(m_manager, "cmd /c mkdir " + commandPath(outDir));

    const String copies[] = {
        "cmd /c copy " + commandPath(runtimeDir + "/VarnelRuntime.jar") + " " + commandPath(jar) + " /y",
        "cmd /c copy " + commandPath(runtimeDir + "/devices.txt") + " " + commandPath(outDir) + " /y",
        "cmd /c copy " + commandPath(runtimeDir + "/config.h") + " " + commandPath(outDir) + " /y",
    };
    // From the copy of the runtime JAR on, a stopped step leaves a JAR that
    // is half written; it goes, so nothing under Output looks like a package.
    auto stopped = [&](int result) {
        if (result != 0 && stopRequested(m_manager))
            ::unlink(jar.c_str());
        return result;
    };
    for (const String& copy : copies) {
        if (int result = runTool(m_manager, copy))
            return stopped(result);
    }
    // The manifest names the icon NAME.png; a runtime that has an icon gives
    // it to the package under that name, so the JAR holds what it names.
    const String icon = runtimeDir + "/icon.png";
    if (fileExists(icon) && !isDirectory(icon)) {
        const String named = outDir + "/" + m_name + ".png";
        if (int result = runTool(m_manager, "cmd /c copy " + commandPath(icon) + " " + commandPath(named) + " /y"))
            return stopped(result);
        if (int result = runTool(m_manager, zip + " -j -9 " + commandPath(jar) + " " + commandPath(named)))
            return stopped(result);
    }
    if (includeResources) {
        if (int result = runTool(m_manager, zip + " -j -9 " + commandPath(jar) + " " + commandPath(m_resources)))
            return stopped(result);
    }
    if (int result = runTool(m_manager, zip + " -j -9 " + commandPath(jar) + " " + commandPath(m_program)))
        return stopped(result);

    // META-INF must enter the archive under that relative name, so the last
    // zip runs inside Output; the previous directory comes back on every path.
    DirectoryRestorer restorer;
    if (::chdir(m_outputDir.c_str()) != 0) {
        showMessage(m_manager, "Can't enter \"" + m_outputDir + "\"\n");
        return -1;
    }
    return stopped(runTool(m_manager, zip + " -r -9 " + commandPath(jar) + " META-INF"));
}

} // namespace Brask
