// ProjectManager's phone operations: choosing the phone with its OBEX Object
// Push channel, and pushing the built JAR to it.

#include "core/ProjectManager.h"

#include "bluetooth/PhoneChooser.h"
#include "bluetooth/discovery.h"
#include "core/builder/BuildSupport.h"
#include "core/CommandExecutor.h"
#include "core/builder/packaging/JavaMePackager.h"
#include "util/Diagnostics.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Brask {

namespace {

// The search's completion event: set by the callback, reset by a wait that
// saw it.
class SearchEvent {
public:
    void set()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_set = true;
        m_changed.notify_all();
    }

    bool wait(int ms)
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        if (!m_changed.wait_for(guard, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return m_set; }))
            return false;
        m_set = false;
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set = false;
};

} // namespace

int ProjectManager::selectPhone(PhoneChooser& chooser, String* storeError)
{
    int count = 0;
    std::array<std::uint8_t, 6> chosen{};
    if (const int error = chooser.chooseDevices(count, chosen)) {
        if (error == PhoneChooser::Cancelled || error == PhoneChooser::NoWindow)
            return 2;
        diag("BluetoothSelectDevices error %i\n", error);
        return 0;
    }
    if (count != 1) {
        diag("%i devices selected!\n", count);
        return 0;
    }
    // The chooser keeps the least significant byte first.
    BtAddress address;
    for (int i = 0; i < 6; ++i)
        address[static_cast<size_t>(i)] = chosen[static_cast<size_t>(5 - i)];

    SearchEvent searchEnded;
    bool ended = false;
    startServiceDiscovery(address, ObexObjectPushUuid, [&searchEnded] {
        // Calls after single records come with the state still 0.
        if (gBtDiscoveryState != 0)
            searchEnded.set();
    });
    const bool waited = chooser.waitForSearch([&searchEnded, &ended](int ms) {
        if (!ended && searchEnded.wait(ms))
            ended = true;
        return ended;
    });
    if (!waited || !ended) {
        // The user gave up waiting: the exchange is broken off, and nothing
        // of this search may call back into this frame afterwards.
        stopServiceDiscovery();
        diag("Service search cancelled\n");
        return 2;
    }
    joinServiceDiscovery();

    // A phone may answer with records of other classes (some ignore the
    // search pattern) or with records that name no usable channel: the
    // first Object Push record with an RFCOMM channel is the phone's.
    BtServiceResult service;
    bool found = false;
    for (int index = 0; !found && getNextService(service); ++index) {
        found = service.offers(ObexObjectPushUuid);
        const bool pushClass =
            std::find(service.classes.begin(), service.classes.end(), ObexObjectPushUuid) != service.classes.end();
        if (!found)
            diag("Record %i passed over: %s\n", index,
                 pushClass ? "no RFCOMM channel from 1 to 30" : "not an OBEX Object Push record");
    }
    if (!found) {
        diag("No service found!\n");
        return 0;
    }
    // Set only for the write: a phone that cannot be stored is not used
    // either, neither by the next send nor by a later save of the settings.
    const String previousAddress = m_config->phoneAddress;
    const int previousPort = m_config->phonePort;
    m_config->phoneAddress = addressText(address);
    m_config->phonePort = service.port;
    String error;
    if (!writeConfig(&error)) {
        m_config->phoneAddress = previousAddress;
        m_config->phonePort = previousPort;
        diag("Can't store the phone: %s\n", error.c_str());
        if (storeError)
            *storeError = error.empty() ? String("the file could not be written") : error;
        return 0;
    }
    return 1;
}

int ProjectManager::sendToPhone(const String& runtimePath)
{
    diag("Should use runtime %s\n", runtimePath.c_str());
    const String packageDirectory = "Output/" + JavaMePackager::runtimeIdentifier(runtimePath) + "/";
    diag("sending %s\n", packageDirectory.c_str());
    if (!m_executor)
        return -1;
    if (!m_project) {
        diag("No project is open\n");
        return -1;
    }
    // The JAR the Java ME packaging wrote for this runtime.
    const String jar = outputDirectory(*m_project) + "/" + JavaMePackager::runtimeIdentifier(runtimePath) + "/" +
                       m_project->getName() + ".jar";
    const String command =
        "sendel " + commandPath(jar) + " " + m_config->phoneAddress + " " + std::to_string(m_config->phonePort);
    return m_executor->execute(command, true);
}

} // namespace Brask
