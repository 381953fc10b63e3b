#pragma once
// The "Settings" tab and the two screen-size fields of the "Profiles" tab:
// every widget writes its project property as soon as the user changes it,
// and loadFromProject() fills the widgets from the properties.

#include <QObject>

namespace Ui {
class BuildtoolClass;
}
namespace Brask {
class Project;
class ProjectManager;
} // namespace Brask
class QLineEdit;
class UserDialogs;

class SettingsPanel : public QObject {
    Q_OBJECT
public:
    SettingsPanel(Ui::BuildtoolClass& ui, Brask::ProjectManager& manager, UserDialogs& dialogs,
                  QObject* parent = nullptr);

    // Copies the open project's properties into the widgets. Check boxes and
    // radio buttons that change state write their normalised value ("true" /
    // "false", "app" / "lib") back through their slots; line edits set here
    // write nothing.
    void loadFromProject();
    // Stores what the text fields show but have not reported yet (typing
    // without leaving the field): saving, building and quitting take the
    // texts as the user sees them.
    void commitEdits();
    // Without a project the fields show nothing of a project that is gone.
    void clearFields();

signals:
    // The build type changed (Build and Run follows it).
    void buildTypeChanged();

public slots:
    void appRadioToggled(bool state);
    void werrorStateChanged(int state);
    void wallStateChanged(int state);
    void wextraStateChanged(int state);
    void deadCodeStateChanged(int state);
    void ignoreIncludesStateChanged(int state);
    void ignoreLibDirsStateChanged(int state);
    void ignoreLibsStateChanged(int state);
    void outputPathEdited();
    void addIncDirEdited();
    void addLibDirEdited();
    void addLibsEdited();
    void addGccEdited();
    void addResourcerEdited();
    void addLinkerEdited();
    void screenWidthChanged();
    void screenHeightChanged();

private:
    void setProperty(const char* key, const std::string& value);
    void setFlag(const char* key, int state);
    void setText(const char* key, const QLineEdit* edit);
    void applyBuildType(bool application);
    void checkScreenSize(QLineEdit* edit, const char* key, int fallback, const QString& title, const QString& text);

    Ui::BuildtoolClass& m_ui;
    Brask::ProjectManager& m_manager;
    UserDialogs& m_dialogs;
    // Set while a screen-size check shows its box, so the focus leaving the
    // field for the box does not run the check a second time.
    bool m_checkingScreen = false;
};
