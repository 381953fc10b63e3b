#pragma once
// Bluetooth > Deliver over Wi-Fi...: builds what is missing or out of date,
// then opens the delivery dialog, which serves the packages while it is
// open.

#include "delivery/OtaServer.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace Brask {
class ProjectManager;
}
class DeliveryDialog;
class QWidget;
class UserDialogs;

class DeliveryController : public QObject {
    Q_OBJECT
public:
    // `buildChanged` runs the window's Build Changed and says whether it
    // succeeded (its failures show their own boxes). Everything given must
    // outlive this object.
    DeliveryController(QWidget* window, Brask::ProjectManager& manager, UserDialogs& dialogs,
                       std::function<bool()> buildChanged);
    // Closes the dialog, which stops its server.
    ~DeliveryController() override;

    // The address the server listens on; empty (the default) takes the
    // address of the default route's interface.
    void setAddress(const QString& address) { m_options.address = address.toStdString(); }
    // The open dialog, or nullptr.
    DeliveryDialog* dialog() const;

public slots:
    void deliver();

private:
    QWidget* m_window;
    Brask::ProjectManager& m_manager;
    UserDialogs& m_dialogs;
    std::function<bool()> m_buildChanged;
    Delivery::ServerOptions m_options;
    QPointer<DeliveryDialog> m_dialog;
};
