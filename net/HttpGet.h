#pragma once
// The kit's own minimal HTTP/1.0 GET client on plain sockets: KVHttpGet
// connects, sends the request and checks the response header; httpReadBody
// then reads the announced number of body bytes. The caller closes the socket
// (closeHttpSocket) also when it decides not to read the body.
//
// Everything the server sends is treated as hostile: every wait is bounded by
// the time-out below, the header by 2048 bytes and the body by
// HttpBodyCeiling. Each step reports itself through Brask::diag.
//
// Both calls block; the window runs them off the GUI thread (see
// core/UpdateInterface.h), so HttpProgress is shared between two threads.

#include "kvutil/KVUtil.h"

#include <atomic>

namespace Brask {

// Filled in by the body read while it runs; `cancelled` may be set from any
// thread and ends the exchange as a failed download.
struct HttpProgress {
    std::atomic<long long> received{0};
    std::atomic<long long> total{-1};
    std::atomic<bool> cancelled{false};
};

// How long connect and every single receive may wait for the server.
constexpr int HttpTimeoutSeconds = 30;
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
// body, a time-out or a cancel. `received` gets the count.
bool httpReadWholeBody(KVUtil::String& body, int bodyLength, int socket, HttpProgress* progress,
                       long long& received);

// Closes a socket KVHttpGet returned (0 is ignored).
void closeHttpSocket(int socket);

// Tests shorten the connect/receive time-out; a value <= 0 restores
// HttpTimeoutSeconds.
void setHttpTimeoutMilliseconds(int milliseconds);
int httpTimeoutMilliseconds();

} // namespace Brask
