#pragma once
// The real dialogs: QMessageBox and QFileDialog.

#include "UserDialogs.h"

class QtUserDialogs : public UserDialogs {
public:
    void showMessage(Kind kind, const QString& title, const QString& text) override;
    SaveAnswer askToSave(const QString& title, const QString& text) override;
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
