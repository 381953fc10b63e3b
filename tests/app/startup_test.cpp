// The program itself, started as a user would start it.

#include "util/Version.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    // Without VARNELDIR the window takes the kit whose bin holds the program
    // (it then only misses the display here); a program elsewhere is refused
    // with the variable to set.
    void missingRootIsTheKitAroundTheProgram_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("found");
        QTest::newRow("unset, outside a kit") << QString() << "elsewhere/bin" << false;
        QTest::newRow("empty, outside a kit") << QString("") << "elsewhere/bin" << false;
        QTest::newRow("unset, in a kit's bin") << QString() << "kit/bin" << true;
        QTest::newRow("unset, in a bin of no kit") << QString() << "nokit/bin" << false;
    }

    void missingRootIsTheKitAroundTheProgram()
    {
        QFETCH(QString, root);
        QFETCH(QString, place);
        QFETCH(bool, found);
        QTemporaryDir tmp;
        const QString dir = tmp.filePath(place);
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QDir().mkpath(tmp.filePath("nokit/profiles")));
        QVERIFY(QDir().mkpath(tmp.filePath("kit/profiles/vendors")));
        QFile definitions(tmp.filePath("kit/profiles/vendors/definitions.txt"));
        QVERIFY(definitions.open(QIODevice::WriteOnly));
        definitions.close();
        QVERIFY(QFile::copy(VARBUILD_EXE, dir + "/varbuild"));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VARNELDIR"})
            env.remove(name);
        if (!root.isNull())
            env.insert("VARNELDIR", root);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(dir + "/varbuild", {});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QString err = QString::fromUtf8(process.readAllStandardError()).trimmed();
        if (found)
            QCOMPARE(err, QString("varbuild: no display to show the window on; varbuild-cli builds without one."));
        else
            QCOMPARE(err, "Error: The VARNELDIR has not been set, and this program (in " + dir
                              + ") is not in the bin directory of a kit. Set VARNELDIR to the directory the kit is "
                                "installed in, the one holding bin/ and profiles/: for example, add the line\n"
                                "    export VARNELDIR=$HOME/varnel\nto ~/.profile and log in again, so that "
                                "programs started from the desktop see it too.");
    }

    // A root the kit's lists and command lines cannot carry is refused before
    // anything is read, with a text naming the problem.
    void rootWithSeparatorOrQuoteIsRefused_data()
    {
        QTest::addColumn<QString>("root");
        QTest::newRow("semicolon") << QString(VARBUILD_SOURCE_DIR "/kit/da;ta");
        QTest::newRow("double quote") << QString(VARBUILD_SOURCE_DIR "/kit/\"data\"");
    }

    void rootWithSeparatorOrQuoteIsRefused()
    {
        QFETCH(QString, root);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("VARNELDIR", root);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(VARBUILD_EXE, {});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()).trimmed(),
                 "Error: The VARNELDIR \"" + root
                     + "\" holds a character that the kit's paths cannot carry (a \";\", a \"\"\" or a control "
                       "character). Please install Varnel in a directory whose path has none of them.");
    }

    void validRootWithoutDisplaySaysSoInsteadOfAborting()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("VARNELDIR", QStringLiteral(VARBUILD_SOURCE_DIR "/kit/data"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(VARBUILD_EXE, {});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains("no display"));
    }

    // --version needs neither a kit nor a display.
    void versionIsTheProjectVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("name");
        QTest::newRow("window") << QString(VARBUILD_EXE) << "varbuild";
        QTest::newRow("command line") << QString(VARBUILD_CLI_EXE) << "varbuild-cli";
    }

    void versionIsTheProjectVersion()
    {
        QFETCH(QString, program);
        QFETCH(QString, name);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VARNELDIR"})
            env.remove(variable);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, {"--version"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
                 name + " " + QLatin1String(Brask::VarBuildVersion) + "\n");
    }

    void emulatorStandInAnswersHelp()
    {
        QProcess process;
        process.start(OMBRA_EXE, {"--help"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 0);
        const QString text = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY(text.contains("-program FILE -resource FILE -resolution WIDTH HEIGHT"));
        QVERIFY(text.contains("Stand-in"));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "startup_test.moc"
