#pragma once
// The old outputs a parallel compile moves aside while a command rewrites
// them (runInOrder in ParallelCompile.h), named ".NAME.kept-PID-INDEX" beside
// NAME. A build that is killed leaves them behind, and with them perhaps no
// NAME at all.

#include <string>
#include <sys/types.h>

namespace Brask {

// The name `path`'s old file takes while command `index` of process `pid`
// rewrites it.
std::string keptOutputName(const std::string& path, pid_t pid, size_t index);

// Settles what killed builds left in `directory`: a kept file whose NAME is
// missing becomes NAME again (the output as its last finished build left it),
// every other kept file is removed. Kept files of a process that still runs
// (another copy of VarBuild building the same project) are left alone.
void settleKeptOutputs(const std::string& directory);

} // namespace Brask
