// The program itself, started as a user would start it.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void missingRootWithoutDisplayIsRefusedOnStandardError_data()
    {
        QTest::addColumn<QString>("root");
        QTest::newRow("unset") << QString();
        QTest::newRow("empty") << QString("");
    }

    void missingRootWithoutDisplayIsRefusedOnStandardError()
    {
        QFETCH(QString, root);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VARNELDIR"})
            env.remove(name);
        if (!root.isNull())
            env.insert("VARNELDIR", root);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(VARBUILD_EXE, {"some.vnp"});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()).trimmed(),
                 QString("Error: The VARNELDIR has not been set. Please reinstall Varnel."));
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
