#include "NetworkCall.h"

#include "net/HttpGet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
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
    const long long received = progress.received.load();
    const long long total = progress.total.load();
    if (total > 0) {
        dialog.setMaximum(std::max(1, kibibytes(total)));
        dialog.setValue(std::min(kibibytes(received), dialog.maximum()));
        dialog.setLabelText(QCoreApplication::translate("NetworkCall", "Downloading the profile database...\n%1 of %2 bytes")
                                .arg(locale.toString(received), locale.toString(total)));
    } else {
        // No length known yet: a busy indicator.
        dialog.setMaximum(0);
        dialog.setLabelText(QCoreApplication::translate("NetworkCall", "Downloading the profile database...\n%1 bytes")
                                .arg(locale.toString(received)));
    }
}

} // namespace

void runNetworkCallOffGuiThread(const std::function<void()>& call, Brask::HttpProgress* progress, QWidget* parent)
{
    QEventLoop loop;
    std::unique_ptr<QProgressDialog> dialog;
    QTimer poll;
    if (progress) {
        dialog = std::make_unique<QProgressDialog>(parent);
        dialog->setObjectName(QStringLiteral("downloadProgress"));
        dialog->setWindowTitle(QStringLiteral("VarBuild"));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setMinimumDuration(0);
        dialog->setMinimumWidth(360);
        showProgress(*dialog, *progress);
        // Cancel (or Esc, or closing the dialog) hides it; the exchange ends
        // at its next look at the flag.
        QObject::connect(dialog.get(), &QProgressDialog::canceled, [progress] { progress->cancelled = true; });
        QObject::connect(&poll, &QTimer::timeout, [progress, &dialog] {
            if (!progress->cancelled)
                showProgress(*dialog, *progress);
        });
        poll.start(100);
        dialog->show();
    }

    std::thread worker([&] {
        call();
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // If the application quits meanwhile, exec() returns early and join()
    // waits out the exchange, which the client's time-outs bound.
    loop.exec();
    worker.join();
    poll.stop();
}
