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
        // Everything execute would show after its "Running:" line.
        KVUtil::String shown;
    };

    // Runs `command` to completion with echo on, from a worker thread,
    // keeping its output. Called from several threads at once.
    virtual Captured runCaptured(const KVUtil::String& command) = 0;

    // Shows, on the build's own thread, what execute(command, true) showed:
    // the "Running:" line, then `shown`.
    virtual void release(const KVUtil::String& command, const KVUtil::String& shown) = 0;

    // Blocks the build's thread until `ready` holds. wake() (from any
    // thread) says it may have changed. A window keeps painting meanwhile.
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    virtual void wake() = 0;
};

} // namespace Brask
