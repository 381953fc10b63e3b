#pragma once
// How the core runs a command line and shows a line of text. The window runs
// commands with their output in its output pane; varbuild-cli on the console.

#include "kvutil/KVUtil.h"

namespace Brask {

class CommandExecutor {
public:
    virtual ~CommandExecutor() = default;

    // Runs `command` to completion and returns the child's exit code, or the
    // platform error code of the step that the system refused. With `echo` the
    // command is announced and the child's stdout and stderr are both shown;
    // without it only stderr is.
    virtual int execute(const KVUtil::String& command, bool echo) = 0;

    // Shows `text` as a new paragraph.
    virtual void message(const KVUtil::String& text) = 0;

    // True once the user has asked the running build to stop: the build runs
    // no further command and packages nothing more.
    virtual bool stopRequested() const { return false; }
};

// The line a stopped build ends with, in the window and on the console alike.
inline constexpr const char* kBuildStoppedLine = "Build stopped.\n";
// The same for a stopped push to the phone.
inline constexpr const char* kSendStoppedLine = "Sending stopped.\n";
// What a command that was not run because of a stop returns.
inline constexpr int kStoppedResult = 130;

// The environment variable whose value, when set (even empty), is the
// compiler launcher of the window's and varbuild-cli's builds alike.
inline constexpr const char* kCompilerLauncherVariable = "VARBUILD_COMPILER_LAUNCHER";

} // namespace Brask
