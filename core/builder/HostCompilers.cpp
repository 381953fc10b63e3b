#include "core/builder/HostCompilers.h"

#include "core/builder/BuildSupport.h"
#include "platform/ProcessRunner.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace Brask {

namespace {

// The driver answers at once; one that takes longer (a kit's driver that
// took the option for something else and waits) is ended, and the build
// goes on without the answer rather than hanging where Stop cannot reach.
constexpr auto AnswerTimeout = std::chrono::seconds(10);

// Runs `command` and returns what it printed, or nothing when it failed.
std::string answerOf(const std::string& command)
{
    std::string output;
    Platform::ProcessRunner runner;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> hold(lock);
        if (!ended.wait_for(hold, AnswerTimeout, [&] { return done; }))
            runner.terminate();
    });
    const Platform::RunResult result = runner.run(command, true, [&output](const char* data, size_t size) {
        // A few paths; anything longer is not an answer.
        if (output.size() < 64 * 1024)
            output.append(data, size);
    });
    {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
    }
    ended.notify_one();
    watchdog.join();
    if (result.failedStep != Platform::StepNone || result.code != 0)
        return std::string();
    return output;
}

} // namespace

std::vector<std::string> hostCompilersOf(const std::string& compiler)
{
    const std::string output = answerOf(commandPath(compiler) + " --print-host-compilers");
    std::vector<std::string> paths;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        // Only absolute paths: a driver that took the option for a source
        // and printed something else records nothing.
        if (!line.empty() && line[0] == '/')
            paths.push_back(line);
        start = end + 1;
    }
    return paths;
}

} // namespace Brask
