#pragma once
// The Bluetooth menu's flows: choosing the phone (its push service is
// searched and stored) and sending the target's package to it.

#include <QObject>

#include <memory>

namespace Brask {
class PhoneChooser;
class ProjectManager;
}
class DialogRunner;
class ProfilesPanel;
class QtPhoneChooser;
class QWidget;
class UserDialogs;
class WindowBusy;

class PhoneController : public QObject {
    Q_OBJECT
public:
    // Everything given must outlive this object; `window` parents the
    // dialogs shown.
    PhoneController(QWidget* window, Brask::ProjectManager& manager, UserDialogs& dialogs, WindowBusy& busy,
                    ProfilesPanel& profiles, DialogRunner* runner);
    ~PhoneController() override;

    void setDialogRunner(DialogRunner* runner);
    // Replaces how "Select phone" lets the user choose (the device dialog
    // and the wait for the search); nullptr restores the window's own. It
    // must outlive this object.
    void setPhoneChooser(Brask::PhoneChooser* chooser);

public slots:
    void phoneSelect();
    // Sends the JAR of the target device's runtime; `hasProject` is the
    // window's view of whether a project is open.
    void phoneSend(bool hasProject);

private:
    Brask::ProjectManager& m_manager;
    UserDialogs& m_dialogs;
    WindowBusy& m_busy;
    ProfilesPanel& m_profiles;
    std::unique_ptr<QtPhoneChooser> m_ownChooser;
    Brask::PhoneChooser* m_chooser;
};
