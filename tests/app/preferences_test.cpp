// The preferences dialog: what it shows, the file-type check that keeps the
// configuration untouched, and writing bin/config.xml after Ok.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/dialogs/ConfigDialog.h"
#include "core/ProjectManager.h"
#include "util/Diagnostics.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTest>
#include <QTextEdit>

class PreferencesTest : public WindowTestBase {
    Q_OBJECT
private:

    Brask::Config& config() { return m_window->projectManager().getConfig(); }
    QString configFile() { return m_kit->path("bin/config.xml"); }
    void runPreferences(FakeDialogRunner::Script script)
    {
        m_runner.scripts = {std::move(script)};
        m_window->findChild<QAction*>("actionPreferences")->trigger();
    }
    static void setFileTypes(QDialog& dialog, const QString& text)
    {
        auto* edit = dialog.findChild<QTextEdit*>("editFileType");
        edit->clear();
        edit->setFocus();
        // keyClicks knows no tab or line feed characters: send their keys.
        QString run;
        for (const QChar c : text + QChar(0)) {
            if (c != '\t' && c != '\n' && c != QChar(0)) {
                run += c;
                continue;
            }
            QTest::keyClicks(edit, run);
            run.clear();
            if (c == '\t')
                QTest::keyClick(edit, Qt::Key_Tab);
            else if (c == '\n')
                QTest::keyClick(edit, Qt::Key_Return);
        }
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        m_kit->writeFile("bin/config.xml",
                         "<Config version=\"1\">\n<Filetype extension=\"c\" cmdLine=\"ed -n%line %file\"/>\n"
                         "<Filetype extension=\"lst\" cmdLine=\"cat &lt;%file&gt;\"/>\n"
                         "\t<Property name=\"IncludeDirectories\" value=\"/i1;/i2\"/>\n"
                         "\t<Property name=\"autoUpdates\" value=\"false\"/>\n</Config>");
        openWindow();
    }

    void cleanup() { endTest(); }

    void showsTheConfiguration()
    {
        ConfigDialog dialog(config(), m_dialogs);
        QCOMPARE(dialog.windowTitle(), QString("Configuration"));
        QCOMPARE(dialog.size(), QSize(416, 521));
        QCOMPARE(dialog.objectName(), QString("ConfigDialog"));
        const QString root = m_kit->root();
        // A command line that looks like markup is shown as it is.
        QCOMPARE(dialog.findChild<QTextEdit*>("editFileType")->toPlainText(),
                 QString("c\ted -n%line %file\nlst\tcat <%file>\ncpp\t%1\nh\t%1\ns\t%1\n*profile\t%2")
                     .arg(QString::fromStdString(Brask::defaultEditorCommand(root.toStdString())),
                          QString::fromStdString(Brask::defaultProfileViewerCommand())));
        QVERIFY(!dialog.findChild<QCheckBox*>("checkUpdates")->isChecked());
        QCOMPARE(dialog.findChild<QLineEdit*>("lineInclude")->text(), QString("/i1;/i2"));
        QCOMPARE(dialog.findChild<QLineEdit*>("lineLibDirs")->text(),
                 QString::fromStdString(Brask::defaultLibraryDirectory(root.toStdString())));
        QCOMPARE(dialog.findChild<QLineEdit*>("lineDefLibs")->text(), QString("KVStd.lib"));
        QCOMPARE(dialog.findChild<QLabel*>("label")->text(), QString("Default Include Directories\n"));
        QCOMPARE(dialog.findChild<QLineEdit*>("lineLauncher")->text(), QString());
        QVERIFY(dialog.findChild<QLabel*>("labelLauncherOverride")->isHidden());
        // The environment's launcher wins, and the dialog says so.
        qputenv("VARBUILD_COMPILER_LAUNCHER", "distcc");
        ConfigDialog overridden(config(), m_dialogs);
        qunsetenv("VARBUILD_COMPILER_LAUNCHER");
        QVERIFY(!overridden.findChild<QLabel*>("labelLauncherOverride")->isHidden());
        QCOMPARE(overridden.findChild<QLabel*>("labelLauncherOverride")->text(),
                 QString("VARBUILD_COMPILER_LAUNCHER is set and overrides this setting: \"distcc\""));
    }

    void malformedFileTypesAreRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty box") << "";
        QTest::newRow("empty line inside") << "c\tedit %file\n\nh\tedit %file";
        QTest::newRow("line break after the last entry") << "c\tedit %file\n";
        QTest::newRow("missing tab") << "c\tedit %file\nh edit %file";
        QTest::newRow("tab inside the command line") << "c\tedit\t%file";
    }

    void malformedFileTypesAreRefused()
    {
        QFETCH(QString, text);
        const std::string before = config().toText();
        const QByteArray fileBefore = m_kit->readFile("bin/config.xml");
        bool stayedOpen = false;
        runPreferences([&](QDialog& dialog) {
            setFileTypes(dialog, text);
            dialog.findChild<QLineEdit*>("lineInclude")->setText("/changed");
            clickButton(dialog, true);
            stayedOpen = dialog.isVisible();
            // The user gives up.
            clickButton(dialog, false);
        });
        QVERIFY(stayedOpen);
        QCOMPARE(m_dialogs.titles(), QStringList{"Error"});
        QCOMPARE(m_dialogs.messages.first().text,
                 QString("Incorrectly formed command line. Use a tab between the extension and the command line."));
        QCOMPARE(config().toText(), before);
        QCOMPARE(m_kit->readFile("bin/config.xml"), fileBefore);
    }

    void cancelWritesNothing()
    {
        const QByteArray fileBefore = m_kit->readFile("bin/config.xml");
        runPreferences([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("lineDefLibs")->setText("other.lib");
            clickButton(dialog, false);
        });
        QCOMPARE(m_kit->readFile("bin/config.xml"), fileBefore);
        QCOMPARE(config().defaultLibraries, (std::vector<std::string>{"KVStd.lib"}));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void okStoresAndWritesTheFile()
    {
        runPreferences([](QDialog& dialog) {
            setFileTypes(dialog, "CPP\tvi +%line %file\n*profile\tless %file");
            auto* include = dialog.findChild<QLineEdit*>("lineInclude");
            include->clear();
            QTest::keyClicks(include, "a;b;");
            dialog.findChild<QLineEdit*>("lineLibDirs")->clear();
            QTest::keyClicks(dialog.findChild<QLineEdit*>("lineLauncher"), "ccache");
            QTest::mouseClick(dialog.findChild<QCheckBox*>("checkUpdates"), Qt::LeftButton, {}, QPoint(8, 8));
            clickButton(dialog, true);
        });
        QCOMPARE(m_runner.ran, QStringList{"ConfigDialog"});
        QVERIFY(m_dialogs.messages.isEmpty());
        QCOMPARE(config().includeDirectories, (std::vector<std::string>{"a", "b", ""}));
        QCOMPARE(config().libraryDirectories, (std::vector<std::string>{""}));
        QCOMPARE(config().defaultLibraries, (std::vector<std::string>{"KVStd.lib"}));
        QVERIFY(config().autoUpdates);
        QCOMPARE(config().fileTypes.size(), size_t(2));
        QCOMPARE(config().fileTypes[0].extension, std::string("CPP"));
        QCOMPARE(config().fileTypes[1].cmdLine, std::string("less %file"));
        QCOMPARE(m_kit->readFile("bin/config.xml"), QByteArray::fromStdString(config().toText()));
        QVERIFY(m_kit->readFile("bin/config.xml").contains("value=\"a;b;\""));
        // The launcher is the user's own setting, not the installation's.
        QCOMPARE(QSettings("Varnel", "VarBuild").value("build/compilerLauncher").toString(), QString("ccache"));
        QVERIFY(!m_kit->readFile("bin/config.xml").contains("ccache"));
        QSettings("Varnel", "VarBuild").remove("build/compilerLauncher");
    }

    void unchangedOkRewritesTheSameConfiguration()
    {
        const std::string before = config().toText();
        runPreferences([](QDialog& dialog) { clickButton(dialog, true); });
        QCOMPARE(config().toText(), before);
        QCOMPARE(m_kit->readFile("bin/config.xml"), QByteArray::fromStdString(before));
    }

    void failedWriteWarnsAndKeepsTheValues()
    {
        QFile::remove(configFile());
        QVERIFY(QDir().mkpath(configFile() + "/blocker"));
        runPreferences([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>("lineDefLibs")->setText("x.lib;y.lib");
            clickButton(dialog, true);
        });
        QCOMPARE(m_dialogs.titles(), QStringList{"VarBuild"});
        QVERIFY2(m_dialogs.messages.first().text.contains(configFile()), qPrintable(m_dialogs.messages.first().text));
        QCOMPARE(config().defaultLibraries, (std::vector<std::string>{"x.lib", "y.lib"}));
        QVERIFY(QFileInfo(configFile()).isDir());
    }
};

QTEST_MAIN(PreferencesTest)
#include "preferences_test.moc"
