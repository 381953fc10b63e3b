#pragma once
// Installs a downloaded profile archive without ever leaving a broken
// database behind. The archive is listed with the kit's unzip and refused
// unless every entry is a plain file or directory below profiles/ with a
// harmless name; it is then unpacked entry by entry over a staging copy of
// today's profiles/ (so files it does not carry, such as the runtimes, stay),
// each entry cut off the moment it grows past its listed size, the result
// must load as a profile database, and only then is it swapped into place
// with one rename. On any failure the installed profiles/ is untouched.
//
// The caller holds the installation's InstallLock for the whole install.

#include "kvutil/KVUtil.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace Brask {

class ProfileUpdateInstaller {
public:
    // Archives larger than this when unpacked, or with more entries, are
    // refused (the demo database unpacks to a few hundred KiB).
    static constexpr long long MaxUnpackedBytes = 512LL * 1024 * 1024;
    static constexpr size_t MaxEntries = 100000;
    // How long the swap waits for copies of VarBuild that are reading the
    // installed database (a load takes a moment).
    static constexpr int ReaderWaitMilliseconds = 10000;

    struct Entry {
        std::string mode;  // as listed, "-rw-r--r--", "drwxr-xr-x", "lrwxrwxrwx"...
        long long size = 0;
        std::string name;
        uint32_t crc = 0;  // the listed CRC-32 of the content
    };

    // `root` is the installation root; unzip is ROOT/bin/unzip. Nothing is
    // shown while it works: it may run off the GUI thread.
    explicit ProfileUpdateInstaller(const KVUtil::String& root);

    // Installs `zipPath`. False with a reason for the user in `error`. A set
    // `cancelled` stops it before the swap (cancelled() then says so).
    bool install(const KVUtil::String& zipPath, std::string& error, const std::atomic<bool>* cancelled = nullptr);
    bool cancelled() const { return m_cancelled; }
    // Entries and bytes the last install unpacked.
    size_t unpackedEntries() const { return m_unpackedEntries; }
    long long unpackedBytes() const { return m_unpackedBytes; }

    // Pairs the exact names of "unzip -Z1" with the lines of the long
    // listing "unzip -Z". False when the two do not agree.
    static bool parseListing(const std::string& names, const std::string& longListing,
                             std::vector<Entry>& entries, std::string& error);
    // Fills in the entries' checksums from the verbose listing "unzip -v",
    // whose lines must name the same entries in the same order.
    static bool parseChecksums(const std::string& verboseListing, std::vector<Entry>& entries, std::string& error);
    // Whether one entry may be unpacked: a relative name below profiles/
    // without "..", backslashes or control characters, and no link or other
    // special file. Like unzip, a name ending in "/" is a directory and
    // anything else a plain file, whatever mode bits the archiver wrote (the
    // JDK's jar and Windows tools write none, Python's zipfile no file type).
    static bool checkEntry(const Entry& entry, std::string& error);

    // Where the staging copy is made (removed again after every install).
    KVUtil::String stagingDirectory() const { return m_root + "/.profiles-update"; }

private:
    bool listArchive(const KVUtil::String& zipPath, std::vector<Entry>& entries, std::string& error);
    bool stage(std::string& error);
    bool unpack(const KVUtil::String& zipPath, const std::vector<Entry>& entries, std::string& error,
                const std::atomic<bool>* cancelled);
    // Unpacks a run of file entries with one unzip.
    bool unpackFiles(const KVUtil::String& zipPath, const std::vector<const Entry*>& batch, std::string& error,
                     const std::atomic<bool>* cancelled);
    bool verifyUnpacked(const std::vector<Entry>& entries, std::string& error);
    bool stoppedBeforeSwap(const std::atomic<bool>* cancelled, std::string& error);
    bool swapIntoPlace(std::string& error);
    void removeStaging();

    KVUtil::String m_root;
    bool m_cancelled = false;
    size_t m_unpackedEntries = 0;
    long long m_unpackedBytes = 0;
};

} // namespace Brask
