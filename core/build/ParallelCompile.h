#pragma once
// Running a list of independent commands (the compiles of a build) up to
// ParallelExecutor::jobs() at a time, with a transcript that is byte for byte
// that of running them one after another.

#include "core/build/ParallelExecutor.h"

#include "kvutil/KVUtil.h"

namespace Brask {

// Runs `commands` and releases each one's text in list order as soon as it
// and every command before it have finished. At the first command (in list
// order) that fails, nothing new starts, the ones already running finish
// unseen, and its code is returned; 0 when all succeeded.
int runInOrder(ParallelExecutor& executor, const KVUtil::Vector<KVUtil::String>& commands);

} // namespace Brask
