#pragma once
// The service search: one search at a time on a worker thread, its results
// kept in a process-wide list until the next search.
//
// One recursive lock guards the state, the search parameters, the list and
// the read cursor. The completion callback is called with the lock released:
// once after each record found and once when the search has ended (normally
// or not). gBtDiscoveryState is 0 while a search runs, so a callback that sees
// a non-zero value knows the search is over.

#include "bluetooth/BtUuid.h"
#include "bluetooth/SdpTransport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Brask {

// The channels an RFCOMM server can have.
constexpr int BtRfcommFirstChannel = 1;
constexpr int BtRfcommLastChannel = 30;

struct BtServiceRecord {
    int port = 0;                 // RFCOMM channel (1-30) from the protocol descriptor list; 0 when it has none
    std::string name;             // the service name attribute
    std::vector<BtUuid> uuids;    // every UUID of the record's attributes, in walk order
    std::vector<BtUuid> classes;  // the record's ServiceClassIDList
};

// Where a caller receives one record.
struct BtServiceResult {
    int port = 0;
    std::unique_ptr<char[]> name;
    int nameBufSize = 0;  // size of `name` including the terminating zero
    std::unique_ptr<BtUuid[]> uuids;
    int uuidCount = 0;
    std::vector<BtUuid> classes;

    // True when the record offers `serviceClass` on a usable RFCOMM channel:
    // the class is in its ServiceClassIDList and its channel is 1-30.
    bool offers(const BtUuid& serviceClass) const;
};

// -9 before the first search, 0 while one runs, n+1 after a search that found
// n records, -2 after a failed (or cancelled) one.
constexpr int BtStateNeverSearched = -9;
constexpr int BtStateRunning = 0;
constexpr int BtStateFailed = -2;
extern std::atomic<int> gBtDiscoveryState;

using BtDiscoveryCallback = std::function<void()>;

std::recursive_mutex& discoveryLock();

// Starts a search for `target` on the device `address` (most significant byte
// first). The callback must be set and no search may be running (both are
// program errors that end the process). A previous search's worker is joined
// first; the list and the read cursor are reset.
void startServiceDiscovery(const BtAddress& address, const BtUuid& target, BtDiscoveryCallback callback);

// 1 when an unread record exists; `nameBufSize` gets its name's length + 1,
// `uuidCount` its number of UUIDs. 0 otherwise.
int peekNextService(int& nameBufSize, int& uuidCount);

// Allocates `result`'s buffers to fit the next unread record and copies it
// out. 1 when a record was copied and the cursor advanced, 0 when none is left.
int getNextService(BtServiceResult& result);

// Copies the next unread record into the caller's buffers as sized by
// `result.nameBufSize` and `result.uuidCount` (the name cut to
// nameBufSize - 1 bytes and zero-terminated; at most uuidCount UUIDs, and
// uuidCount set to the number copied). 1 when a record was copied, else 0.
int copyNextService(BtServiceResult& result);

// Ends a running search promptly: its exchange is interrupted and it fails
// (state -2) with its final callback as usual. No effect when none runs.
void cancelServiceDiscovery();

// Waits for the worker thread of the last search to finish. Must not be
// called with the lock held or from the callback.
void joinServiceDiscovery();

// Cancels and joins: nothing of the module runs afterwards.
void stopServiceDiscovery();

// How the search reaches the device's SDP server. The default opens the
// Unix socket named by VARBUILD_SDP_SOCKET when that is set, else L2CAP.
// Tests install their own; an empty factory restores the default.
using SdpTransportFactory =
    std::function<std::unique_ptr<SdpTransport>(const BtAddress& address, CancelSignal& cancel, SdpError& error)>;
void setSdpTransportFactory(SdpTransportFactory factory);

// Time limits of the SDP exchange; tests shorten them.
struct SdpTimeouts {
    int connectMs = 20000;  // paging a phone can take several seconds
    int receiveMs = 10000;  // each response
    int totalMs = 60000;    // the whole exchange, continuations included
};
void setSdpTimeouts(const SdpTimeouts& timeouts);
SdpTimeouts sdpTimeouts();

} // namespace Brask
