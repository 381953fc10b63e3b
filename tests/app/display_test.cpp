// Starting the window with a DISPLAY that cannot be opened: a plain message
// pointing to varbuild-cli and status 1, never the toolkit's abort.

#include <QProcess>
#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A display number whose TCP port on 127.0.0.1 nobody listens on, so a
// connection to it is refused; -1 when none of the tried ones is free.
int refusingDisplayNumber()
{
    for (int number = 57; number < 99; ++number) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(6000 + number));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (free)
            return number;
    }
    return -1;
}

} // namespace

class DisplayTest : public QObject {
    Q_OBJECT
private slots:
    void unopenableDisplayIsReportedWithStatusOne_data()
    {
        QTest::addColumn<QString>("display");
        const int number = refusingDisplayNumber();
        if (number >= 0)
            QTest::newRow("TCP display refusing the connection") << QString("127.0.0.1:%1").arg(number);
        QTest::newRow("local display without a server") << QString(":%1").arg(number >= 0 ? number : 97);
    }

    void unopenableDisplayIsReportedWithStatusOne()
    {
        QFETCH(QString, display);
        QTemporaryDir root;
        QVERIFY(QDir().mkpath(root.path() + "/bin"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("DISPLAY", display);
        env.insert("VARNELDIR", root.path());
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(VARBUILD_EXE, {});
        QVERIFY(process.waitForFinished(30000));
        const QString error = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(error.contains("cannot open the display \"" + display + "\""), qPrintable(error));
        QVERIFY2(error.contains("varbuild-cli"), qPrintable(error));
        // That line alone: the toolkit says nothing of its own first.
        QCOMPARE(error.trimmed().count('\n'), 0);
    }
};

QTEST_MAIN(DisplayTest)
#include "display_test.moc"
