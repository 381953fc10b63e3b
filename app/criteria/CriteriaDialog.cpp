#include "app/criteria/CriteriaDialog.h"

#include "ui_CriteriaDialog.h"

CriteriaDialog::CriteriaDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::CriteriaDialog>())
{
    m_ui->setupUi(this);
    connect(m_ui->featureRadio, &QRadioButton::toggled, this, &CriteriaDialog::featureToggled);
    connect(m_ui->vendorDeviceRadio, &QRadioButton::toggled, this, &CriteriaDialog::vendorDeviceToggled);
    connect(m_ui->constantRadio, &QRadioButton::toggled, this, &CriteriaDialog::constantToggled);
}

CriteriaDialog::~CriteriaDialog() = default;

void CriteriaDialog::choose(Kind kind, const QString& description)
{
    m_kind = kind;
    m_ui->description->setText(description);
}

void CriteriaDialog::featureToggled(bool state)
{
    if (state)
        choose(FeatureKind, tr("Add a criterion based on the availability or absence of a feature."));
}

void CriteriaDialog::vendorDeviceToggled(bool state)
{
    if (state)
        choose(VendorDeviceKind, tr("Add a criterion excluding devices based on model or vendor."));
}

void CriteriaDialog::constantToggled(bool state)
{
    if (state)
        choose(ConstantKind, tr("Add a criterion based on the value of a certain constant."));
}
