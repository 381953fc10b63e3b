#pragma once
// Finding the program named by the first word of a command line.

#include <string>
#include <vector>

namespace Platform {

// The directory that holds the running program (from /proc/self/exe), empty
// when it cannot be read.
std::string runningProgramDirectory();

// The directories searched for a bare program name, in order: the running
// program's directory, VARNELDIR + "/bin" (when VARNELDIR is set and not
// empty), then each non-empty PATH entry. An empty PATH entry would mean the
// current directory, which is a project directory during a build; it is left
// out so a project cannot plant a "gcc" that the kit then runs.
std::vector<std::string> programSearchDirectories();

// The program to start for `name`. A name holding a "/" is returned as it is
// (a backslash is then part of a file name); one holding only backslashes is
// Windows-born and gets "/" instead. The start itself reports
// whether it exists. Otherwise the first executable regular file called
// `name` in `directories` wins. Empty with *error = ENOENT when nothing fits.
std::string findProgramIn(const std::string& name, const std::vector<std::string>& directories,
                          int* error = nullptr);

// Where a bare program name is looked for, for a message: "the directory of
// the running program (D), VARNELDIR/bin (B) and PATH (P)".
std::string describeProgramSearch();

// findProgramIn over programSearchDirectories().
std::string findProgram(const std::string& name, int* error = nullptr);

} // namespace Platform
