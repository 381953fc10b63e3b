#pragma once
// Runs a blocking network exchange of the core off the GUI thread, so the
// window keeps painting while the server is slow, and shows the progress of
// a download with a Cancel button.

#include <functional>

namespace Brask {
struct HttpProgress;
}
class QWidget;

// Runs `call` on a worker thread and processes the GUI thread's events until
// it has returned. With `progress`, a window-modal progress dialog (object
// name "downloadProgress") over `parent` shows the bytes received; its Cancel
// sets progress->cancelled, which ends the exchange early.
void runNetworkCallOffGuiThread(const std::function<void()>& call, Brask::HttpProgress* progress, QWidget* parent);
