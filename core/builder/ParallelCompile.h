#pragma once
// Running a list of independent commands (the compiles of a build) up to
// ParallelExecutor::jobs() at a time, with a transcript that is byte for byte
// that of running them one after another.

#include "core/builder/ParallelExecutor.h"
#include "platform/RunnerGroup.h"

#include "kvutil/KVUtil.h"

#include <cstddef>
#include <functional>

namespace Brask {

// Runs `commands` and shows each one's text in list order. The earliest
// command that has not finished streams its output live; a later one keeps
// its output back (memory up to a share of SpoolMemory, then a temporary
// file) and has it released in batches when its turn comes. Where no file can
// take it, the command waits once memory's share is full. At the first
// command (in list order) that fails, nothing new starts, the ones already
// running finish unseen, and its code is returned; 0 when all succeeded.
//
// `outputs`, when not empty, names for each command the file it writes (no
// two the same). A command that ran unseen (after the failing one) leaves no
// trace: its file is removed and the one it replaced is put back, so the
// files are those a one-by-one run leaves.
//
// `shown`, when given, hears on the calling thread of each command whose
// text was shown, with its index and result, as soon as it has ended.
//
// `stopRequested`, when given, tells a stop from a failure: after a stop
// every command that had started is shown in list order (its "Running:"
// line, what it printed, its end) and reaches `shown`, since each did run.
int runInOrder(ParallelExecutor& executor, const KVUtil::Vector<KVUtil::String>& commands,
               const KVUtil::Vector<KVUtil::String>& outputs = {},
               const std::function<void(size_t index, int code)>& shown = {},
               const std::function<bool()>& stopRequested = {});

// What runStreaming does for an executor whose commands run in `group`: once
// the group is stopped nothing more starts (the build ends at the first such
// command); otherwise the command runs with echo on, its output to `sink`.
ParallelExecutor::Outcome runInGroup(Platform::RunnerGroup& group, const KVUtil::String& command,
                                     ParallelExecutor::Sink& sink);

// Memory all kept-back output may take at once; each running command gets
// an equal share, at most SpoolShareLimit.
inline constexpr size_t SpoolMemory = 8u << 20;
inline constexpr size_t SpoolShareLimit = 4u << 20;
// Kept-back output is released in pieces of this size, with
// ParallelExecutor::breathe() at least every ReleaseSliceMs.
inline constexpr size_t ReleasePiece = 64u << 10;
inline constexpr int ReleaseSliceMs = 5;

} // namespace Brask
