#include "app/services/NetworkCall.h"

#include "net/HttpGet.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <thread>

namespace {

// The dialog's range is an int: count in KiB so any accepted body fits.
int kibibytes(long long bytes)
{
    return static_cast<int>(std::min<long long>(bytes / 1024, std::numeric_limits<int>::max()));
}

void showProgress(QProgressDialog& dialog, const Brask::HttpProgress& progress)
{
    const QLocale locale;
    const QString task = QString::fromStdString(progress.task);
    const long long received = progress.received.load();
    const long long total = progress.total.load();
    if (total > 0 && received > 0) {
        dialog.setMaximum(std::max(1, kibibytes(total)));
        dialog.setValue(std::min(kibibytes(received), dialog.maximum()));
        dialog.setLabelText(QCoreApplication::translate("NetworkCall", "%1\n%2 of %3 bytes")
                                .arg(task, locale.toString(received), locale.toString(total)));
    } else {
        // Nothing to count yet: a busy indicator.
        dialog.setMaximum(0);
        dialog.setLabelText(task);
    }
}

} // namespace

QProgressDialog* makeNetworkProgressDialog(const QString& task, QWidget* parent)
{
    auto* dialog = new QProgressDialog(parent);
    dialog->setObjectName(QStringLiteral("networkProgress"));
    dialog->setWindowTitle(QStringLiteral("VarBuild"));
    // Over the window it stays on top of it without blocking it: a modal
    // dialog would keep the window manager's close and the window's Quit
    // from reaching the window, which ends the exchange and quits. The busy
    // window starts nothing meanwhile. Alone (start-up) it holds the program.
    dialog->setWindowModality(parent ? Qt::NonModal : Qt::ApplicationModal);
    // Ctrl+Q while the dialog has the focus is the window's Quit.
    if (parent) {
        if (QAction* quit = parent->findChild<QAction*>(QStringLiteral("actionQuit")))
            dialog->addAction(quit);
    }
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    // Shown by the caller's own timer, never by the dialog's.
    dialog->setMinimumDuration(std::numeric_limits<int>::max());
    dialog->setMinimumWidth(360);
    dialog->setRange(0, 0);
    dialog->setLabelText(task);
    dialog->hide();
    return dialog;
}

void runNetworkCallOffGuiThread(const std::function<void()>& call, Brask::HttpProgress* progress, QWidget* parent)
{
    Brask::HttpProgress own;
    if (!progress)
        progress = &own;
    QWidget* owner = parent && parent->isVisible() ? parent : nullptr;
    std::unique_ptr<QProgressDialog> dialog(makeNetworkProgressDialog(QString::fromStdString(progress->task), owner));
    // Cancel (or Esc, or closing the dialog) hides it; the exchange ends at
    // its next look at the flag.
    QObject::connect(dialog.get(), &QProgressDialog::canceled, [progress] { progress->cancelled = true; });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [progress, &dialog] {
        if (!progress->cancelled)
            showProgress(*dialog, *progress);
    });
    poll.start(100);
    QTimer::singleShot(NetworkProgressDelayMilliseconds, dialog.get(), [progress, &dialog] {
        if (progress->cancelled)
            return;
        showProgress(*dialog, *progress);
        dialog->show();
    });

    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        call();
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    // The loop also returns at once when the application is quitting: the
    // exchange is then given up rather than waited out.
    if (!done)
        progress->cancelled = true;
    worker.join();
    poll.stop();
}
