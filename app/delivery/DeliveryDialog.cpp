#include "app/delivery/DeliveryDialog.h"

#include "delivery/QrCode.h"
#include "ui_DeliveryDialog.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPointer>

namespace {

// Pixels per module of the code; a phone's camera reads it from a screen
// at arm's length.
constexpr int kModule = 6;
constexpr int kQuietZone = 4;

QImage codeImage(const Delivery::QrCode& code)
{
    const int side = (code.width() + 2 * kQuietZone) * kModule;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code.width(); ++y)
        for (int x = 0; x < code.width(); ++x)
            if (code.dark(x, y))
                painter.fillRect((x + kQuietZone) * kModule, (y + kQuietZone) * kModule, kModule, kModule, Qt::black);
    return image;
}

} // namespace

DeliveryDialog::DeliveryDialog(Delivery::DeliveryCatalog catalog, const Delivery::ServerOptions& options,
                               QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::DeliveryDialog>())
{
    m_ui->setupUi(this);
    connect(m_ui->stopButton, &QPushButton::clicked, this, &DeliveryDialog::stopServing);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::close);
    // Lines come from the server's thread; they are shown on this one. Once
    // the dialog is gone, lines still queued are dropped with it.
    QPointer<DeliveryDialog> self(this);
    auto say = [self](const std::string& line) {
        const QString text = QString::fromStdString(line);
        QMetaObject::invokeMethod(
            self.data(), [self, text] { if (self) self->appendLine(text); }, Qt::QueuedConnection);
    };
    const QString project = QString::fromStdString(catalog.projectName);
    m_server = std::make_unique<Delivery::OtaServer>(std::move(catalog), say);
    std::string error;
    if (!m_server->start(options, &error)) {
        m_ui->deliveryUrl->setText(tr("Not serving: %1").arg(QString::fromStdString(error)));
        m_ui->stopButton->setEnabled(false);
        return;
    }
    setWindowTitle(tr("Deliver %1 over Wi-Fi").arg(project));
    showCode(url());
    m_ui->deliveryUrl->setText(url());
}

DeliveryDialog::~DeliveryDialog()
{
    m_server->stop();
}

bool DeliveryDialog::serving() const
{
    return m_server->running();
}

QString DeliveryDialog::url() const
{
    return QString::fromStdString(m_server->url());
}

void DeliveryDialog::stopServing()
{
    m_server->stop();
    m_ui->stopButton->setEnabled(false);
    appendLine(tr("Stopped."));
}

void DeliveryDialog::appendLine(const QString& line)
{
    m_ui->deliveryLog->appendPlainText(line);
}

void DeliveryDialog::showCode(const QString& url)
{
    const Delivery::QrCode code(url.toStdString());
    if (!code.empty())
        m_ui->qrCode->setPixmap(QPixmap::fromImage(codeImage(code)));
}
