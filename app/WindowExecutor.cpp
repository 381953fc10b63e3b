#include "app/WindowExecutor.h"

#include "app/dialogs/WindowBusy.h"
#include "app/output/OutputPanel.h"
#include "app/output/PaneJobs.h"

#include <QString>

#include <utility>

WindowExecutor::WindowExecutor(WindowBusy& busy)
    : m_busy(busy)
{
}

WindowExecutor::~WindowExecutor() = default;

void WindowExecutor::attach(OutputPanel* panel, PaneJobs* jobs)
{
    m_panel = panel;
    m_jobs = jobs;
}

void WindowExecutor::detach()
{
    m_panel = nullptr;
    m_jobs = nullptr;
}

int WindowExecutor::execute(const KVUtil::String& command, bool echo)
{
    // Once quitting has been asked for, the rest of a build does not run.
    if (!m_panel || m_busy.quitPending() || m_panel->isRunning())
        return -1;
    if (m_stopRequested)
        return Brask::kStoppedResult;
    m_busy.beginBusy();
    const int result = m_panel->runCommand(command, echo);
    m_busy.endBusy();
    return result;
}

void WindowExecutor::message(const KVUtil::String& text)
{
    if (m_panel)
        m_panel->appendParagraph(QString::fromStdString(text));
}

int WindowExecutor::jobs() const
{
    return m_jobs ? m_jobs->jobs() : 1;
}

Brask::ParallelExecutor::Outcome WindowExecutor::runStreaming(const KVUtil::String& command, Sink& sink)
{
    return m_jobs->runStreaming(command, sink);
}

void WindowExecutor::showStart(const KVUtil::String& command)
{
    m_jobs->showStart(command);
}

void WindowExecutor::showOutput(const char* data, size_t size)
{
    m_jobs->showOutput(data, size);
}

void WindowExecutor::showEnd(const Outcome& outcome)
{
    m_jobs->showEnd(outcome);
}

void WindowExecutor::breathe()
{
    m_jobs->breathe();
}

void WindowExecutor::waitUntil(const std::function<bool()>& ready)
{
    m_jobs->waitUntil(ready);
}

void WindowExecutor::wake()
{
    m_jobs->wake();
}

void WindowExecutor::beginStoppable()
{
    m_stoppable = true;
    m_stopRequested = false;
}

bool WindowExecutor::endStoppable()
{
    m_stoppable = false;
    return std::exchange(m_stopRequested, false);
}

bool WindowExecutor::requestStop()
{
    if (!isStoppable())
        return false;
    m_stopRequested = true;
    if (m_panel)
        m_panel->terminateCommand();
    return true;
}
