#pragma once
// The rules of the process entry that need no window: the installation root,
// the project argument and the current directory.

#include "kvutil/KVUtil.h"

namespace Brask {

struct StartupInfo {
    KVUtil::String root;         // VARNELDIR as the environment gives it, or the kit around the program
    KVUtil::String projectPath;  // absolute form of the first argument, or empty
    KVUtil::String refusal;      // why the start was refused, when it was
};

// The refusal text for a missing or empty VARNELDIR.
extern const char* const MissingRootMessage;

// Why `root` cannot serve as the installation root, or "" when it can: the
// missing-root text for an empty one; a root holding ";" (the separator of
// the configuration's directory lists), '"' (no command line can carry it in
// a program's path) or a control character is refused with a text naming it.
KVUtil::String rootRefusal(const KVUtil::String& root);

// The kit whose bin directory is `programDirectory`: its parent when the
// directory is named "bin" and the parent holds a profile database
// (profiles/vendors/definitions.txt); "" otherwise.
KVUtil::String kitAroundProgram(const KVUtil::String& programDirectory);

// The refusal when VARNELDIR is missing and no kit holds the program in
// `programDirectory`: says what to set and where, since a program started
// from the desktop has no shell to set it in.
KVUtil::String rootNotFoundMessage(const KVUtil::String& programDirectory);

// Reads VARNELDIR; when it is missing or empty, takes the kit around the
// program in `programDirectory` instead and puts it into the environment, so
// the program search and the kit's tools see the same root. Refused
// (info.refusal, returns false) when rootRefusal() says so or no kit was
// found. Then resolves `projectArgument` (when not empty) against the
// starting directory and makes ROOT/bin the current directory.
bool prepareStartup(const KVUtil::String& projectArgument, StartupInfo& info, const KVUtil::String& programDirectory);

// What the window's command line asks for.
struct StartupArguments {
    enum class Action {
        Open,      // open the window, with `project` when it is not empty
        Help,      // print the usage and end with 0
        Version,   // print the version and end with 0
        BadOption, // print `refusal` and the usage on standard error, end with 2
    };
    Action action = Action::Open;
    KVUtil::String project;  // the first word that is not an option; later ones are ignored
    KVUtil::String refusal;
};

// Every word starting with "-" is an option: -h and --help, --version; any
// other is refused (a project file of such a name is named ./-NAME.vnp).
// A refused option wins over --help, --help over --version.
StartupArguments readStartupArguments(int argc, char** argv);

// Why the project file at `path` cannot be opened ("No such file or
// directory", "it is a directory", ...), or "" when it can be read.
KVUtil::String projectFileProblem(const KVUtil::String& path);

// The text the window shows (in a box and on standard error) for a project
// named on its command line that it could not open; it then opens without one.
KVUtil::String unreadableProjectMessage(const KVUtil::String& path, const KVUtil::String& problem);

} // namespace Brask
