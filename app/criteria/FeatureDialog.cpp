#include "app/criteria/FeatureDialog.h"

#include "core/profiles/ProfileDatabase.h"
#include "app/dialogs/ListChoice.h"
#include "ui_FeatureDialog.h"

FeatureDialog::FeatureDialog(const Brask::ProfileDatabase& database, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::FeatureDialog>())
{
    m_ui->setupUi(this);
    for (const auto& feature : database.getFeatures())
        m_ui->featureList->addItem(QString::fromStdString(feature.second));
    keepCurrentRowSelected(m_ui->featureList);
}

FeatureDialog::~FeatureDialog() = default;

int FeatureDialog::currentRow() const
{
    const QListWidgetItem* item = m_ui->featureList->currentItem();
    return item && item->isSelected() ? m_ui->featureList->row(item) : -1;
}

bool FeatureDialog::require() const
{
    return m_ui->requireRadio->isChecked();
}
