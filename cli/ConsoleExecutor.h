#pragma once
// The CommandExecutor of varbuild-cli: runs each command with its output
// passed straight through to the console as it arrives.

#include "core/build/CommandExecutor.h"
#include "platform/ProcessRunner.h"

#include <cstdio>

namespace Brask {

class ConsoleExecutor : public CommandExecutor {
public:
    // Everything goes to `out` (standard output unless a test passes a file).
    explicit ConsoleExecutor(std::FILE* out = stdout);

    int execute(const KVUtil::String& command, bool echo) override;
    void message(const KVUtil::String& text) override;

    // Ends the running command from another thread (an interrupt handler's
    // helper thread, for instance).
    void terminate() { m_runner.terminate(); }

private:
    void write(const char* data, size_t size);
    void write(const KVUtil::String& text) { write(text.data(), text.size()); }
    // Starts a new line when the last output left one open, so a paragraph
    // of our own never runs on after a tool's unfinished line.
    void startLine();

    std::FILE* m_out;
    Platform::ProcessRunner m_runner;
    bool m_lineOpen = false;
};

} // namespace Brask
