#pragma once
// The CommandExecutor of varbuild-cli: runs each command with its output
// passed straight through to the console as it arrives.

#include "core/CommandExecutor.h"
#include "core/builder/ParallelExecutor.h"
#include "platform/ProcessRunner.h"
#include "platform/RunnerGroup.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace Brask {

class ConsoleExecutor : public CommandExecutor, public ParallelExecutor {
public:
    // Everything goes to `out` (standard output unless a test passes a file).
    explicit ConsoleExecutor(std::FILE* out = stdout);

    int execute(const KVUtil::String& command, bool echo) override;
    void message(const KVUtil::String& text) override;

    // Compiles that may run at once (-j); 1, the default, runs every command
    // through execute() as it comes.
    void setJobs(int jobs) { m_jobs = jobs; }
    int jobs() const override { return m_jobs; }
    Outcome runStreaming(const KVUtil::String& command, Sink& sink) override;
    void showStart(const KVUtil::String& command) override;
    void showOutput(const char* data, size_t size) override { write(data, size); }
    void showEnd(const Outcome& outcome) override;
    void waitUntil(const std::function<bool()>& ready) override;
    void wake() override;

    // Ends the running command from another thread (an interrupt handler's
    // helper thread, for instance).
    void terminate()
    {
        m_group.stopAll();
        m_runner.terminate();
    }

private:
    // Any thread: a compile shown live writes from its worker.
    void write(const char* data, size_t size);
    void write(const KVUtil::String& text) { write(text.data(), text.size()); }
    // Starts a new line when the last output left one open, so a paragraph
    // of our own never runs on after a tool's unfinished line.
    void startLine();

    std::FILE* m_out;
    Platform::ProcessRunner m_runner;
    Platform::RunnerGroup m_group;
    int m_jobs = 1;
    std::mutex m_waitLock;
    std::condition_variable m_woken;
    std::mutex m_writeLock;
    bool m_lineOpen = false; // guarded by m_writeLock
};

} // namespace Brask
