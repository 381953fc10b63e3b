#include "app/services/InviteDialog.h"

#include "app/services/FormEncoding.h"
#include "core/update/UpdateManager.h"
#include "ui_InviteDialog.h"

InviteDialog::InviteDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::InviteDialog>())
{
    m_ui->setupUi(this);
    m_ui->lineMessage->setPlainText(defaultInvitation());
}

InviteDialog::~InviteDialog() = default;

QString InviteDialog::defaultInvitation()
{
    return QStringLiteral("Hi,\nI've been trying the new beta release of Varnel, and I really think you should too! "
                          "It's a development kit that makes mobile application development for multiple platforms "
                          "a whole lot easier by eliminating a lot of porting problems. You can develop your apps in "
                          "C/C++ and have them work on Java ME, and the Varnel guys say Symbian and WinMobile support "
                          "is just around the corner!\n\nSign up and/or read more at ")
        + QString::fromUtf8(Brask::MakerWebSite) + QStringLiteral(" !\n");
}

QByteArray InviteDialog::body() const
{
    // An "&" in an address would start a new form field: the addresses are
    // encoded too (a plain address comes out as typed).
    return "sender=" + formAddress(userEmailAddress()) + "&invitee=" + formAddress(m_ui->lineEdit->text())
        + "&message=" + formValue(m_ui->lineMessage->toPlainText());
}
