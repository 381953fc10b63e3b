#pragma once
// Executors for tests of the core: one that records and runs nothing, one
// that runs commands for real and keeps their transcript.

#include "core/CommandExecutor.h"

#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// Runs nothing: records each command line (and the directory it would run
// in) and answers with `result`. "cmd /c mkdir" is carried out and a copy's
// target file is created (empty), as the build relies on them.
class RecordingExecutor : public Brask::CommandExecutor {
public:
    int execute(const std::string& command, bool echo) override;
    void message(const std::string& text) override { messages.push_back(text); }

    std::vector<std::string> ran;
    std::vector<bool> echoes;
    std::vector<std::string> directories;
    std::vector<std::string> messages;
    // Result for the command at `index` (default: success).
    std::function<int(const std::string& command, size_t index)> result;
    // Called before answering, e.g. to create a tool's output.
    std::function<void(const std::string& command)> sideEffect;
};

// Runs commands for real through the platform's process runner.
class ProcessExecutor : public Brask::CommandExecutor {
public:
    int execute(const std::string& command, bool echo) override;
    void message(const std::string& text) override;

    std::vector<std::string> ran;
    std::string transcript;
    // Called before each command; a non-zero answer is the command's result
    // and it does not run (a fault injected where a tool would fail).
    std::function<int(const std::string& command)> before;
};

} // namespace TestSupport
