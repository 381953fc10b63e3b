#include "app/dialogs/ListChoice.h"

#include <QListWidget>

void keepCurrentRowSelected(QListWidget* list)
{
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    QObject::connect(list, &QListWidget::currentItemChanged, list, [list](QListWidgetItem* current) {
        if (current && !current->isSelected())
            list->setCurrentItem(current, QItemSelectionModel::ClearAndSelect);
    });
}
