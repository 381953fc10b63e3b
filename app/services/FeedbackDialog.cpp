#include "app/services/FeedbackDialog.h"

#include "app/services/FormEncoding.h"
#include "ui_FeedbackDialog.h"
#include "util/Diagnostics.h"

FeedbackDialog::FeedbackDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::FeedbackDialog>())
{
    m_ui->setupUi(this);
}

FeedbackDialog::~FeedbackDialog() = default;

QByteArray FeedbackDialog::body() const
{
    const QByteArray text = "id=" + QByteArray::number(m_ui->comboId->currentIndex() + 1) + "&sender="
        + formAddress(userEmailAddress()) + "&message=" + formValue(m_ui->lineMessage->toPlainText());
    Brask::diag("Trying to send: %s\n", text.constData());
    return text;
}
