#include "EmulatorWindow.h"

#include <QFileInfo>
#include <QLabel>
#include <QVBoxLayout>

EmulatorWindow::EmulatorWindow(const QString& program, const QString& resources, int width, int height,
                               QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Ombra - %1x%2").arg(width).arg(height));

    auto* screen = new QLabel(this);
    screen->setObjectName(QStringLiteral("screen"));
    screen->setFixedSize(width, height);
    screen->setWordWrap(true);
    screen->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    screen->setMargin(6);
    screen->setStyleSheet(QStringLiteral("background: #10202c; color: #d8f0ff; font-size: 11px;"));
    screen->setText(tr("Ombra stand-in\n\nA real kit's emulator runs the program here. This one shows what it "
                       "was given:\n\n%1\n\n%2\n\nScreen: %3 x %4")
                        .arg(describeFile(tr("Program"), program), describeFile(tr("Resources"), resources))
                        .arg(width)
                        .arg(height));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(screen);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setStyleSheet(QStringLiteral("EmulatorWindow { background: #3a3f47; }"));
}

QString EmulatorWindow::describeFile(const QString& role, const QString& path)
{
    if (path.isEmpty())
        return tr("%1: not given").arg(role);
    const QFileInfo info(path);
    if (!info.isFile())
        return tr("%1: %2 (missing)").arg(role, path);
    return tr("%1: %2 (%3 bytes)").arg(role, path).arg(info.size());
}
