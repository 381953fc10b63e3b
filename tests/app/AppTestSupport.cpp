#include "AppTestSupport.h"

#include "app/Buildtool.h"
#include "app/panels/ProfilesPanel.h"
#include "core/ProjectManager.h"
#include "util/Diagnostics.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

void FakeDialogs::showMessage(Kind kind, const QString& title, const QString& text)
{
    messages.append({kind, title, text});
}

UserDialogs::SaveAnswer FakeDialogs::askToSave(const QString&, const QString& text)
{
    saveQuestions.append(text);
    return nextSaveAnswers.isEmpty() ? SaveAnswer::Discard : nextSaveAnswers.takeFirst();
}

QString FakeDialogs::getSaveFileName(QWidget*, const QString& caption, const QString& directory,
                                     const QString& filter)
{
    askedCaptions.append(caption);
    askedDirectories.append(directory);
    askedFilters.append(filter);
    return nextFileNames.isEmpty() ? QString() : nextFileNames.takeFirst();
}

QString FakeDialogs::getOpenFileName(QWidget*, const QString& caption, const QString& directory,
                                     const QString& filter)
{
    askedCaptions.append(caption);
    askedDirectories.append(directory);
    askedFilters.append(filter);
    return nextFileNames.isEmpty() ? QString() : nextFileNames.takeFirst();
}

int FakeDialogs::countTitled(const QString& title) const
{
    int count = 0;
    for (const Message& message : messages)
        count += message.title == title ? 1 : 0;
    return count;
}

QStringList FakeDialogs::titles() const
{
    QStringList list;
    for (const Message& message : messages)
        list.append(message.title);
    return list;
}

bool FakeStarter::startDetached(const std::string& commandLine, std::string* error)
{
    started.append(QString::fromStdString(commandLine));
    if (!succeed && error)
        *error = "not started";
    return succeed;
}

bool FakeStarter::openUrl(const QUrl& url)
{
    urls.append(url);
    return succeed;
}

int FakeDialogRunner::run(QDialog& dialog)
{
    ran.append(dialog.objectName());
    titles.append(dialog.windowTitle());
    dialog.show();
    if (scripts.isEmpty())
        dialog.reject();
    else
        scripts.takeFirst()(dialog);
    const int result = dialog.result();
    dialog.hide();
    return result;
}

namespace {

template <typename T>
T* child(QWidget& parent, const char* name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no %s in %s", name, qPrintable(parent.objectName()));
    return found;
}

} // namespace

void clickButton(QDialog& dialog, bool ok)
{
    auto* box = child<QDialogButtonBox>(dialog, "buttonBox");
    QTest::mouseClick(box->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
}

void clickChild(QDialog& dialog, const char* name)
{
    // On the indicator: a button stretched by its layout ignores clicks in its
    // empty part.
    auto* button = child<QAbstractButton>(dialog, name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

void clickRow(QDialog& dialog, const char* name, int row)
{
    auto* view = child<QAbstractItemView>(dialog, name);
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

void typeInto(QWidget& parent, const char* name, const QString& text)
{
    auto* edit = child<QLineEdit>(parent, name);
    edit->clear();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Enter);
}

TestInstallation::TestInstallation()
{
    writeFile("profiles/vendors/definitions.txt",
              "KV_PROF_SUPPORT_CAMERA,Camera\nKV_PROF_CONST_SCREENSIZE_X,ScreenSize/X,pixels\n"
              "KV_PROF_CONST_SCREENSIZE_Y,ScreenSize/Y,pixels\n");
    writeFile("profiles/vendors/Acme/Rocket/runtime.txt", "profiles\\runtimes\\1\n");
    writeFile("profiles/vendors/Acme/Rocket/profile.h",
              "#define KV_PROF_SUPPORT_CAMERA\n#define KV_PROF_CONST_SCREENSIZE_X 176\n"
              "#define KV_PROF_CONST_SCREENSIZE_Y 208\n");
    QDir().mkpath(path("projects"));
    QDir().mkpath(path("bin/gfx"));
    // No update checks at start-up unless a test asks for them, and whatever
    // does reach for the update server finds a closed port on this machine.
    writeFile("bin/config.xml", "<Config version=\"1\">\n\t<Property name=\"autoUpdates\" value=\"false\"/>\n</Config>\n");
    qputenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9");
    const QDir icons(QStringLiteral(VARBUILD_SOURCE_DIR "/kit/data/bin/gfx"));
    for (const QString& icon : icons.entryList({"*.png"}, QDir::Files))
        QFile::copy(icons.filePath(icon), path("bin/gfx/" + icon));

    // Tools that succeed quietly unless a test replaces them.
    writeTool("xgcc", "echo \"compiling ${@: -1}\"\n");
    writeTool("lintel", "echo linking\n");
    // A copy to a file makes it: packaging renames the JAR it made.
    writeTool("cmd", "if [ \"$2\" = mkdir ]; then mkdir -p \"$3\"; fi\n"
                     "if [ \"$2\" = copy ] && [ ! -d \"$4\" ]; then : > \"$4\"; fi\nexit 0\n");
    writeTool("zip", "exit 0\n");
}

void TestInstallation::writeFile(const QString& relative, const QByteArray& content) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

QByteArray TestInstallation::readFile(const QString& relative) const
{
    QFile file(relative.startsWith('/') ? relative : path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestInstallation::writeTool(const QString& name, const QByteArray& body) const
{
    // bash for ${@: -1}; every Debian system has it.
    writeFile("bin/" + name, "#!/bin/bash\n" + body);
    QFile::setPermissions(path("bin/" + name), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                  | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                                  | QFileDevice::ExeGroup);
}

void TestInstallation::writeDevice(const QString& vendor, const QString& device, const QByteArray& profile) const
{
    const QString directory = "profiles/vendors/" + vendor + "/" + device + "/";
    writeFile(directory + "runtime.txt", "profiles\\runtimes\\1\n");
    writeFile(directory + "profile.h", profile);
}

QString TestInstallation::writeProject(const QString& relative, const QString& name, const QStringList& files) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    Brask::ProjectManager manager(root().toStdString(), nullptr);
    manager.createProject(QFileInfo(full).absolutePath().toStdString());
    Brask::Project* project = manager.getProject();
    project->setName(name.toStdString());
    Brask::Folder* folder = project->getRoot();
    for (const QString& file : files) {
        if (file.endsWith('/'))
            folder = new Brask::Folder(project->getRoot(), file.chopped(1).toStdString());
        else
            new Brask::Sourcefile(file.toStdString(), folder);
    }
    manager.writeProject(full.toStdString());
    return full;
}

std::unique_ptr<Buildtool> TestInstallation::makeWindow(FakeDialogs& dialogs, FakeStarter& starter,
                                                        const QString& projectPath, bool waitForProfiles) const
{
    qputenv("VARNELDIR", root().toLocal8Bit());
    QDir::setCurrent(path("bin"));
    auto window = std::make_unique<Buildtool>(root(), projectPath, &dialogs, &starter);
    if (waitForProfiles)
        waitUntilProfilesShown(*window);
    return window;
}

bool waitUntilProfilesShown(Buildtool& window)
{
    QElapsedTimer waited;
    waited.start();
    while (window.profilesPanel()->showsLoading() && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !window.profilesPanel()->showsLoading();
}

WindowTestBase::WindowTestBase() = default;

WindowTestBase::~WindowTestBase()
{
    endTest();
}

void WindowTestBase::startSuite()
{
    Brask::setDiagnosticStream(nullptr);
    // The window keeps per-user choices (the "Show excluded devices" box)
    // with QSettings: the user's own must not reach the tests, nor the
    // tests' theirs.
    static QTemporaryDir userConfig;
    qputenv("XDG_CONFIG_HOME", userConfig.path().toLocal8Bit());
    // As the program names itself, so QSettings() is the same file here.
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QStringLiteral("VarBuild"));
    m_startDirectory = QDir::currentPath();
}

void WindowTestBase::startTest()
{
    m_kit = new TestInstallation;
    m_dialogs = FakeDialogs();
    m_starter = FakeStarter();
    m_runner = FakeDialogRunner();
}

void WindowTestBase::openWindow(const QString& projectPath, bool waitForProfiles)
{
    m_window = m_kit->makeWindow(m_dialogs, m_starter, projectPath, waitForProfiles);
    m_window->setDialogRunner(&m_runner);
}

void WindowTestBase::endTest()
{
    m_window.reset();
    if (!m_startDirectory.isEmpty())
        QDir::setCurrent(m_startDirectory);
    delete m_kit;
    m_kit = nullptr;
}

