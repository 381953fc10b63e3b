#pragma once
// Keeps the device-profile database current from the maker's update server
// and fetches the latest kit release number. Owned by ProjectManager; talks
// to the user only through UpdateInterface and runs unzip through the
// CommandExecutor.
//
// A downloaded database is never unpacked straight over the installation: the
// archive is listed and checked first, unpacked over a staging database that
// shares today's files, the result loaded as a profile database, and only
// then swapped into place. On any failure the installed database stays as it
// was. The replaced database is removed in the background afterwards.

#include "kvutil/KVUtil.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace Brask {

class CommandExecutor;
class UpdateInterface;
struct HttpProgress;

using KVUtil::String;

// askServer's "the server did not give a usable answer".
constexpr int BRASK_SERVER_ERROR = 2;

// The maker's update server, reached over plain HTTP on port 80. The
// environment variable VARNEL_UPDATE_SERVER (host or host:port) replaces it,
// for a company's own mirror and for tests.
constexpr const char* DefaultUpdateServer = "update.varnelkit.com";
constexpr const char* UpdateServerVariable = "VARNEL_UPDATE_SERVER";
// Shown in the "New update available" text.
constexpr const char* MakerWebSite = "http://www.varnelkit.com/";

// "host" or "host:port": VARNEL_UPDATE_SERVER when set and not empty, else
// DefaultUpdateServer. Read on every call.
String updateServerAddress();
// The host part of updateServerAddress() and its port (80 when none is given;
// 0 when the port text is not a number from 1 to 65535).
String updateServerHost();
int updateServerPort();

class UpdateManager {
public:
    // What profileUpdateIsAvailable came to (the window ignores it,
    // varbuild-cli turns it into its exit status).
    enum Outcome {
        NoInterface,  // nothing was asked
        Current,      // the installed database is the latest
        ServerError,  // no usable answer to the version query
        Installed,    // a newer database was downloaded and installed
        Failed,       // a newer database exists but could not be installed
        Cancelled,    // the user cancelled an exchange (or quit); nothing was installed
    };

    // Reads ROOT/bin/version.dat and ROOT/profiles/version.dat once.
    UpdateManager(const String& root, CommandExecutor* executor);
    ~UpdateManager();
    UpdateManager(const UpdateManager&) = delete;
    UpdateManager& operator=(const UpdateManager&) = delete;

    // The number on the first line of `path`, or -1 when it cannot be opened.
    static int readVersionFile(const String& path);

    // Prints "packageRevision according to UpdateManager: %d\n".
    int packageRevision() const;
    int getProfileVersion() const { return m_profileVersion; }

    // 0 when the body is exactly "1", 1 when exactly "0", BRASK_SERVER_ERROR
    // otherwise (no connection, no length field, a short body...).
    int askServer(const String& url);
    // 0 when the archive arrived whole and was installed; 2 on a network
    // failure (no connection, no length, short body, cancel); -1 when the
    // archive arrived but was refused or could not be installed (the reason
    // is in lastError()), another update held the installation's lock too
    // long, among them. The install holds the lock from writing update.zip
    // to deleting it.
    int downloadProfileUpdate();
    Outcome profileUpdateIsAvailable(bool silent);
    // The body length as the body read returns it, or -2 without a connection
    // (also when cancelled: wasCancelled() then says so).
    int fetchLatestRelease(String& out);
    // Whether the user cancelled the last exchange (the window's Cancel or
    // quitting); the caller then starts no further step.
    bool wasCancelled() const { return m_cancelled; }

    void setInterface(UpdateInterface* interface) { m_interface = interface; }
    UpdateInterface* getInterface() const { return m_interface; }
    void setExecutor(CommandExecutor* executor) { m_executor = executor; }

    // Removes the databases earlier installs replaced (ROOT/.profiles-old)
    // on a thread of its own: profileUpdateIsAvailable starts it once the
    // user has been told the result, so nobody waits for it. A removal
    // already running goes round once more instead of being waited for.
    // Destroying the manager stops it early; the next update finishes the rest.
    void startRemoval();
    // Waits until that removal has finished (varbuild-cli, before it exits).
    void waitForRemoval();
    bool removing() const { return m_removal.joinable(); }

    // Why the last download or install failed (empty after a success).
    const std::string& lastError() const { return m_lastError; }

    // The request URLs for the current server address.
    static String profileQueryUrl(int profileVersion);
    static String profileArchiveUrl();
    static String latestReleaseUrl();

private:
    // Runs `call` through the interface (directly without one).
    template <typename Fn>
    void runNetwork(Fn&& call, HttpProgress* progress);
    // Under the installation's lock: writes update.zip, installs it, deletes
    // it. Returns as downloadProfileUpdate does.
    int installArchive(String& body);
    // The version query and, for a newer database, the download and install.
    Outcome checkAndInstall(bool silent);
    // The messages after a download (result as downloadProfileUpdate's).
    Outcome reportInstall(int result);

    String m_root;
    CommandExecutor* m_executor;
    UpdateInterface* m_interface = nullptr;
    int m_profileVersion;
    int m_packageRevision;
    std::string m_lastError;
    bool m_cancelled = false;
    void removeRetired();

    std::thread m_removal;
    std::atomic<bool> m_stopRemoval{false};
    std::mutex m_removalMutex;
    bool m_removalRunning = false;  // under m_removalMutex
    bool m_removalAgain = false;    // under m_removalMutex
};

} // namespace Brask
