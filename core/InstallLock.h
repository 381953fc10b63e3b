#pragma once
// The installation's update lock: an exclusive flock on ROOT/.profiles-update.lock,
// held by whoever stages, checks and swaps in a profile database, for the
// whole of that work. Two copies of VarBuild (the window and varbuild-cli, or
// two command lines) thus never work in the same staging directory or on the
// same update.zip. The kernel drops the lock when its holder dies, so a
// crashed update never leaves a stale lock behind; the file itself stays.

#include <atomic>
#include <string>

namespace Brask {

class InstallLock {
public:
    enum Result { Taken, Busy, Cancelled, Failed };

    // How long acquire() waits for another holder by default.
    static constexpr int DefaultWaitMilliseconds = 60000;

    explicit InstallLock(std::string root);
    // Releases the lock if held.
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

    // Takes the lock, waiting at most `waitMilliseconds` (< 0: the default)
    // for another holder to let go; a set `cancelled` ends the wait. `error`
    // says why on Failed.
    Result acquire(int waitMilliseconds, const std::atomic<bool>* cancelled, std::string& error);
    bool held() const { return m_fd >= 0; }
    void release();

    std::string path() const { return m_root + "/.profiles-update.lock"; }

    // Tests shorten the default wait; <= 0 restores it.
    static void setDefaultWaitMilliseconds(int milliseconds);

private:
    std::string m_root;
    int m_fd = -1;
};

} // namespace Brask
