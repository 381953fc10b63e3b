#include "core/UpdateManager.h"

#include "core/ProfileUpdateInstaller.h"
#include "core/ReleaseCheck.h"
#include "core/UpdateInterface.h"
#include "core/build/CommandExecutor.h"
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

UpdateManager::~UpdateManager() = default;

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
    String body;
    bool noLength = false;
    runNetwork(
        [&] {
            int length = 0;
            const int socket = KVHttpGet(url.c_str(), length);
            if (!socket)
                return;
            if (length < 0) {
                noLength = true;
            } else if (length > SmallAnswerLimit) {
                diag("An answer of %d bytes is not a version answer\n", length);
            } else {
                long long received = 0;
                // A short answer is no answer: "1" cut from "10" must not read as "1".
                if (!httpReadWholeBody(body, length, socket, nullptr, received))
                    body.clear();
            }
            closeHttpSocket(socket);
        },
        nullptr);
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
    runNetwork(
        [&] {
            int length = 0;
            const int socket = KVHttpGet(profileArchiveUrl().c_str(), length, &progress);
            diag("Doing profile update...\n");
            if (!socket)
                return;
            long long received = 0;
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

    const String zipPath = m_root + "/update.zip";
    std::string error;
    if (!writeFileAtomically(zipPath, body, &error)) {
        m_lastError = error;
        diag("Could not save %s: %s\n", zipPath.c_str(), error.c_str());
        return -1;
    }
    body.clear();
    body.shrink_to_fit();
    diag("Saved the zip...\n");
    diag("about to unzip...\n");

    ProfileUpdateInstaller installer(m_root, m_executor);
    if (!installer.install(zipPath, m_lastError))
        return -1;
    return 0;
}

UpdateManager::Outcome UpdateManager::profileUpdateIsAvailable(bool silent)
{
    if (!m_interface)
        return NoInterface;
    const int answer = askServer(profileQueryUrl(m_profileVersion));
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
    const int result = downloadProfileUpdate();
    const String deleteCommand = "cmd /c del /q " + quoteArgument(m_root + "/update.zip");
    if (result == 0) {
        if (m_executor)
            m_executor->execute(deleteCommand, true);
        m_interface->showMessage("The profile update was successfully installed.");
        return Installed;
    }
    if (result == 2 && m_cancelled) {
        m_interface->showMessage("The profile update was cancelled. The installed profile database is unchanged.");
        return Failed;
    }
    if (result == 2) {
        m_interface->showMessage("The profile update failed, probably because of a network error. Check your "
                                 "connection, firewalls etc.");
        return Failed;
    }
    // The archive arrived but was refused: it is of no further use.
    if (m_executor && fileExists(m_root + "/update.zip"))
        m_executor->execute(deleteCommand, true);
    m_interface->showMessage("The profile update could not be installed: " + m_lastError
                             + ". The installed profile database is unchanged.");
    return Failed;
}

int UpdateManager::fetchLatestRelease(String& out)
{
    int result = -2;
    runNetwork(
        [&] {
            int length = 0;
            const int socket = KVHttpGet(latestReleaseUrl().c_str(), length);
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
                if (length > 0 && !httpReadWholeBody(out, length, socket, nullptr, received)) {
                    out.clear();
                    result = -2;
                }
            }
            closeHttpSocket(socket);
        },
        nullptr);
    return result;
}

} // namespace Brask
