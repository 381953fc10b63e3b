#pragma once
// Runs dialogs with QDialog::exec().

#include "DialogRunner.h"

class QtDialogRunner : public DialogRunner {
public:
    int run(QDialog& dialog) override;
};
