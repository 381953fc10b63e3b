#pragma once
// First step of adding a criterion: which kind of criterion to build.

#include <QDialog>

#include <memory>

namespace Ui {
class CriteriaDialog;
}

class CriteriaDialog : public QDialog {
    Q_OBJECT
public:
    enum Kind { FeatureKind = 0, VendorDeviceKind = 1, ConstantKind = 2 };

    explicit CriteriaDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~CriteriaDialog() override;

    int kind() const { return m_kind; }

public slots:
    void featureToggled(bool state);
    void vendorDeviceToggled(bool state);
    void constantToggled(bool state);

private:
    void choose(Kind kind, const QString& description);

    std::unique_ptr<Ui::CriteriaDialog> m_ui;
    int m_kind = FeatureKind;
};
