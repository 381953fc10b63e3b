// The Settings tab and the screen-size fields: every widget writes its
// property at once, loading a project fills them (normalising the values the
// check boxes change), the build type governs its dependants, and the screen
// sizes are range-checked.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "core/ProjectManager.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

class SettingsTest : public WindowTestBase {
    Q_OBJECT
private:

    template <typename T = QWidget>
    T* widget(const QString& name)
    {
        T* found = m_window->findChild<T*>(name);
        if (!found)
            qFatal("no widget %s", qPrintable(name));
        return found;
    }
    QString property(const char* key)
    {
        return QString::fromStdString(m_window->projectManager().getProject()->peekProperty(key));
    }
    void openProject(const QByteArray& properties)
    {
        m_kit->writeFile("projects/p/p.vnp", "<Project name=\"p\">\n\t<Configuration>\n" + properties
                                                  + "\t</Configuration>\n\t<Criteria>\n\t</Criteria>\n</Project>");
        m_dialogs.nextFileNames << m_kit->path("projects/p/p.vnp");
        widget<QAction>("actionOpen")->trigger();
        QVERIFY(m_window->projectManager().getProject());
    }
    // On the indicator: a check box stretched by its layout does not take a
    // click in its empty right part.
    static void click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
    static QByteArray prop(const char* name, const char* value)
    {
        return QByteArray("\t\t<Property name=\"") + name + "\" value=\"" + value + "\"/>\n";
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        openWindow();
        m_window->show();
    }

    void cleanup() { endTest(); }

    void checkBoxesWriteTheirProperty_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::newRow("Werror") << "checkWerror" << "Werror";
        QTest::newRow("Wall") << "checkWall" << "Wall";
        QTest::newRow("Wextra") << "checkWextra" << "Wextra";
        QTest::newRow("dead code") << "checkDeadCode" << "deadCodeElim";
        QTest::newRow("ignore includes") << "checkIgnoreInclude" << "ignoreDefaultIncludeDirectories";
        QTest::newRow("ignore library dirs") << "checkIgnoreLibDirs" << "ignoreDefaultLibraryDirectories";
        QTest::newRow("ignore libraries") << "checkIgnoreLibs" << "ignoreDefaultLibraries";
    }

    void checkBoxesWriteTheirProperty()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        openProject(prop("configType", "app"));
        widget<QTabWidget>("tabPane")->setCurrentIndex(1);
        auto* check = widget<QCheckBox>(box);
        QVERIFY(!check->isChecked());
        click(check);
        QCOMPARE(property(key.toLatin1()), QString("true"));
        click(check);
        QCOMPARE(property(key.toLatin1()), QString("false"));
    }

    void lineEditsWriteTheirText_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("key");
        QTest::newRow("output path") << "lineOutputPath" << "outputPath";
        QTest::newRow("include dirs") << "lineAddInclude" << "additionalIncludeDirectories";
        QTest::newRow("library dirs") << "lineAddLib" << "additionalLibraryDirectories";
        QTest::newRow("libraries") << "lineLibs" << "additionalDependencies";
        QTest::newRow("gcc") << "lineGcc" << "extraCmd";
        QTest::newRow("resourcer") << "lineResourcer" << "extraResourcer";
        QTest::newRow("linker") << "lineLinker" << "extraLinker";
    }

    void lineEditsWriteTheirText()
    {
        QFETCH(QString, edit);
        QFETCH(QString, key);
        openProject(prop("configType", "lib"));
        widget<QTabWidget>("tabPane")->setCurrentIndex(1);
        // Stored exactly as typed: the build reads the separators.
        typeInto(*m_window, edit.toLatin1(), " a;b c; ");
        QCOMPARE(property(key.toLatin1()), QString(" a;b c; "));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void buildTypeGovernsItsDependants()
    {
        openProject(prop("configType", "app"));
        widget<QTabWidget>("tabPane")->setCurrentIndex(1);
        auto check = [this](bool application) {
            QCOMPARE(widget("lineOutputPath")->isEnabled(), !application);
            QCOMPARE(widget("outputPathLabel")->isEnabled(), !application);
            QCOMPARE(widget("checkDeadCode")->isEnabled(), application);
            QCOMPARE(widget<QAction>("actionRun")->isEnabled(), application);
        };
        check(true);
        click(widget<QRadioButton>("libRadio"));
        QCOMPARE(property("configType"), QString("lib"));
        check(false);
        click(widget<QRadioButton>("appRadio"));
        QCOMPARE(property("configType"), QString("app"));
        check(true);
    }

    void loadingFillsAndNormalises_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QStringList>("checked");
        QTest::addColumn<QStringList>("stored"); // key=value after loading
        QTest::newRow("1 counts as true and is written back as true")
            << (prop("configType", "app") + prop("Wall", "1") + prop("Wextra", "true"))
            << QStringList{"appRadio", "checkWall", "checkWextra"} << QStringList{"Wall=true", "Wextra=true"};
        QTest::newRow("dead code elimination")
            << (prop("configType", "app") + prop("deadCodeElim", "1") + prop("ignoreDefaultLibraryDirectories", "1"))
            << QStringList{"appRadio", "checkDeadCode", "checkIgnoreLibDirs"}
            << QStringList{"deadCodeElim=true", "ignoreDefaultLibraryDirectories=true"};
        QTest::newRow("library with its output path, never dead code")
            << (prop("configType", "lib") + prop("outputPath", "out/x.lib") + prop("deadCodeElim", "1")
                + prop("ignoreDefaultLibraries", "true"))
            << QStringList{"libRadio", "checkIgnoreLibs"}
            << QStringList{"configType=lib", "deadCodeElim=false", "ignoreDefaultLibraries=true"};
        QTest::newRow("anything else is false")
            << (prop("configType", "app") + prop("Werror", "TRUE") + prop("ignoreDefaultIncludeDirectories", "yes"))
            << QStringList{"appRadio"} << QStringList{};
    }

    void loadingFillsAndNormalises()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QStringList, checked);
        QFETCH(QStringList, stored);
        openProject(properties + prop("extraCmd", "-O2") + prop("screenWidth", "5000"));
        for (const char* name : {"checkWerror", "checkWall", "checkWextra", "checkDeadCode", "checkIgnoreInclude",
                                 "checkIgnoreLibDirs", "checkIgnoreLibs", "appRadio", "libRadio"})
            QVERIFY2(widget<QAbstractButton>(name)->isChecked() == checked.contains(name), name);
        for (const QString& pair : stored) {
            const QStringList parts = pair.split('=');
            QCOMPARE(property(parts[0].toLatin1()), parts[1]);
        }
        QCOMPARE(widget<QLineEdit>("lineGcc")->text(), QString("-O2"));
        // Shown as stored: the range check is for typing.
        QCOMPARE(widget<QLineEdit>("lineScreenWidth")->text(), QString("5000"));
        QCOMPARE(widget<QLineEdit>("lineOutputPath")->text(),
                 checked.contains("libRadio") ? QString("out/x.lib") : QString());
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void unknownBuildTypeLeavesTheRadios()
    {
        openProject(prop("configType", "lib"));
        openProject(prop("configType", "dll"));
        QVERIFY(widget<QRadioButton>("libRadio")->isChecked());
        QCOMPARE(property("configType"), QString("dll"));
    }

    void outputPathDoesNotCarryOverToAnApplication()
    {
        openProject(prop("configType", "lib") + prop("outputPath", "old.lib"));
        openProject(prop("configType", "app"));
        QCOMPARE(widget<QLineEdit>("lineOutputPath")->text(), QString());
        widget<QTabWidget>("tabPane")->setCurrentIndex(1);
        click(widget<QRadioButton>("libRadio"));
        QCOMPARE(widget<QLineEdit>("lineOutputPath")->text(), QString());
    }

    void screenSizeIsRangeChecked_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("box");
        const QString heightBox = "Incorrect screen height";
        const QString widthBox = "Incorrect screen width";
        QTest::newRow("height 176") << "lineScreenHeight" << "176" << "176" << "";
        QTest::newRow("height 2000") << "lineScreenHeight" << "2000" << "320" << heightBox;
        QTest::newRow("height 300px") << "lineScreenHeight" << "300px" << "300" << "";
        QTest::newRow("height empty") << "lineScreenHeight" << "" << "320" << heightBox;
        QTest::newRow("height 127") << "lineScreenHeight" << "127" << "320" << heightBox;
        QTest::newRow("height 128") << "lineScreenHeight" << "128" << "128" << "";
        QTest::newRow("height 1024") << "lineScreenHeight" << "1024" << "1024" << "";
        QTest::newRow("height 1025") << "lineScreenHeight" << "1025" << "320" << heightBox;
        QTest::newRow("height negative") << "lineScreenHeight" << "-200" << "320" << heightBox;
        QTest::newRow("height leading blanks") << "lineScreenHeight" << "  0208" << "208" << "";
        QTest::newRow("width 127") << "lineScreenWidth" << "127" << "240" << widthBox;
        QTest::newRow("width 128") << "lineScreenWidth" << "128" << "128" << "";
        QTest::newRow("width 1024") << "lineScreenWidth" << "1024" << "1024" << "";
        QTest::newRow("width 1025") << "lineScreenWidth" << "1025" << "240" << widthBox;
        QTest::newRow("width 300px") << "lineScreenWidth" << "300px" << "300" << "";
        QTest::newRow("width empty") << "lineScreenWidth" << "" << "240" << widthBox;
    }

    void screenSizeIsRangeChecked()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, box);
        openProject(prop("configType", "app"));
        typeInto(*m_window, field.toLatin1(), typed);
        const char* key = field == "lineScreenWidth" ? "screenWidth" : "screenHeight";
        QCOMPARE(property(key), stored);
        QCOMPARE(widget<QLineEdit>(field)->text(), stored);
        if (box.isEmpty()) {
            QVERIFY(m_dialogs.messages.isEmpty());
            return;
        }
        QCOMPARE(m_dialogs.titles(), QStringList{box});
        // The box names the value that is written.
        const QString dimension = key == QLatin1String("screenWidth") ? "width" : "height";
        QCOMPARE(m_dialogs.messages.first().text,
                 QString("The screen %1 is outside of allowed limits (128x128 - 1024x1024) - the emulator will "
                         "default to %2")
                     .arg(dimension, stored));
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
