// The two text rules of the window: compiler-message recognition in the
// output pane and the tool command line for a file.

#include "core/builder/ErrorLineParser.h"
#include "core/ToolCommandLine.h"
#include "util/Diagnostics.h"

#include <QTest>

class ParsersTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Brask::setDiagnosticStream(nullptr); }

    void parseErrorLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("recognised");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("line");

        QTest::newRow("drive letter") << "C:\\p\\main.c:12: error: 'x' undeclared" << true << "C:\\p\\main.c" << 12;
        QTest::newRow("gcc absolute") << "/home/u/game/main.c:7:3: warning: unused variable 'frame'" << true
                                      << "/home/u/game/main.c" << 7;
        QTest::newRow("no text after line") << "main.c:7" << true << "main.c" << 7;
        QTest::newRow("empty line number") << "main.c:" << true << "main.c" << 0;
        QTest::newRow("Running line") << "Running: xgcc -c a.c" << true << "Running" << 0;
        QTest::newRow("included from") << "In file included from a.h:3," << true << "In file included from a.h" << 3;
        QTest::newRow("letters before colon") << "warning: x:y:z" << false << "" << 0;
        QTest::newRow("no colon") << "linking program" << false << "" << 0;
        QTest::newRow("empty") << "" << false << "" << 0;
        QTest::newRow("colon slash kept") << "file://x/a.c:4: e" << true << "file://x/a.c" << 4;
        QTest::newRow("colon backslash kept") << "d:\\a.c:9:" << true << "d:\\a.c" << 9;
        QTest::newRow("mixed digits at end") << "a.c:1x2" << true << "a.c" << 12;
        QTest::newRow("mixed digits before colon") << "a.c:1x2: e" << false << "" << 0;
        QTest::newRow("colon at the very start") << ":5: e" << true << "" << 5;
    }

    void parseErrorLine()
    {
        QFETCH(QString, text);
        QFETCH(bool, recognised);
        QFETCH(QString, file);
        QFETCH(int, line);
        const auto result = ::parseErrorLine(text.toStdString());
        QCOMPARE(result.has_value(), recognised);
        if (result) {
            QCOMPARE(QString::fromStdString(result->file), file);
            QCOMPARE(result->line, line);
        }
    }

    void getCommandLine_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("isProfile");
        QTest::addColumn<QString>("expected");

        QTest::newRow("editor") << "/p/src/main.c" << 17 << false << "/kit/bin/editor -n17 /p/src/main.c";
        QTest::newRow("header, quotes in pattern") << "/p/a.h" << 0 << false << "header \"/p/a.h\"";
        QTest::newRow("upper-case extension") << "/p/main.C" << 0 << false << "/kit/bin/editor -n0 /p/main.C";
        QTest::newRow("entry in capitals") << "x.cpp" << 3 << false << "cppedit x.cpp:3";
        QTest::newRow("no dot") << "/p/Makefile" << 1 << false << "";
        QTest::newRow("dot in directory only") << "/p.d/Makefile" << 1 << false << "";
        QTest::newRow("unknown extension") << "readme.txt" << 1 << false << "";
        QTest::newRow("profile ignores extension") << "/kit/profiles/vendors/A/B/profile.h" << 0 << true
                                                   << "view /kit/profiles/vendors/A/B/profile.h";
        QTest::newRow("dollar names, twice") << "a.lst" << 5 << false << "lst a.lst a.lst $5";
        QTest::newRow("unknown and capital tokens") << "a.s" << 2 << false << "as %lin x %FILE %li";
        QTest::newRow("blank in path is quoted")
            << "/p/My Projects/main.c" << 4 << false << "/kit/bin/editor -n4 \"/p/My Projects/main.c\"";
        QTest::newRow("quoted by the pattern stays as it is")
            << "/p/My Projects/b.h" << 0 << false << "header \"/p/My Projects/b.h\"";
    }

    void getCommandLine()
    {
        QFETCH(QString, file);
        QFETCH(int, line);
        QFETCH(bool, isProfile);
        QFETCH(QString, expected);

        Brask::Config config;
        config.fileTypes = {
            {"c", "/kit/bin/editor -n%line %file"},
            {"CPP", "cppedit %file:%line"},
            {"cpp", "never chosen"},
            {"lst", "lst $file %file $$line"},
            {"s", "as %lin x %FILE %li"},
            {"h", "header \"%file\""},
            {"*Profile", "view %file"},
        };
        QCOMPARE(QString::fromStdString(Brask::toolCommandLine(config, file.toStdString(), line, isProfile)), expected);
    }
};

QTEST_GUILESS_MAIN(ParsersTest)
#include "parsers_test.moc"
