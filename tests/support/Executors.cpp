#include "support/Executors.h"

#include "platform/CommandLine.h"
#include "platform/ProcessRunner.h"
#include "util/PathUtil.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace TestSupport {

int RecordingExecutor::execute(const std::string& command, bool echo)
{
    const size_t index = ran.size();
    ran.push_back(command);
    echoes.push_back(echo);
    directories.push_back(Brask::currentDirectory());
    if (command.rfind("cmd /c mkdir ", 0) == 0) {
        const std::vector<std::string> words = Platform::splitCommandLine(command);
        std::error_code ec;
        if (words.size() == 4)
            fs::create_directories(words[3], ec);
    }
    // A copy to a file creates it (empty): packaging renames what it made.
    if (command.rfind("cmd /c copy ", 0) == 0) {
        const std::vector<std::string> words = Platform::splitCommandLine(command);
        std::error_code ec;
        if (words.size() == 6 && !fs::is_directory(words[4], ec))
            std::ofstream(words[4], std::ios::app);
    }
    if (sideEffect)
        sideEffect(command);
    return result ? result(command, index) : 0;
}

int ProcessExecutor::execute(const std::string& command, bool echo)
{
    ran.push_back(command);
    transcript += "Running: " + command + "\n";
    if (before) {
        if (const int code = before(command))
            return code;
    }
    Platform::ProcessRunner runner;
    const Platform::RunResult result
        = runner.run(command, echo, [this](const char* data, size_t size) { transcript.append(data, size); });
    if (result.failedStep != Platform::StepNone)
        transcript += Platform::failureLine(result) + Platform::failureExplanation(result);
    return result.code;
}

void ProcessExecutor::message(const std::string& text)
{
    transcript += text;
}

} // namespace TestSupport
