#include "app/dialogs/QtUserDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStringList>

namespace {

// Plain text as rich text in which every web address starts a line of its
// own: the box wraps long texts, and would otherwise break an address after
// its "//" when only that much still fits on the line.
QString keepAddressesWhole(const QString& text)
{
    static const QRegularExpression address(QStringLiteral("[a-z]+://\\S+"));
    QString html;
    qsizetype done = 0;
    for (auto it = address.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QString before = text.mid(done, match.capturedStart() - done);
        while (!before.isEmpty() && before.back() == QLatin1Char(' '))
            before.chop(1);
        html += before.toHtmlEscaped();
        if (!html.isEmpty() && !before.endsWith(QLatin1Char('\n')))
            html += QStringLiteral("<br/>");
        html += match.captured().toHtmlEscaped();
        done = match.capturedEnd();
    }
    html += text.mid(done).toHtmlEscaped();
    return html.replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
}

} // namespace

void QtUserDialogs::showMessage(Kind kind, const QString& title, const QString& text)
{
    makeBox(kind, title, text)->exec();
}

std::unique_ptr<QMessageBox> QtUserDialogs::makeBox(Kind kind, const QString& title, const QString& text)
{
    auto owned = std::make_unique<QMessageBox>();
    QMessageBox& box = *owned;
    switch (kind) {
    case Kind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Kind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Kind::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Kind::About:
        box.setIcon(QMessageBox::NoIcon);
        box.setTextFormat(Qt::RichText);
        break;
    }
    if (!title.isEmpty())
        box.setWindowTitle(title);
    if (kind != Kind::About && text.contains(QStringLiteral("://"))) {
        box.setTextFormat(Qt::RichText);
        box.setText(keepAddressesWhole(text));
    } else {
        box.setText(text);
    }
    box.setStandardButtons(QMessageBox::Ok);
    return owned;
}

UserDialogs::SaveAnswer QtUserDialogs::askToSave(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveAnswer::Save;
    case QMessageBox::Discard:
        return SaveAnswer::Discard;
    default:
        return SaveAnswer::Cancel;
    }
}

QString QtUserDialogs::getSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                                       const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, directory, dialogFilters(filter), nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QString QtUserDialogs::getOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                                       const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, directory, dialogFilters(filter), nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

QString QtUserDialogs::dialogFilters(const QString& filters)
{
    if (filters.isEmpty())
        return filters;
    QStringList result;
    for (const QString& filter : filters.split(QStringLiteral(";;"))) {
        const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
        const bool hasPatterns = open >= 0 && filter.endsWith(QLatin1Char(')'));
        QString patterns = hasPatterns ? filter.mid(open + 1, filter.size() - open - 2) : QStringLiteral("*");
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The dialog takes the last parenthesis as the patterns and shows
        // what stands before it.
        result << filter + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
    }
    return result.join(QStringLiteral(";;"));
}
