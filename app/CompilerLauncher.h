#pragma once
// The "Compiler launcher" preference: words put in front of every compile
// command (a compiler cache such as ccache, or a compile farm's client such
// as distcc). It is the user's own setting, kept beside the Jobs preference
// in the user settings file, not in the installation's bin/config.xml. The
// environment variable VARBUILD_COMPILER_LAUNCHER, when set, overrides it.

#include "core/CommandExecutor.h"

#include <QString>

namespace CompilerLauncher {

inline constexpr const char* kEnvironmentVariable = Brask::kCompilerLauncherVariable;

QString stored();
void store(const QString& launcher);
// Whether VARBUILD_COMPILER_LAUNCHER is set (even to nothing, which means
// no launcher).
bool overridden();
// What a build uses: the environment's launcher when set, else the stored one.
QString effective();

} // namespace CompilerLauncher
