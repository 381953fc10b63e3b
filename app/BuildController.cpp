#include "app/BuildController.h"

#include "app/CompilerLauncher.h"
#include "app/ToolStarter.h"
#include "app/WindowExecutor.h"
#include "app/dialogs/UserDialogs.h"
#include "app/dialogs/WindowBusy.h"
#include "app/output/CompilerMessages.h"
#include "app/output/OutputPanel.h"
#include "app/output/OutputStream.h"
#include "app/panels/ProjectPanel.h"
#include "core/ProjectManager.h"
#include "util/PathUtil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>

BuildController::BuildController(Brask::ProjectManager& manager, WindowExecutor& executor, WindowBusy& busy,
                                 ProjectPanel& project, OutputPanel& output, QWidget* pane, QLabel* summary,
                                 UserDialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_manager(manager)
    , m_executor(executor)
    , m_busy(busy)
    , m_project(project)
    , m_output(output)
    , m_pane(pane)
    , m_summary(summary)
    , m_dialogs(dialogs)
{
}

bool BuildController::run(bool changed, bool showCompleteMessage)
{
    if (m_busy.isBusy())
        return false;
    m_executor.beginStoppable();
    QElapsedTimer buildTime;
    buildTime.start();
    m_busy.beginBusy();
    m_pane->setFocus();
    m_project.saveProject();
    m_output.clear();
    m_manager.setCompilerLauncher(CompilerLauncher::effective().toStdString());
    const int result = changed ? m_manager.buildChanged() : m_manager.build();
    const bool stopped = m_executor.endStoppable();
    if (stopped)
        m_output.appendParagraph(QString::fromLatin1(Brask::kBuildStoppedLine));
    showSummary(changed, stopped, double(buildTime.elapsed()) / 1000.0);
    m_output.scrollToEnd();
    const bool quitting = m_busy.quitPending();
    m_busy.endBusy();
    if (quitting || stopped)
        return false;

    if (result != 0) {
        m_output.appendParagraph(QStringLiteral("Tool returned error: %1\n").arg(result));
        QApplication::beep();
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Build error"), tr("There were build errors."));
        return false;
    }
    if (showCompleteMessage)
        m_dialogs.showMessage(UserDialogs::Kind::Information, tr("Build complete!"),
                              tr("The build completed successfully"));
    return true;
}

void BuildController::showSummary(bool changed, bool stopped, double seconds)
{
    // Counted over everything the build printed, not what the pane still shows.
    const QString counts
        = changed ? QString::fromStdString(m_manager.lastChangedSummary()) + QStringLiteral("; ") : QString();
    m_summary->setText(counts
                       + (stopped ? tr("Build stopped, %1 s").arg(seconds, 0, 'f', 1)
                                  : CompilerMessages::summary(m_output.stream()->messageCounts(), seconds)));
}

void BuildController::startEmulator(const QString& root, Brask::Project& project, ToolStarter& starter)
{
    using Brask::quoteArgument;
    const std::string directory = project.getDirectory();
    const std::string command = quoteArgument(root.toStdString() + "/bin/Ombra") + " -program "
        + quoteArgument(directory + "/Output/program") + " -resource " + quoteArgument(directory + "/Output/resources")
        + " -resolution " + quoteArgument(project.getProperty("screenWidth")) + " "
        + quoteArgument(project.getProperty("screenHeight"));
    std::string error;
    if (!starter.startDetached(command, &error))
        m_output.appendParagraph(tr("The emulator could not be started: %1").arg(QString::fromStdString(error)));
}
