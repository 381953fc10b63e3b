#pragma once
// "Invite...": a friend's address and a message (preset to the default
// invitation), posted to the maker, who sends the invitation on.

#include <QByteArray>
#include <QDialog>

#include <memory>

namespace Ui {
class InviteDialog;
}

class InviteDialog : public QDialog {
    Q_OBJECT
public:
    explicit InviteDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~InviteDialog() override;

    // The message the dialog starts with; it ends with the maker's web site.
    static QString defaultInvitation();

    // "sender=S&invitee=I&message=M": S the user's address, I the friend's,
    // M the message, each form-encoded (formAddress, formValue).
    QByteArray body() const;

private:
    std::unique_ptr<Ui::InviteDialog> m_ui;
};
