#include "app/Buildtool.h"

#include "app/BuildController.h"
#include "app/HelpMenu.h"
#include "app/delivery/DeliveryController.h"
#include "app/output/OutputPanel.h"
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
#include "app/WindowActions.h"
#include "app/WindowExecutor.h"
#include "core/ProjectManager.h"
#include "ui_Buildtool.h"

#include <QCloseEvent>
#include <QSpinBox>
#include <QShortcut>
#include <QTimer>

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
    // The order matters: the executor, then the core (it reads the
    // configuration), then the widgets, then the profile database in the
    // background, the icons from ROOT/bin, and the project last, when
    // everything it notifies exists.
    m_executor = std::make_unique<WindowExecutor>(*this);
    m_manager = std::make_unique<Brask::ProjectManager>(root.toStdString(), m_executor.get());
    m_manager->addListener(this);

    m_ui->setupUi(this);
    prepareForm(*m_ui);
    m_projectPanel = new ProjectPanel(this, m_ui->projectTree, *m_manager, *m_dialogs, this);
    m_outputPanel = new OutputPanel(m_ui->outputBox, this);
    m_outputPanel->setDialogs(m_dialogs);
    m_paneJobs = new PaneJobs(m_outputPanel, [this] { return m_quitPending || m_executor->stopRequested(); }, this);
    m_executor->attach(m_outputPanel, m_paneJobs);
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
    // Every change reaches the project through a different panel; one look
    // at it a few times a second keeps the title's marker honest.
    auto* titleTimer = new QTimer(this);
    connect(titleTimer, &QTimer::timeout, this, &Buildtool::updateTitle);
    titleTimer->start(300);
    updateTitle();
}

Buildtool::~Buildtool()
{
    // Pending posts end first, and the core must not call back.
    m_services.reset();
    m_phone.reset();
    // Its dialog's server stops before anything else goes.
    delete m_delivery;
    m_delivery = nullptr;
    // QWidget's destructor runs after the Ui, the core and this window's
    // members are gone, and it closes a window that is still shown: the focus
    // then leaves a settings field, whose handler reads the Ui and the core,
    // and the last window closing would reach doQuit(). So the panels go
    // now, with their connections, and the window is hidden while it is still
    // whole, without counting as a window whose closing ends the program.
    m_executor->detach();
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
    const WindowActions made = addWindowActions(this, ui);
    m_recent = made.recent;
    connect(m_recent, &RecentProjects::openRequested, this, &Buildtool::openRecent);
    connect(m_projectPanel, &ProjectPanel::projectFileUsed, m_recent, &RecentProjects::add);
    m_actionBuildChanged = made.buildChanged;
    m_builds = new BuildController(*m_manager, *m_executor, *this, *m_projectPanel, *m_outputPanel, ui.outputBox,
                                   made.buildSummary, *m_dialogs, this);
    using Slot = void (Buildtool::*)();
    const std::pair<QAction*, Slot> wiring[] = {
        {ui.actionNew_Project, &Buildtool::newProject}, {ui.actionOpen, &Buildtool::open},
        {ui.actionImport_vcproj, &Buildtool::import}, {made.importVisualStudio, &Buildtool::importVisualStudio},
        {ui.actionSave, &Buildtool::saveProject}, {ui.actionQuit, &Buildtool::doQuit},
        {ui.actionBuild, static_cast<Slot>(&Buildtool::build)}, {m_actionBuildChanged, &Buildtool::buildChanged},
        {ui.actionRun, &Buildtool::buildAndRun}, {ui.actionPreferences, &Buildtool::doPreferences},
        {ui.actionUpdate_profile_database, &Buildtool::updateProfileDatabase},
        {ui.actionCheck_for_updates, &Buildtool::doUpdateCheck}, {ui.actionInvite, &Buildtool::doInvite},
        {ui.actionSend_feedback, &Buildtool::doFeedback}, {ui.actionVarnel_Help, &Buildtool::showHelp},
        {ui.actionAbout_Varnel, &Buildtool::showAbout}, {ui.actionSelect_phone, &Buildtool::phoneSelect},
        {ui.actionSend_to_phone, &Buildtool::phoneSend}, {made.stop, &Buildtool::stopBuild}};
    for (const auto& [action, slot] : wiring)
        connect(action, &QAction::triggered, this, slot);
    // Bluetooth > Deliver over Wi-Fi...: the packages over HTTP for the phone's browser.
    m_delivery = new DeliveryController(this, *m_manager, *m_dialogs, [this] { return m_builds->run(true, false); });
    m_actionDeliver = made.deliver;
    connect(m_actionDeliver, &QAction::triggered, m_delivery, &DeliveryController::deliver);
    m_actionStop = made.stop;
    m_stopShortcut = made.stopShortcut;
    connect(m_stopShortcut, &QShortcut::activated, this, &Buildtool::stopBuild);
    connect(made.nextMessage, &QAction::triggered, this, [this] { m_outputPanel->gotoMessage(true); });
    connect(made.previousMessage, &QAction::triggered, this, [this] { m_outputPanel->gotoMessage(false); });
    connect(made.packages, &QAction::triggered, this, [this] {
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
    const auto showMessage = [this](const QString& text) {
        m_outputPanel->appendParagraph(text);
        m_outputPanel->scrollToEnd();
    };
    connect(m_profilesPanel, &ProfilesPanel::message, m_outputPanel, showMessage);
    connect(m_projectPanel, &ProjectPanel::message, m_outputPanel, showMessage);
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
    m_actionStop->setEnabled(m_executor->isStoppable());
    m_stopShortcut->setEnabled(m_executor->isStoppable());
    if (QAction* importVisualStudio = findChild<QAction*>(QStringLiteral("actionImportVisualStudio")))
        importVisualStudio->setEnabled(idle);
    m_actionDeliver->setEnabled(project && idle);

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

void Buildtool::importVisualStudio()
{
    if (!isBusy())
        m_projectPanel->importVisualStudio();
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

void Buildtool::build(bool showCompleteMessage, bool* success)
{
    const bool built = m_builds->run(false, showCompleteMessage);
    if (success)
        *success = built;
}

void Buildtool::buildChanged()
{
    m_builds->run(true, true);
}

void Buildtool::updateTitle()
{
    const Brask::Project* project = m_hasProject ? m_manager->getProject() : nullptr;
    // A "[*]" of the name's own is shown as it is, not as the marker.
    const QString title = project ? QString::fromStdString(project->getName()).replace(QLatin1String("[*]"),
                                                                                        QLatin1String("[*][*]"))
            + QStringLiteral("[*] \u2013 VarBuild")
                                  : QStringLiteral("VarBuild");
    if (title != windowTitle())
        setWindowTitle(title);
    setWindowModified(project && m_projectPanel->isModified());
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

    m_builds->startEmulator(m_root, *project, *m_starter);
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
    m_executor->beginStoppable();
    applyControlStates();
    // The pane shows what is stopped.
    m_ui->outputBox->setFocus();
}

bool Buildtool::endStoppable()
{
    const bool stopped = m_executor->endStoppable();
    applyControlStates();
    return stopped;
}

void Buildtool::stopBuild()
{
    if (m_executor->requestStop())
        applyControlStates();
}

void Buildtool::outputSelectionChanged()
{
    m_outputPanel->outputSelectionChanged();
}

void Buildtool::showHelp()
{
    showHelpPage(m_root, *m_starter, *m_dialogs);
}

void Buildtool::showAbout()
{
    showAboutBox(*m_dialogs);
}

void Buildtool::doPreferences()
{
    if (!isBusy())
        editPreferences(*m_manager, *m_dialogs, *m_runner, windowIcon(), m_root);
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
