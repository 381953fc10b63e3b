#pragma once
// Shared pieces of the build tests: a temporary installation with small stand-in tools, and a fixture
// that puts a project beside it.

#include "core/ProjectManager.h"
#include "core/CommandExecutor.h"
#include "support/Executors.h"
#include "support/TestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace BuildTest {


using TestSupport::ProcessExecutor;
using TestSupport::RecordingExecutor;

// A kit installation in a temporary directory: an empty profile database,
// shell-script stand-ins for xgcc, lintel and cmd that log their arguments
// (one "[arg]" per argument) to log(), Info-ZIP as bin/zip, and the Symbian
// tools bldmake, abld and CreateSIS in a directory of their own (CreateSIS
// succeeds without writing LauncherApp.sis when FAKE_NO_SIS is set).
class FakeKit {
public:
    explicit FakeKit(const std::string& root);

    const std::string& root() const { return m_root; }
    std::string log() const { return m_root + "/tools.log"; }
    std::string logText() const { return TestSupport::readFile(log()); }
    std::string symbianDir() const { return m_root + "/symbian"; }
    std::string createSis() const { return symbianDir() + "/CreateSIS"; }

    // ROOT/profiles/runtimes/ID with a real VarnelRuntime.jar (one class and
    // a manifest that the build must replace), devices.txt and config.h.
    void addRuntime(const std::string& id) const;
    // The six launcher templates with the given texts (empty: a simple
    // default that shows every value).
    void writeTemplates() const;

private:
    std::string m_root;
};

std::string shellQuote(const std::string& text);
// Writes an executable script.
void writeScript(const std::string& path, const std::string& body);
// Entries of a zip archive (by unzip -l), sorted.
std::vector<std::string> zipEntries(const std::string& archive);

// The manifest every Java ME package of project `name` carries.
inline std::string expectedManifest(const std::string& name)
{
    return "Manifest-Version: 1.0\nMIDlet-Vendor: Kestrane\nMIDlet-Name: " + name + "\nMIDlet-1: " + name + " , "
        + name + ".png, KVMidlet\nMIDlet-Version: 1.0\nMicroEdition-Configuration: CLDC-1.1\n"
          "MicroEdition-Profile: MIDP-2.0\n";
}
// The descriptor beside that package: the manifest's attributes in the
// phone's order, the JAR's URL and size, CR LF line ends.
inline std::string expectedJad(const std::string& name, const std::string& jarUrl, size_t jarSize)
{
    return "MIDlet-Name: " + name + "\r\nMIDlet-Vendor: Kestrane\r\nMIDlet-Version: 1.0\r\nMIDlet-1: " + name + " , "
        + name + ".png, KVMidlet\r\nMicroEdition-Configuration: CLDC-1.1\r\nMicroEdition-Profile: MIDP-2.0\r\n"
        + "MIDlet-Jar-URL: " + jarUrl + "\r\nMIDlet-Jar-Size: " + std::to_string(jarSize) + "\r\n";
}
// One entry's content (unzip -p).
std::string zipEntry(const std::string& archive, const std::string& entry);

// A temporary installation at TMP/kit and a project TMP/game/ named "game",
// with VARNELDIR and PATH pointing at the installation. Restores the current
// directory and the environment afterwards.
class BuildFixture : public ::testing::Test {
protected:
    BuildFixture(const std::string& kitName = "kit", const std::string& projectName = "game");

    // A manager with an open, empty project.
    std::unique_ptr<Brask::ProjectManager> makeManager(Brask::CommandExecutor* executor);
    // Adds a file by its stored path to the root folder (and writes it below
    // the project directory, with `content`).
    void addFile(Brask::ProjectManager& manager, const std::string& path, const std::string& content = "int x;\n");
    // A device of a vendor "V" using `runtime`.
    void addDevice(Brask::ProjectManager& manager, const std::string& name, const std::string& runtime);

    TestSupport::TempDir m_tmp;
    TestSupport::DirectoryGuard m_guard;
    std::string m_root;
    std::string m_projectDir;  // ends with "/"
    std::string m_output;      // m_projectDir + "Output"
    std::string m_projectName;
    FakeKit m_kit;
    TestSupport::EnvGuard m_varneldir;
    TestSupport::EnvGuard m_path;
};

} // namespace BuildTest
