// Installing this build tree: the install components into temporary
// prefixes, the desktop's view of the installed files, and the Debian
// package.

#include "util/Version.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace {

const int IconSizes[] = {16, 32, 48, 64, 128, 256};

// What the "app" component puts below a prefix.
QStringList appFiles()
{
    QStringList files{"bin/varbuild", "bin/varbuild-cli", "share/applications/varbuild.desktop",
                      "share/mime/packages/varbuild.xml"};
    for (int size : IconSizes)
        files << QStringLiteral("share/icons/hicolor/%1x%1/apps/varbuild.png").arg(size);
    return files;
}

// Every file and symbolic link below `root`, relative and sorted.
QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

struct Run {
    int code = -1;
    QString output;
};

Run run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(240000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

Run install(const QString& prefix, const QStringList& extra)
{
    return run("cmake", QStringList{"--install", VARBUILD_BINARY_DIR, "--prefix", prefix} + extra);
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class InstallTest : public QObject {
    Q_OBJECT
private slots:
    // The programs go into PREFIX/bin, the desktop files below PREFIX/share;
    // into a kit, nothing of the kit's own is touched.
    void appComponent_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("intoKit");
        QTest::newRow("default, empty prefix") << QStringList() << false;
        QTest::newRow("app component into a kit") << QStringList{"--component", "app"} << true;
    }

    void appComponent()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, intoKit);
        QTemporaryDir prefix;
        const QStringList kitFiles{"bin/xgcc", "bin/lintel", "bin/config.xml", "bin/version.dat",
                                   "bin/gfx/ikon16x16.png", "profiles/vendors/definitions.txt",
                                   "share/applications/kit-tool.desktop"};
        if (intoKit) {
            for (const QString& file : kitFiles)
                writeFile(prefix.filePath(file), "kit's own " + file.toUtf8());
            QFile::setPermissions(prefix.filePath("bin/xgcc"), QFile::ReadOwner | QFile::ExeOwner);
        }
        const Run result = install(prefix.path(), arguments);
        QVERIFY2(result.code == 0, qPrintable(result.output));

        QStringList expected = appFiles() + (intoKit ? kitFiles : QStringList());
        expected.sort();
        QCOMPARE(filesBelow(prefix.path()), expected);
        if (intoKit) {
            for (const QString& file : kitFiles)
                QCOMPARE(readFile(prefix.filePath(file)), "kit's own " + file.toUtf8());
            QCOMPARE(QFile::permissions(prefix.filePath("bin/xgcc")) & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner),
                     QFile::ReadOwner | QFile::ExeOwner);
        }
        const Run version = run(prefix.filePath("bin/varbuild-cli"), {"--version"});
        QCOMPARE(version.output, "varbuild-cli " + QLatin1String(Brask::VarBuildVersion) + "\n");
    }

    // The menu entry validates, every icon has the size of its theme
    // directory, and a project file is known by its name and by its content.
    void desktopKnowsTheProgramAndItsProjects()
    {
        QTemporaryDir prefix;
        QVERIFY(install(prefix.path(), {}).code == 0);
        const QString share = prefix.filePath("share");

        const Run validate = run("desktop-file-validate", {share + "/applications/varbuild.desktop"});
        QVERIFY2(validate.code == 0 && validate.output.isEmpty(), qPrintable(validate.output));
        for (int size : IconSizes) {
            const QString icon = QStringLiteral("%1/icons/hicolor/%2x%2/apps/varbuild.png").arg(share).arg(size);
            QCOMPARE(QImageReader(icon).size(), QSize(size, size));
        }
        // The freedesktop schema where the system has one, else well-formed.
        const QString mime = share + "/mime/packages/varbuild.xml";
        QStringList lint{"--noout", mime};
        for (const char* schema : {"/usr/share/xml/shared-mime-info/shared-mime-info.xsd",
                                   "/usr/share/shared-mime-info/shared-mime-info.xsd"})
            if (QFile::exists(schema))
                lint = QStringList{"--noout", "--schema", schema, mime};
        const Run xmllint = run("xmllint", lint);
        QVERIFY2(xmllint.code == 0, qPrintable(xmllint.output));

        const Run update = run("update-mime-database", {share + "/mime"});
        QVERIFY2(update.code == 0, qPrintable(update.output));
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_DIRS", share + ":/usr/share");
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        // A desktop's own type lookup (the file program knows nothing of
        // installed types).
        env.insert("XDG_CURRENT_DESKTOP", "GNOME");
        const QByteArray project = readFile(VARBUILD_SOURCE_DIR "/kit/data/projects/demo/demo.vnp");
        for (const char* name : {"demo.vnp", "demo-without-extension"}) {
            writeFile(home.filePath(name), project);
            const Run query = run("xdg-mime", {"query", "filetype", home.filePath(name)}, env);
            QCOMPARE(query.output.trimmed(), QString("application/x-varbuild-project"));
        }
    }

    // Only by name, with the prefix as its root; a configuration already
    // there stays, unless it is, unchanged, the one earlier installs wrote
    // with the prefix's absolute directories.
    void demoKitComponent_data()
    {
        QTest::addColumn<QString>("existing"); // "@P" stands for the prefix
        QTest::addColumn<bool>("kept");
        QTest::newRow("empty prefix") << QString() << false;
        QTest::newRow("prefix with its configuration") << QString("<Config version=\"1\"/>") << true;
        QTest::newRow("prefix with the absolute demo configuration")
            << QString("<Config version=\"1\">\n\t<Property name=\"IncludeDirectories\" value=\"@P/include\"/>\n"
                       "\t<Property name=\"LibraryDirectories\" value=\"@P/lib/pipe\"/>\n"
                       "\t<Property name=\"DefaultLibraries\" value=\"KVStd.lib\"/>\n"
                       "\t<Property name=\"autoUpdates\" value=\"false\"/>\n</Config>\n")
            << false;
    }

    void demoKitComponent()
    {
        QFETCH(QString, existing);
        QFETCH(bool, kept);
        QTemporaryDir prefix;
        existing.replace(QStringLiteral("@P"), prefix.path());
        if (!existing.isEmpty())
            writeFile(prefix.filePath("bin/config.xml"), existing.toUtf8());
        const Run result = install(prefix.path(), {"--component", "demo-kit"});
        QVERIFY2(result.code == 0, qPrintable(result.output));
        const QStringList files = filesBelow(prefix.path());
        for (const char* file : {"bin/varbuild", "bin/xgcc", "bin/lintel", "bin/zip", "bin/gfx/ikon16x16.png",
                                 "profiles/vendors/definitions.txt", "profiles/runtimes/1/VarnelRuntime.jar",
                                 "projects/demo/demo.vnp", "include/varnel.h", "docs/index.html"})
            QVERIFY2(files.contains(file), file);
        for (const QString& file : files)
            QVERIFY2(!file.contains("/Output/") && !file.startsWith("CMakeFiles/") && !file.startsWith("share/"),
                     qPrintable(file));
        const QByteArray config = readFile(prefix.filePath("bin/config.xml"));
        if (kept) {
            QCOMPARE(config, existing.toUtf8());
        } else {
            // Relative to the kit root, so the installed kit may move.
            QVERIFY2(config.contains("value=\"include\""), config.constData());
            QVERIFY2(config.contains("value=\"lib/pipe\""), config.constData());
            QVERIFY2(config.contains("<Property name=\"autoUpdates\" value=\"false\"/>"), config.constData());
        }
    }

    // cpack -G DEB: the app component under /usr with the package's
    // documents, dependencies found from the linked libraries.
    void debianPackage()
    {
        QTemporaryDir out;
        const Run pack = run("cpack", {"-G", "DEB", "-B", out.path(), "--config",
                                       VARBUILD_BINARY_DIR "/CPackConfig.cmake"});
        QVERIFY2(pack.code == 0, qPrintable(pack.output));
        const QString version = QLatin1String(Brask::VarBuildVersion) + "-1";
        const QString deb = out.filePath("varbuild_" + version + "_amd64.deb");
        QVERIFY2(QFile::exists(deb), qPrintable(pack.output));

        const Run contents = run("dpkg-deb", {"-c", deb});
        QCOMPARE(contents.code, 0);
        QStringList listed;
        for (const QString& line : contents.output.split('\n', Qt::SkipEmptyParts))
            if (!line.startsWith('d'))
                listed << line.section(' ', -1).mid(QStringLiteral("./usr/").size());
        listed.sort();
        QStringList expected = appFiles() + QStringList{"share/doc/varbuild/changelog.Debian.gz",
                                                        "share/doc/varbuild/copyright"};
        expected.sort();
        QCOMPARE(listed, expected);

        const Run fields = run("dpkg-deb", {"-f", deb, "Package", "Version", "Depends"});
        QVERIFY2(fields.output.startsWith("Package: varbuild\nVersion: " + version + "\n"), qPrintable(fields.output));
        for (const char* library : {"libqt6widgets6", "libexpat1", "libstdc++6"})
            QVERIFY2(fields.output.contains(library), qPrintable(fields.output));
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "install_test.moc"
