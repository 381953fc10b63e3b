#pragma once
// Edits the installation-wide configuration in place: the file types and
// their command lines, the default include and library directories and
// libraries, and the start-up update checks. Writing bin/config.xml is the
// caller's job, after the dialog has been accepted. It also edits the
// user's own "Compiler launcher" (app/CompilerLauncher.h), stored on Ok.

#include <QDialog>

#include <memory>

namespace Ui {
class ConfigDialog;
}
namespace Brask {
class Config;
}
class UserDialogs;

class ConfigDialog : public QDialog {
    Q_OBJECT
public:
    // The "Error" box for a malformed file-type line goes through `dialogs`.
    ConfigDialog(Brask::Config& config, UserDialogs& dialogs, QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~ConfigDialog() override;

public slots:
    // Stores the values into the Config and closes, unless a file-type line
    // is not exactly "extension<TAB>command line": then the Config is left
    // untouched and the dialog stays open.
    void accept() override;

private:
    std::unique_ptr<Ui::ConfigDialog> m_ui;
    Brask::Config& m_config;
    UserDialogs& m_dialogs;
};
