#include "core/update/ProfileUpdateInstaller.h"

#include "core/profiles/ProfileDatabase.h"
#include "core/update/EntrySplitter.h"
#include "core/update/StagingTree.h"
#include "core/update/ZipEntryReader.h"
#include "util/Diagnostics.h"

#include <sys/stat.h>
#include <unordered_set>

namespace Brask {

ProfileUpdateInstaller::ProfileUpdateInstaller(const KVUtil::String& root)
    : m_root(root)
{
}

bool ProfileUpdateInstaller::stoppedBeforeSwap(const std::atomic<bool>* cancelled, std::string& error)
{
    // The last moment a cancel can still leave everything as it was.
    if (!cancelled || !cancelled->load())
        return false;
    m_cancelled = true;
    error = "the update was cancelled";
    return true;
}

bool ProfileUpdateInstaller::stage(const std::vector<ArchiveEntry>& entries, std::string& error,
                                   const std::atomic<bool>* cancelled)
{
    // The archive's files are written new; linking them first would only
    // cost a link and an unlink each.
    std::unordered_set<std::string> written;
    written.reserve(entries.size());
    for (const ArchiveEntry& entry : entries) {
        if (!entry.isDirectory())
            written.insert(entry.name);
    }
    StagingTree staging(m_root);
    if (staging.build(written, cancelled, error))
        return true;
    if (error.empty())
        stoppedBeforeSwap(cancelled, error);
    return false;
}

bool ProfileUpdateInstaller::unpack(const KVUtil::String& zipPath, const std::vector<ArchiveEntry>& entries,
                                    std::string& error, const std::atomic<bool>* cancelled)
{
    diag("Unpacking %s into %s in one pass...\n", zipPath.c_str(), stagingDirectory().c_str());
    m_unpackedEntries = 0;
    m_unpackedBytes = 0;
    long long listed = 0;
    for (const ArchiveEntry& entry : entries)
        listed += entry.size;
    EntrySplitter splitter(stagingDirectory(), entries);
    if (!splitter.makeDirectories()) {
        error = splitter.error();
        return false;
    }
    // One unzip for the whole archive: its bytes come in listing order, and
    // not one more than the listing gives (which the listing kept within
    // the budget) is ever written.
    ZipEntryReader reader(m_root + "/bin/unzip");
    long long bytes = 0;
    std::string readError;
    const ZipEntryReader::Result result = reader.read(
        zipPath, listed, [&](const char* data, size_t size) { return splitter.take(data, size); }, cancelled, bytes,
        readError);
    switch (result) {
    case ZipEntryReader::Cancelled:
        m_cancelled = true;
        error = "the update was cancelled";
        return false;
    case ZipEntryReader::TooLarge:
        error = splitter.overflow();
        return false;
    case ZipEntryReader::Failed:
        error = !splitter.error().empty() ? splitter.error() : readError;
        return false;
    case ZipEntryReader::Read:
        break;
    }
    if (!splitter.complete()) {
        error = splitter.error();
        return false;
    }
    m_unpackedBytes = bytes;
    m_unpackedEntries = entries.size();
    diag("Unpacked %zu entries, %lld bytes\n", m_unpackedEntries, m_unpackedBytes);
    return true;
}

bool ProfileUpdateInstaller::verifyUnpacked(const std::vector<ArchiveEntry>& entries, std::string& error)
{
    // What was made must be what the listing promised: a plain file or a
    // directory at exactly the listed name.
    for (const ArchiveEntry& entry : entries) {
        std::string path = stagingDirectory() + "/" + entry.name;
        const bool directory = entry.isDirectory();
        if (directory)
            path.pop_back();
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || (directory ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))) {
            error = "the archive entry \"" + entry.name + "\" was not unpacked as listed";
            return false;
        }
    }
    String reason;
    if (!ProfileDatabase::isLoadable(stagingDirectory() + "/profiles/vendors", &reason)) {
        // Name the file inside the database, not the staging path.
        const String prefix = stagingDirectory() + "/";
        if (reason.rfind(prefix, 0) == 0)
            reason = reason.substr(prefix.size());
        error = "the new profile database is incomplete (" + reason + ")";
        return false;
    }
    return true;
}

bool ProfileUpdateInstaller::install(const KVUtil::String& zipPath, std::string& error,
                                     const std::atomic<bool>* cancelled)
{
    m_cancelled = false;
    std::vector<ArchiveEntry> entries;
    StagingTree staging(m_root);
    const bool ok = ArchiveListing::list(m_root + "/bin/unzip", zipPath, entries, error)
                    && stage(entries, error, cancelled) && unpack(zipPath, entries, error, cancelled)
                    && verifyUnpacked(entries, error) && !stoppedBeforeSwap(cancelled, error)
                    && staging.swapIntoPlace(error);
    if (!ok)
        diag("Profile update refused: %s\n", error.c_str());
    // After a swap the staging directory holds the old database.
    staging.retire();
    return ok;
}

} // namespace Brask
