#include "app/dialogs/QtDialogRunner.h"

#include <QDialog>

int QtDialogRunner::run(QDialog& dialog)
{
    return dialog.exec();
}
