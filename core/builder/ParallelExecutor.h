#pragma once
// An executor that can run several commands at once, so the build can compile
// sources side by side and still show each command's text whole and in
// source order: the earliest unfinished command streams live, the others
// keep their output back (runInOrder does the keeping and the ordering).

#include "kvutil/KVUtil.h"

#include <cstddef>
#include <functional>

namespace Brask {

class ParallelExecutor {
public:
    virtual ~ParallelExecutor() = default;

    // How many commands may run at once; 1 or less runs them one by one
    // through CommandExecutor::execute, as always.
    virtual int jobs() const = 0;

    // Where a command run by runStreaming reports, from its worker thread.
    class Sink {
    public:
        virtual ~Sink() = default;
        // The command is about to start (it was not refused because of a
        // stop): its "Running:" line may show from now on.
        virtual void started() = 0;
        // A piece of the child's output, as execute would show it.
        virtual void output(const char* data, size_t size) = 0;
    };

    struct Outcome {
        // What execute(command, true) would return.
        int code = 0;
        // False when a stop kept the command from starting: nothing is shown
        // for it, as execute would not have been called.
        bool started = true;
        // When the system refused a step: the failure lines execute shows
        // after the output ("Error %i on line %i" and its explanation).
        KVUtil::String failure;
    };

    // Runs `command` to completion with echo on, from a worker thread,
    // passing its output to `sink` as it arrives. Called from several threads
    // at once.
    virtual Outcome runStreaming(const KVUtil::String& command, Sink& sink) = 0;

    // What execute(command, true) shows, in three steps, one command at a
    // time in source order. showStart (build thread): the "Running:" line.
    // showOutput (build thread or the worker of the command being shown): a
    // piece of its output. showEnd (build thread): any failure lines.
    virtual void showStart(const KVUtil::String& command) = 0;
    virtual void showOutput(const char* data, size_t size) = 0;
    virtual void showEnd(const Outcome& outcome) = 0;

    // Build thread, between batches of output that was kept back: a window
    // takes its events here so it keeps painting while a long output goes in.
    virtual void breathe() {}

    // Blocks the build's thread until `ready` holds. wake() (from any
    // thread) says it may have changed. A window keeps painting meanwhile.
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    virtual void wake() = 0;
};

} // namespace Brask
