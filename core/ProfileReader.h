#pragma once
// Reads an installation's profile database, on the calling thread or on a
// worker thread of its own, always under the shared database lock
// (core/update/InstallLock.h) that a profile update's swap takes
// exclusively: a reader gets the whole old database or the whole new one.

#include "core/profiles/ProfileDatabase.h"
#include "kvutil/KVUtil.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace Brask {

using KVUtil::String;

class ProfileReader {
public:
    // How long a read waits for an update's swap to finish before it reads
    // the database as it stands.
    static constexpr int DatabaseWaitMilliseconds = 10000;

    // `root` is the installation root (VARNELDIR).
    explicit ProfileReader(String root);
    // Cancels a read under way and waits for its thread.
    ~ProfileReader();
    ProfileReader(const ProfileReader&) = delete;
    ProfileReader& operator=(const ProfileReader&) = delete;

    // Starts the read on a worker thread; `done` runs on that thread once
    // finished() is true. Once per reader.
    void start(std::function<void()> done);
    bool finished() const { return m_finished.load(std::memory_order_acquire); }
    // Waits for the worker and moves what it read into `database`. False
    // with the broken installation's message in `error`.
    bool take(ProfileDatabase& database, String& error);

    // The read itself, on the calling thread; see ProfileDatabase::read().
    static bool read(const String& root, ProfileDatabase& database, String& error,
                     const std::atomic<bool>* cancelled = nullptr);

private:
    String m_root;
    ProfileDatabase m_result;
    String m_error;
    bool m_ok = false;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

} // namespace Brask
