#pragma once
// Picks a feature (or bug) of the profile database and whether devices must
// have it or must lack it.

#include <QDialog>

#include <memory>

namespace Ui {
class FeatureDialog;
}
namespace Brask {
class ProfileDatabase;
}

class FeatureDialog : public QDialog {
    Q_OBJECT
public:
    explicit FeatureDialog(const Brask::ProfileDatabase& database, QWidget* parent = nullptr,
                           Qt::WindowFlags flags = {});
    ~FeatureDialog() override;

    // Row of the feature the user picked, in the database's feature order, or
    // -1. A row that only holds the keyboard focus (the view gives the first
    // row focus on entry) has not been picked.
    int currentRow() const;
    bool require() const;

private:
    std::unique_ptr<Ui::FeatureDialog> m_ui;
};
