#include "app/criteria/ConstantDialog.h"

#include "app/dialogs/ListChoice.h"
#include "app/dialogs/UserDialogs.h"
#include "core/profiles/ProfileDatabase.h"
#include "ui_ConstantDialog.h"

#include <QKeyEvent>

ConstantDialog::ConstantDialog(const Brask::ProfileDatabase& database, UserDialogs& dialogs, QWidget* parent,
                               Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::ConstantDialog>())
    , m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    for (const auto& constant : database.getConstants())
        m_ui->constantList->addItem(QString::fromStdString(constant.first));
    m_convertedText = m_ui->valueEdit->text();
    connect(m_ui->gtRadio, &QRadioButton::toggled, this, &ConstantDialog::gtToggled);
    connect(m_ui->ltRadio, &QRadioButton::toggled, this, &ConstantDialog::ltToggled);
    connect(m_ui->eqRadio, &QRadioButton::toggled, this, &ConstantDialog::eqToggled);
    connect(m_ui->neRadio, &QRadioButton::toggled, this, &ConstantDialog::neToggled);
    connect(m_ui->valueEdit, &QLineEdit::editingFinished, this, &ConstantDialog::valueEditingFinished);
    // Enter in the field would also press Ok right after "Unable to convert".
    m_ui->valueEdit->installEventFilter(this);
    keepCurrentRowSelected(m_ui->constantList);
}

bool ConstantDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui->valueEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Text that is no number: the box, and the dialog stays open so the
        // user can correct it (a later Ok takes the 0 the box announced).
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !convertValue())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

ConstantDialog::~ConstantDialog() = default;

int ConstantDialog::currentRow() const
{
    const QListWidgetItem* item = m_ui->constantList->currentItem();
    return item && item->isSelected() ? m_ui->constantList->row(item) : -1;
}

void ConstantDialog::gtToggled(bool state)
{
    if (state)
        m_op = 0;
}

void ConstantDialog::ltToggled(bool state)
{
    if (state)
        m_op = 1;
}

void ConstantDialog::eqToggled(bool state)
{
    if (state)
        m_op = 2;
}

void ConstantDialog::neToggled(bool state)
{
    if (state)
        m_op = 3;
}

void ConstantDialog::valueEditingFinished()
{
    // Already converted (and, if need be, reported) on Enter: leaving the
    // field for Ok must not show the same box again.
    if (m_ui->valueEdit->text() == m_convertedText)
        return;
    convertValue();
}

bool ConstantDialog::convertValue()
{
    const QString text = m_ui->valueEdit->text();
    m_convertedText = text;
    bool ok = false;
    m_value = text.toInt(&ok, 10);
    if (!ok) {
        m_value = 0;
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("VarBuild"), tr("Unable to convert"));
    }
    return ok;
}

void ConstantDialog::accept()
{
    // Ok can be reached without the field reporting that editing ended (a
    // click that does not take the focus, a shortcut): the criterion must
    // still get the number the field shows. Text that does not convert gets
    // the usual box and the dialog stays open, as after leaving the field.
    if (m_ui->valueEdit->text() != m_convertedText && !convertValue())
        return;
    QDialog::accept();
}
