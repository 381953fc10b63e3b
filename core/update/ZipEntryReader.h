#pragma once
// Reads every entry of a zip archive through the kit's unzip in one run
// ("unzip -p ZIP"), handing the bytes over as they come, entry after entry
// in the archive's order (the order of its listing), and counting them, so
// a caller can refuse them the moment they grow past what the listing
// promised. The archive's own size fields are never trusted: an entry
// listed as 1 KiB that inflates to gigabytes is cut off at the limit, and
// nothing beyond it reaches the caller.

#include <atomic>
#include <functional>
#include <string>

namespace Brask {

class ZipEntryReader {
public:
    enum Result {
        Read,       // unzip ended with status 0 or 1 and the bytes stayed within the limit
        TooLarge,   // more than `limit` bytes came; unzip was ended
        Failed,     // unzip could not be started, failed, or `sink` refused the bytes
        Cancelled,  // `cancelled` was set; unzip was ended
    };

    // `unzip` is the path of the kit's unzip.
    explicit ZipEntryReader(std::string unzip);

    // Streams every entry of `zipPath` into `sink`, which returns false to
    // stop with Failed. When the stream grows past `limit`, the bytes up to
    // the limit still reach the sink (so it can tell where the lie began)
    // and the result is TooLarge. `bytes` gets the count handed over;
    // `error` unzip's complaint or the reason.
    Result read(const std::string& zipPath, long long limit, const std::function<bool(const char*, size_t)>& sink,
                const std::atomic<bool>* cancelled, long long& bytes, std::string& error);

private:
    std::string m_unzip;
};

} // namespace Brask
