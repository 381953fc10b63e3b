#include "core/update/UpdateManager.h"

#include "core/update/InstallLock.h"
#include "core/update/ProfileUpdateInstaller.h"
#include "core/update/ReleaseCheck.h"
#include "core/update/TreeRemoval.h"
#include "core/update/UpdateInterface.h"
#include "core/CommandExecutor.h"
#include "net/HttpGet.h"
#include "util/AtomicFile.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Brask {

namespace {

// The version query and the release number are a few bytes; an answer
// announcing more is not read.
constexpr int SmallAnswerLimit = 4096;

// The server's answer as it may be printed: control bytes (a terminal would
// act on them) and bytes beyond ASCII shown as \xNN.
String printable(const String& text)
{
    String out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

} // namespace

String updateServerAddress()
{
    const String configured = getEnv(UpdateServerVariable);
    return configured.empty() ? String(DefaultUpdateServer) : configured;
}

String updateServerHost()
{
    const String address = updateServerAddress();
    const size_t colon = address.find(':');
    return colon == String::npos ? address : address.substr(0, colon);
}

int updateServerPort()
{
    const String address = updateServerAddress();
    const size_t colon = address.find(':');
    if (colon == String::npos)
        return 80;
    const String text = address.substr(colon + 1);
    if (text.empty() || text.size() > 5)
        return 0;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? port : 0;
}

String UpdateManager::profileQueryUrl(int profileVersion)
{
    return updateServerAddress() + "/currentProfile/index.php?version=" + std::to_string(profileVersion);
}

String UpdateManager::profileArchiveUrl()
{
    return updateServerAddress() + "/update/index.php";
}

String UpdateManager::latestReleaseUrl()
{
    return updateServerAddress() + "/latest/";
}

UpdateManager::UpdateManager(const String& root, CommandExecutor* executor)
    : m_root(root)
    , m_executor(executor)
    , m_profileVersion(readVersionFile(root + "/profiles/version.dat"))
    , m_packageRevision(readVersionFile(root + "/bin/version.dat"))
{
}

UpdateManager::~UpdateManager()
{
    // Quitting does not wait for the removal: what is left stays for the next update.
    m_stopRemoval = true;
    if (m_removal.joinable())
        m_removal.join();
}

void UpdateManager::startRemoval()
{
    {
        std::lock_guard<std::mutex> guard(m_removalMutex);
        // Never wait for a removal here (this is the GUI thread): it takes
        // the newly retired tree on its next round.
        if (m_removalRunning) {
            m_removalAgain = true;
            return;
        }
    }
    // A finished thread is joined at once.
    waitForRemoval();
    if (::access(retiredTreesDirectory(m_root).c_str(), F_OK) != 0)
        return;
    m_stopRemoval = false;
    m_removalRunning = true;
    m_removal = std::thread([this] { removeRetired(); });
}

void UpdateManager::removeRetired()
{
    for (;;) {
        removeRetiredTrees(m_root, &m_stopRemoval);
        std::lock_guard<std::mutex> guard(m_removalMutex);
        if (!m_removalAgain || m_stopRemoval) {
            m_removalAgain = false;
            m_removalRunning = false;
            return;
        }
        m_removalAgain = false;
    }
}

void UpdateManager::waitForRemoval()
{
    if (m_removal.joinable())
        m_removal.join();
}

int UpdateManager::readVersionFile(const String& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // Only the first 31 characters of the first line are ever looked at.
    char buffer[32];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer - 1);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0)
        return -1;
    return parseVersionText(String(buffer, static_cast<size_t>(n)));
}

int UpdateManager::packageRevision() const
{
    diag("packageRevision according to UpdateManager: %d\n", m_packageRevision);
    return m_packageRevision;
}

template <typename Fn>
void UpdateManager::runNetwork(Fn&& call, HttpProgress* progress)
{
    if (m_interface)
        m_interface->runNetworkCall(call, progress);
    else
        call();
}

int UpdateManager::askServer(const String& url)
{
    m_cancelled = false;
    String body;
    bool noLength = false;
    HttpProgress progress;
    progress.task = "Checking for a newer profile database...";
    runNetwork(
        [&] {
            // The whole exchange has one deadline: a few bytes may not take longer.
            const HttpClock::time_point deadline = httpExchangeDeadline();
            int length = 0;
            const int socket = KVHttpGet(url.c_str(), length, &progress);
            if (!socket)
                return;
            if (length < 0) {
                noLength = true;
            } else if (length > SmallAnswerLimit) {
                diag("An answer of %d bytes is not a version answer\n", length);
            } else {
                long long received = 0;
                // A short answer is no answer: "1" cut from "10" must not read as "1".
                if (!httpReadWholeBody(body, length, socket, &progress, received, deadline))
                    body.clear();
            }
            closeHttpSocket(socket);
        },
        &progress);
    if (progress.cancelled) {
        m_cancelled = true;
        diag("The version query was cancelled\n");
        return BRASK_SERVER_ERROR;
    }
    if (noLength)
        return BRASK_SERVER_ERROR;
    diag("Got this string from server: '%s'\n", printable(body).c_str());
    if (body == "0")
        return 1;
    if (body == "1")
        return 0;
    diag("failed comparisons!\n");
    return BRASK_SERVER_ERROR;
}

int UpdateManager::downloadProfileUpdate()
{
    m_lastError.clear();
    m_cancelled = false;
    String body;
    bool whole = false;
    HttpProgress progress;
    progress.task = "Downloading the profile database...";
    runNetwork(
        [&] {
            int length = 0;
            const int socket = KVHttpGet(profileArchiveUrl().c_str(), length, &progress);
            diag("Doing profile update...\n");
            if (!socket)
                return;
            long long received = 0;
            // The archive may take long on a slow link: each receive is
            // bounded, the whole is not, and Cancel ends it.
            whole = length > 0 && httpReadWholeBody(body, length, socket, &progress, received);
            closeHttpSocket(socket);
        },
        &progress);
    if (!whole) {
        // Nothing of a partial archive is written, let alone unpacked.
        m_cancelled = progress.cancelled;
        m_lastError = m_cancelled ? "the download was cancelled" : "the archive did not arrive whole";
        return 2;
    }
    return installArchive(body);
}

int UpdateManager::installArchive(String& body)
{
    const String zipPath = m_root + "/update.zip";
    InstallLock lock(m_root);
    HttpProgress progress;
    progress.task = "Installing the profile database...";
    bool installed = false;
    bool wroteZip = false;
    // Off the GUI thread like an exchange: waiting for another update and
    // unpacking take a while, and Cancel works until the swap.
    runNetwork(
        [&] {
            std::string error;
            switch (lock.acquire(-1, &progress.cancelled, error)) {
            case InstallLock::Taken:
                break;
            case InstallLock::Busy:
                m_lastError = "another profile update is running";
                return;
            case InstallLock::Cancelled:
                m_cancelled = true;
                m_lastError = "the update was cancelled";
                return;
            case InstallLock::Failed:
                m_lastError = error;
                return;
            }
            if (!writeFileAtomically(zipPath, body, &error)) {
                m_lastError = error;
                diag("Could not save %s: %s\n", zipPath.c_str(), error.c_str());
                return;
            }
            wroteZip = true;
            body.clear();
            body.shrink_to_fit();
            diag("Saved the zip...\n");
            diag("about to unzip...\n");
            ProfileUpdateInstaller installer(m_root);
            installed = installer.install(zipPath, m_lastError, &progress.cancelled);
            m_cancelled = installer.cancelled();
            if (installed)
                diag("after unzipping...\n");
        },
        &progress);
    if (!lock.held()) {
        // Another copy of VarBuild is at work: not one of its files is touched.
        diag("Profile update refused: %s\n", m_lastError.c_str());
        return m_cancelled ? 2 : -1;
    }
    // The archive is of no further use, installed or not; still under the lock.
    if (wroteZip && m_executor)
        m_executor->execute("cmd /c del /q " + quoteArgument(zipPath), true);
    else if (wroteZip)
        ::unlink(zipPath.c_str());
    if (installed) {
        m_lastError.clear();
        return 0;
    }
    return m_cancelled ? 2 : -1;
}

UpdateManager::Outcome UpdateManager::profileUpdateIsAvailable(bool silent)
{
    if (!m_interface)
        return NoInterface;
    const Outcome outcome = checkAndInstall(silent);
    // What this and earlier installs replaced goes once the user knows the
    // result (also a removal an earlier run did not finish).
    startRemoval();
    return outcome;
}

UpdateManager::Outcome UpdateManager::checkAndInstall(bool silent)
{
    const int answer = askServer(profileQueryUrl(m_profileVersion));
    if (m_cancelled)
        return Cancelled;
    if (answer == 1) {
        if (!silent)
            m_interface->showMessage("Nothing to update - you are using the latest profile database");
        return Current;
    }
    if (answer != 0) {
        diag("profileUpdateIsAvailable() returned BRASK_SERVER_ERROR\n");
        m_interface->showMessage(
            "Could not check for updates, probably because of a network error. Check your connection, firewalls etc.");
        return ServerError;
    }
    m_interface->showMessage("A new profile database is ready for download.");
    return reportInstall(downloadProfileUpdate());
}

UpdateManager::Outcome UpdateManager::reportInstall(int result)
{
    if (result == 0) {
        m_interface->showMessage("The profile update was successfully installed.");
        return Installed;
    }
    if (m_cancelled) {
        m_interface->showMessage("The profile update was cancelled. The installed profile database is unchanged.");
        return Cancelled;
    }
    if (result == 2) {
        m_interface->showMessage("The profile update failed, probably because of a network error. Check your "
                                 "connection, firewalls etc.");
        return Failed;
    }
    m_interface->showMessage("The profile update could not be installed: " + m_lastError
                             + ". The installed profile database is unchanged.");
    return Failed;
}

int UpdateManager::fetchLatestRelease(String& out)
{
    m_cancelled = false;
    int result = -2;
    HttpProgress progress;
    progress.task = "Checking for a newer release of Varnel...";
    runNetwork(
        [&] {
            const HttpClock::time_point deadline = httpExchangeDeadline();
            int length = 0;
            const int socket = KVHttpGet(latestReleaseUrl().c_str(), length, &progress);
            if (!socket)
                return;
            if (length > SmallAnswerLimit) {
                diag("An answer of %d bytes is not a release number\n", length);
                out.clear();
            } else {
                long long received = 0;
                result = length;
                // A cut answer is treated like no answer: its digits may be a
                // different number.
                if (length > 0 && !httpReadWholeBody(out, length, socket, &progress, received, deadline)) {
                    out.clear();
                    result = -2;
                }
            }
            closeHttpSocket(socket);
        },
        &progress);
    m_cancelled = progress.cancelled;
    return result;
}

} // namespace Brask
