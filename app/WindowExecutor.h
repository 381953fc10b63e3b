#pragma once
// The window's CommandExecutor (the counterpart of varbuild-cli's console
// executor): runs the core's commands with their output in the pane, one at
// a time or side by side (PaneJobs), and keeps what Stop ends. The window
// keeps painting while a command runs.

#include "core/CommandExecutor.h"
#include "core/builder/ParallelExecutor.h"

#include <functional>

class OutputPanel;
class PaneJobs;
class WindowBusy;

class WindowExecutor : public Brask::CommandExecutor, public Brask::ParallelExecutor {
public:
    // `busy` is the window, which is locked while a command runs; it must
    // outlive this object.
    explicit WindowExecutor(WindowBusy& busy);
    ~WindowExecutor() override;

    // The pane comes after the core (which is built with this executor):
    // no command may run before it is attached.
    void attach(OutputPanel* panel, PaneJobs* jobs);
    void detach();

    // CommandExecutor
    int execute(const KVUtil::String& command, bool echo) override;
    void message(const KVUtil::String& text) override;
    bool stopRequested() const override { return m_stopRequested; }

    // ParallelExecutor: compiles side by side, shown in the pane in source
    // order; the number of jobs is the user's preference.
    int jobs() const override;
    Outcome runStreaming(const KVUtil::String& command, Sink& sink) override;
    void showStart(const KVUtil::String& command) override;
    void showOutput(const char* data, size_t size) override;
    void showEnd(const Outcome& outcome) override;
    void breathe() override;
    void waitUntil(const std::function<bool()>& ready) override;
    void wake() override;

    // What Stop ends (a build, Build and Run, a send) runs between these;
    // endStoppable() says whether it was stopped.
    void beginStoppable();
    bool endStoppable();
    bool isStoppable() const { return m_stoppable && !m_stopRequested; }
    // Asks the stoppable command to end: the running tool's process tree
    // goes, and the core runs nothing more. False when nothing may be stopped.
    bool requestStop();

private:
    WindowBusy& m_busy;
    OutputPanel* m_panel = nullptr;
    PaneJobs* m_jobs = nullptr;
    bool m_stoppable = false;
    bool m_stopRequested = false;
};
