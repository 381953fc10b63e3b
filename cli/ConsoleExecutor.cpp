#include "cli/ConsoleExecutor.h"

#include <csignal>

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

ParallelExecutor::Captured ConsoleExecutor::runCaptured(const KVUtil::String& command)
{
    Captured captured;
    // After a stop nothing more starts; the build ends at the first such compile.
    if (m_group.stopped()) {
        captured.code = 128 + SIGTERM;
        captured.started = false;
        return captured;
    }
    const Platform::RunResult result = m_group.run(command, captured.shown);
    captured.code = result.code;
    if (result.failedStep != Platform::StepNone)
        captured.failure = Platform::failureLine(result) + Platform::failureExplanation(result);
    return captured;
}

void ConsoleExecutor::release(const KVUtil::String& command, const Captured& captured)
{
    startLine();
    write("Running: " + command + "\n");
    write(captured.shown);
    if (!captured.failure.empty()) {
        startLine();
        write(captured.failure);
    }
}

void ConsoleExecutor::waitUntil(const std::function<bool()>& ready)
{
    std::unique_lock<std::mutex> lock(m_waitLock);
    m_woken.wait(lock, ready);
}

void ConsoleExecutor::wake()
{
    // Taking the lock orders the wake after a waiter's check of `ready`.
    { std::lock_guard<std::mutex> hold(m_waitLock); }
    m_woken.notify_all();
}

void ConsoleExecutor::message(const KVUtil::String& text)
{
    startLine();
    write(text);
    if (text.empty() || text.back() != '\n')
        write("\n", 1);
}

} // namespace Brask
