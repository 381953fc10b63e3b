#pragma once
// "Send feedback...": what the feedback is about and its description, posted
// to the maker as a form.

#include <QByteArray>
#include <QDialog>

#include <memory>

namespace Ui {
class FeedbackDialog;
}

class FeedbackDialog : public QDialog {
    Q_OBJECT
public:
    explicit FeedbackDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~FeedbackDialog() override;

    // "id=N&sender=S&message=M": N the chosen entry counted from 1 ("(please
    // select)" is 1), S the user's address and M the description, both
    // form-encoded. Prints "Trying to send: " with it.
    QByteArray body() const;

private:
    std::unique_ptr<Ui::FeedbackDialog> m_ui;
};
