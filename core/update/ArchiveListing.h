#pragma once
// What a downloaded profile archive holds, as the kit's unzip lists it, and
// whether each entry may be unpacked. The archive comes from a server: every
// name is checked before a byte of it is written anywhere.

#include <cstdint>
#include <string>
#include <vector>

namespace Brask {

struct ArchiveEntry {
    std::string mode;  // as listed, "-rw-r--r--", "drwxr-xr-x", "lrwxrwxrwx"...
    long long size = 0;
    std::string name;
    uint32_t crc = 0;  // the listed CRC-32 of the content

    // As unzip itself decides it: by the name, whatever the mode bits say.
    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
};

class ArchiveListing {
public:
    // Archives larger than this when unpacked, or with more entries, are
    // refused (the demo database unpacks to a few hundred KiB).
    static constexpr long long MaxUnpackedBytes = 512LL * 1024 * 1024;
    static constexpr size_t MaxEntries = 100000;

    // Lists `zipPath` with `unzip` ("-Z1" for the exact names, "-Z" for
    // modes and sizes, "-v" for checksums), in the archive's own order,
    // which is also the order "unzip -p" writes the entries in. False with a
    // reason for the user when it cannot be listed or an entry is refused.
    static bool list(const std::string& unzip, const std::string& zipPath, std::vector<ArchiveEntry>& entries,
                     std::string& error);

    // Pairs the exact names of "unzip -Z1" with the lines of the long
    // listing "unzip -Z". False when the two do not agree.
    static bool parseListing(const std::string& names, const std::string& longListing,
                             std::vector<ArchiveEntry>& entries, std::string& error);
    // Fills in the entries' checksums from the verbose listing "unzip -v",
    // whose lines must name the same entries in the same order.
    static bool parseChecksums(const std::string& verboseListing, std::vector<ArchiveEntry>& entries,
                               std::string& error);
    // Whether one entry may be unpacked: a relative name below profiles/
    // without "..", backslashes or control characters, and no link or other
    // special file. Like unzip, a name ending in "/" is a directory and
    // anything else a plain file, whatever mode bits the archiver wrote (the
    // JDK's jar and Windows tools write none, Python's zipfile no file type).
    static bool checkEntry(const ArchiveEntry& entry, std::string& error);

private:
    // Every entry acceptable, none twice, the total within the budget.
    static bool checkAll(const std::vector<ArchiveEntry>& entries, std::string& error);
};

} // namespace Brask
