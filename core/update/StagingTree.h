#pragma once
// The staging directory ROOT/.profiles-update of a profile install, and the
// swap that puts its database in place.
//
// The staging database starts as today's ROOT/profiles without a byte
// copied: its directories are new, its files hard links to the installed
// ones (a copy only where a link cannot be made, and for what a symbolic
// link in the installed database leads to, so the staging tree holds no
// links). Files the archive carries are left out; the archive writes them as
// new files. The installed database therefore stays exactly as it is until
// the swap, and after it the old database (directories and links) is moved
// out of the way in one rename, to be removed later (TreeRemoval.h).

#include <atomic>
#include <string>
#include <sys/types.h>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Brask {

class StagingTree {
public:
    // How long the swap waits for copies of VarBuild that are reading the
    // installed database (a load takes a moment).
    static constexpr int ReaderWaitMilliseconds = 10000;

    explicit StagingTree(std::string root);

    std::string directory() const { return m_root + "/.profiles-update"; }
    std::string database() const { return directory() + "/profiles"; }

    // Clears what an earlier install left here and builds the staging
    // database. `written` holds the archive's file names ("profiles/...")
    // that must not be linked. A set `cancelled` stops it (false, empty error).
    bool build(const std::unordered_set<std::string>& written, const std::atomic<bool>* cancelled, std::string& error);
    // Exchanges the staging database and ROOT/profiles, waiting for readers;
    // the old database is then in the staging directory.
    bool swapIntoPlace(std::string& error);
    // Moves the staging directory (after a swap: the old database) out of the
    // way to be removed later; removes it at once if it cannot be moved.
    void retire();

private:
    struct Walk;
    bool mirror(Walk& walk, const std::string& from, const std::string& to, const std::string& name, mode_t mode);
    bool mirrorEntry(Walk& walk, const std::string& from, const std::string& to, const std::string& name,
                     unsigned char type);

    std::string m_root;
};

} // namespace Brask
