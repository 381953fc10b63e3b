#pragma once
// Installs a downloaded profile archive without ever leaving a broken
// database behind. The archive is listed with the kit's unzip and refused
// unless every entry is a plain file or directory below profiles/ with a
// harmless name; it is then unpacked over a staging copy of today's
// profiles/ (so files it does not carry, such as the runtimes, stay), the
// result must load as a profile database, and only then is it swapped into
// place with one rename. On any failure the installed profiles/ is untouched.

#include "kvutil/KVUtil.h"

#include <string>
#include <vector>

namespace Brask {

class CommandExecutor;

class ProfileUpdateInstaller {
public:
    // Archives larger than this when unpacked, or with more entries, are
    // refused (the demo database unpacks to a few hundred KiB).
    static constexpr long long MaxUnpackedBytes = 512LL * 1024 * 1024;
    static constexpr size_t MaxEntries = 100000;

    struct Entry {
        std::string mode;  // as listed, "-rw-r--r--", "drwxr-xr-x", "lrwxrwxrwx"...
        long long size = 0;
        std::string name;
    };

    // `root` is the installation root; unzip is ROOT/bin/unzip. The unpack
    // runs through `executor` (shown to the user); the listing does not.
    ProfileUpdateInstaller(const KVUtil::String& root, CommandExecutor* executor);

    // Installs `zipPath`. False with a reason for the user in `error`.
    bool install(const KVUtil::String& zipPath, std::string& error);

    // Pairs the exact names of "unzip -Z1" with the lines of the long
    // listing "unzip -Z". False when the two do not agree.
    static bool parseListing(const std::string& names, const std::string& longListing,
                             std::vector<Entry>& entries, std::string& error);
    // Whether one entry may be unpacked: a relative name below profiles/
    // without "..", backslashes or control characters, a plain file or a
    // directory.
    static bool checkEntry(const Entry& entry, std::string& error);

    // Where the staging copy is made (removed again after every install).
    KVUtil::String stagingDirectory() const { return m_root + "/.profiles-update"; }

private:
    bool listArchive(const KVUtil::String& zipPath, std::vector<Entry>& entries, std::string& error);
    bool stage(std::string& error);
    bool unpack(const KVUtil::String& zipPath, std::string& error);
    bool verifyUnpacked(const std::vector<Entry>& entries, std::string& error);
    bool swapIntoPlace(std::string& error);
    void removeStaging();

    KVUtil::String m_root;
    CommandExecutor* m_executor;
};

} // namespace Brask
