// Floods the output pane and measures how long the window stops painting
// and how much memory it takes:
//
//   pane-flood-bench MEGABYTES [JOBS]
//
// A shell script prints MEGABYTES of compiler-like lines as fast as it can;
// the pane (shown offscreen, 1000 x 300) runs it through OutputPanel as a
// build runs a tool. With JOBS of 2 or more, JOBS such scripts share the
// MEGABYTES and run at once as a build's compiles side by side (runInOrder
// with the window's PaneJobs): the first streams into the pane while the
// others' output waits for its turn and is then released.
// Printed: the time until the command returned, the
// longest gap between two paints of the pane while it ran, the longest gap
// between two ticks of a 5 ms timer (how long the event loop stood still),
// the peak resident memory (VmHWM) and the resident memory before the flood.

#include "app/output/OutputPanel.h"
#include "app/output/OutputStream.h"
#include "app/output/PaneJobs.h"
#include "core/builder/ParallelCompile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

long statusKilobytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

class PaintWatch : public QObject {
public:
    QElapsedTimer clock;
    qint64 last = -1;
    qint64 longest = 0;
    int paints = 0;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const qint64 now = clock.elapsed();
            if (last >= 0)
                longest = std::max(longest, now - last);
            last = now;
            ++paints;
        }
        return false;
    }
};

// The window's side of side-by-side compiles, as Buildtool wires it.
class PaneExecutor : public Brask::ParallelExecutor {
public:
    PaneExecutor(PaneJobs& jobs, int count)
        : m_jobs(jobs)
        , m_count(count)
    {
    }
    int jobs() const override { return m_count; }
    Outcome runStreaming(const KVUtil::String& command, Sink& sink) override
    {
        return m_jobs.runStreaming(command, sink);
    }
    void showStart(const KVUtil::String& command) override { m_jobs.showStart(command); }
    void showOutput(const char* data, size_t size) override { m_jobs.showOutput(data, size); }
    void showEnd(const Outcome& outcome) override { m_jobs.showEnd(outcome); }
    void breathe() override { m_jobs.breathe(); }
    void waitUntil(const std::function<bool()>& ready) override { m_jobs.waitUntil(ready); }
    void wake() override { m_jobs.wake(); }

private:
    PaneJobs& m_jobs;
    int m_count;
};

} // namespace

int main(int argc, char** argv)
{
    if ((argc != 2 && argc != 3) || std::atoi(argv[1]) <= 0 || (argc == 3 && std::atoi(argv[2]) <= 0)) {
        std::fprintf(stderr, "usage: pane-flood-bench MEGABYTES [JOBS]\n");
        return 2;
    }
    const long megabytes = std::atol(argv[1]);
    const int jobs = argc == 3 ? std::atoi(argv[2]) : 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir directory;
    const QString script = directory.path() + QStringLiteral("/flood");
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("#!/bin/sh\nyes 'src/module/renderer.c:1234: warning: comparison between signed and unsigned "
               "integer expressions' | head -c " + QByteArray::number(qint64(megabytes) * 1024 * 1024 / jobs) + "\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    QTextEdit view;
    view.setReadOnly(true);
    view.resize(1000, 300);
    view.show();
    OutputPanel panel(&view);
    PaneJobs paneJobs(&panel, nullptr);
    PaneExecutor executor(paneJobs, jobs);
    KVUtil::Vector<KVUtil::String> commands;
    for (int i = 0; i < jobs; ++i)
        commands.push_back(script.toStdString());
    PaintWatch paints;
    view.viewport()->installEventFilter(&paints);
    QApplication::processEvents();

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestStall = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0)
            longestStall = std::max(longestStall, now - lastTick);
        lastTick = now;
    });

    const long before = statusKilobytes("VmRSS:");
    clock.start();
    paints.clock.start();
    heartbeat.start();
    const int code = jobs > 1 ? Brask::runInOrder(executor, commands) : panel.runCommand(script.toStdString(), true);
    const qint64 total = clock.elapsed();
    heartbeat.stop();
    QApplication::processEvents();

    std::printf("%ld MB, %d job(s): exit %d, %lld ms in all, longest paint gap %lld ms (%d paints), longest event-loop "
                "stall %lld ms, peak RSS %ld MB (%ld MB before), %d lines in the pane, %lld left out, "
                "transcript %llu bytes\n",
                megabytes, jobs, code, static_cast<long long>(total), static_cast<long long>(paints.longest), paints.paints,
                static_cast<long long>(longestStall), statusKilobytes("VmHWM:") / 1024, before / 1024,
                view.document()->blockCount(), static_cast<long long>(panel.stream()->linesLeftOut()),
                panel.stream()->transcript().size());
    return 0;
}
