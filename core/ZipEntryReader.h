#pragma once
// Reads one entry of a zip archive through the kit's unzip ("unzip -p"),
// handing its bytes over as they come and counting them, so a caller can
// refuse an entry the moment it grows past what its listing promised. The
// archive's own size fields are never trusted: an entry listed as 1 KiB that
// inflates to gigabytes is cut off after its limit, and nothing beyond it is
// ever written anywhere.

#include <atomic>
#include <functional>
#include <string>

namespace Brask {

class ZipEntryReader {
public:
    enum Result {
        Read,       // unzip ended with status 0 and the bytes stayed within the limit
        TooLarge,   // more than `limit` bytes came; unzip was ended
        Failed,     // unzip could not be started, failed, or `sink` refused the bytes
        Cancelled,  // `cancelled` was set; unzip was ended
    };

    // `unzip` is the path of the kit's unzip.
    explicit ZipEntryReader(std::string unzip);

    // Streams the entry named exactly `name` (unzip's wildcards are escaped)
    // into `sink`, which returns false to stop with Failed. `bytes` gets the
    // count handed over; `error` unzip's complaint or the reason.
    Result read(const std::string& zipPath, const std::string& name, long long limit,
                const std::function<bool(const char*, size_t)>& sink, const std::atomic<bool>* cancelled,
                long long& bytes, std::string& error);

    // `name` as an unzip pattern that matches only itself.
    static std::string literalPattern(const std::string& name);

private:
    std::string m_unzip;
};

} // namespace Brask
