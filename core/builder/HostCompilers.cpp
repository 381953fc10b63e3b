#include "core/builder/HostCompilers.h"

#include "core/builder/BuildSupport.h"
#include "platform/ProcessRunner.h"

namespace Brask {

std::vector<std::string> hostCompilersOf(const std::string& compiler)
{
    std::string output;
    Platform::ProcessRunner runner;
    const Platform::RunResult result = runner.run(commandPath(compiler) + " --print-host-compilers", true,
                                                  [&output](const char* data, size_t size) {
                                                      // A few paths; anything longer is not an answer.
                                                      if (output.size() < 64 * 1024)
                                                          output.append(data, size);
                                                  });
    std::vector<std::string> paths;
    if (result.failedStep != Platform::StepNone || result.code != 0)
        return paths;
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
