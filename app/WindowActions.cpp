#include "app/WindowActions.h"

#include "app/RecentProjects.h"
#include "app/output/PaneJobs.h"
#include "ui_Buildtool.h"

#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>

namespace {

QAction* makeAction(QMainWindow* window, const QString& text, const char* name, const QKeySequence& keys = {})
{
    auto* action = new QAction(text, window);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    return action;
}

} // namespace

WindowActions addWindowActions(QMainWindow* window, Ui::BuildtoolClass& ui)
{
    WindowActions made;
    // File > Recent Projects, below Open Project...
    auto* recentMenu = new QMenu(window);
    ui.menuFile->insertMenu(ui.actionImport_vcproj, recentMenu);
    made.recent = new RecentProjects(recentMenu, window);
    // File > Import Visual Studio Project..., below the 2005 import.
    made.importVisualStudio
        = makeAction(window, QMainWindow::tr("Import Visual Studio Pro&ject..."), "actionImportVisualStudio");
    ui.menuFile->insertAction(ui.actionSave, made.importVisualStudio);

    // Bluetooth: the phone's actions and Deliver over Wi-Fi..., before Help.
    auto* bluetooth = new QMenu(QMainWindow::tr("B&luetooth"), ui.menuBar);
    bluetooth->setObjectName(QStringLiteral("menuBluetooth"));
    ui.actionSelect_phone->setText(QMainWindow::tr("&Select phone"));
    ui.actionSend_to_phone->setText(QMainWindow::tr("Se&nd to phone"));
    bluetooth->addAction(ui.actionSelect_phone);
    bluetooth->addAction(ui.actionSend_to_phone);
    ui.menuBar->insertMenu(ui.menuHelp->menuAction(), bluetooth);
    made.deliver = makeAction(window, QMainWindow::tr("&Deliver over Wi-Fi..."), "actionDeliverOverWifi");
    bluetooth->addAction(made.deliver);

    // Build > Build Changed and the toolbar: only what is not up to date.
    made.buildChanged = makeAction(window, QMainWindow::tr("Build &Changed"), "actionBuildChanged",
                                   QKeySequence(Qt::CTRL | Qt::Key_F7));
    made.buildChanged->setIcon(window->style()->standardIcon(QStyle::SP_BrowserReload));
    made.buildChanged->setToolTip(QMainWindow::tr("Build Changed: only what changed since the last build (Ctrl+F7)"));
    ui.menuBuild->insertAction(ui.actionRun, made.buildChanged);
    ui.toolBar->insertAction(ui.actionRun, made.buildChanged);
    // How many sources a build compiles at once: the user's own preference.
    ui.toolBar->addWidget(PaneJobs::createField(window));

    // Build > Stop build and the toolbar.
    made.stop = makeAction(window, QMainWindow::tr("&Stop build"), "actionStopBuild");
    made.stop->setIcon(window->style()->standardIcon(QStyle::SP_BrowserStop));
    made.stop->setEnabled(false);
    ui.menuBuild->addAction(made.stop);
    ui.toolBar->insertAction(ui.actionRun, made.stop);
    made.stopShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), window, nullptr, nullptr, Qt::WindowShortcut);
    made.stopShortcut->setObjectName(QStringLiteral("stopBuildShortcut"));
    made.stopShortcut->setEnabled(false);

    // F8 / Shift+F8: from compiler message to compiler message in the pane.
    made.nextMessage = makeAction(window, QMainWindow::tr("&Next message"), "actionNextMessage", Qt::Key_F8);
    made.previousMessage = makeAction(window, QMainWindow::tr("&Previous message"), "actionPreviousMessage",
                                      QKeySequence(Qt::SHIFT | Qt::Key_F8));
    ui.menuBuild->addAction(made.nextMessage);
    ui.menuBuild->addAction(made.previousMessage);
    // After a build: how long it took and what the compiler said, beside the
    // pane rather than in its transcript.
    made.buildSummary = new QLabel(ui.statusBar);
    made.buildSummary->setObjectName(QStringLiteral("buildSummary"));
    ui.statusBar->addPermanentWidget(made.buildSummary);
    // Build > Packages...: which package each target device gets.
    made.packages = makeAction(window, QMainWindow::tr("Pac&kages..."), "actionPackages");
    ui.menuBuild->addAction(made.packages);

    // F10 opens the menu bar's first menu, as on other desktops.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), window);
    menuKey->setObjectName(QStringLiteral("menuBarShortcut"));
    QObject::connect(menuKey, &QShortcut::activated, ui.menuBar,
                     [bar = ui.menuBar, file = ui.menuFile] { bar->setActiveAction(file->menuAction()); });
    return made;
}

void prepareForm(Ui::BuildtoolClass& ui)
{
    // The style sheet names its image relative to ROOT/bin, but the current
    // directory moves on after construction and Qt loads the image at paint
    // time: anchor it here.
    // Scoped to the bar itself: unscoped, the declarations reach into the
    // drop-down menus, which then show no highlight and draw disabled
    // entries like enabled ones.
    ui.menuBar->setStyleSheet(
        QStringLiteral("QMenuBar#menuBar { ")
        + ui.menuBar->styleSheet().replace(QStringLiteral("url(gfx/"),
                                              QStringLiteral("url(") + QDir::currentPath() + QStringLiteral("/gfx/"))
        + QStringLiteral("}"));
    // Build transcripts are long: the output pane gets as much of the height
    // as the panels above it, at the start (the panels' size hints would give
    // them more) and as the window grows.
    ui.splitter_2->setStretchFactor(0, 1);
    ui.splitter_2->setStretchFactor(1, 1);
    ui.splitter_2->setSizes({1 << 12, 1 << 12});
}
