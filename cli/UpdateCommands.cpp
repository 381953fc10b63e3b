// varbuild-cli update and check-release: the profile-database update and the
// release check of the window's Services menu, on the console.

#include "cli/Commands.h"
#include "cli/ConsoleExecutor.h"

#include "core/ProjectManager.h"
#include "core/update/ReleaseCheck.h"
#include "core/update/UpdateInterface.h"
#include "core/update/UpdateManager.h"
#include "util/Diagnostics.h"

#include <cstdio>

namespace Cli {

namespace {

// The update manager's messages, one per line on standard output.
class ConsoleUpdateInterface : public Brask::UpdateInterface {
public:
    void showMessage(const KVUtil::String& text) override
    {
        Brask::diagEndLine();
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
};

} // namespace

int runUpdateCommand(const std::vector<std::string>& args)
{
    if (!args.empty()) {
        printError("usage: varbuild-cli update");
        return 1;
    }
    std::string root;
    if (!installationRoot(root))
        return 1;
    Brask::ConsoleExecutor executor;
    // Asking for and installing an update never reads the installed database.
    Brask::ProjectManager manager(root, &executor);
    ConsoleUpdateInterface console;
    Brask::UpdateManager& updates = manager.getUpdateManager();
    updates.setInterface(&console);
    const Brask::UpdateManager::Outcome outcome = updates.profileUpdateIsAvailable(false);
    updates.setInterface(nullptr);
    // The result is out; the replaced database goes before the command ends,
    // so nothing of it is left working in the background.
    if (updates.removing())
        Brask::diag("Removing the replaced profile database...\n");
    updates.waitForRemoval();
    return outcome == Brask::UpdateManager::Current || outcome == Brask::UpdateManager::Installed ? 0 : 1;
}

int runCheckReleaseCommand(const std::vector<std::string>& args)
{
    bool silent = false;
    for (const std::string& arg : args) {
        if (arg == "--silent") {
            silent = true;
        } else {
            printError("usage: varbuild-cli check-release [--silent]");
            return 1;
        }
    }
    std::string root;
    if (!installationRoot(root))
        return 1;
    // Only the version files are needed: no profile database is loaded.
    Brask::UpdateManager updates(root, nullptr);
    std::string body;
    const int fetched = updates.fetchLatestRelease(body);
    const Brask::ReleaseVerdict verdict = Brask::checkRelease(fetched, body, updates.packageRevision(), silent);
    if (verdict.printServerVersion)
        Brask::diag("serverVersion: %d\n", verdict.serverVersion);
    Brask::diagEndLine();
    if (verdict.show)
        std::printf("%s\n%s\n", verdict.caption.c_str(), verdict.text.c_str());
    std::fflush(stdout);
    // The check failed when no answer came back (no connection, no length,
    // an empty or cut answer) or the server's number is below 1.
    const bool failed = fetched <= 0 || (verdict.printServerVersion && verdict.serverVersion < 1);
    return failed ? 1 : 0;
}

} // namespace Cli
