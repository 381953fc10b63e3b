#include "app/Buildtool.h"

#include "app/CompilerLauncher.h"
#include "app/output/CompilerMessages.h"
#include "app/dialogs/ConfigDialog.h"
#include "app/output/OutputPanel.h"
#include "app/output/OutputStream.h"
#include "app/dialogs/PackagesDialog.h"
#include "app/output/PaneJobs.h"
#include "app/phone/PhoneController.h"
#include "app/panels/ProfilesPanel.h"
#include "app/ProfilesLoading.h"
#include "app/panels/ProjectPanel.h"
#include "app/RecentProjects.h"
#include "app/dialogs/QtDialogRunner.h"
#include "app/dialogs/QtUserDialogs.h"
#include "app/services/ServicesController.h"
#include "app/panels/SettingsPanel.h"
#include "app/SystemToolStarter.h"
#include "core/ProjectManager.h"
#include "ui_Buildtool.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"
#include "util/Version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

#include <utility>

Buildtool::Buildtool(const QString& root, const QString& projectPath, UserDialogs* dialogs, ToolStarter* starter,
                     QWidget* parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::BuildtoolClass>())
    , m_ownDialogs(dialogs ? nullptr : std::make_unique<QtUserDialogs>())
    , m_ownStarter(starter ? nullptr : std::make_unique<SystemToolStarter>())
    , m_ownRunner(std::make_unique<QtDialogRunner>())
    , m_dialogs(dialogs ? dialogs : m_ownDialogs.get())
    , m_starter(starter ? starter : m_ownStarter.get())
    , m_runner(m_ownRunner.get())
    , m_root(root)
{
    // The order matters: the core first (it reads the configuration), then
    // the widgets, then the profile database in the background, the icons
    // from ROOT/bin, and the project last, when everything it notifies exists.
    m_manager = std::make_unique<Brask::ProjectManager>(root.toStdString(), this);
    m_manager->addListener(this);

    m_ui->setupUi(this);
    // The style sheet names its image relative to ROOT/bin, but the current
    // directory moves on after construction and Qt loads the image at paint
    // time: anchor it here.
    // Scoped to the bar itself: unscoped, the declarations reach into the
    // drop-down menus, which then show no highlight and draw disabled
    // entries like enabled ones.
    m_ui->menuBar->setStyleSheet(
        QStringLiteral("QMenuBar#menuBar { ")
        + m_ui->menuBar->styleSheet().replace(QStringLiteral("url(gfx/"),
                                              QStringLiteral("url(") + QDir::currentPath() + QStringLiteral("/gfx/"))
        + QStringLiteral("}"));
    // Build transcripts are long: the output pane gets as much of the height
    // as the panels above it, at the start (the panels' size hints would give
    // them more) and as the window grows.
    m_ui->splitter_2->setStretchFactor(0, 1);
    m_ui->splitter_2->setStretchFactor(1, 1);
    m_ui->splitter_2->setSizes({1 << 12, 1 << 12});
    m_projectPanel = new ProjectPanel(this, m_ui->projectTree, *m_manager, *m_dialogs, this);
    m_outputPanel = new OutputPanel(m_ui->outputBox, this);
    m_outputPanel->setDialogs(m_dialogs);
    m_paneJobs = new PaneJobs(m_outputPanel, [this] { return m_quitPending || stopRequested(); }, this);
    m_settingsPanel = new SettingsPanel(*m_ui, *m_manager, *m_dialogs, this);
    // Only now: the settings panel puts the tab pages in scroll areas, which
    // lowers the minimum height.
    resize(QSize(743, 621).expandedTo(minimumSizeHint()));
    m_profilesPanel = new ProfilesPanel(this, *m_ui, *m_manager, *m_dialogs, *m_starter, m_runner, this);
    m_phone = std::make_unique<PhoneController>(this, *m_manager, *m_dialogs, *this, *m_profilesPanel, m_runner);
    m_services = std::make_unique<ServicesController>(this, *m_manager, *m_dialogs, *this, *m_profilesPanel, m_runner);
    connectActions();

    m_services->runStartupChecks();

    // The tree says it is loading until the database arrives.
    m_profilesLoading = std::make_unique<ProfilesLoading>(this, *m_manager, *this, *m_profilesPanel);
    m_profilesPanel->buildProfileTree();
    m_projectPanel->loadIcons();
    m_profilesPanel->loadIcons();
    if (projectPath.isEmpty() || !m_projectPanel->openProjectFile(projectPath))
        noProject();
}

Buildtool::~Buildtool()
{
    // Pending posts end first, and the core must not call back.
    m_services.reset();
    m_phone.reset();
    // QWidget's destructor runs after the Ui, the core and this window's
    // members are gone, and it closes a window that is still shown: the focus
    // then leaves a settings field, whose handler reads the Ui and the core,
    // and the last window closing would reach doQuit(). So the panels go
    // now, with their connections, and the window is hidden while it is still
    // whole, without counting as a window whose closing ends the program.
    delete m_paneJobs;
    m_paneJobs = nullptr;
    delete m_settingsPanel;
    m_settingsPanel = nullptr;
    delete m_profilesPanel;
    m_profilesPanel = nullptr;
    delete m_projectPanel;
    m_projectPanel = nullptr;
    delete m_outputPanel;
    m_outputPanel = nullptr;
    setAttribute(Qt::WA_QuitOnClose, false);
    hide();
}

void Buildtool::setDialogRunner(DialogRunner* runner)
{
    m_runner = runner ? runner : m_ownRunner.get();
    m_profilesPanel->setDialogRunner(m_runner);
    m_phone->setDialogRunner(m_runner);
    m_services->setDialogRunner(m_runner);
}

void Buildtool::setPhoneChooser(Brask::PhoneChooser* chooser)
{
    m_phone->setPhoneChooser(chooser);
}

FormPoster* Buildtool::formPoster() const
{
    return m_services->formPoster();
}

void Buildtool::connectActions()
{
    Ui::BuildtoolClass& ui = *m_ui;
    connect(ui.actionNew_Project, &QAction::triggered, this, &Buildtool::newProject);
    connect(ui.actionOpen, &QAction::triggered, this, &Buildtool::open);
    connect(ui.actionImport_vcproj, &QAction::triggered, this, &Buildtool::import);
    // File > Recent Projects, below Open Project...
    auto* recentMenu = new QMenu(this);
    ui.menuFile->insertMenu(ui.actionImport_vcproj, recentMenu);
    m_recent = new RecentProjects(recentMenu, this);
    connect(m_recent, &RecentProjects::openRequested, this, &Buildtool::openRecent);
    connect(m_projectPanel, &ProjectPanel::projectFileUsed, m_recent, &RecentProjects::add);
    connect(ui.actionSave, &QAction::triggered, this, &Buildtool::saveProject);
    connect(ui.actionQuit, &QAction::triggered, this, &Buildtool::doQuit);
    connect(ui.actionBuild, &QAction::triggered, this, qOverload<>(&Buildtool::build));
    // Build > Build Changed and the toolbar: only what is not up to date.
    m_actionBuildChanged = new QAction(tr("Build Changed"), this);
    m_actionBuildChanged->setObjectName(QStringLiteral("actionBuildChanged"));
    m_actionBuildChanged->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F7));
    m_actionBuildChanged->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    m_actionBuildChanged->setToolTip(tr("Build Changed: only what changed since the last build (Ctrl+F7)"));
    ui.menuBuild->insertAction(ui.actionRun, m_actionBuildChanged);
    ui.toolBar->insertAction(ui.actionRun, m_actionBuildChanged);
    connect(m_actionBuildChanged, &QAction::triggered, this, &Buildtool::buildChanged);
    // How many sources a build compiles at once: the user's own preference.
    ui.toolBar->addWidget(PaneJobs::createField(this));
    connect(ui.actionRun, &QAction::triggered, this, &Buildtool::buildAndRun);
    connect(ui.actionPreferences, &QAction::triggered, this, &Buildtool::doPreferences);
    connect(ui.actionUpdate_profile_database, &QAction::triggered, this, &Buildtool::updateProfileDatabase);
    connect(ui.actionCheck_for_updates, &QAction::triggered, this, &Buildtool::doUpdateCheck);
    connect(ui.actionInvite, &QAction::triggered, this, &Buildtool::doInvite);
    connect(ui.actionSend_feedback, &QAction::triggered, this, &Buildtool::doFeedback);
    connect(ui.actionVarnel_Help, &QAction::triggered, this, &Buildtool::showHelp);
    connect(ui.actionAbout_Varnel, &QAction::triggered, this, &Buildtool::showAbout);
    connect(ui.actionSelect_phone, &QAction::triggered, this, &Buildtool::phoneSelect);
    connect(ui.actionSend_to_phone, &QAction::triggered, this, &Buildtool::phoneSend);
    // Build > Stop build and the toolbar; Esc in the output pane does the same.
    QAction* stop = new QAction(tr("Stop build"), this);
    stop->setObjectName(QStringLiteral("actionStopBuild"));
    stop->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    stop->setEnabled(false);
    ui.menuBuild->addAction(stop);
    ui.toolBar->insertAction(ui.actionRun, stop);
    connect(stop, &QAction::triggered, this, &Buildtool::stopBuild);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), ui.outputBox, nullptr, nullptr,
                                 Qt::WidgetWithChildrenShortcut);
    escape->setObjectName(QStringLiteral("stopBuildShortcut"));
    connect(escape, &QShortcut::activated, this, &Buildtool::stopBuild);
    // F8 / Shift+F8: from compiler message to compiler message in the pane.
    QAction* next = ui.menuBuild->addAction(tr("Next message"));
    next->setObjectName(QStringLiteral("actionNextMessage"));
    next->setShortcut(QKeySequence(Qt::Key_F8));
    connect(next, &QAction::triggered, this, [this] { m_outputPanel->gotoMessage(true); });
    QAction* previous = ui.menuBuild->addAction(tr("Previous message"));
    previous->setObjectName(QStringLiteral("actionPreviousMessage"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    connect(previous, &QAction::triggered, this, [this] { m_outputPanel->gotoMessage(false); });
    // After a build: how long it took and what the compiler said, beside the
    // pane rather than in its transcript.
    auto* summary = new QLabel(ui.statusBar);
    summary->setObjectName(QStringLiteral("buildSummary"));
    ui.statusBar->addPermanentWidget(summary);
    // Build > Packages...: which package each target device gets.
    QAction* packages = ui.menuBuild->addAction(tr("Packages..."));
    packages->setObjectName(QStringLiteral("actionPackages"));
    connect(packages, &QAction::triggered, this, [this] {
        PackagesDialog dialog(*m_manager, this);
        m_runner->run(dialog);
    });

    // The core has already told settingsChanged and criteriaChanged; loading
    // the settings again here would revive a target that the profile tree
    // has just dropped.
    connect(m_projectPanel, &ProjectPanel::projectAdopted, this, [this] {
        m_hasProject = true;
        applyControlStates();
        m_projectPanel->rebuildProjectTree();
    });
    connect(m_projectPanel, &ProjectPanel::projectCreated, m_profilesPanel, &ProfilesPanel::clearTarget);
    connect(m_projectPanel, &ProjectPanel::projectLost, this, &Buildtool::noProject);
    connect(m_projectPanel, &ProjectPanel::aboutToSave, m_settingsPanel, &SettingsPanel::commitEdits);
    connect(m_projectPanel, &ProjectPanel::projectLost, m_settingsPanel, &SettingsPanel::clearFields);
    // The pane may be scrolled away from its end: the message is brought into view.
    connect(m_profilesPanel, &ProfilesPanel::message, m_outputPanel, [this](const QString& text) {
        m_outputPanel->appendParagraph(text);
        m_outputPanel->scrollToEnd();
    });
    connect(m_settingsPanel, &SettingsPanel::buildTypeChanged, this, &Buildtool::applyControlStates);
    connect(m_projectPanel, &ProjectPanel::openFileRequested, this, &Buildtool::openWithTool);
    connect(m_outputPanel, &OutputPanel::openRequested, this, &Buildtool::openWithTool);
}

void Buildtool::setProjectControlsEnabled(bool enabled)
{
    m_hasProject = enabled;
    applyControlStates();
}

void Buildtool::noProject()
{
    setProjectControlsEnabled(false);
    // A failed open has discarded the project without telling the listeners.
    m_profilesPanel->clearTarget();
    m_profilesPanel->criteriaChanged();
}

void Buildtool::applyControlStates()
{
    Ui::BuildtoolClass& ui = *m_ui;
    const bool idle = !isBusy();
    const bool project = m_hasProject && m_manager->getProject();
    const Brask::Project* current = m_manager->getProject();
    const bool application = current && current->peekProperty("configType") != "lib";

    for (QWidget* control : {static_cast<QWidget*>(ui.gccGroup), static_cast<QWidget*>(ui.miscGroup),
                             static_cast<QWidget*>(ui.buildTypeGroup), static_cast<QWidget*>(ui.addCriterionButton),
                             static_cast<QWidget*>(ui.deleteCriterionButton),
                             static_cast<QWidget*>(ui.lineScreenWidth), static_cast<QWidget*>(ui.lineScreenHeight)})
        control->setEnabled(project);
    ui.actionSave->setEnabled(project && idle);
    ui.actionBuild->setEnabled(project && idle);
    if (m_actionBuildChanged)
        m_actionBuildChanged->setEnabled(project && idle);
    ui.actionRun->setEnabled(project && idle && application);
    ui.actionSend_to_phone->setEnabled(project && idle);
    if (QAction* stop = findChild<QAction*>(QStringLiteral("actionStopBuild")))
        stop->setEnabled(m_building && !m_stopRequested);

    // While a command runs nothing may start another one or change what the
    // running build reads: projects, settings, profiles, configuration.
    for (QAction* action : {ui.actionNew_Project, ui.actionOpen, ui.actionImport_vcproj, ui.actionPreferences,
                            ui.actionUpdate_profile_database, ui.actionCheck_for_updates, ui.actionInvite,
                            ui.actionSend_feedback, ui.actionSelect_phone})
        action->setEnabled(idle);
    ui.tabPane->setEnabled(idle);
    // A build reads the number of jobs as its compiles start.
    if (auto* jobs = findChild<QSpinBox*>(QStringLiteral("spinJobs")))
        jobs->setEnabled(idle);
    m_projectPanel->setLocked(!idle);
}

void Buildtool::beginBusy()
{
    if (m_busyDepth++ == 0)
        applyControlStates();
}

void Buildtool::endBusy()
{
    if (--m_busyDepth > 0)
        return;
    applyControlStates();
    if (m_quitPending)
        QMetaObject::invokeMethod(this, &Buildtool::doQuit, Qt::QueuedConnection);
}

int Buildtool::execute(const KVUtil::String& command, bool echo)
{
    // Once quitting has been asked for, the rest of a build does not run.
    if (m_quitPending || m_outputPanel->isRunning())
        return -1;
    if (m_stopRequested)
        return Brask::kStoppedResult;
    beginBusy();
    const int result = m_outputPanel->runCommand(command, echo);
    endBusy();
    return result;
}

void Buildtool::message(const KVUtil::String& text)
{
    m_outputPanel->appendParagraph(QString::fromStdString(text));
}

int Buildtool::jobs() const
{
    return m_paneJobs->jobs();
}

Brask::ParallelExecutor::Outcome Buildtool::runStreaming(const KVUtil::String& command, Sink& sink)
{
    return m_paneJobs->runStreaming(command, sink);
}

void Buildtool::showStart(const KVUtil::String& command)
{
    m_paneJobs->showStart(command);
}

void Buildtool::showOutput(const char* data, size_t size)
{
    m_paneJobs->showOutput(data, size);
}

void Buildtool::showEnd(const Outcome& outcome)
{
    m_paneJobs->showEnd(outcome);
}

void Buildtool::breathe()
{
    m_paneJobs->breathe();
}

void Buildtool::waitUntil(const std::function<bool()>& ready)
{
    m_paneJobs->waitUntil(ready);
}

void Buildtool::wake()
{
    m_paneJobs->wake();
}

void Buildtool::settingsChanged()
{
    updateSettingsFromProject();
}

void Buildtool::criteriaChanged()
{
    m_profilesPanel->criteriaChanged();
}

void Buildtool::updateSettingsFromProject()
{
    if (!m_manager->getProject())
        return;
    m_settingsPanel->loadFromProject();
    m_profilesPanel->resolveTargetFromProject();
    applyControlStates();
    m_projectPanel->rebuildProjectTree();
}

void Buildtool::projectItemChanged(QTreeWidgetItem* item, int column)
{
    m_projectPanel->projectItemChanged(item, column);
}

void Buildtool::newProject()
{
    if (!isBusy())
        m_projectPanel->newProject();
}

void Buildtool::open()
{
    if (!isBusy())
        m_projectPanel->open();
}

void Buildtool::openRecent(const QString& path)
{
    if (!isBusy())
        m_projectPanel->openRecent(path);
}

void Buildtool::import()
{
    if (!isBusy())
        m_projectPanel->import();
}

void Buildtool::saveProject()
{
    if (!isBusy())
        m_projectPanel->saveProject();
}

void Buildtool::doQuit()
{
    if (isBusy()) {
        // The running command ends first; endBusy() calls us again.
        m_quitPending = true;
        m_outputPanel->terminateCommand();
        // The network exchange under way is given up.
        m_services->cancelNetworkCall();
        return;
    }
    m_quitPending = false;
    m_projectPanel->saveProject();
    emit quitting();
}

void Buildtool::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        doQuit();
        return;
    }
    QMainWindow::closeEvent(event);
}

void Buildtool::build()
{
    build(true, nullptr);
}

void Buildtool::build(bool showCompleteMessage)
{
    build(showCompleteMessage, nullptr);
}

void Buildtool::build(bool showCompleteMessage, bool* success)
{
    runBuild(false, showCompleteMessage, success);
}

void Buildtool::buildChanged()
{
    runBuild(true, true, nullptr);
}

void Buildtool::runBuild(bool changed, bool showCompleteMessage, bool* success)
{
    if (success)
        *success = true;
    if (isBusy()) {
        if (success)
            *success = false;
        return;
    }
    m_building = true;
    m_stopRequested = false;
    QElapsedTimer buildTime;
    buildTime.start();
    beginBusy();
    m_ui->outputBox->setFocus();
    m_projectPanel->saveProject();
    m_outputPanel->clear();
    m_manager->setCompilerLauncher(CompilerLauncher::effective().toStdString());
    const int result = changed ? m_manager->buildChanged() : m_manager->build();
    const bool stopped = std::exchange(m_stopRequested, false);
    m_building = false;
    if (stopped)
        m_outputPanel->appendParagraph(QString::fromLatin1(Brask::kBuildStoppedLine));
    // Counted over everything the build printed, not what the pane still shows.
    if (auto* summary = findChild<QLabel*>(QStringLiteral("buildSummary"))) {
        const double seconds = double(buildTime.elapsed()) / 1000.0;
        const QString counts = changed ? QString::fromStdString(m_manager->lastChangedSummary()) + QStringLiteral("; ")
                                       : QString();
        summary->setText(counts
                         + (stopped ? tr("Build stopped, %1 s").arg(seconds, 0, 'f', 1)
                                    : CompilerMessages::summary(m_outputPanel->stream()->messageCounts(), seconds)));
    }
    m_outputPanel->scrollToEnd();
    const bool quitting = m_quitPending;
    endBusy();
    if (quitting || stopped) {
        if (success)
            *success = false;
        return;
    }

    if (result != 0) {
        m_outputPanel->appendParagraph(QStringLiteral("Tool returned error: %1\n").arg(result));
        QApplication::beep();
        m_dialogs->showMessage(UserDialogs::Kind::Warning, tr("Build error"), tr("There were build errors."));
        if (success)
            *success = false;
    } else if (showCompleteMessage) {
        m_dialogs->showMessage(UserDialogs::Kind::Information, tr("Build complete!"),
                               tr("The build completed successfully"));
    }
}

void Buildtool::buildAndRun()
{
    if (!m_manager->getProject() || isBusy())
        return;
    bool success = false;
    build(false, &success);
    Brask::Project* project = m_manager->getProject();
    if (!success || !project)
        return;

    using Brask::quoteArgument;
    const std::string directory = project->getDirectory();
    const std::string command = quoteArgument(m_root.toStdString() + "/bin/Ombra") + " -program "
        + quoteArgument(directory + "/Output/program") + " -resource " + quoteArgument(directory + "/Output/resources")
        + " -resolution " + quoteArgument(project->getProperty("screenWidth")) + " "
        + quoteArgument(project->getProperty("screenHeight"));
    std::string error;
    if (!m_starter->startDetached(command, &error))
        m_outputPanel->appendParagraph(tr("The emulator could not be started: %1").arg(QString::fromStdString(error)));
}

void Buildtool::openWithTool(const QString& file, int line)
{
    const std::string command = m_manager->getCommandLine(file.toStdString(), line, false);
    if (command.empty())
        return;
    if (!startTool(command))
        m_dialogs->showMessage(UserDialogs::Kind::Warning, tr("Tool error"),
                               tr("The application associated with this file could not be invoked. Please check "
                                  "your file type settings in Tools->preferences"));
}

bool Buildtool::startTool(const std::string& commandLine)
{
    std::string error;
    return !commandLine.empty() && m_starter->startDetached(commandLine, &error);
}

void Buildtool::beginStoppable()
{
    m_building = true;
    m_stopRequested = false;
    applyControlStates();
    // Esc stops from the pane.
    m_ui->outputBox->setFocus();
}

bool Buildtool::endStoppable()
{
    const bool stopped = std::exchange(m_stopRequested, false);
    m_building = false;
    applyControlStates();
    return stopped;
}

void Buildtool::stopBuild()
{
    if (!m_building || m_stopRequested)
        return;
    m_stopRequested = true;
    applyControlStates();
    m_outputPanel->terminateCommand();
}

void Buildtool::outputSelectionChanged()
{
    m_outputPanel->outputSelectionChanged();
}

void Buildtool::showHelp()
{
    const QString path = m_root + QStringLiteral("/docs/index.html");
    const QString address = QStringLiteral("file://") + path;
    if (!QFileInfo::exists(path)) {
        m_dialogs->showMessage(UserDialogs::Kind::Information, tr("VarBuild"), tr("Could not find %1.").arg(address));
        return;
    }
    if (!m_starter->openUrl(QUrl::fromLocalFile(path)))
        m_dialogs->showMessage(UserDialogs::Kind::Information, tr("VarBuild"),
                               tr("Unknown error opening documentation."));
}

void Buildtool::showAbout()
{
    m_dialogs->showMessage(UserDialogs::Kind::About, QString(),
                           QStringLiteral("<h1 align=\"center\">Varnel<br/>Build Tool</h1>"
                                          "<h2 align=\"center\">Beta 3</h2>"
                                          "<p align=\"center\">VarBuild %1</p>"
                                          "<p align=\"center\">Made by Kestrane.</p>")
                               .arg(QLatin1String(Brask::VarBuildVersion)));
}

void Buildtool::notAvailableYet(const QString& what)
{
    m_dialogs->showMessage(UserDialogs::Kind::Information, tr("VarBuild"),
                           tr("%1 is not available in this version yet.").arg(what));
}

void Buildtool::doPreferences()
{
    if (isBusy())
        return;
    ConfigDialog dialog(m_manager->getConfig(), *m_dialogs);
    dialog.setWindowIcon(windowIcon());
    if (m_runner->run(dialog) != QDialog::Accepted)
        return;
    std::string error;
    if (!m_manager->writeConfig(&error))
        m_dialogs->showMessage(UserDialogs::Kind::Warning, tr("VarBuild"),
                               tr("The configuration could not be saved to %1: %2. The new settings apply until "
                                  "VarBuild ends.")
                                   .arg(m_root + QStringLiteral("/bin/config.xml"), QString::fromStdString(error)));
}

void Buildtool::updateCheck(bool silent)
{
    m_services->updateCheck(silent);
}

void Buildtool::doUpdateCheck()
{
    m_services->doUpdateCheck();
}

void Buildtool::updateProfileDatabase()
{
    m_services->updateProfileDatabase();
}

void Buildtool::doFeedback()
{
    m_services->doFeedback();
}

void Buildtool::doInvite()
{
    m_services->doInvite();
}

void Buildtool::phoneSelect()
{
    m_phone->phoneSelect();
}

void Buildtool::phoneSend()
{
    m_phone->phoneSend(m_hasProject);
}
