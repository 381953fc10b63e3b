#pragma once
// Helpers shared by the test programs: temporary directories, whole-file
// reads and writes, captured diagnostics.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// A fresh directory under $TMPDIR (or /tmp), removed with its content when the
// object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;

private:
    std::string m_path;
};

// Writes `content` to `path`, creating missing parent directories.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
void makeDirs(const std::string& path);

// Lays out the smallest installation the core accepts under `root`: an empty
// profile database (profiles/vendors/definitions.txt) and bin/.
void makeMinimalInstallation(const std::string& root);

struct ProgramRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs varbuild-cli of the build tree's kit in `directory` with VARNELDIR =
// `root` and PATH and VARNEL_UPDATE_SERVER kept, plus `environment`
// ("NAME=value" entries). Output goes through files in `directory`, so neither
// stream can block the child. `whileRunning`, if given, is called with the
// child's process id before it is waited for.
ProgramRun runCli(const std::string& directory, const std::string& root, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment = {},
                  const std::function<void(int pid)>& whileRunning = {});

struct ShellRun {
    int status = -1;  // exit status; -1 when the shell did not exit normally
    std::string output;
};

// Runs a shell command line; its exit status and everything it printed on
// standard output (add 2>&1 for both streams).
ShellRun runShell(const std::string& command);

// Routes the core's diagnostics into a buffer while alive.
class CapturedDiagnostics {
public:
    CapturedDiagnostics();
    ~CapturedDiagnostics();
    std::string text();

private:
    std::FILE* m_file;
    std::FILE* m_previous;
};

// Restores the current directory when it goes out of scope.
class DirectoryGuard {
public:
    DirectoryGuard();
    ~DirectoryGuard();

private:
    std::string m_saved;
};

// Restores an environment variable when it goes out of scope; the second
// constructor also sets it for the guard's life.
class EnvGuard {
public:
    explicit EnvGuard(std::string name);
    EnvGuard(std::string name, const std::string& value);
    ~EnvGuard();
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

} // namespace TestSupport
