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
};
