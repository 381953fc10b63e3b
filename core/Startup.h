#pragma once
// The rules of the process entry that need no window: the installation root,
// the project argument and the current directory.

#include "kvutil/KVUtil.h"

namespace Brask {

struct StartupInfo {
    KVUtil::String root;         // VARNELDIR as the environment gives it
    KVUtil::String projectPath;  // absolute form of the first argument, or empty
};

// The refusal text for a missing or empty VARNELDIR.
extern const char* const MissingRootMessage;

// Why `root` cannot serve as the installation root, or "" when it can: the
// missing-root text for an empty one; a root holding ";" (the separator of
// the configuration's directory lists), '"' (no command line can carry it in
// a program's path) or a control character is refused with a text naming it.
KVUtil::String rootRefusal(const KVUtil::String& root);

// Reads VARNELDIR (refused when rootRefusal() says so: returns false), resolves the
// first argument against the starting directory, then makes ROOT/bin the
// current directory. Further arguments are ignored; the first is a path even
// if it looks like an option.
bool prepareStartup(int argc, char** argv, StartupInfo& info);

} // namespace Brask
