// varbuild-cli: the kit's build tool for scripts and CI.

#include "cli/Commands.h"

#include "kvutil/KVUtil.h"
#include "util/Diagnostics.h"
#include "util/Version.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(const std::vector<std::string>&);
};

const Command commands[] = {
    {"import", "import FILE.vcxproj|FILE.vcproj [OUT.vnp] [--force]",
     "turn a Visual Studio project (.vcxproj with its .filters; .vcproj of Versions 7.10, 8.00, 9.00) into a project file, naming the format read (default: NAME.vnp beside it; an existing file is replaced only with --force)", Cli::runImportCommand},
    {"build", "build [--changed] [-j [N]] [--launcher CMD] PROJECT.vnp",
     "build the project with the kit's tools; -j N compiles up to N sources at once (-j alone: one per core; "
     "default 1), the output staying in source order (exit 1 on a tool error; on an interrupt the running tool is ended, "
     "\"Build stopped.\" is printed and the exit status is 128 + the signal, 130 for Ctrl+C); --changed runs only "
     "the steps that are not up to date and ends with a summary; --launcher CMD (or VARBUILD_COMPILER_LAUNCHER) puts "
     "CMD in front of every compile, e.g. ccache or distcc",
     Cli::runBuildCommand},
    {"targets", "targets PROJECT.vnp", "list the devices the project's criteria select", Cli::runTargetsCommand},
    {"targets", "targets --packages PROJECT.vnp", "which JAR (or SIS) each target device gets", Cli::runTargetsCommand},
    {"targets", "targets --why VENDOR DEVICE PROJECT.vnp", "why a device is not a target, or which package it gets",
     Cli::runTargetsCommand},
    {"phone", "phone select ADDRESS | phone list", "find the phone's OBEX Object Push channel and store it",
     Cli::runPhoneCommand},
    {"send", "send PROJECT.vnp [RUNTIME-ID]",
     "push the project's JAR to the stored phone with sendel (on an interrupt sendel is ended, the phone told to "
     "abort, \"Sending stopped.\" printed and the exit status is 128 + the signal, 130 for Ctrl+C)",
     Cli::runSendCommand},
    {"serve", "serve PROJECT.vnp [--address A] [--port P]",
     "serve the project's built JARs and JADs over HTTP for phones to install over the air, until Ctrl-C: prints "
     "the address (with a random token) and its QR code, then one line per request and per install report; "
     "listens on the address of the default route's interface unless --address is given (0.0.0.0: every "
     "interface), on a free port unless --port is given",
     Cli::runServeCommand},
    {"update", "update", "install a newer profile database from the update server", Cli::runUpdateCommand},
    {"check-release", "check-release [--silent]", "ask the update server for the latest kit release",
     Cli::runCheckReleaseCommand},
};

void printHelp(std::FILE* out)
{
    std::fprintf(out,
                 "usage: varbuild-cli COMMAND [ARGUMENTS]\n"
                 "\n"
                 "Works on the kit installation named by VARNELDIR.\n"
                 "\n"
                 "Commands:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %-38s %s\n", c.usage, c.summary);
    std::fprintf(out, "  %-38s %s\n", "--help", "show this text");
    std::fprintf(out, "  %-38s %s\n", "--version", "print the version");
}

} // namespace

int main(int argc, char** argv)
{
    KVUtil::installAllocationFailureHandler();
    // Standard output carries only what a command is for.
    Brask::setDiagnosticStream(stderr);

    if (argc < 2) {
        printHelp(stderr);
        return 1;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("varbuild-cli %s\n", Brask::VarBuildVersion);
        return 0;
    }
    for (const Command& c : commands) {
        if (name == c.name)
            return c.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "varbuild-cli: unknown command '%s'\n", name.c_str());
    printHelp(stderr);
    return 1;
}
