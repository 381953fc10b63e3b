#pragma once
// Builds a Constant criterion: a device constant, a comparison and a value.

#include <QDialog>

#include <memory>

namespace Ui {
class ConstantDialog;
}
namespace Brask {
class ProfileDatabase;
}
class UserDialogs;

class ConstantDialog : public QDialog {
    Q_OBJECT
public:
    // "Unable to convert" goes through `dialogs`.
    ConstantDialog(const Brask::ProfileDatabase& database, UserDialogs& dialogs, QWidget* parent = nullptr,
                   Qt::WindowFlags flags = {});
    ~ConstantDialog() override;

    // Row of the picked constant in the database's constant order, or -1
    // (a row that merely holds the focus has not been picked).
    int currentRow() const;
    // 0 ">", 1 "<", 2 "==", 3 "!=", as the Constant criterion numbers them.
    int op() const { return m_op; }
    int value() const { return m_value; }

public slots:
    void accept() override;
    void gtToggled(bool state);
    void ltToggled(bool state);
    void eqToggled(bool state);
    void neToggled(bool state);
    void valueEditingFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Reads the field into m_value; false (after the box) when it is no number.
    bool convertValue();

    std::unique_ptr<Ui::ConstantDialog> m_ui;
    UserDialogs& m_dialogs;
    int m_op = 0;
    int m_value = 0;
    // The field's text when it was last converted into m_value.
    QString m_convertedText;
};
