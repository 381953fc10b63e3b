#include "cli/ConsoleExecutor.h"

#include "core/builder/ParallelCompile.h"

namespace Brask {

ConsoleExecutor::ConsoleExecutor(std::FILE* out)
    : m_out(out)
{
}

void ConsoleExecutor::write(const char* data, size_t size)
{
    if (size == 0)
        return;
    std::lock_guard<std::mutex> hold(m_writeLock);
    std::fwrite(data, 1, size, m_out);
    std::fflush(m_out);
    m_lineOpen = data[size - 1] != '\n';
}

void ConsoleExecutor::startLine()
{
    bool open;
    {
        std::lock_guard<std::mutex> hold(m_writeLock);
        open = m_lineOpen;
    }
    if (open)
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

ParallelExecutor::Outcome ConsoleExecutor::runStreaming(const KVUtil::String& command, Sink& sink)
{
    return runInGroup(m_group, command, sink);
}

void ConsoleExecutor::showStart(const KVUtil::String& command)
{
    startLine();
    write("Running: " + command + "\n");
}

void ConsoleExecutor::showEnd(const Outcome& outcome)
{
    if (!outcome.failure.empty()) {
        startLine();
        write(outcome.failure);
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
