// varbuild-cli phone select ADDRESS: finds the phone's OBEX Object Push
// channel and stores PhoneAddress and PhonePort in bin/config.xml.
// varbuild-cli send PROJECT.vnp [RUNTIME-ID]: pushes the project's JAR to the
// stored phone with the kit's sendel; an interrupt ends the push.

#include "cli/Commands.h"

#include "bluetooth/PhoneChooser.h"
#include "bluetooth/BtUuid.h"
#include "cli/ConsoleExecutor.h"
#include "cli/Interrupt.h"
#include "core/ProjectManager.h"
#include "util/PathUtil.h"

#include <cstdio>

namespace Cli {

namespace {

// The console stands in for the device dialog: the phone is given on the
// command line, and the search is simply waited for (it has its own time
// limits).
class ConsolePhoneChooser : public Brask::PhoneChooser {
public:
    explicit ConsolePhoneChooser(const Brask::BtAddress& address)
        : m_address(address)
    {
    }

    int chooseDevices(int& count, std::array<std::uint8_t, 6>& address) override
    {
        count = 1;
        for (size_t i = 0; i < 6; ++i)
            address[i] = m_address[5 - i];  // least significant first, as a device list keeps it
        return 0;
    }

    bool waitForSearch(const std::function<bool(int ms)>& waitFor) override
    {
        while (!waitFor(1000)) {
        }
        return true;
    }

private:
    Brask::BtAddress m_address;
};

int selectCommand(const std::vector<std::string>& args)
{
    Brask::BtAddress address;
    if (args.size() != 1 || !Brask::parseAddress(args[0], address)) {
        printError("usage: varbuild-cli phone select ADDRESS (AA:BB:CC:DD:EE:FF or 12 hexadecimal digits)");
        return 1;
    }
    std::string root;
    if (!installationRoot(root))
        return 1;
    Brask::ProjectManager manager(root, nullptr);
    ConsolePhoneChooser chooser(address);
    KVUtil::String storeError;
    const int result = manager.selectPhone(chooser, &storeError);
    if (result == 0 && !storeError.empty()) {
        printError("found the OBEX Object Push service of " + Brask::addressText(address) +
                   " but cannot store the phone in " + root + "/bin/config.xml: " + storeError +
                   "; the phone stored before stays chosen");
        return 1;
    }
    if (result != 1) {
        printError("no OBEX Object Push service stored for " + Brask::addressText(address) +
                   (result == 2 ? " (cancelled)" : ""));
        return 1;
    }
    std::printf("PhoneAddress %s\nPhonePort %d\n", manager.getConfig().phoneAddress.c_str(),
                manager.getConfig().phonePort);
    std::fflush(stdout);
    return 0;
}

} // namespace

int runPhoneCommand(const std::vector<std::string>& args)
{
    const std::vector<std::string> rest = args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());
    if (!args.empty() && args[0] == "select")
        return selectCommand(rest);
    if (!args.empty() && args[0] == "list")
        return runPhoneListCommand(rest);
    printError("usage: varbuild-cli phone select ADDRESS | phone list");
    return 1;
}

int runSendCommand(const std::vector<std::string>& args)
{
    if (args.empty() || args.size() > 2) {
        printError("usage: varbuild-cli send PROJECT.vnp [RUNTIME-ID]");
        return 1;
    }
    InterruptibleExecutor executor;
    const std::unique_ptr<Brask::ProjectManager> opened = openProject(args[0], &executor);
    if (!opened)
        return 1;
    Brask::ProjectManager& manager = *opened;
    // sendel would take the port for the address and fail on the phone's side.
    if (manager.getConfig().phoneAddress.empty()) {
        printError("no phone is chosen; choose one with varbuild-cli phone select ADDRESS "
                   "(or the window's Bluetooth menu)");
        return 1;
    }
    // As the window does: the given runtime, else the first target device's,
    // else runtime 1.
    std::string runtime = "profiles\\runtimes\\1";
    if (args.size() == 2) {
        runtime = "profiles\\runtimes\\" + args[1];
    } else {
        const auto targets = manager.getTargetDevices();
        if (!targets.empty() && !targets.front()->getRuntime().empty())
            runtime = targets.front()->getRuntime();
    }
    int result;
    {
        InterruptWatcher watcher(executor);
        result = manager.sendToPhone(runtime);
    }
    // Ctrl-C ends sendel (which aborts the transfer on the phone) and gives
    // 128 + the signal, like a shell reports an interrupted command.
    if (const int signal = executor.stopSignal()) {
        executor.message(Brask::kSendStoppedLine);
        return 128 + signal;
    }
    if (result != 0) {
        printError("sending to phone failed (sendel returned " + std::to_string(result) + ")");
        return 1;
    }
    return 0;
}

} // namespace Cli
