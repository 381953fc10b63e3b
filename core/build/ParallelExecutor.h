#pragma once
// An executor that can run several commands at once with their output kept
// back, so the build can compile sources side by side and still show each
// command's text whole and in source order.

#include "kvutil/KVUtil.h"

#include <functional>

namespace Brask {

class ParallelExecutor {
public:
    virtual ~ParallelExecutor() = default;

    // How many commands may run at once; 1 or less runs them one by one
    // through CommandExecutor::execute, as always.
    virtual int jobs() const = 0;

    struct Captured {
        // What execute(command, true) would return.
        int code = 0;
        // False when a stop kept the command from starting: nothing is shown
        // for it, as execute would not have been called.
        bool started = true;
        // The child's output, as execute would show it after its "Running:"
        // line.
        KVUtil::String shown;
        // When the system refused a step: the failure lines execute shows
        // after the output ("Error %i on line %i" and its explanation).
        KVUtil::String failure;
    };

    // Runs `command` to completion with echo on, from a worker thread,
    // keeping its output. Called from several threads at once.
    virtual Captured runCaptured(const KVUtil::String& command) = 0;

    // Shows, on the build's own thread, what execute(command, true) showed:
    // the "Running:" line, the output and any failure lines.
    virtual void release(const KVUtil::String& command, const Captured& captured) = 0;

    // Blocks the build's thread until `ready` holds. wake() (from any
    // thread) says it may have changed. A window keeps painting meanwhile.
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    virtual void wake() = 0;
};

} // namespace Brask
