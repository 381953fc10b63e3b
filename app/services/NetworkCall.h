#pragma once
// Runs a blocking network exchange of the core off the GUI thread, so the
// window keeps painting while the server is slow, and shows what it is doing
// with a Cancel button.

#include <functional>

namespace Brask {
struct HttpProgress;
}
class QProgressDialog;
class QString;
class QWidget;

// A progress dialog that exists from the start but only shows itself after
// this long: quick exchanges flash nothing.
constexpr int NetworkProgressDelayMilliseconds = 300;

// Runs `call` on a worker thread and processes the GUI thread's events until
// it has returned. A progress dialog (object name "networkProgress") shows
// progress->task and, for a body, the bytes received; its Cancel (or Esc, or
// closing it) sets progress->cancelled, which ends the exchange within a
// fraction of a second. With a visible `parent` it stands over it without
// blocking it (closing the window or its Quit, Ctrl+Q in the dialog too, end
// the exchange through the window); without one (start-up, before the window shows) it is application-modal and
// centred on the screen. Should the application quit meanwhile (its event
// loops then return at once), the exchange is cancelled before it is waited
// for, so the GUI thread never blocks for a whole download.
void runNetworkCallOffGuiThread(const std::function<void()>& call, Brask::HttpProgress* progress, QWidget* parent);

// The small dialog both kinds of exchange show: `task`, a busy bar, Cancel.
// Not shown yet; the caller shows it (after the delay above).
QProgressDialog* makeNetworkProgressDialog(const QString& task, QWidget* parent);
