#include "bluetooth/discovery.h"

#include "bluetooth/BtReport.h"
#include "bluetooth/SdpClient.h"
#include "bluetooth/SdpRecordParser.h"
#include "util/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace Brask {

std::atomic<int> gBtDiscoveryState{BtStateNeverSearched};

namespace {

std::unique_ptr<SdpTransport> defaultTransport(const BtAddress& address, CancelSignal& cancel, SdpError& error)
{
    const char* socketPath = std::getenv(SdpSocketVariable);
    if (socketPath && *socketPath)
        return connectUnixSdp(socketPath, cancel, error);
    return connectL2capSdp(address, cancel, sdpTimeouts().connectMs, error);
}

// The module's state. Its destructor runs at process exit: a search still
// running then is cancelled and its worker joined before the state goes.
struct Discovery {
    std::recursive_mutex lock;
    BtDiscoveryCallback callback;
    BtUuid target;
    BtAddress address{};
    std::vector<BtServiceRecord> services;
    std::size_t cursor = 0;
    std::thread worker;
    std::shared_ptr<CancelSignal> cancel;
    SdpTransportFactory factory;
    SdpTimeouts timeouts;

    ~Discovery()
    {
        {
            std::lock_guard<std::recursive_mutex> guard(lock);
            if (cancel)
                cancel->cancel();
        }
        if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
            worker.join();
        else if (worker.joinable())
            worker.detach();
    }
};

Discovery& module()
{
    static Discovery discovery;
    return discovery;
}

void finishSearch(int state, const BtDiscoveryCallback& callback)
{
    {
        std::lock_guard<std::recursive_mutex> guard(module().lock);
        gBtDiscoveryState = state;
    }
    callback();
}

void doServiceSearch()
{
    Discovery& d = module();
    diag("doServiceSearch\n");
    BtUuid target;
    BtAddress address;
    BtDiscoveryCallback callback;
    SdpTransportFactory factory;
    std::shared_ptr<CancelSignal> cancel;
    SdpTimeouts timeouts;
    {
        std::lock_guard<std::recursive_mutex> guard(d.lock);
        target = d.target;
        address = d.address;
        callback = d.callback;
        factory = d.factory;
        cancel = d.cancel;
        timeouts = d.timeouts;
    }

    SdpError error;
    std::unique_ptr<SdpTransport> transport =
        factory ? factory(address, *cancel, error) : defaultTransport(address, *cancel, error);
    std::vector<std::uint8_t> lists;
    std::vector<std::pair<std::size_t, std::size_t>> records;
    bool ok = transport != nullptr;
    if (ok) {
        SdpClient client(*transport, timeouts.receiveMs, timeouts.totalMs);
        ok = client.searchAttributes(target, lists, error) && splitSdpAttributeLists(lists, records, error);
        // The connection is not needed for the walk.
        transport.reset();
    }
    if (!ok) {
        if (error.code == 0)
            error = SdpError{EIO, "no connection"};
        diag("Service search on %s: %s\n", addressText(address).c_str(), error.text.c_str());
        BT_FAILURE_CODE(error.code);
        finishSearch(BtStateFailed, callback);
        return;
    }

    SdpRecordParser parser;
    for (const auto& [offset, size] : records) {
        if (cancel->cancelled()) {
            diag("Service search cancelled\n");
            BT_FAILURE_CODE(ECANCELED);
            finishSearch(BtStateFailed, callback);
            return;
        }
        BtServiceRecord record;
        std::string comment;
        if (!parser.parse(lists.data() + offset, size, record, comment)) {
            diag("Record skipped\n");
            continue;
        }
        {
            std::lock_guard<std::recursive_mutex> guard(d.lock);
            diag("sh s%i: port %i. %i UUIDs. Name:\"%s\" Comment:\"%s\"\n", static_cast<int>(d.services.size()),
                 record.port, static_cast<int>(record.uuids.size()), printableBytes(record.name).c_str(),
                 printableBytes(comment).c_str());
            for (const BtUuid& uuid : record.uuids)
                diag("UUID: %08X-%08X-%08X-%08X\n", static_cast<unsigned>(uuid.words[0]),
                     static_cast<unsigned>(uuid.words[1]), static_cast<unsigned>(uuid.words[2]),
                     static_cast<unsigned>(uuid.words[3]));
            d.services.push_back(std::move(record));
        }
        callback();
    }

    int found;
    {
        std::lock_guard<std::recursive_mutex> guard(d.lock);
        diag("Search done\n");
        found = static_cast<int>(d.services.size());
    }
    finishSearch(found + 1, callback);
}

} // namespace

std::recursive_mutex& discoveryLock()
{
    return module().lock;
}

void startServiceDiscovery(const BtAddress& address, const BtUuid& target, BtDiscoveryCallback callback)
{
    BT_ASSERT_TEXT(callback != nullptr, "cb != 0", 1);
    Discovery& d = module();
    std::thread previous;
    {
        std::lock_guard<std::recursive_mutex> guard(d.lock);
        BT_ASSERT(gBtDiscoveryState != 0, 120002);
        previous = std::move(d.worker);
    }
    // The previous worker has set its final state; it may still be in its
    // last callback, which may itself be what starts the new search.
    if (previous.joinable() && previous.get_id() == std::this_thread::get_id())
        previous.detach();
    else if (previous.joinable())
        previous.join();

    std::lock_guard<std::recursive_mutex> guard(d.lock);
    d.callback = std::move(callback);
    d.services.clear();
    d.cursor = 0;
    gBtDiscoveryState = BtStateRunning;
    d.target = target;
    d.address = address;
    d.cancel = std::make_shared<CancelSignal>();
    try {
        d.worker = std::thread(doServiceSearch);
    } catch (const std::system_error& e) {
        diag("No search thread: %s\n", e.what());
        BT_FAILURE_CODE(e.code().value());
        gBtDiscoveryState = BtStateFailed;
        const BtDiscoveryCallback callback = d.callback;
        // Called with the lock released, as from the worker.
        d.lock.unlock();
        callback();
        d.lock.lock();
    }
}

int peekNextService(int& nameBufSize, int& uuidCount)
{
    Discovery& d = module();
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    if (d.cursor >= d.services.size())
        return 0;
    const BtServiceRecord& record = d.services[d.cursor];
    nameBufSize = static_cast<int>(record.name.size() + 1);
    uuidCount = static_cast<int>(record.uuids.size());
    return 1;
}

int copyNextService(BtServiceResult& dst)
{
    BT_ASSERT_TEXT(dst.nameBufSize >= 0, "dst->nameBufSize >= 0", 120003);
    Discovery& d = module();
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    if (d.cursor >= d.services.size())
        return 0;
    const BtServiceRecord& record = d.services[d.cursor];
    dst.port = record.port;
    if (dst.name && dst.nameBufSize > 0) {
        const std::size_t n = std::min(record.name.size(), static_cast<std::size_t>(dst.nameBufSize - 1));
        std::memcpy(dst.name.get(), record.name.data(), n);
        dst.name[n] = '\0';
    }
    const std::size_t uuids =
        dst.uuids ? std::min(record.uuids.size(), static_cast<std::size_t>(std::max(dst.uuidCount, 0))) : 0;
    std::copy_n(record.uuids.begin(), uuids, dst.uuids.get());
    dst.uuidCount = static_cast<int>(uuids);
    dst.classes = record.classes;
    ++d.cursor;
    return 1;
}

int getNextService(BtServiceResult& dst)
{
    Discovery& d = module();
    // Held across the peek and the copy, so both see the same record.
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    int nameBufSize = 0;
    int uuidCount = 0;
    if (!peekNextService(nameBufSize, uuidCount))
        return 0;
    dst.name.reset(new (std::nothrow) char[static_cast<std::size_t>(nameBufSize)]);
    dst.uuids.reset(new (std::nothrow) BtUuid[static_cast<std::size_t>(uuidCount) + 1]);
    if (!dst.name || !dst.uuids)
        BT_INTERNAL_ERROR(1);
    dst.nameBufSize = nameBufSize;
    dst.uuidCount = uuidCount;
    const int res = copyNextService(dst);
    BT_ASSERT(res > 0, 1);
    return res;
}

bool BtServiceResult::offers(const BtUuid& serviceClass) const
{
    return port >= BtRfcommFirstChannel && port <= BtRfcommLastChannel &&
           std::find(classes.begin(), classes.end(), serviceClass) != classes.end();
}

void cancelServiceDiscovery()
{
    Discovery& d = module();
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    if (gBtDiscoveryState == BtStateRunning && d.cancel)
        d.cancel->cancel();
}

void joinServiceDiscovery()
{
    Discovery& d = module();
    std::thread worker;
    {
        std::lock_guard<std::recursive_mutex> guard(d.lock);
        if (d.worker.joinable() && d.worker.get_id() == std::this_thread::get_id())
            return;  // the worker's own callback: it ends right after
        worker = std::move(d.worker);
    }
    if (worker.joinable())
        worker.join();
}

void stopServiceDiscovery()
{
    cancelServiceDiscovery();
    joinServiceDiscovery();
}

void setSdpTransportFactory(SdpTransportFactory factory)
{
    Discovery& d = module();
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    d.factory = std::move(factory);
}

void setSdpTimeouts(const SdpTimeouts& timeouts)
{
    Discovery& d = module();
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    d.timeouts = timeouts;
}

SdpTimeouts sdpTimeouts()
{
    Discovery& d = module();
    std::lock_guard<std::recursive_mutex> guard(d.lock);
    return d.timeouts;
}

} // namespace Brask
