// What the fuzz targets share: counting the inputs that reached a target's
// checks, and a scratch directory for readers that take a path.
//
// Counts the inputs that reached a fuzz target's checks. A target calls
// Fuzz::reachedChecks() once the code it fuzzes has handled the input and its
// result is about to be checked; an input turned away before that (too short
// to split, a peer that never answered) is not counted. The seed replay fails
// on a seed that is not counted, so a target whose checks cannot be reached
// fails the test run; a libFuzzer run prints the count when it ends.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Fuzz {

void reachedChecks();
unsigned long inputsThatReachedChecks();

// A directory of this process's own below the temporary directory, made on
// first use and removed at exit.
const std::string& scratchDirectory();
// Writes `size` bytes to `name` in the scratch directory and returns its path.
std::string writeScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

} // namespace Fuzz
