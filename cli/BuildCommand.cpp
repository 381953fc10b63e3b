// varbuild-cli build PROJECT.vnp: builds the project with the kit's tools,
// printing every command line and the tools' output as they come. With
// --changed only the steps that are not up to date run.

#include "cli/Commands.h"

#include "cli/ConsoleExecutor.h"
#include "cli/Interrupt.h"
#include "core/ProjectManager.h"
#include "util/PathUtil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

namespace Cli {

namespace {

// Takes -j N, -jN and a bare -j (every core) out of `args`. False after a
// message for a count that is not a number from 1 to kMaxJobs.
bool takeJobsOption(std::vector<std::string>& args, int& jobs)
{
    constexpr int kMaxJobs = 256;
    const auto isNumber = [](const std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    std::vector<std::string> rest;
    // The word after a bare -j is its count when it is meant as one: it is
    // empty or made of digits, signs and points ("-1", "1.5"), or the project
    // comes before or after it ("-j abc game.vnp"). Otherwise it is the
    // project ("-j game.vnp").
    const auto meantAsCount = [&](size_t at) {
        const std::string& word = args[at];
        if (word.find_first_not_of("+-0123456789.,") == std::string::npos || !rest.empty())
            return true;
        for (size_t k = at + 1; k < args.size(); ++k)
            if (args[k].rfind("-j", 0) != 0)
                return true;
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("-j", 0) != 0) {
            rest.push_back(arg);
            continue;
        }
        std::string count = arg.substr(2);
        bool given = !count.empty();
        if (!given && i + 1 < args.size() && meantAsCount(i + 1)) {
            count = args[++i];
            given = true;
        }
        if (!given) {
            jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
            continue;
        }
        if (!isNumber(count) || count.size() > 4 || std::stoi(count) < 1 || std::stoi(count) > kMaxJobs) {
            printError("-j needs a number of jobs from 1 to " + std::to_string(kMaxJobs) + ", not \"" + count + "\"");
            return false;
        }
        jobs = std::stoi(count);
    }
    args = std::move(rest);
    return true;
}

// Takes --changed, --launcher CMD and --launcher=CMD out of `args`. False
// after a message when --launcher has no command after it.
bool takeBuildOptions(std::vector<std::string>& args, bool& changed, std::optional<std::string>& launcher)
{
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--changed") {
            changed = true;
        } else if (arg == "--launcher") {
            if (i + 1 >= args.size()) {
                printError("--launcher needs the launcher's command, e.g. --launcher ccache");
                return false;
            }
            launcher = args[++i];
        } else if (arg.rfind("--launcher=", 0) == 0) {
            launcher = arg.substr(std::strlen("--launcher="));
        } else {
            rest.push_back(arg);
        }
    }
    args = std::move(rest);
    return true;
}

} // namespace

int runBuildCommand(const std::vector<std::string>& options)
{
    std::vector<std::string> args = options;
    bool changed = false;
    std::optional<std::string> launcher;
    if (!takeBuildOptions(args, changed, launcher))
        return 1;
    int jobs = 1;
    if (!takeJobsOption(args, jobs))
        return 1;
    if (args.size() != 1) {
        printError("usage: varbuild-cli build [--changed] [-j [N]] [--launcher CMD] PROJECT.vnp");
        return 1;
    }
    // The option wins over the environment.
    if (!launcher) {
        if (const char* fromEnvironment = std::getenv(Brask::kCompilerLauncherVariable))
            launcher = fromEnvironment;
    }
    InterruptibleExecutor executor;
    executor.setJobs(jobs);
    const std::unique_ptr<Brask::ProjectManager> opened = openProject(args[0], &executor);
    if (!opened)
        return 1;
    Brask::ProjectManager& manager = *opened;
    manager.setCompilerLauncher(launcher.value_or(""));

    int result;
    {
        InterruptWatcher watcher(executor);
        result = changed ? manager.buildChanged() : manager.build();
    }
    // A stopped build says so like the window does and exits with 128 + the
    // signal (130 for Ctrl+C), whatever the ended tool returned.
    if (const int signal = executor.stopSignal()) {
        executor.message(Brask::kBuildStoppedLine);
        return 128 + signal;
    }
    if (result != 0) {
        executor.message("Tool returned error: " + std::to_string(result) + "\n");
        return 1;
    }
    return 0;
}

} // namespace Cli
