#pragma once
// Bluetooth > Deliver over Wi-Fi...: runs the over-the-air server while it
// is open and shows how a phone reaches it (the QR code and the address)
// and what phones fetched and reported. Closing it stops the server.

#include "delivery/DeliveryCatalog.h"
#include "delivery/OtaServer.h"

#include <QDialog>

#include <memory>

namespace Ui {
class DeliveryDialog;
}

class DeliveryDialog : public QDialog {
    Q_OBJECT
public:
    // Starts serving `catalog` at once; a server that cannot start says why
    // in the dialog.
    DeliveryDialog(Delivery::DeliveryCatalog catalog, const Delivery::ServerOptions& options, QWidget* parent);
    ~DeliveryDialog() override;

    bool serving() const;
    QString url() const;

public slots:
    // Stops the server; the dialog stays with what it showed.
    void stopServing();

private:
    void appendLine(const QString& line);
    void showCode(const QString& url);

    std::unique_ptr<Ui::DeliveryDialog> m_ui;
    std::unique_ptr<Delivery::OtaServer> m_server;
};
