#pragma once
// Reads entries of a zip archive through the kit's unzip ("unzip -p NAME
// ..."), handing their bytes over as they come, one after another in the
// archive's order, and counting them, so a caller can refuse them the moment
// they grow past what the listing promised. The archive's own size fields
// are never trusted: an entry listed as 1 KiB that inflates to gigabytes is
// cut off at the limit, and nothing beyond it reaches the caller.

#include <atomic>
#include <functional>
#include <string>
#include <vector>

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

    // Streams the entries named exactly `names` (unzip's wildcards are
    // escaped; they come in the archive's order, whatever the order given)
    // into `sink`, which returns false to stop with Failed. `bytes` gets the
    // count handed over; `error` unzip's complaint or the reason.
    Result read(const std::string& zipPath, const std::vector<std::string>& names, long long limit,
                const std::function<bool(const char*, size_t)>& sink, const std::atomic<bool>* cancelled,
                long long& bytes, std::string& error);

    // `name` as an unzip pattern that matches only itself.
    static std::string literalPattern(const std::string& name);

private:
    std::string m_unzip;
};

} // namespace Brask
