#pragma once
// The installation's update lock: an exclusive flock on ROOT/.profiles-update.lock,
// held by whoever stages, checks and swaps in a profile database, for the
// whole of that work. Two copies of VarBuild (the window and varbuild-cli, or
// two command lines) thus never work in the same staging directory or on the
// same update.zip. The kernel drops the lock when its holder dies, so a
// crashed update never leaves a stale lock behind; the file itself stays.
//
// A second, short lock guards the installed database itself
// (ROOT/.profiles.lock): readers hold it shared while they load the profiles,
// the installer exclusively for the moment of the swap, so no copy ever
// loads half of the old database and half of the new one.

#include <atomic>
#include <string>

namespace Brask {

class InstallLock {
public:
    enum Result { Taken, Busy, Cancelled, Failed };
    enum Kind { Install, Database };

    // How long acquire() waits for another holder by default.
    static constexpr int DefaultWaitMilliseconds = 60000;

    explicit InstallLock(std::string root, Kind kind = Install);
    // Releases the lock if held.
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    // Takes the lock, waiting at most `waitMilliseconds` (< 0: the default)
    // for another holder to let go; a set `cancelled` ends the wait. `error`
    // says why on Failed. `shared` lets other shared holders in (readers).
    Result acquire(int waitMilliseconds, const std::atomic<bool>* cancelled, std::string& error, bool shared = false);
    bool held() const { return m_fd >= 0; }
    void release();

    std::string path() const
    {
        return m_root + (m_kind == Install ? "/.profiles-update.lock" : "/.profiles.lock");
    }

    // Tests shorten the default wait; <= 0 restores it.
    static void setDefaultWaitMilliseconds(int milliseconds);

private:
    std::string m_root;
    Kind m_kind;
    int m_fd = -1;
};

} // namespace Brask
