#include "core/ProfileReader.h"

#include "core/update/InstallLock.h"
#include "util/Diagnostics.h"

#include <utility>

namespace Brask {

ProfileReader::ProfileReader(String root)
    : m_root(std::move(root))
{
}

ProfileReader::~ProfileReader()
{
    m_cancelled = true;
    if (m_thread.joinable())
        m_thread.join();
}

void ProfileReader::start(std::function<void()> done)
{
    m_thread = std::thread([this, done = std::move(done)] {
        m_ok = read(m_root, m_result, m_error, &m_cancelled);
        m_finished.store(true, std::memory_order_release);
        if (done && !m_cancelled)
            done();
    });
}

bool ProfileReader::take(ProfileDatabase& database, String& error)
{
    if (m_thread.joinable())
        m_thread.join();
    if (!m_ok) {
        error = m_error;
        return false;
    }
    database.adopt(std::move(m_result));
    return true;
}

bool ProfileReader::read(const String& root, ProfileDatabase& database, String& error,
                         const std::atomic<bool>* cancelled)
{
    // Another copy of VarBuild may be swapping in a new database: wait the
    // moment that takes. Without the lock (a read-only installation, a swap
    // that never ends) the database is read as it stands.
    InstallLock lock(root, InstallLock::Database);
    std::string lockError;
    switch (lock.acquire(DatabaseWaitMilliseconds, cancelled, lockError, true)) {
    case InstallLock::Cancelled:
        error.clear();
        return false;
    case InstallLock::Busy:
        diag("The profile database is being replaced by another copy of VarBuild; reading it as it stands.\n");
        break;
    case InstallLock::Taken:
    case InstallLock::Failed:
        break;
    }
    return database.read(root + "/profiles/vendors", error, cancelled);
}

} // namespace Brask
