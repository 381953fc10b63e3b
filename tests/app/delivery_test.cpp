// Bluetooth > Deliver over Wi-Fi... on a copy of the demo project and the
// demo kit: it builds what is missing, the dialog serves the packages to a
// real client, shows its requests and install reports, its QR code reads
// back (zbarimg) as the address, and Stop, a second delivery or closing the
// window ends the server.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/delivery/DeliveryController.h"
#include "app/delivery/DeliveryDialog.h"
#include "support/DeliverySupport.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

namespace {

const QString Kit = QStringLiteral(VARBUILD_BINARY_DIR "/kit");

} // namespace

class DeliveryTest : public WindowTestBase {
    Q_OBJECT
private:
    DeliveryDialog* dialog() { return m_window->delivery()->dialog(); }
    QString log() { return dialog()->findChild<QPlainTextEdit*>("deliveryLog")->toPlainText(); }

    void openDemo()
    {
        std::filesystem::copy(VARBUILD_SOURCE_DIR "/kit/data/projects/demo", m_dir.file("demo"),
                              std::filesystem::copy_options::recursive);
        qputenv("VARNELDIR", Kit.toLocal8Bit());
        QDir::setCurrent(Kit + "/bin");
        m_window = std::make_unique<Buildtool>(Kit, QString::fromStdString(m_dir.file("demo/demo.vnp")), &m_dialogs,
                                               &m_starter);
        m_window->setDialogRunner(&m_runner);
        m_window->delivery()->setAddress(QStringLiteral("127.0.0.1"));
    }

    TestSupport::TempDir m_dir;

private slots:
    void initTestCase() { startSuite(); }

    void deliversBuildsAndStops()
    {
        openDemo();
        QAction* deliver = m_window->findChild<QAction*>("actionDeliverOverWifi");
        QVERIFY(deliver);
        QVERIFY(m_window->findChild<QMenu*>("menuBluetooth")->actions().contains(deliver));
        QVERIFY(deliver->isEnabled());
        QCOMPARE(QString(deliver->text()).remove(QLatin1Char('&')), QStringLiteral("Deliver over Wi-Fi..."));

        // Nothing is built yet: Build Changed runs first.
        deliver->trigger();
        QVERIFY2(dialog(), qPrintable(m_dialogs.titles().join(", ")));
        const std::string jar = m_dir.file("demo/Output/2/demo.jar");
        QVERIFY(TestSupport::exists(m_dir.file("demo/Output/2/demo.jad")));
        QVERIFY(dialog()->serving());
        const QString url = dialog()->findChild<QLabel*>("deliveryUrl")->text();
        QVERIFY2(url.startsWith("http://127.0.0.1:"), qPrintable(url));
        QCOMPARE(url, dialog()->url());
        QVERIFY(dialog()->findChild<QLabel*>("deliveryUrl")->textInteractionFlags() & Qt::TextSelectableByMouse);

        // A phone fetches and reports; the dialog shows both.
        const std::string base = url.toStdString();
        const TestSupport::HttpReply jad = TestSupport::curl(base + "2/demo.jad");
        QCOMPARE(jad.status, 200);
        QCOMPARE(TestSupport::curl(base + "notify/2", "--data-binary '902 User Cancelled'").status, 200);
        const QString token = url.section('/', 3, 3);
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("127.0.0.1 GET /" + token + "/2/demo.jad 200 "
                                                + QString::number(jad.body.size())), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("127.0.0.1 did not install demo (runtime 2): 902 User Cancelled"),
                                 5000);

        // The code on screen leads back to the address.
        const QString image = QString::fromStdString(m_dir.file("code.png"));
        QVERIFY(dialog()->findChild<QLabel*>("qrCode")->grab().save(image));
        QCOMPARE(QString::fromStdString(TestSupport::decodeQrImage(image.toStdString())), url);
        if (const QByteArray grabDir = qgetenv("VARBUILD_GRAB_DIR"); !grabDir.isEmpty())
            dialog()->grab().save(QString::fromLocal8Bit(grabDir) + "/delivery.png");

        // Up to date now: a second delivery builds nothing and replaces the
        // dialog, whose server stops.
        const auto built = std::filesystem::last_write_time(jar);
        deliver->trigger();
        QVERIFY(dialog());
        QCOMPARE(std::filesystem::last_write_time(jar), built);
        QVERIFY(dialog()->url() != url);
        QCOMPARE(TestSupport::curl(base).status, 0);

        // A source newer than the packages: Build Changed runs first.
        std::filesystem::last_write_time(m_dir.file("demo/src/main.c"), built + std::chrono::seconds(2));
        deliver->trigger();
        QVERIFY(std::filesystem::last_write_time(jar) > built);

        // Stop ends the server and keeps what was shown.
        const std::string second = dialog()->url().toStdString();
        QCOMPARE(TestSupport::curl(second).status, 200);
        auto* stop = dialog()->findChild<QPushButton*>("stopButton");
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!dialog()->serving());
        QVERIFY(!stop->isEnabled());
        QCOMPARE(TestSupport::curl(second).status, 0);
        QVERIFY(log().endsWith("Stopped."));

        // Closing the window stops a server that still runs.
        deliver->trigger();
        const std::string third = dialog()->url().toStdString();
        QCOMPARE(TestSupport::curl(third).status, 200);
        m_window.reset();
        QCOMPARE(TestSupport::curl(third).status, 0);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void cleanupTestCase() { endTest(); }
};

QTEST_MAIN(DeliveryTest)
#include "delivery_test.moc"
