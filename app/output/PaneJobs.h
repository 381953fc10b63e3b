#pragma once
// The window's side of compiles run side by side: each runs on a worker
// thread; the earliest unfinished one streams into the output pane through
// the same bounded path as a command run alone, and the others' output is
// released after it in source order (runInOrder keeps it back meanwhile).
// The build's thread (the GUI thread) keeps the window painting while it
// waits and between released batches. The number of jobs is a user
// preference kept in the user's own settings.

#include "core/builder/ParallelExecutor.h"
#include "platform/RunnerGroup.h"

#include <QObject>

#include <functional>
#include <thread>

class OutputPanel;
class QEventLoop;
class QSpinBox;
class QWidget;

class PaneJobs : public QObject {
    Q_OBJECT
public:
    // `stopRequested` says whether the build has been asked to stop (or the
    // window to quit): nothing more starts then, and running compiles end.
    PaneJobs(OutputPanel* panel, std::function<bool()> stopRequested, QObject* parent = nullptr);
    ~PaneJobs() override;

    // The stored preference, or one job per core when none is stored.
    static int storedJobs();
    static void storeJobs(int jobs);
    static int defaultJobs();
    // A "Jobs" spin box (object name spinJobs) bound to the preference.
    static QSpinBox* createField(QWidget* parent);

    // Asked as a build's compile stage begins: a stop of an earlier build no
    // longer holds then.
    int jobs();
    Brask::ParallelExecutor::Outcome runStreaming(const KVUtil::String& command, Brask::ParallelExecutor::Sink& sink);
    void showStart(const KVUtil::String& command);
    void showOutput(const char* data, size_t size);
    void showEnd(const Brask::ParallelExecutor::Outcome& outcome);
    void breathe();
    void waitUntil(const std::function<bool()>& ready);
    void wake();

    // Ends the compiles running now and keeps new ones from starting until
    // the next build.
    void stopAll();

private:
    // Ends the running compiles once a stop has been asked for.
    void noticeStop();

    OutputPanel* m_panel;
    std::function<bool()> m_stopRequested;
    Platform::RunnerGroup m_group;
    QEventLoop* m_waitLoop = nullptr;
    // Ends the running compiles off the GUI thread (it may wait out a grace
    // period).
    std::thread m_stopper;
};
