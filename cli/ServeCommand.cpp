// varbuild-cli serve: the project's packages over the air until Ctrl-C.

#include "cli/Commands.h"

#include "core/ProjectManager.h"
#include "core/project/Project.h"
#include "delivery/DeliveryCatalog.h"
#include "delivery/OtaServer.h"
#include "delivery/QrCode.h"

#include <csignal>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace Cli {

namespace {

struct ServeArguments {
    std::string project;
    Delivery::ServerOptions options;
};

bool parsePort(const std::string& text, uint16_t& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(text);
    port = static_cast<uint16_t>(value);
    return value <= 65535;
}

bool parseArguments(const std::vector<std::string>& args, ServeArguments& out)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "--address" || arg == "--port") && i + 1 < args.size()) {
            const std::string& value = args[++i];
            if (arg == "--address") {
                out.options.address = value;
            } else if (!parsePort(value, out.options.port)) {
                printError("--port takes a number from 0 to 65535, not \"" + value + "\"");
                return false;
            }
        } else if (arg.rfind("--", 0) != 0 && out.project.empty()) {
            out.project = arg;
        } else {
            out.project.clear();
            break;
        }
    }
    if (out.project.empty())
        printError("usage: varbuild-cli serve PROJECT.vnp [--address A] [--port P]");
    return !out.project.empty();
}

// Why the catalog cannot be served, or "" when it can.
std::string refusal(const Delivery::DeliveryCatalog& catalog, const std::string& path)
{
    if (catalog.symbian)
        return "project " + path + " makes a Symbian SIS; over-the-air delivery serves Java ME packages";
    for (const Delivery::DeliveryPackage& package : catalog.packages)
        if (Delivery::isBuilt(package))
            return "";
    if (catalog.packages.empty())
        return "project " + path + " has no target device with a runtime to serve";
    return "project " + path + " has no package built yet; build it first with varbuild-cli build " + path;
}

} // namespace

int runServeCommand(const std::vector<std::string>& args)
{
    ServeArguments arguments;
    if (!parseArguments(args, arguments))
        return 1;
    const std::unique_ptr<Brask::ProjectManager> manager = openProject(arguments.project, nullptr);
    if (!manager)
        return 1;
    Delivery::DeliveryCatalog catalog = Delivery::deliveryCatalog(*manager);
    if (const std::string why = refusal(catalog, arguments.project); !why.empty()) {
        printError(why);
        return 1;
    }
    for (const std::string& runtime : catalog.unservable)
        printError("runtime \"" + runtime + "\" names no folder below Output and is not served");

    // The server's thread must not take the signals that end the command:
    // they are blocked before it starts and awaited here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, signal);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::mutex outputLock;
    auto say = [&outputLock](const std::string& line) {
        std::lock_guard<std::mutex> hold(outputLock);
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    };
    Delivery::OtaServer server(std::move(catalog), say);
    std::string error;
    if (!server.start(arguments.options, &error)) {
        printError(error);
        return 1;
    }
    {
        std::lock_guard<std::mutex> hold(outputLock);
        std::printf("Serving %s over the air at\n%s\n\n%s\nOpen the address in the phone's browser or scan the code. "
                    "Ctrl-C stops.\n",
                    manager->getProject()->getName().c_str(), server.url().c_str(),
                    Delivery::QrCode(server.url()).terminalText(::isatty(STDOUT_FILENO)).c_str());
        std::fflush(stdout);
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    say("Stopped.");
    return 0;
}

} // namespace Cli
