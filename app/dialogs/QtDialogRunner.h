#pragma once
// Runs dialogs with QDialog::exec().

#include "app/dialogs/DialogRunner.h"

class QtDialogRunner : public DialogRunner {
public:
    int run(QDialog& dialog) override;
};
