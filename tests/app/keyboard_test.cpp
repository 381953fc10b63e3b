// The window as a keyboard user and a window manager reach it: closing or
// quitting while a network exchange or the phone search waits, Select phone
// on a bus that never
// answers, Esc stopping a build from any panel, the menus' Alt+letter and
// F10, Tab out of the dialogs' text boxes, and the title naming the project
// and its unsaved changes.

#include "AppTestSupport.h"
#include "LoopbackHttpServer.h"
#include "app/Buildtool.h"
#include "app/phone/BusConnector.h"
#include "app/phone/PhoneDialog.h"
#include "app/phone/QtPhoneChooser.h"
#include "app/services/FeedbackDialog.h"
#include "app/services/InviteDialog.h"
#include "core/ProjectManager.h"
#include "net/HttpGet.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QDialogButtonBox>
#include <QTimer>

#include <memory>

namespace {

QProgressDialog* shownProgress()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "networkProgress" && widget->isVisible())
            return qobject_cast<QProgressDialog*>(widget);
    return nullptr;
}

// Runs `act` once `ready` holds, polling from the event loop.
void whenReady(QObject* context, std::function<bool()> ready, std::function<void()> act)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [=] {
        if (ready()) {
            poll->stop();
            act();
        }
    });
    poll->start(20);
}

} // namespace

class KeyboardTest : public WindowTestBase {
    Q_OBJECT

    QAction* action(const char* name) { return m_window->findChild<QAction*>(name); }
    QString shownTitle() const { return m_window->windowHandle()->title(); }

    // `said`: the one box before the stall (a download follows a query), or
    // empty.
    void closeOrQuitDuringExchange(const QString& trigger, const QByteArray& stalled, const QString& how,
                                   const QString& said)
    {
        LoopbackHttpServer server([stalled](const LoopbackHttpServer::Request& request) {
            if (request.target.startsWith(stalled))
                return LoopbackHttpServer::Reply{LoopbackHttpServer::Reply::Stall, {}};
            return LoopbackHttpServer::ok(request.target.startsWith("/currentProfile") ? "1" : "");
        });
        qputenv("VARNEL_UPDATE_SERVER", server.address());
        Brask::setHttpTimeoutMilliseconds(30000);
        openWindow(m_kit->writeProject("projects/demo/demo.vnp", "demo", {}));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        QElapsedTimer sinceAsked;
        bool blocked = true;
        whenReady(m_window.get(), [] { return shownProgress() != nullptr; }, [&] {
            // Nothing modal stands between the window manager and the window.
            blocked = QGuiApplication::modalWindow() != nullptr;
            sinceAsked.start();
            if (how == "ctrl+q")
                QTest::keyClick(shownProgress(), Qt::Key_Q, Qt::ControlModifier);
            else
                m_window->close();
        });
        action(trigger.toLatin1())->trigger();
        QVERIFY(!blocked);
        QTRY_COMPARE_WITH_TIMEOUT(quitting.size(), 1, 1000);
        QVERIFY2(sinceAsked.elapsed() < 1000, qPrintable(QString::number(sinceAsked.elapsed())));
        QStringList texts;
        for (const FakeDialogs::Message& message : m_dialogs.messages)
            texts << message.text;
        QCOMPARE(texts, said.isEmpty() ? QStringList() : QStringList{said});
        Brask::setHttpTimeoutMilliseconds(10000);
    }

    // The wait for the phone's service search, with its indicator up.
    void closeOrQuitDuringPhoneSearch(const QString& how)
    {
        openWindow();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        QtPhoneChooser chooser(m_window.get(), &m_runner, [this] { return m_window->quitPending(); });
        bool blocked = true;
        whenReady(m_window.get(), [this] { return m_window->findChild<QWidget*>("phoneSearchProgress") != nullptr
                                                  && m_window->findChild<QWidget*>("phoneSearchProgress")->isVisible(); },
                  [&] {
                      blocked = QGuiApplication::modalWindow() != nullptr;
                      if (how == "ctrl+q")
                          QTest::keyClick(m_window->findChild<QWidget*>("phoneSearchProgress"), Qt::Key_Q,
                                          Qt::ControlModifier);
                      else
                          m_window->close();
                  });
        m_window->beginBusy();
        QVERIFY(!chooser.waitForSearch([](int ms) {
            QTest::qSleep(ms);
            return false;
        }));
        m_window->endBusy();
        QVERIFY(!blocked);
        QTRY_COMPARE_WITH_TIMEOUT(quitting.size(), 1, 1000);
    }

    // DBUS_SYSTEM_BUS_ADDRESS on a socket that takes connections and says
    // nothing: the dialog shows at once, says the service did not answer
    // after the call time-out, the window keeps running; Close ends it.
    void hungBus()
    {
        QLocalServer silent;
        const QString socket = m_kit->path("silent-bus");
        QVERIFY(silent.listen(socket));
        QList<QLocalSocket*> held;
        connect(&silent, &QLocalServer::newConnection, [&] { held << silent.nextPendingConnection(); });
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket.toUtf8());
        const int timeout = PhoneDialog::callTimeout();
        PhoneDialog::setCallTimeout(500);
        openWindow();
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(50);
        QElapsedTimer clock;
        clock.start();
        qint64 shownAfter = -1;
        QString said;
        m_runner.scripts = {[&](QDialog& dialog) {
            shownAfter = clock.elapsed();
            QVERIFY(dialog.findChild<QProgressBar*>("busyIndicator")->isVisible());
            QTRY_VERIFY(static_cast<PhoneDialog&>(dialog).state() == PhoneDialog::State::NoAnswer);
            said = dialog.findChild<QLabel*>("messageLabel")->text();
            clickButton(dialog, false);
        }};
        action("actionSelect_phone")->trigger();
        PhoneDialog::setCallTimeout(timeout);
        QVERIFY2(shownAfter >= 0 && shownAfter < 400, qPrintable(QString::number(shownAfter)));
        QVERIFY2(said.contains("did not answer") && said.contains("0.5 seconds"), qPrintable(said));
        QVERIFY2(ticks >= 5, "the window's timers ran while the bus was silent");
        // The dialog said why; no second box.
        QCOMPARE(m_dialogs.titles(), QStringList());
        QVERIFY(!m_window->isBusy());
        // The bus goes away: the connecting thread ends instead of hanging.
        qDeleteAll(held);
        silent.close();
        QTRY_COMPARE_WITH_TIMEOUT(BusConnector::pending(), 0, 5000);
    }

    // A build whose compile hangs; Esc pressed where `focus` has the focus.
    void escapeStopsTheBuild(const QString& focus)
    {
        m_kit->writeTool("xgcc", "touch \"$VARNELDIR/running\"; sleep 600\n");
        openWindow(m_kit->writeProject("projects/game/game.vnp", "game", {"./main.c"}));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        whenReady(m_window.get(), [this] { return QFile::exists(m_kit->path("running")); }, [&] {
            auto* widget = m_window->findChild<QWidget*>(focus);
            widget->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        m_window->build();
        const QString pane = m_window->findChild<QTextEdit*>("outputBox")->toPlainText();
        QVERIFY2(pane.endsWith("Build stopped.\n"), qPrintable(pane));
        QCOMPARE(m_dialogs.titles(), QStringList());
    }

    void menuKey(const QString& key, const QString& menuName)
    {
        openWindow();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        if (key == "F10")
            QTest::keyClick(m_window.get(), Qt::Key_F10);
        else
            QTest::keyClick(m_window.get(), key.at(0).toLatin1(), Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), menuName);
        // What tests and users read stays the designed text.
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu->title().contains('&'));
        QApplication::activePopupWidget()->close();
    }

    // The window with its title above it (offscreen has no frame to draw
    // one) and the File menu open, for a look.
    void grabWithMenu()
    {
        QTest::keyClick(m_window.get(), Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QWidget* menu = QApplication::activePopupWidget();
        const QImage window = m_window->grab().toImage();
        QImage image(window.width(), window.height() + 24, QImage::Format_RGB32);
        image.fill(QColor(60, 60, 60));
        QPainter painter(&image);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, image.width(), 24), Qt::AlignCenter, shownTitle());
        painter.drawImage(0, 24, window);
        painter.drawImage(m_window->mapFromGlobal(menu->pos()) + QPoint(0, 24), menu->grab().toImage());
        painter.end();
        image.save(qEnvironmentVariable("VARBUILD_GRAB_DIR") + "/window-title-menu.png");
        menu->close();
    }

    void title(const QString& state, const QString& expected)
    {
        if (state == "none") {
            openWindow();
        } else {
            openWindow(m_kit->writeProject("projects/game/game.vnp", "game", {"./main.c"}));
            if (state == "changed")
                m_window->projectManager().getProject()->setProperty("gccSwitches", "-O2");
        }
        m_window->show();
        QTRY_COMPARE(shownTitle(), expected);
        if (state == "changed" && !qEnvironmentVariableIsEmpty("VARBUILD_GRAB_DIR"))
            grabWithMenu();
        if (state == "changed") {
            action("actionSave")->trigger();
            QTRY_COMPARE(shownTitle(), QString::fromUtf8("game – VarBuild"));
        }
    }

    // Tab moves on from a message box instead of typing a tab, so the
    // dialog's buttons are reached from the keyboard. (The preferences' file
    // types are tab-separated: there Tab types, and Ctrl+Tab moves on.)
    void tabLeavesTextBox(const QString& which)
    {
        openWindow();
        std::unique_ptr<QDialog> dialog;
        if (which == "feedback")
            dialog = std::make_unique<FeedbackDialog>();
        else
            dialog = std::make_unique<InviteDialog>();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        auto* box = dialog->findChild<QTextEdit*>("lineMessage");
        const QString before = box->toPlainText();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != box);
        QCOMPARE(box->toPlainText(), before);
    }

private slots:
    void initTestCase() { startSuite(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    void windowCases_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("detail");
        const QString query = "/currentProfile/";
        const QString update = "actionUpdate_profile_database";
        const QString ready = "A new profile database is ready for download.";
        QTest::newRow("version query, closed") << "network" << QStringList{update, query, "close", ""};
        QTest::newRow("version query, Ctrl+Q") << "network" << QStringList{update, query, "ctrl+q", ""};
        QTest::newRow("download, closed") << "network" << QStringList{update, "/update/", "close", ready};
        QTest::newRow("download, Ctrl+Q") << "network" << QStringList{update, "/update/", "ctrl+q", ready};
        QTest::newRow("release check, closed")
            << "network" << QStringList{"actionCheck_for_updates", "/latest/", "close", ""};
        QTest::newRow("release check, Ctrl+Q")
            << "network" << QStringList{"actionCheck_for_updates", "/latest/", "ctrl+q", ""};
        QTest::newRow("phone search, closed") << "search" << QStringList{"close"};
        QTest::newRow("phone search, Ctrl+Q") << "search" << QStringList{"ctrl+q"};
        QTest::newRow("hung system bus") << "bus" << QStringList();
        for (const char* panel : {"outputBox", "projectTree", "profileTree", "criteriaList"})
            QTest::newRow(qPrintable(QString("Esc in ") + panel)) << "esc" << QStringList{panel};
        QTest::newRow("Alt+F") << "menu" << QStringList{"F", "menuFile"};
        QTest::newRow("Alt+B") << "menu" << QStringList{"B", "menuBuild"};
        QTest::newRow("Alt+T") << "menu" << QStringList{"T", "menuTools"};
        QTest::newRow("Alt+S") << "menu" << QStringList{"S", "menuInvite_a_friend"};
        QTest::newRow("Alt+L") << "menu" << QStringList{"L", "menuBluetooth"};
        QTest::newRow("Alt+H") << "menu" << QStringList{"H", "menuHelp"};
        QTest::newRow("F10") << "menu" << QStringList{"F10", "menuFile"};
        for (const char* which : {"feedback", "invite"})
            QTest::newRow(qPrintable(QString("Tab in ") + which)) << "tab" << QStringList{which};
        QTest::newRow("title, no project") << "title" << QStringList{"none", "VarBuild"};
        QTest::newRow("title, project") << "title" << QStringList{"saved", QString::fromUtf8("game – VarBuild")};
        QTest::newRow("title, unsaved changes")
            << "title" << QStringList{"changed", QString::fromUtf8("game* – VarBuild")};
    }

    void windowCases()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, detail);
        if (kind == "network")
            closeOrQuitDuringExchange(detail[0], detail[1].toLatin1(), detail[2], detail[3]);
        else if (kind == "search")
            closeOrQuitDuringPhoneSearch(detail[0]);
        else if (kind == "bus")
            hungBus();
        else if (kind == "esc")
            escapeStopsTheBuild(detail[0]);
        else if (kind == "menu")
            menuKey(detail[0], detail[1]);
        else if (kind == "tab")
            tabLeavesTextBox(detail[0]);
        else
            title(detail[0], detail[1]);
    }

    // Designed texts read the same once the mnemonic is taken out.
    void menuTextsKeepTheirDesign()
    {
        openWindow();
        QStringList titles;
        for (QAction* menu : m_window->menuBar()->actions())
            titles << QString(menu->text()).remove('&');
        QCOMPARE(titles, (QStringList{"File", "Build", "Tools", "Services", "Bluetooth", "Help"}));
        QStringList file;
        for (QAction* entry : m_window->findChild<QMenu*>("menuFile")->actions())
            file << QString(entry->text()).remove('&');
        QCOMPARE(file, (QStringList{"New Project...", "Open Project...", "Recent Projects", "Import vcproj...",
                                    "Import Visual Studio Project...", "Save Project...", "", "Save file", "Close file", "", "Quit"}));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
