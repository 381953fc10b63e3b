#pragma once
// The kit's own minimal HTTP/1.0 GET client on plain sockets: KVHttpGet
// connects, sends the request and checks the response header; httpReadBody
// then reads the announced number of body bytes. The caller closes the socket
// (closeHttpSocket) also when it decides not to read the body.
//
// Everything the server sends is treated as hostile: the connect, the request
// and the whole header must be done within one time-out of the call (a server
// that drips one byte a second cannot hold it), every receive of the body is
// bounded by the same time-out, the header by 2048 bytes and the body by
// HttpBodyCeiling. Each step reports itself through Brask::diag.
//
// Both calls block; the window runs them off the GUI thread (see
// core/update/UpdateInterface.h), so HttpProgress is shared between two threads.

#include "kvutil/KVUtil.h"

#include <atomic>
#include <chrono>
#include <string>

namespace Brask {

// Filled in by the body read while it runs; `cancelled` may be set from any
// thread and ends the exchange as a failed download.
struct HttpProgress {
    std::atomic<long long> received{0};
    std::atomic<long long> total{-1};
    std::atomic<bool> cancelled{false};
    // What the exchange is doing, in words for the user ("Checking for a
    // newer profile database..."); set before the exchange starts.
    std::string task;
};

using HttpClock = std::chrono::steady_clock;
// An exchange without an overall deadline: only each wait is bounded.
constexpr HttpClock::time_point NoHttpDeadline = HttpClock::time_point::max();

// The time-out when VARNEL_HTTP_TIMEOUT does not give one: how long connect,
// each receive of a body, and the whole of a header or a small answer may
// take.
constexpr int HttpTimeoutSeconds = 30;
// Users on slow links set this to a number of seconds (1 to 86400).
constexpr const char* HttpTimeoutVariable = "VARNEL_HTTP_TIMEOUT";
// The largest body accepted (the profile archive is a few MiB); a longer
// announced length is refused before anything is allocated.
constexpr long long HttpBodyCeiling = 64LL * 1024 * 1024;
// The whole response header must fit in this many bytes.
constexpr int HttpHeaderBufferSize = 2048;

// URL: host[:port]/path, no scheme. Returns the connected socket, or 0 on any
// failure. `bodyLength` is -1 when the header carries no recognised length
// field.
int KVHttpGet(const char* url, int& bodyLength, HttpProgress* progress = nullptr);

// Reads `bodyLength` bytes into `body` (resized to that length; a length of 0
// or less leaves it alone). Returns `bodyLength` as passed in; how many bytes
// really arrived is in the diagnostics and, when given, progress->received.
// A receive that times out, fails or is cancelled ends the read early.
int httpReadBody(KVUtil::String& body, int bodyLength, int socket, HttpProgress* progress = nullptr);

// Like httpReadBody, but says whether the whole body arrived: false on a short
// body, a time-out or a cancel. `received` gets the count. With a `deadline`
// the read also ends then (small answers: one deadline for the exchange).
bool httpReadWholeBody(KVUtil::String& body, int bodyLength, int socket, HttpProgress* progress,
                       long long& received, HttpClock::time_point deadline = NoHttpDeadline);

// The end of an exchange that starts now and must end within one time-out.
HttpClock::time_point httpExchangeDeadline();

// Closes a socket KVHttpGet returned (0 is ignored).
void closeHttpSocket(int socket);

// Tests shorten the time-out; a value <= 0 goes back to VARNEL_HTTP_TIMEOUT,
// or HttpTimeoutSeconds without it.
void setHttpTimeoutMilliseconds(int milliseconds);
// The time-out in force: the test's, else VARNEL_HTTP_TIMEOUT's (read at each
// call; a value that is not a whole number of seconds from 1 to 86400 is
// ignored with a diagnostic line), else HttpTimeoutSeconds.
int httpTimeoutMilliseconds();

} // namespace Brask
