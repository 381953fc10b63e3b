#include "cli/ConsoleExecutor.h"

namespace Brask {

ConsoleExecutor::ConsoleExecutor(std::FILE* out)
    : m_out(out)
{
}

void ConsoleExecutor::write(const char* data, size_t size)
{
    if (size == 0)
        return;
    std::fwrite(data, 1, size, m_out);
    std::fflush(m_out);
    m_lineOpen = data[size - 1] != '\n';
}

void ConsoleExecutor::startLine()
{
    if (m_lineOpen)
        write("\n", 1);
}

int ConsoleExecutor::execute(const KVUtil::String& command, bool echo)
{
    if (echo) {
        startLine();
        write("Running: " + command + "\n");
    }
    const Platform::RunResult result
        = m_runner.run(command, echo, [this](const char* data, size_t size) { write(data, size); });
    if (result.failedStep != Platform::StepNone) {
        startLine();
        write(Platform::failureLine(result) + Platform::failureExplanation(result));
    }
    return result.code;
}

void ConsoleExecutor::message(const KVUtil::String& text)
{
    startLine();
    write(text);
    if (text.empty() || text.back() != '\n')
        write("\n", 1);
}

} // namespace Brask
