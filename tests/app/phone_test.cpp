// Choosing and sending to a phone: the device dialog against a stand-in BlueZ
// on a private bus, the chooser's wait for the search, the window's "Select
// phone" (down to the SDP search on a fake server) and "Send to phone", and
// varbuild-cli phone list.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "FakeBluezBus.h"
#include "FakeSdpServer.h"
#include "app/phone/PhoneDialog.h"
#include "app/phone/QtPhoneChooser.h"
#include "SdpBuild.h"
#include "core/config/Config.h"
#include "core/ProjectManager.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

namespace {

const QStringList knownDevices{"--device", "00:11:22:33:44:55,Aldaro A350,1", "--device", "AB:CD:EF:12:34:56,,0",
                               "--alias",  "AB:CD:EF:12:34:56,Work phone",    "--device", "12:34:56:78:9A:BC,,0"};

QStringList rows(QDialog& dialog)
{
    QStringList result;
    auto* list = dialog.findChild<QTreeWidget*>("deviceList");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        result << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
    }
    return result;
}

QPushButton* button(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox*>("buttonBox")->button(which);
}

QString text(QDialog& dialog, const char* label)
{
    return dialog.findChild<QLabel*>(label)->text();
}

// Waits until the dialog has BlueZ's answer, or knows that none will come.
void answered(QDialog& dialog)
{
    QTRY_VERIFY_WITH_TIMEOUT(static_cast<PhoneDialog&>(dialog).state() != PhoneDialog::State::Waiting, 10000);
}

// With VARBUILD_GRAB_DIR set, the dialog as the test sees it is kept as a
// picture there (docs/screens/ is made this way).
void grab(QDialog& dialog, const QString& name)
{
    const QString directory = qEnvironmentVariable("VARBUILD_GRAB_DIR");
    if (directory.isEmpty())
        return;
    dialog.show();
    QCoreApplication::processEvents();
    dialog.grab().save(directory + "/" + name + ".png");
}

// Answers the window's chooser calls as told, and notes what the window
// allowed meanwhile.
class FakeChooser : public Brask::PhoneChooser {
public:
    int error = 0;
    int count = 1;
    bool searchEnds = true;
    Buildtool* window = nullptr;
    bool selectEnabledWhileChoosing = true;

    int chooseDevices(int& chosen, std::array<std::uint8_t, 6>& address) override
    {
        selectEnabledWhileChoosing = window->findChild<QAction*>("actionSelect_phone")->isEnabled();
        chosen = count;
        address = {0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB};
        return error;
    }
    bool waitForSearch(const std::function<bool(int ms)>& waitFor) override
    {
        if (!searchEnds)
            return false;
        for (int i = 0; i < 200; ++i) {
            if (waitFor(50))
                return true;
        }
        return false;
    }
};

} // namespace

class PhoneTest : public WindowTestBase {
    Q_OBJECT
private:
    std::unique_ptr<FakeBluezBus> m_bus;

    bool startBluez(const QStringList& options)
    {
        m_bus = std::make_unique<FakeBluezBus>();
        return m_bus->start(options);
    }

    Brask::Config& config() { return m_window->projectManager().getConfig(); }
    QString output() { return m_window->findChild<QTextEdit*>("outputBox")->toPlainText(); }

private slots:
    void initTestCase() { startSuite(); }
    void init()
    {
        startTest();
        PhoneDialog::setCallTimeout(3000);
    }
    void cleanup()
    {
        endTest();
        m_bus.reset();
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        qunsetenv("VARBUILD_SDP_SOCKET");
    }

    void addressText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("upper case") << "AB:CD:EF:12:34:56" << true;
        QTest::newRow("lower case") << "ab:cd:ef:12:34:56" << true;
        QTest::newRow("five bytes") << "AB:CD:EF:12:34" << false;
        QTest::newRow("seven bytes") << "AB:CD:EF:12:34:56:78" << false;
        QTest::newRow("single digits") << "A:B:C:D:E:F" << false;
        QTest::newRow("not hexadecimal") << "AB:CD:EF:12:34:5G" << false;
        QTest::newRow("no separators") << "abcdef123456" << false;
        QTest::newRow("empty") << "" << false;
    }
    void addressText()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        std::array<std::uint8_t, 6> bytes{1, 1, 1, 1, 1, 1};
        QCOMPARE(PhoneDialog::parseAddress(text, bytes), valid);
        // Least significant first, as the chooser hands them over.
        const std::array<std::uint8_t, 6> expected
            = valid ? std::array<std::uint8_t, 6>{0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB}
                    : std::array<std::uint8_t, 6>{1, 1, 1, 1, 1, 1};
        QVERIFY(bytes == expected);
    }

    void listsTheDevicesBluezKnows()
    {
        QVERIFY(startBluez(knownDevices));
        PhoneDialog dialog;
        answered(dialog);
        QCOMPARE(dialog.state(), PhoneDialog::State::Ready);
        // The alias wins over the name; without either the address names the device.
        QCOMPARE(rows(dialog), (QStringList{"Aldaro A350|00:11:22:33:44:55|Yes", "12:34:56:78:9A:BC|12:34:56:78:9A:BC|No",
                                            "Work phone|AB:CD:EF:12:34:56|No"}));
        QCOMPARE(text(dialog, "statusLabel"), QString("3 devices"));
        QVERIFY(!button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(dialog.findChild<QPushButton*>("scanButton")->isEnabled());

        dialog.findChild<QTreeWidget*>("deviceList")->topLevelItem(2)->setSelected(true);
        QVERIFY(button(dialog, QDialogButtonBox::Ok)->isEnabled());
        grab(dialog, "dialog-phone");
        QCOMPARE(dialog.chosenAddressText(), QString("AB:CD:EF:12:34:56"));
    }

    void theOnlyKnownDeviceIsChosenAlready()
    {
        QVERIFY(startBluez({"--device", "00:11:22:33:44:55,Aldaro A350,1"}));
        PhoneDialog dialog;
        answered(dialog);
        QVERIFY(button(dialog, QDialogButtonBox::Ok)->isEnabled());
        QCOMPARE(dialog.chosenAddressText(), QString("00:11:22:33:44:55"));
    }

    void bluezGoingAwayEmptiesTheList()
    {
        QVERIFY(startBluez(knownDevices));
        QtPhoneChooser chooser(nullptr, &m_runner);
        QString shown;
        m_runner.scripts = {[&](QDialog& dialog) {
            answered(dialog);
            QCOMPARE(rows(dialog).size(), 3);
            clickRow(dialog, "deviceList", 0);
            m_bus->stopBluez();
            QTRY_VERIFY(rows(dialog).isEmpty());
            shown = text(dialog, "messageLabel");
            QVERIFY(!button(dialog, QDialogButtonBox::Ok)->isEnabled());
            clickButton(dialog, false);
        }};
        int count = -1;
        std::array<std::uint8_t, 6> address{};
        QCOMPARE(chooser.chooseDevices(count, address), QtPhoneChooser::NoBluetoothService);
        QVERIFY2(shown.contains("(BlueZ) is not running"), qPrintable(shown));
    }

    void scanKeepsTheListCurrent()
    {
        QVERIFY(startBluez({"--device", "00:11:22:33:44:55,Aldaro A350,1", "--device", "AB:CD:EF:12:34:56,Old,0",
                            "--scan-device", "66:55:44:33:22:11,New phone,0", "--scan-rename",
                            "00:11:22:33:44:55,Renamed", "--scan-remove", "AB:CD:EF:12:34:56"}));
        {
            PhoneDialog dialog;
            dialog.show();
            answered(dialog);
            auto* scan = dialog.findChild<QPushButton*>("scanButton");
            QTest::mouseClick(scan, Qt::LeftButton);
            QTRY_VERIFY(dialog.isScanning());
            QCOMPARE(scan->text(), QString("Stop scan"));
            QTRY_COMPARE(rows(dialog), (QStringList{"Renamed|00:11:22:33:44:55|Yes", "New phone|66:55:44:33:22:11|No"}));
            QVERIFY(text(dialog, "statusLabel").startsWith("Scanning"));

            QTest::mouseClick(scan, Qt::LeftButton);
            QTRY_VERIFY(!dialog.isScanning());
            QCOMPARE(scan->text(), QString("Scan"));
            QVERIFY(m_bus->waitForLine("call StopDiscovery"));

            // Closed while scanning: the scan is stopped on the way out.
            QTest::mouseClick(scan, Qt::LeftButton);
            QTRY_VERIFY(dialog.isScanning());
        }
        QTRY_COMPARE(m_bus->lines().count("call StopDiscovery"), 2);
        QCOMPARE(m_bus->lines().count("call StartDiscovery"), 2);
    }

    void aRefusedScanSaysWhy()
    {
        QVERIFY(startBluez({"--fail-scan", "--device", "00:11:22:33:44:55,Aldaro A350,1"}));
        PhoneDialog dialog;
        dialog.show();
        answered(dialog);
        auto* scan = dialog.findChild<QPushButton*>("scanButton");
        QTest::mouseClick(scan, Qt::LeftButton);
        QTRY_VERIFY(text(dialog, "statusLabel").contains("could not start"));
        QVERIFY(text(dialog, "statusLabel").contains("Resource Not Ready"));
        QVERIFY(!dialog.isScanning());
        QVERIFY(scan->isEnabled());
        QCOMPARE(rows(dialog).size(), 1);
    }

    void chooserGivesTheAddressOrCancelled()
    {
        QVERIFY(startBluez(knownDevices));
        QtPhoneChooser chooser(nullptr, &m_runner);
        m_runner.scripts = {[](QDialog& dialog) {
                                answered(dialog);
                                clickRow(dialog, "deviceList", 2);
                                clickButton(dialog, true);
                            },
                            [](QDialog& dialog) {
                                answered(dialog);
                                clickRow(dialog, "deviceList", 0);
                                clickButton(dialog, false);
                            }};
        int count = -1;
        std::array<std::uint8_t, 6> address{};
        QCOMPARE(chooser.chooseDevices(count, address), 0);
        QCOMPARE(count, 1);
        QVERIFY((address == std::array<std::uint8_t, 6>{0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB}));
        QCOMPARE(m_runner.ran.last(), QString("PhoneDialog"));
        QCOMPARE(m_runner.titles, QStringList{"Select phone"});

        QCOMPARE(chooser.chooseDevices(count, address), int(Brask::PhoneChooser::Cancelled));
        QCOMPARE(count, 0);
    }

    void withoutBluetoothTheDialogSaysSo_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("no bus") << "none" << QStringList() << int(PhoneDialog::State::NoBus)
                                << QtPhoneChooser::NoBluetoothService << "system message bus cannot be reached";
        QTest::newRow("no BlueZ") << "bus" << QStringList() << int(PhoneDialog::State::NoBluez)
                                  << QtPhoneChooser::NoBluetoothService << "(BlueZ) is not running";
        QTest::newRow("no adapter") << "bluez" << QStringList{"--no-adapter"} << int(PhoneDialog::State::NoAdapter)
                                    << QtPhoneChooser::NoAdapter << "has no Bluetooth adapter";
        QTest::newRow("no answer") << "bluez" << QStringList{"--silent"} << int(PhoneDialog::State::NoAnswer)
                                   << QtPhoneChooser::NoAnswer << "no answer within 0.3 seconds";
    }
    void withoutBluetoothTheDialogSaysSo()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, options);
        QFETCH(int, state);
        QFETCH(int, code);
        QFETCH(QString, says);
        m_bus = std::make_unique<FakeBluezBus>();
        if (setup == "none") {
            QTemporaryDir nowhere;
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + nowhere.path() + "/no-bus").toUtf8());
        } else if (setup == "bus") {
            QVERIFY(m_bus->startBus());
        } else {
            QVERIFY(m_bus->start(options));
        }
        PhoneDialog::setCallTimeout(300);

        QtPhoneChooser chooser(nullptr, &m_runner);
        QString shown;
        bool okEnabled = true, scanEnabled = true;
        QString cancelText;
        bool busyWhileWaiting = false;
        m_runner.scripts = {[&](QDialog& dialog) {
            auto* busy = dialog.findChild<QProgressBar*>("busyIndicator");
            busyWhileWaiting = busy->isVisible() == (static_cast<PhoneDialog&>(dialog).state() == PhoneDialog::State::Waiting);
            answered(dialog);
            QVERIFY(!busy->isVisible());
            shown = text(dialog, "messageLabel");
            okEnabled = button(dialog, QDialogButtonBox::Ok)->isEnabled();
            scanEnabled = dialog.findChild<QPushButton*>("scanButton")->isEnabled();
            cancelText = button(dialog, QDialogButtonBox::Cancel)->text();
            clickButton(dialog, false);
        }};
        int count = -1;
        std::array<std::uint8_t, 6> address{};
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(chooser.chooseDevices(count, address), code);
        QVERIFY2(clock.elapsed() < 5000, "the call time-out bounds the dialog's start");
        QCOMPARE(count, 0);
        QVERIFY2(shown.contains(says), qPrintable(shown));
        // Plain words: none of the message bus's own error text.
        QVERIFY2(!shown.contains("org.freedesktop") && !shown.contains("reply"), qPrintable(shown));
        QVERIFY(busyWhileWaiting);
        QVERIFY(!okEnabled);
        QVERIFY(!scanEnabled);
        QCOMPARE(cancelText, QString("Close"));

        PhoneDialog dialog;
        answered(dialog);
        QCOMPARE(int(dialog.state()), state);
        if (setup == "bus")
            grab(dialog, "dialog-phone-no-bluez");

        // The window: the dialog has said why, so no box says it again;
        // nothing stored.
        openWindow();
        m_runner.scripts = {[](QDialog& dialog) {
            answered(dialog);
            clickButton(dialog, false);
        }};
        m_window->findChild<QAction*>("actionSelect_phone")->trigger();
        QCOMPARE(m_runner.ran.last(), QString("PhoneDialog"));
        QCOMPARE(m_dialogs.messages.size(), 0);
        QVERIFY(config().phoneAddress.empty());
    }

    void waitingForTheSearch()
    {
        QWidget parent;
        QtPhoneChooser chooser(&parent, &m_runner);

        // The search ends: no question asked.
        int calls = 0;
        int asked = 0;
        QVERIFY(chooser.waitForSearch([&calls, &asked](int ms) {
            asked = ms;
            return ++calls == 3;
        }));
        QCOMPARE(calls, 3);
        QCOMPARE(asked, 50);

        // The user presses Cancel on the busy indicator.
        calls = 0;
        bool sawIndicator = false;
        QTimer clicker;
        clicker.setInterval(20);
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            auto* progress = parent.findChild<QProgressDialog*>("phoneSearchProgress");
            if (!progress || !progress->isVisible())
                return;
            sawIndicator = progress->minimum() == 0 && progress->maximum() == 0
                           && progress->windowTitle() == "Bluetooth";
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        });
        clicker.start();
        const bool ended = chooser.waitForSearch([&calls](int) {
            QTest::qSleep(10);
            return ++calls >= 500;
        });
        QVERIFY(!ended);
        QVERIFY(calls < 500);
        QVERIFY(sawIndicator);
    }

    void selectPhoneEndToEnd_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("withService");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("failed");
        QTest::newRow("chosen") << true << true << true << false;
        QTest::newRow("cancelled") << false << true << false << false;
        QTest::newRow("no push service") << true << false << false << true;
    }
    void selectPhoneEndToEnd()
    {
        QFETCH(bool, accept);
        QFETCH(bool, withService);
        QFETCH(bool, stored);
        QFETCH(bool, failed);
        QVERIFY(startBluez(knownDevices));
        using namespace SdpBuild;
        FakeSdpServer server(withService ? lists({oppRecord(11, "OBEX Object Push")}) : lists({}));
        const QString socket = m_kit->path("sdp.sock");
        server.listen(socket.toStdString());
        qputenv("VARBUILD_SDP_SOCKET", socket.toUtf8());
        const QByteArray configBefore = m_kit->readFile("bin/config.xml");

        openWindow();
        m_runner.scripts = {[accept](QDialog& dialog) {
            answered(dialog);
            clickRow(dialog, "deviceList", 2);
            clickButton(dialog, accept);
        }};
        m_window->findChild<QAction*>("actionSelect_phone")->trigger();

        QCOMPARE(m_dialogs.messages.size(), failed ? 1 : 0);
        if (failed)
            QCOMPARE(m_dialogs.messages[0].text, QString("Failed selecting phone"));
        QCOMPARE(server.connections(), accept ? 1 : 0);
        if (stored) {
            QCOMPARE(config().phoneAddress, std::string("abcdef123456"));
            QCOMPARE(config().phonePort, 11);
            const QByteArray written = m_kit->readFile("bin/config.xml");
            QVERIFY2(written.contains("<Property name=\"PhoneAddress\" value=\"abcdef123456\"/>"), written);
            QVERIFY2(written.contains("<Property name=\"PhonePort\" value=\"11\"/>"), written);
        } else {
            QVERIFY(config().phoneAddress.empty());
            QCOMPARE(config().phonePort, -1);
            QCOMPARE(m_kit->readFile("bin/config.xml"), configBefore);
        }
        QVERIFY(!m_window->isBusy());
        QVERIFY(m_window->findChild<QAction*>("actionSelect_phone")->isEnabled());
    }

    void closingTheWindowEndsTheSearch()
    {
        QVERIFY(startBluez(knownDevices));
        // A phone that never answers: only the closing window ends the wait.
        FakeSdpServer server([](const SdpBuild::Bytes&, int) { return FakeSdpServer::Reply{}; });
        const QString socket = m_kit->path("sdp.sock");
        server.listen(socket.toStdString());
        qputenv("VARBUILD_SDP_SOCKET", socket.toUtf8());
        openWindow();
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        m_runner.scripts = {[this](QDialog& dialog) {
            answered(dialog);
            clickRow(dialog, "deviceList", 0);
            clickButton(dialog, true);
            QTimer::singleShot(300, m_window.get(), [this] { m_window->close(); });
        }};
        QElapsedTimer clock;
        clock.start();
        m_window->findChild<QAction*>("actionSelect_phone")->trigger();
        QVERIFY2(clock.elapsed() < 5000, "the wait ended with the window, not with the search's time-out");
        QVERIFY(m_dialogs.messages.isEmpty());
        QTRY_COMPARE(quitting.count(), 1);
        QVERIFY(config().phoneAddress.empty());
    }

    void selectPhoneBoxOnlyOnFailure_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("searchEnds");
        QTest::addColumn<bool>("box");
        QTest::newRow("dialog cancelled") << int(Brask::PhoneChooser::Cancelled) << 0 << true << false;
        QTest::newRow("no window") << int(Brask::PhoneChooser::NoWindow) << 0 << true << false;
        QTest::newRow("no adapter") << QtPhoneChooser::NoAdapter << 0 << true << true;
        QTest::newRow("two devices") << 0 << 2 << true << true;
        QTest::newRow("wait given up") << 0 << 1 << false << false;
        QTest::newRow("phone unreachable") << 0 << 1 << true << true;
    }
    void selectPhoneBoxOnlyOnFailure()
    {
        QFETCH(int, error);
        QFETCH(int, count);
        QFETCH(bool, searchEnds);
        QFETCH(bool, box);
        // Nobody answers SDP here: a search that runs fails at once.
        qputenv("VARBUILD_SDP_SOCKET", m_kit->path("nobody.sock").toUtf8());
        openWindow();
        FakeChooser chooser;
        chooser.error = error;
        chooser.count = count;
        chooser.searchEnds = searchEnds;
        chooser.window = m_window.get();
        m_window->setPhoneChooser(&chooser);
        m_window->findChild<QAction*>("actionSelect_phone")->trigger();
        QVERIFY(!chooser.selectEnabledWhileChoosing);
        QCOMPARE(m_dialogs.messages.size(), box ? 1 : 0);
        if (box)
            QCOMPARE(m_dialogs.messages[0].title, QString("Bluetooth"));
        QVERIFY(m_window->findChild<QAction*>("actionSelect_phone")->isEnabled());
        m_window->setPhoneChooser(nullptr);
    }

    void sendToPhone_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("status");
        QTest::newRow("no target, sent") << QString() << "1" << 0;
        QTest::newRow("target of runtime 3, refused") << "profiles\\runtimes\\3" << "3" << 1;
    }
    void sendToPhone()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, id);
        QFETCH(int, status);
        m_kit->writeFile("bin/config.xml", "<Config version=\"1\">\n\t<Property name=\"autoUpdates\" value=\"false\"/>\n"
                                           "\t<Property name=\"PhoneAddress\" value=\"0123456789ab\"/>\n"
                                           "\t<Property name=\"PhonePort\" value=\"9\"/>\n</Config>\n");
        m_kit->writeTool("sendel", "echo \"args=$# file=<$1> address=<$2> channel=<$3>\"\nexit "
                                       + QByteArray::number(status) + "\n");
        QString project = m_kit->path("projects/my game/demo.vnp");
        if (runtime.isEmpty()) {
            project = m_kit->writeProject("projects/my game/demo.vnp", "demo", {});
        } else {
            m_kit->writeFile("profiles/vendors/Acme/Rocket/runtime.txt", runtime.toUtf8() + "\n");
            m_kit->writeFile("projects/my game/demo.vnp",
                             "<Project name=\"demo\">\n\t<Configuration>\n"
                             "\t\t<Property name=\"targetVendor\" value=\"Acme\"/>\n"
                             "\t\t<Property name=\"targetDevice\" value=\"Rocket\"/>\n"
                             "\t</Configuration>\n</Project>");
        }
        openWindow(project);
        QVERIFY(m_window->findChild<QAction*>("actionSend_to_phone")->isEnabled());
        m_window->findChild<QAction*>("actionSend_to_phone")->trigger();

        const QString jar = m_kit->path("projects/my game/Output/" + id + "/demo.jar");
        QVERIFY2(output().contains("Running: sendel "), qPrintable(output()));
        QVERIFY2(output().contains("args=3 file=<" + jar + "> address=<0123456789ab> channel=<9>"),
                 qPrintable(output()));
        QCOMPARE(m_dialogs.messages.size(), status ? 1 : 0);
        if (status) {
            QCOMPARE(m_dialogs.messages[0].kind, UserDialogs::Kind::Warning);
            QCOMPARE(m_dialogs.messages[0].title, QString("Bluetooth"));
            QCOMPARE(m_dialogs.messages[0].text, QString("Sending to phone failed!"));
        }
    }

    void sendNeedsAProject()
    {
        openWindow();
        QVERIFY(!m_window->findChild<QAction*>("actionSend_to_phone")->isEnabled());
        QVERIFY(m_window->findChild<QAction*>("actionSelect_phone")->isEnabled());
        m_window->phoneSend();
        QVERIFY(m_dialogs.messages.isEmpty());
        QVERIFY(!output().contains("sendel"));
    }

    void cliPhoneList_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("devices") << "bluez" << knownDevices << 0
                                 << "00:11:22:33:44:55\tAldaro A350\tpaired\n12:34:56:78:9A:BC\t\tnot paired\n"
                                    "AB:CD:EF:12:34:56\tWork phone\tnot paired\n"
                                 << "";
        QTest::newRow("none known") << "bluez" << QStringList() << 0 << "" << "No devices known yet";
        QTest::newRow("no adapter") << "bluez" << QStringList{"--no-adapter"} << 1 << ""
                                    << "this computer has no Bluetooth adapter";
        QTest::newRow("no BlueZ") << "bus" << QStringList() << 1 << "" << "(BlueZ) is not running";
        QTest::newRow("no bus") << "none" << QStringList() << 1 << "" << "cannot reach the system message bus";
        QTest::newRow("no answer") << "bluez" << QStringList{"--silent"} << 1 << "" << "did not answer within";
        // A name that would retitle and clear the terminal, and C1 controls.
        QTest::newRow("names with escapes")
            << "bluez"
            << QStringList{"--device", "00:11:22:33:44:55,\x1b]0;owned\x07\x1b[2J,1", "--device", "AB:CD:EF:12:34:56,,0",
                           "--alias", QString("AB:CD:EF:12:34:56,Zo\u00EB") + QChar(0x9B) + "31m\tx" + QChar(0x85)}
            << 0 << QString("00:11:22:33:44:55\t.]0;owned..[2J\tpaired\nAB:CD:EF:12:34:56\tZo\u00EB.31m.x.\tnot paired\n")
            << "";
    }
    void cliPhoneList()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        m_bus = std::make_unique<FakeBluezBus>();
        if (setup == "none")
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + m_kit->path("no-bus")).toUtf8());
        else if (setup == "bus")
            QVERIFY(m_bus->startBus());
        else
            QVERIFY(m_bus->start(options));
        QProcess cli;
        cli.start(QStringLiteral(VARBUILD_CLI_EXE), {"phone", "list"});
        QVERIFY(cli.waitForFinished(20000));
        const QString stdoutText = QString::fromUtf8(cli.readAllStandardOutput());
        const QString stderrText = QString::fromUtf8(cli.readAllStandardError());
        QCOMPARE(cli.exitCode(), status);
        QCOMPARE(stdoutText, out);
        QVERIFY2(stderrText.contains(err), qPrintable(stderrText));
    }
};

QTEST_MAIN(PhoneTest)
#include "phone_test.moc"
