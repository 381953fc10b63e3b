#pragma once
// The commands of varbuild-cli. Each takes the arguments after its name and
// returns the process exit status. Results go to standard output; the core's
// diagnostic lines and error messages to standard error.

#include <memory>
#include <string>
#include <vector>

namespace Brask {
class CommandExecutor;
class ProjectManager;
}

namespace Cli {

int runImportCommand(const std::vector<std::string>& args);
// build PROJECT.vnp: builds and packages the project; 0 on success, 1 when
// the project cannot be read or a tool fails.
int runBuildCommand(const std::vector<std::string>& args);
// targets PROJECT.vnp: the project's target devices, one per line as
// vendor TAB device TAB runtime, in target order. With --packages or --why
// it gives the reports of cli/TargetsReport.h instead.
int runTargetsCommand(const std::vector<std::string>& args);
// phone select ADDRESS: the SDP search on that phone; stores PhoneAddress and
// PhonePort. phone list: hands over to runPhoneListCommand.
int runPhoneCommand(const std::vector<std::string>& args);
// phone list: the devices the system's Bluetooth service knows
// (cli/PhoneListCommand.cpp).
int runPhoneListCommand(const std::vector<std::string>& args);
// send PROJECT.vnp [RUNTIME-ID]: pushes the project's JAR to the stored phone.
int runSendCommand(const std::vector<std::string>& args);
// serve PROJECT.vnp [--address A] [--port P]: serves the project's built
// Java ME packages over HTTP for phones to install, until interrupted.
int runServeCommand(const std::vector<std::string>& args);
// update: asks the update server (VARNEL_UPDATE_SERVER or the maker's) for a
// newer profile database and installs it; 0 when current or installed.
int runUpdateCommand(const std::vector<std::string>& args);
// check-release [--silent]: the release check's box as caption and text;
// 1 when no release number could be fetched.
int runCheckReleaseCommand(const std::vector<std::string>& args);

// Prints "varbuild-cli: " + message on standard error, on a line of its own.
void printError(const std::string& message);

// The installation root from VARNELDIR; prints the refusal and returns false
// when it is missing or empty.
bool installationRoot(std::string& root);

// The manager of the installation with the project at `path` loaded, or
// nullptr after printing why not: no installation, a file that cannot be
// read, or one that could be read only in part (acting on what was read
// before the damage would build, list or send for a project that does not
// exist). Every command that takes a project opens it here.
std::unique_ptr<Brask::ProjectManager> openProject(const std::string& path, Brask::CommandExecutor* executor);

} // namespace Cli
