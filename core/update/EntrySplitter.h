#pragma once
// Splits the one stream of "unzip -p ZIP" into the archive's files: each
// entry takes exactly its listed number of bytes, in listing order, and must
// then match its listed CRC-32. A directory entry's bytes (archivers write
// none, but unzip passes on any there are) are checked and dropped.
//
// Every file is written as a new file below the staging directory, never
// through a name that is already there: the staging tree shares the
// installed database's files by hard links, and writing into one of them
// would change the installed database before the swap.

#include "core/update/ArchiveListing.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace Brask {

class EntrySplitter {
public:
    EntrySplitter(std::string staging, const std::vector<ArchiveEntry>& entries);
    ~EntrySplitter();
    EntrySplitter(const EntrySplitter&) = delete;
    EntrySplitter& operator=(const EntrySplitter&) = delete;

    // Makes the directory entries (and their parents) before the stream starts.
    bool makeDirectories();
    // The next bytes of the stream; false once something is wrong (error()).
    bool take(const char* data, size_t size);
    // After unzip has ended: every entry must have come whole.
    bool complete();
    // Where a stream that ran past the listed total was when it did.
    std::string overflow() const;
    const std::string& error() const { return m_error; }

private:
    static std::string unlike(const ArchiveEntry& entry);
    bool startEntry();
    bool openNewFile(const std::string& path);
    bool makeParent(const std::string& path);
    bool write(const char* data, size_t size);
    bool finishEntry();
    bool closeFile();

    std::string m_staging;
    const std::vector<ArchiveEntry>& m_entries;
    std::unordered_set<std::string> m_directories;  // made (or found) already
    size_t m_index = 0;
    bool m_started = false;
    int m_fd = -1;
    long long m_written = 0;
    unsigned long m_crc = 0;
    std::string m_error;
};

} // namespace Brask
