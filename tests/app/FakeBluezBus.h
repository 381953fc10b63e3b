#pragma once
// A private message bus that the test starts (dbus-daemon with a
// configuration of its own), with the stand-in BlueZ of fakebluez/ on it.
// DBUS_SYSTEM_BUS_ADDRESS points at the bus while it runs.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>

class FakeBluezBus {
public:
    FakeBluezBus()
    {
        // A test that dies leaves no bus or BlueZ behind.
        for (QProcess* process : {&m_daemon, &m_bluez})
            process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
    ~FakeBluezBus() { stop(); }
    FakeBluezBus(const FakeBluezBus&) = delete;
    FakeBluezBus& operator=(const FakeBluezBus&) = delete;

    // The bus alone: nobody owns org.bluez yet.
    bool startBus()
    {
        const QString config = m_dir.path() + "/bus.conf";
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
                   + m_dir.path().toUtf8()
                   + "/bus</listen>\n  <auth>EXTERNAL</auth>\n"
                     "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                     "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n");
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {"--config-file=" + config, QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        // The address line says the bus is listening.
        QElapsedTimer clock;
        clock.start();
        while (!m_daemon.canReadLine() && clock.elapsed() < 10000 && m_daemon.state() == QProcess::Running)
            m_daemon.waitForReadyRead(100);
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty())
            return false;
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
        return true;
    }

    // The bus and BlueZ with `options` (see fakebluez/FakeBluez.cpp), once
    // it owns its name.
    bool start(const QStringList& options)
    {
        if (!startBus())
            return false;
        m_bluez.start(QStringLiteral(FAKE_BLUEZ_EXE), QStringList{m_address} + options);
        if (!m_bluez.waitForStarted(5000))
            return false;
        return waitForLine(QStringLiteral("ready"));
    }

    // True once BlueZ has printed `line` (a call it answered, "scanned"),
    // within `ms` milliseconds.
    bool waitForLine(const QString& line, int ms = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            while (m_bluez.canReadLine())
                m_lines << QString::fromUtf8(m_bluez.readLine()).trimmed();
            if (m_lines.contains(line))
                return true;
            if (clock.elapsed() >= ms || m_bluez.state() != QProcess::Running)
                return false;
            m_bluez.waitForReadyRead(50);
        }
    }

    // Everything BlueZ printed so far.
    QStringList lines()
    {
        while (m_bluez.canReadLine())
            m_lines << QString::fromUtf8(m_bluez.readLine()).trimmed();
        return m_lines;
    }

    QString address() const { return m_address; }

    // BlueZ goes away; the bus stays.
    void stopBluez()
    {
        m_bluez.kill();
        m_bluez.waitForFinished(5000);
    }

    void stop()
    {
        for (QProcess* process : {&m_bluez, &m_daemon}) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_bluez;
    QString m_address;
    QStringList m_lines;
};
