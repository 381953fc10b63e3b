// The window's update checks against a server of the test's own on
// 127.0.0.1: the release check's boxes, the profile-database update from a
// real zip archive, the progress dialog and its Cancel, the window staying
// responsive while the server is slow, and the checks at start-up.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "LoopbackHttpServer.h"
#include "app/panels/ProfilesPanel.h"
#include "core/ProjectManager.h"
#include "core/profiles/ProfileDatabase.h"
#include "core/update/InstallLock.h"
#include "core/update/UpdateManager.h"
#include "app/dialogs/QtUserDialogs.h"
#include "net/HttpGet.h"
#include "util/Diagnostics.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <functional>
#include <thread>

namespace {

using Reply = LoopbackHttpServer::Reply;
using Request = LoopbackHttpServer::Request;

const QString Web = QString::fromUtf8(Brask::MakerWebSite);

// Every item of the profile tree, depth-first, as "indent + text".
QStringList treeTexts(QTreeWidget* tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        out << QString(depth * 2, ' ') + item->text(0);
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

// A profile archive as the server hands it out: profiles/vendors/Zeta/Phone,
// made with Info-ZIP's zip.
QByteArray zetaArchive()
{
    QTemporaryDir dir;
    const QString device = dir.path() + "/profiles/vendors/Zeta/Phone";
    QDir().mkpath(device);
    QFile runtime(device + "/runtime.txt");
    runtime.open(QIODevice::WriteOnly);
    runtime.write("profiles\\runtimes\\1\n");
    runtime.close();
    QFile profile(device + "/profile.h");
    profile.open(QIODevice::WriteOnly);
    profile.write("#define KV_PROF_SUPPORT_CAMERA\n");
    profile.close();
    QProcess zip;
    zip.setWorkingDirectory(dir.path());
    zip.start("zip", {"-q", "-r", "update.zip", "profiles"});
    if (!zip.waitForFinished(30000) || zip.exitCode() != 0)
        qFatal("zip failed: %s", zip.readAllStandardError().constData());
    QFile archive(dir.path() + "/update.zip");
    archive.open(QIODevice::ReadOnly);
    return archive.readAll();
}

QByteArray closedAddress()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return "127.0.0.1:" + QByteArray::number(port);
}

// Saves `widget` as NAME.png when VARBUILD_GRAB_DIR names a directory.
void grabIfAsked(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("VARBUILD_GRAB_DIR");
    if (!dir.isEmpty())
        widget->grab().save(dir + "/" + name + ".png");
}

} // namespace

class UpdatesTest : public WindowTestBase {
    Q_OBJECT
private:
    // The server answers the three update requests from these.
    QByteArray m_profileAnswer = "0";
    QByteArray m_latest = "5";
    Reply m_archive;
    LoopbackHttpServer* m_server = nullptr;

    void serve()
    {
        m_server = new LoopbackHttpServer([this](const Request& request) {
            if (request.target.startsWith("/currentProfile/index.php?version="))
                return LoopbackHttpServer::ok(m_profileAnswer);
            if (request.target == "/update/index.php")
                return m_archive;
            if (request.target == "/latest/")
                return LoopbackHttpServer::ok(m_latest);
            return LoopbackHttpServer::ok("", 404);
        });
        qputenv("VARNEL_UPDATE_SERVER", m_server->address());
    }
    QStringList targets() const
    {
        QStringList out;
        for (const Request& request : m_server->requests)
            out << QString::fromLatin1(request.target);
        return out;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const auto& message : m_dialogs.messages)
            out << message.text;
        return out;
    }
    QTreeWidget* profileTree() { return m_window->findChild<QTreeWidget*>("profileTree"); }
    // The network progress dialog on view: over the window when it shows,
    // alone on the screen when it does not (as in these tests, or at start-up).
    static QProgressDialog* shownProgress()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == "networkProgress" && widget->isVisible())
                return qobject_cast<QProgressDialog*>(widget);
        return nullptr;
    }
    QAction* action(const char* name) { return m_window->findChild<QAction*>(name); }
    QString openDemoProject()
    {
        return m_kit->writeProject("projects/demo/demo.vnp", "demo", {});
    }
    void useRocketAsTarget()
    {
        QTreeWidgetItem* rocket = profileTree()->topLevelItem(0)->child(0);
        profileTree()->setCurrentItem(rocket);
        m_window->profilesPanel()->useAsTarget();
        QVERIFY(m_window->profilesPanel()->currentTarget());
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        m_profileAnswer = "0";
        m_latest = "5";
        m_archive = LoopbackHttpServer::ok(zetaArchive());
        m_kit->writeFile("bin/version.dat", "5\n");
        m_kit->writeFile("profiles/version.dat", "1\n");
        // The kit's unzip is Info-ZIP's.
        m_kit->writeTool("unzip", "exec unzip \"$@\"\n");
    }

    void cleanup()
    {
        endTest();
        delete m_server;
        m_server = nullptr;
        Brask::setHttpTimeoutMilliseconds(0);
    }

    void releaseCheck_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("revision");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString newer = "A new version of Varnel is available for download at " + Web;
        const QString network = "Could not connect to server to check for updates";
        const QString future = "You're running a future version of Varnel, potentially doing serious damage to the "
                               "spacetime continuum!";
        const QString failed = "Something went wrong with checking for updates. Check network cables, firewalls and "
                               "that sort of stuff.";
        QTest::newRow("newer") << QByteArray("7") << QByteArray("5\n") << false << "New update available" << newer;
        QTest::newRow("newer, silent") << QByteArray("7") << QByteArray("5\n") << true << "New update available" << newer;
        QTest::newRow("same") << QByteArray("5") << QByteArray("5\n") << false << "There are no new updates"
                              << "You are running the latest version of Varnel.";
        QTest::newRow("same, silent") << QByteArray("5") << QByteArray("5\n") << true << "" << "";
        QTest::newRow("zero") << QByteArray("0") << QByteArray("5\n") << false << "Network error" << network;
        QTest::newRow("zero, silent") << QByteArray("0") << QByteArray("5\n") << true << "Network error" << network;
        QTest::newRow("older") << QByteArray("3") << QByteArray("5\n") << false << "Dude!" << future;
        QTest::newRow("older, silent") << QByteArray("3") << QByteArray("5\n") << true << "Dude!" << future;
        QTest::newRow("empty answer") << QByteArray("") << QByteArray("5\n") << false
                                      << "The check for updates could not be performed" << failed;
        QTest::newRow("empty answer, silent") << QByteArray("") << QByteArray("5\n") << true << "" << "";
        QTest::newRow("refused, silent") << QByteArray() << QByteArray("5\n") << true << "Network error" << network;
        QTest::newRow("no version file") << QByteArray("0") << QByteArray() << true << "New update available" << newer;
    }

    void releaseCheck()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, revision);
        QFETCH(bool, silent);
        QFETCH(QString, title);
        QFETCH(QString, text);
        if (revision.isNull())
            QFile::remove(m_kit->path("bin/version.dat"));
        else
            m_kit->writeFile("bin/version.dat", revision);
        openWindow();
        m_latest = answer;
        serve();
        if (answer.isNull())
            qputenv("VARNEL_UPDATE_SERVER", closedAddress());

        if (silent)
            m_window->updateCheck(true);
        else
            action("actionCheck_for_updates")->trigger();

        if (title.isEmpty()) {
            QVERIFY(m_dialogs.messages.isEmpty());
        } else {
            QCOMPARE(m_dialogs.messages.size(), 1);
            QCOMPARE(m_dialogs.messages[0].title, title);
            QCOMPARE(m_dialogs.messages[0].text, text);
            QCOMPARE(m_dialogs.messages[0].kind, title.startsWith("The check") ? UserDialogs::Kind::Warning
                                                                              : UserDialogs::Kind::Information);
        }
        QCOMPARE(targets(), answer.isNull() ? QStringList() : QStringList{"/latest/"});
        QVERIFY(!m_window->isBusy());

        // The real box wraps the text but never inside the web address.
        if (text.contains(Web)) {
            const auto box = QtUserDialogs::makeBox(UserDialogs::Kind::Information, title, text);
            box->show();
            auto* label = box->findChild<QLabel*>("qt_msgbox_label");
            // As wide as the text up to the address's "//": a plain label
            // would break the address there.
            QTextDocument document;
            document.setDocumentMargin(0);
            document.setDefaultFont(label->font());
            document.setHtml(label->text());
            document.setTextWidth(QFontMetrics(label->font()).horizontalAdvance(text.left(text.indexOf("//") + 2)) + 2);
            QVERIFY(document.size().height() > 0);  // lays the text out
            const QTextBlock block = document.firstBlock();
            bool whole = false;
            for (int i = 0; i < block.layout()->lineCount(); ++i) {
                const QTextLine line = block.layout()->lineAt(i);
                whole = whole || block.text().mid(line.textStart(), line.textLength()).contains(Web);
            }
            grabIfAsked(box.get(), "new-update-box");
            QVERIFY2(whole, qPrintable(label->text()));
        }
    }

    void profileUpdateInstallsAndForgetsTheTarget()
    {
        openWindow(openDemoProject());
        serve();
        m_profileAnswer = "1";
        useRocketAsTarget();
        QCOMPARE(treeTexts(profileTree()), (QStringList{"Acme", "  Rocket"}));

        action("actionUpdate_profile_database")->trigger();

        QCOMPARE(targets(), (QStringList{"/currentProfile/index.php?version=1", "/update/index.php"}));
        QCOMPARE(texts(), (QStringList{"A new profile database is ready for download.",
                                       "The profile update was successfully installed."}));
        QCOMPARE(m_dialogs.countTitled("VarBuild"), 2);
        QVERIFY(waitUntilProfilesShown(*m_window));
        QCOMPARE(treeTexts(profileTree()), (QStringList{"Acme", "  Rocket", "Zeta", "  Phone"}));
        QVERIFY(QFile::exists(m_kit->path("profiles/vendors/Zeta/Phone/profile.h")));
        QVERIFY(!m_window->profilesPanel()->currentTarget());
        QVERIFY(!m_window->isBusy());
    }

    void profileUpdateWhileTheDatabaseIsStillRead()
    {
        // Held by "another copy" until the update is under way: the window
        // is still reading when the update starts, and its swap waits too.
        Brask::InstallLock other(m_kit->root().toStdString(), Brask::InstallLock::Database);
        std::string error;
        QCOMPARE(other.acquire(0, nullptr, error), Brask::InstallLock::Taken);
        serve();
        m_profileAnswer = "1";
        openWindow(openDemoProject(), false);
        QCOMPARE(treeTexts(profileTree()), QStringList{"Reading profiles..."});
        QTimer::singleShot(300, [&] { other.release(); });
        action("actionUpdate_profile_database")->trigger();
        QCOMPARE(texts(), (QStringList{"A new profile database is ready for download.",
                                       "The profile update was successfully installed."}));
        QVERIFY(waitUntilProfilesShown(*m_window));
        QCOMPARE(treeTexts(profileTree()), (QStringList{"Acme", "  Rocket", "Zeta", "  Phone"}));
    }

    // Another copy swaps a database in the moment it can take the lock,
    // racing the window's read: the window gets one of them whole.
    void swapRacingTheReadGivesOneWholeDatabase()
    {
        const auto writeVendors = [&](const QString& vendors, const QString& prefix) {
            m_kit->writeFile(vendors + "/definitions.txt", "KV_PROF_SUPPORT_CAMERA,Camera\n");
            for (int v = 0; v < 20; ++v)
                for (int d = 0; d < 50; ++d)
                    m_kit->writeFile(QString("%1/%2%3/D%4/runtime.txt").arg(vendors, prefix).arg(v).arg(d),
                                     "profiles\\runtimes\\1\n");
        };
        writeVendors("profiles/vendors", "Old");
        writeVendors("staged/profiles/vendors", "New");
        const std::string root = m_kit->root().toStdString();
        openWindow(QString(), false);
        std::thread swapper([root] {
            Brask::InstallLock lock(root, Brask::InstallLock::Database);
            std::string error;
            if (lock.acquire(20000, nullptr, error) != Brask::InstallLock::Taken)
                return;
            std::filesystem::rename(root + "/profiles", root + "/old-profiles");
            std::filesystem::rename(root + "/staged/profiles", root + "/profiles");
        });
        swapper.join();
        QVERIFY(waitUntilProfilesShown(*m_window));
        QVERIFY(QFile::exists(m_kit->path("profiles/vendors/New0/D0/runtime.txt")));
        const Brask::ProfileDatabase& database = m_window->projectManager().getProfileDatabase();
        const bool old = database.getVendors().front()->getName() == "Acme";
        QStringList strays;
        for (const auto& vendor : database.getVendors())
            if (vendor->getName().rfind(old ? "New" : "Old", 0) == 0)
                strays << QString::fromStdString(vendor->getName());
        QVERIFY2(strays.isEmpty(), qPrintable(strays.join(' ')));
        QCOMPARE(database.deviceCount(), size_t(old ? 1001 : 1000));
    }

    void nothingNewStillForgetsTheTarget()
    {
        openWindow(openDemoProject());
        serve();
        useRocketAsTarget();
        action("actionUpdate_profile_database")->trigger();
        QCOMPARE(targets(), QStringList{"/currentProfile/index.php?version=1"});
        QCOMPARE(texts(), QStringList{"Nothing to update - you are using the latest profile database"});
        QVERIFY(!m_window->profilesPanel()->currentTarget());
        QVERIFY(waitUntilProfilesShown(*m_window));
        QCOMPARE(treeTexts(profileTree()), (QStringList{"Acme", "  Rocket"}));
    }

    void windowKeepsWorkingWhileTheServerStalls()
    {
        openWindow();
        serve();
        m_server->setHandler([](const Request&) { return Reply{Reply::Stall, {}}; });
        bool fired = false;
        bool busy = false;
        bool actionEnabled = true;
        QTimer::singleShot(200, [&] {
            fired = true;
            busy = m_window->isBusy();
            actionEnabled = action("actionCheck_for_updates")->isEnabled();
            // Now let the exchange end: the server goes away.
            m_server->closeAll(true);
        });
        action("actionCheck_for_updates")->trigger();
        QVERIFY(fired);
        QVERIFY(busy);
        QVERIFY(!actionEnabled);
        QVERIFY(!m_window->isBusy());
        QVERIFY(action("actionCheck_for_updates")->isEnabled());
        // No answer: N = 0 below the installed 5.
        QCOMPARE(m_dialogs.titles(), QStringList{"Network error"});
    }

    void downloadShowsProgressAndCancels()
    {
        openWindow(openDemoProject());
        serve();
        m_profileAnswer = "1";
        // Part of a long archive, then silence.
        m_archive = {Reply::SendThenStall,
                     "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(5000, 'z')};
        // Bounds the test should Cancel not end the download.
        Brask::setHttpTimeoutMilliseconds(8000);
        // On view, the window holds the dialog.
        m_window->show();
        QString label;
        bool cancelled = false;
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* dialog = m_window->findChild<QProgressDialog*>("networkProgress");
            if (!dialog || !dialog->isVisible() || !dialog->labelText().contains("5,000"))
                return;
            poll.stop();
            label = dialog->labelText();
            // Over the window without blocking it: its close and Quit reach it.
            QCOMPARE(dialog->windowModality(), Qt::NonModal);
            QVERIFY(!QGuiApplication::modalWindow());
            grabIfAsked(dialog, "download-progress");
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            cancelled = true;
        });
        poll.start();
        action("actionUpdate_profile_database")->trigger();
        poll.stop();

        QVERIFY(cancelled);
        QCOMPARE(label, QString("Downloading the profile database...\n5,000 of 100,000 bytes"));
        QCOMPARE(texts(), (QStringList{"A new profile database is ready for download.",
                                       "The profile update was cancelled. The installed profile database is "
                                       "unchanged."}));
        QVERIFY(waitUntilProfilesShown(*m_window));
        QCOMPARE(treeTexts(profileTree()), (QStringList{"Acme", "  Rocket"}));
        QVERIFY(!QFile::exists(m_kit->path("profiles/vendors/Zeta")));
        QVERIFY(!m_window->findChild<QProgressDialog*>("networkProgress"));
    }

    void quittingGivesUpTheDownload()
    {
        openWindow(openDemoProject());
        serve();
        m_profileAnswer = "1";
        m_archive = {Reply::SendThenStall, "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(10, 'z')};
        Brask::setHttpTimeoutMilliseconds(8000);
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        bool quitWhileBusy = false;
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, [&] {
            if (m_server->requests.size() < 2)
                return;
            poll.stop();
            m_window->doQuit();
            quitWhileBusy = quitting.isEmpty();
        });
        poll.start();
        action("actionUpdate_profile_database")->trigger();
        poll.stop();
        // The quit ended the download as cancelled; no box holds it up.
        QVERIFY(quitWhileBusy);
        QCOMPARE(texts(), QStringList{"A new profile database is ready for download."});
        QTRY_COMPARE(quitting.size(), 1);
    }

    // Cancel, Quit or closing the window while each exchange waits on a
    // silent server (or, for the install, on another update's lock).
    void cancelAndQuitDuringEachExchange_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("stall");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("task");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QStringList>("messages");
        const QString query = "/currentProfile/index.php?version=1";
        const QString ready = "A new profile database is ready for download.";
        const QString cancelled = "The profile update was cancelled. The installed profile database is unchanged.";
        QTest::newRow("version query, Cancel") << "actionUpdate_profile_database" << query << "cancel"
                                               << "Checking for a newer profile database..." << QStringList{query}
                                               << QStringList();
        QTest::newRow("version query, window closed")
            << "actionUpdate_profile_database" << query << "close" << "Checking for a newer profile database..."
            << QStringList{query} << QStringList();
        QTest::newRow("release check, Cancel") << "actionCheck_for_updates" << "/latest/" << "cancel"
                                               << "Checking for a newer release of Varnel..."
                                               << QStringList{"/latest/"} << QStringList();
        QTest::newRow("release check, Quit") << "actionCheck_for_updates" << "/latest/" << "quit"
                                             << "Checking for a newer release of Varnel..."
                                             << QStringList{"/latest/"} << QStringList();
        QTest::newRow("download, window closed")
            << "actionUpdate_profile_database" << "/update/index.php" << "close"
            << "Downloading the profile database..." << QStringList{query, "/update/index.php"}
            << QStringList{ready};
        QTest::newRow("install, Cancel") << "actionUpdate_profile_database" << "lock" << "cancel"
                                         << "Installing the profile database..."
                                         << QStringList{query, "/update/index.php"} << QStringList{ready, cancelled};
        QTest::newRow("install, Quit") << "actionUpdate_profile_database" << "lock" << "quit"
                                       << "Installing the profile database..."
                                       << QStringList{query, "/update/index.php"} << QStringList{ready};
    }

    void cancelAndQuitDuringEachExchange()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, stall);
        QFETCH(QString, how);
        QFETCH(QString, task);
        QFETCH(QStringList, requests);
        QFETCH(QStringList, messages);
        openWindow(openDemoProject());
        serve();
        m_profileAnswer = "1";
        // Were the exchange not ended, it would run into this and go on.
        Brask::setHttpTimeoutMilliseconds(20000);
        m_server->setHandler([stall, previous = m_server->handler()](const Request& request) {
            return QString::fromLatin1(request.target) == stall ? Reply{Reply::Stall, {}} : previous(request);
        });
        // Another update holds the installation.
        Brask::InstallLock theirs(m_kit->root().toStdString());
        std::string error;
        if (stall == "lock")
            QCOMPARE(theirs.acquire(0, nullptr, error), Brask::InstallLock::Taken);
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        QString label;
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* dialog = shownProgress();
            if (!dialog)
                return;
            poll.stop();
            label = dialog->labelText();
            if (how == "cancel")
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            else if (how == "quit")
                action("actionQuit")->trigger();
            else
                m_window->close();
        });
        poll.start();
        action(trigger.toLatin1())->trigger();
        poll.stop();

        QCOMPARE(label, task);
        QCOMPARE(targets(), requests);
        QCOMPARE(texts(), messages);
        QVERIFY(!QFile::exists(m_kit->path("profiles/vendors/Zeta")));
        QVERIFY(!QFile::exists(m_kit->path("update.zip")));
        QTRY_COMPARE(quitting.size(), how == "cancel" ? 0 : 1);
        QVERIFY(!m_window->isBusy());
    }

    void startUpChecksWhenAutoUpdatesIsOn_data()
    {
        QTest::addColumn<QByteArray>("profileAnswer");
        QTest::addColumn<QByteArray>("latest");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QByteArray>("cancelAt");
        QTest::newRow("all current: nothing to say")
            << QByteArray("0") << QByteArray("5")
            << QStringList{"/currentProfile/index.php?version=1", "/latest/"} << QStringList()
            << QStringList{"Acme", "  Rocket"} << QByteArray();
        // A silent server: Cancel in the progress dialog skips the rest.
        QTest::newRow("version query cancelled")
            << QByteArray("1") << QByteArray("6") << QStringList{"/currentProfile/index.php?version=1"}
            << QStringList() << QStringList{"Acme", "  Rocket"} << QByteArray("/currentProfile/index.php?version=1");
        QTest::newRow("release check cancelled")
            << QByteArray("0") << QByteArray("6") << QStringList{"/currentProfile/index.php?version=1", "/latest/"}
            << QStringList() << QStringList{"Acme", "  Rocket"} << QByteArray("/latest/");
        QTest::newRow("new database and release")
            << QByteArray("1") << QByteArray("6")
            << QStringList{"/currentProfile/index.php?version=1", "/update/index.php", "/latest/"}
            << QStringList{"A new profile database is ready for download.",
                           "The profile update was successfully installed.",
                           "A new version of Varnel is available for download at " + Web}
            // Built after the update: the new device is there from the start.
            << QStringList{"Acme", "  Rocket", "Zeta", "  Phone"} << QByteArray();
    }

    void startUpChecksWhenAutoUpdatesIsOn()
    {
        QFETCH(QByteArray, profileAnswer);
        QFETCH(QByteArray, latest);
        QFETCH(QStringList, requests);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, tree);
        QFETCH(QByteArray, cancelAt);
        m_kit->writeFile("bin/config.xml", "<Config version=\"1\">\n<Property name=\"autoUpdates\" value=\"true\"/>\n"
                                           "</Config>\n");
        m_profileAnswer = profileAnswer;
        m_latest = latest;
        serve();
        if (!cancelAt.isEmpty()) {
            Brask::setHttpTimeoutMilliseconds(20000);
            m_server->setHandler([cancelAt, previous = m_server->handler()](const Request& request) {
                return request.target == cancelAt ? Reply{Reply::Stall, {}} : previous(request);
            });
        }
        // There is no window yet: the dialog stands alone in the screen's middle.
        QPoint offCentre(-1, -1);
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, [&] {
            QProgressDialog* dialog = shownProgress();
            if (!dialog)
                return;
            poll.stop();
            offCentre = dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
            grabIfAsked(dialog, "startup-progress");
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        });
        if (!cancelAt.isEmpty())
            poll.start();
        openWindow(openDemoProject());
        poll.stop();
        if (!cancelAt.isEmpty())
            QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QString("off centre by %1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QCOMPARE(targets(), requests);
        QCOMPARE(texts(), messages);
        QCOMPARE(treeTexts(profileTree()), tree);
        QVERIFY(!m_window->isBusy());
        QVERIFY(action("actionBuild")->isEnabled());
    }

    void startUpContactsNothingWhenAutoUpdatesIsOff()
    {
        serve();
        openWindow(openDemoProject());
        QTest::qWait(100);
        QCOMPARE(m_server->connections, 0);
        QVERIFY(m_dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(UpdatesTest)
#include "updates_test.moc"
