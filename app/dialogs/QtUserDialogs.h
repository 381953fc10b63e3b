#pragma once
// The real dialogs: QMessageBox and QFileDialog.

#include "app/dialogs/UserDialogs.h"

#include <memory>

class QMessageBox;

class QtUserDialogs : public UserDialogs {
public:
    void showMessage(Kind kind, const QString& title, const QString& text) override;
    SaveAnswer askToSave(const QString& title, const QString& text) override;
    // The box showMessage runs: web addresses in `text` are never broken
    // across lines.
    static std::unique_ptr<QMessageBox> makeBox(Kind kind, const QString& title, const QString& text);
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override;
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter) override;

    // The window's filters separate patterns with ";" ("Varnel files
    // (*.c;*.cpp;*.h;*.lst)"), QFileDialog with blanks. Each filter keeps its
    // text and gets the patterns again in a form QFileDialog reads; shown
    // with QFileDialog::HideNameFilterDetails the user sees the text as it was.
    static QString dialogFilters(const QString& filters);
};
