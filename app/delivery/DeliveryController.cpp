#include "app/delivery/DeliveryController.h"

#include "app/delivery/DeliveryDialog.h"
#include "app/dialogs/UserDialogs.h"
#include "core/ProjectManager.h"
#include "delivery/DeliveryCatalog.h"

#include <QWidget>

DeliveryController::DeliveryController(QWidget* window, Brask::ProjectManager& manager, UserDialogs& dialogs,
                                       std::function<bool()> buildChanged)
    : QObject(window)
    , m_window(window)
    , m_manager(manager)
    , m_dialogs(dialogs)
    , m_buildChanged(std::move(buildChanged))
{
}

DeliveryController::~DeliveryController()
{
    delete m_dialog.data();
}

DeliveryDialog* DeliveryController::dialog() const
{
    return m_dialog.data();
}

void DeliveryController::deliver()
{
    if (!m_manager.getProject())
        return;
    const QString title = tr("Deliver over Wi-Fi");
    Delivery::DeliveryCatalog catalog = Delivery::deliveryCatalog(m_manager);
    if (catalog.symbian) {
        m_dialogs.showMessage(UserDialogs::Kind::Warning, title,
                              tr("This project makes a Symbian SIS. Phones install Java ME packages over the air; "
                                 "send the SIS with Send to phone instead."));
        return;
    }
    if (catalog.packages.empty()) {
        m_dialogs.showMessage(UserDialogs::Kind::Warning, title,
                              tr("No target device of this project has a Java ME runtime, so there is nothing "
                                 "to deliver. Add a criterion that selects the phones."));
        return;
    }
    // The phone gets what the sources say now.
    if (Delivery::needsBuild(catalog, m_manager)) {
        if (!m_buildChanged())
            return;
        catalog = Delivery::deliveryCatalog(m_manager);
    }
    delete m_dialog.data();
    m_dialog = new DeliveryDialog(std::move(catalog), m_options, m_window);
    m_dialog->setObjectName(QStringLiteral("deliveryDialog"));
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog->show();
}
