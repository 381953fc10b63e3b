#include "app/output/PaneJobs.h"

#include "app/output/OutputPanel.h"
#include "app/output/OutputStream.h"
#include "core/builder/ParallelCompile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QSpinBox>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kMaxJobs = 256;
const char* const kJobsKey = "build/jobs";

} // namespace

PaneJobs::PaneJobs(OutputPanel* panel, std::function<bool()> stopRequested, QObject* parent)
    : QObject(parent)
    , m_panel(panel)
    , m_stopRequested(std::move(stopRequested))
{
}

PaneJobs::~PaneJobs()
{
    if (m_stopper.joinable())
        m_stopper.join();
}

int PaneJobs::defaultJobs()
{
    return std::clamp(QThread::idealThreadCount(), 1, kMaxJobs);
}

int PaneJobs::storedJobs()
{
    bool ok = false;
    const int jobs = QSettings().value(QLatin1String(kJobsKey)).toInt(&ok);
    return ok && jobs >= 1 && jobs <= kMaxJobs ? jobs : defaultJobs();
}

void PaneJobs::storeJobs(int jobs)
{
    QSettings().setValue(QLatin1String(kJobsKey), std::clamp(jobs, 1, kMaxJobs));
}

QSpinBox* PaneJobs::createField(QWidget* parent)
{
    auto* field = new QSpinBox(parent);
    field->setObjectName(QStringLiteral("spinJobs"));
    field->setRange(1, kMaxJobs);
    field->setPrefix(tr("Jobs: "));
    field->setToolTip(tr("How many sources a build compiles at once"));
    field->setValue(storedJobs());
    connect(field, &QSpinBox::valueChanged, field, [](int value) { storeJobs(value); });
    return field;
}

int PaneJobs::jobs()
{
    if (!(m_stopRequested && m_stopRequested()))
        m_group.reset();
    return storedJobs();
}

Brask::ParallelExecutor::Outcome PaneJobs::runStreaming(const KVUtil::String& command,
                                                        Brask::ParallelExecutor::Sink& sink)
{
    return Brask::runInGroup(m_group, command, sink);
}

// The three steps are those of OutputPanel::runCommand for a command run alone.
void PaneJobs::showStart(const KVUtil::String& command)
{
    m_panel->appendParagraph(QStringLiteral("Running: ") + QString::fromUtf8(command.c_str()) + QLatin1Char('\n'));
    m_panel->stream()->begin();
}

void PaneJobs::showOutput(const char* data, size_t size)
{
    m_panel->stream()->push(data, size);
}

void PaneJobs::showEnd(const Brask::ParallelExecutor::Outcome& outcome)
{
    m_panel->stream()->finish();
    if (!outcome.failure.empty())
        m_panel->appendParagraph(QString::fromUtf8(outcome.failure.c_str()));
}

void PaneJobs::breathe()
{
    noticeStop();
    QCoreApplication::processEvents(QEventLoop::AllEvents, Brask::ReleaseSliceMs);
}

void PaneJobs::noticeStop()
{
    if (m_stopRequested && m_stopRequested() && !m_group.stopped())
        stopAll();
}

void PaneJobs::waitUntil(const std::function<bool()>& ready)
{
    while (!ready()) {
        noticeStop();
        QEventLoop loop;
        m_waitLoop = &loop;
        // wake() ends the wait early; the timer notices a stop.
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        m_waitLoop = nullptr;
    }
}

void PaneJobs::wake()
{
    // Any thread; the quit runs on the GUI thread, where m_waitLoop lives.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_waitLoop)
                m_waitLoop->quit();
        },
        Qt::QueuedConnection);
}

void PaneJobs::stopAll()
{
    if (m_stopper.joinable())
        m_stopper.join();
    m_stopper = std::thread([this] { m_group.stopAll(); });
}
