#pragma once
// Runs one of the kit's stand-in tools for real, in a given directory.

#include "platform/ProcessRunner.h"
#include "support/TestSupport.h"

#include <string>
#include <unistd.h>

namespace ToolTest {

inline std::string tool(const std::string& name)
{
    return std::string(VARBUILD_KIT_DIR) + "/bin/" + name;
}

struct ToolResult {
    int code = -1;
    std::string output;
};

// `commandLine` starts with the tool's bare name, which is replaced by the
// tool's path in the kit's bin.
inline ToolResult runTool(const std::string& directory, const std::string& commandLine)
{
    TestSupport::DirectoryGuard guard;
    if (::chdir(directory.c_str()) != 0)
        return {};
    const size_t space = commandLine.find(' ');
    const std::string line = tool(commandLine.substr(0, space)) + (space == std::string::npos ? "" : commandLine.substr(space));
    ToolResult r;
    Platform::ProcessRunner runner;
    const Platform::RunResult result
        = runner.run(line, true, [&r](const char* data, size_t size) { r.output.append(data, size); });
    r.code = result.failedStep == Platform::StepNone ? result.code : -1000 - result.code;
    return r;
}

inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace ToolTest
