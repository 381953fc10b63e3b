#pragma once
// Installs a downloaded profile archive without ever leaving a broken
// database behind. The archive is listed with the kit's unzip and refused
// unless every entry is a plain file or directory below profiles/ with a
// harmless name (ArchiveListing); a staging database is made that shares
// today's files without copying them (StagingTree), so files the archive does
// not carry, such as the runtimes, stay; the whole archive is unpacked over
// it in one run of unzip, each entry cut off the moment it grows past its
// listed size (EntrySplitter); the result must load as a profile database,
// and only then is it swapped into place with one rename. On any failure
// the installed profiles/ is untouched.
//
// The replaced database is not removed here: it waits in ROOT/.profiles-old
// (TreeRemoval.h) until the user has been told the result.
//
// The caller holds the installation's InstallLock for the whole install.

#include "core/update/ArchiveListing.h"
#include "kvutil/KVUtil.h"

#include <atomic>
#include <string>
#include <vector>

namespace Brask {

class ProfileUpdateInstaller {
public:
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

    // Where the staging database is made (moved out of the way after every
    // install).
    KVUtil::String stagingDirectory() const { return m_root + "/.profiles-update"; }

private:
    bool stage(const std::vector<ArchiveEntry>& entries, std::string& error, const std::atomic<bool>* cancelled);
    bool unpack(const KVUtil::String& zipPath, const std::vector<ArchiveEntry>& entries, std::string& error,
                const std::atomic<bool>* cancelled);
    bool verifyUnpacked(const std::vector<ArchiveEntry>& entries, std::string& error);
    bool stoppedBeforeSwap(const std::atomic<bool>* cancelled, std::string& error);

    KVUtil::String m_root;
    bool m_cancelled = false;
    size_t m_unpackedEntries = 0;
    long long m_unpackedBytes = 0;
};

} // namespace Brask
