#pragma once
// Fakes and a throw-away installation for the window tests.

#include "app/dialogs/DialogRunner.h"
#include "app/ToolStarter.h"
#include "app/dialogs/UserDialogs.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class Buildtool;
class QDialog;

// Answers file dialogs from a queue ("next file name"; an empty queue is a
// cancel) and records every box instead of showing it.
class FakeDialogs : public UserDialogs {
public:
    struct Message {
        Kind kind;
        QString title;
        QString text;
    };

    void showMessage(Kind kind, const QString& title, const QString& text) override;
    // The next of `nextSaveAnswers`; Discard when none is left.
    SaveAnswer askToSave(const QString& title, const QString& text) override;
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override;
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override;

    int countTitled(const QString& title) const;
    QStringList titles() const;

    QList<Message> messages;
    QList<SaveAnswer> nextSaveAnswers;
    QStringList saveQuestions;
    QStringList nextFileNames;
    QStringList askedCaptions;
    // The start directory and the filter each file dialog was given.
    QStringList askedDirectories;
    QStringList askedFilters;
};

// Records what would have been started.
class FakeStarter : public ToolStarter {
public:
    bool startDetached(const std::string& commandLine, std::string* error) override;
    bool openUrl(const QUrl& url) override;

    QStringList started;
    QList<QUrl> urls;
    bool succeed = true;
};

// Runs the window's dialogs without a modal loop: shows the dialog, hands it
// to the next script (which clicks and types in it by object name) and gives
// the dialog's result. A dialog with no script left is cancelled.
class FakeDialogRunner : public DialogRunner {
public:
    using Script = std::function<void(QDialog&)>;

    int run(QDialog& dialog) override;

    QList<Script> scripts;
    // Object names and titles of the dialogs run, in order.
    QStringList ran;
    QStringList titles;
};

// Script steps.
void clickButton(QDialog& dialog, bool ok);
void clickChild(QDialog& dialog, const char* name);
// Clicks row `row` of the list view named `name`.
void clickRow(QDialog& dialog, const char* name, int row);
// Replaces the text of the line edit `name` by typing, then presses Enter.
void typeInto(QWidget& parent, const char* name, const QString& text);

// ROOT with profiles/vendors/definitions.txt, one vendor with one device,
// bin/ with the icons and permissive fake tools, projects/.
class TestInstallation {
public:
    TestInstallation();

    QString root() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.path() + "/" + relative; }
    void writeFile(const QString& relative, const QByteArray& content) const;
    QByteArray readFile(const QString& relative) const;
    // bin/NAME as an executable shell script with `body` after "#!/bin/sh".
    void writeTool(const QString& name, const QByteArray& body) const;
    // A device directory with its runtime.txt and `profile` as profile.h.
    void writeDevice(const QString& vendor, const QString& device, const QByteArray& profile) const;
    // A project file at `relative` holding `files` (stored paths; "dir/" makes
    // a folder for the paths that follow until the next folder).
    QString writeProject(const QString& relative, const QString& name, const QStringList& files) const;

    // A window on this installation, built in ROOT/bin as the entry does;
    // unless told otherwise, once its profile tree shows the database.
    std::unique_ptr<Buildtool> makeWindow(FakeDialogs& dialogs, FakeStarter& starter,
                                          const QString& projectPath = QString(), bool waitForProfiles = true) const;

private:
    QTemporaryDir m_dir;
};

// Runs events until the window's profile tree shows the database read in
// the background (a minute at most); false when it still says it is loading.
bool waitUntilProfilesShown(Buildtool& window);

// What every window test class shares: per test a fresh installation, fakes
// for boxes, file dialogs, started programs and dialogs, and the window built
// on them. Test classes derive from it and call these from their
// initTestCase/init/cleanup slots.
class WindowTestBase : public QObject {
protected:
    WindowTestBase();
    ~WindowTestBase() override;

    // Silences the core's diagnostics and remembers the starting directory.
    void startSuite();
    // A fresh installation and fresh fakes; no window yet.
    void startTest();
    // The window on this test's installation, optionally opening a project,
    // with the fake dialog runner attached; see makeWindow().
    void openWindow(const QString& projectPath = QString(), bool waitForProfiles = true);
    // The window and the installation go; the starting directory comes back.
    void endTest();

    TestInstallation* m_kit = nullptr;
    FakeDialogs m_dialogs;
    FakeStarter m_starter;
    FakeDialogRunner m_runner;
    std::unique_ptr<Buildtool> m_window;
    QString m_startDirectory;
};

