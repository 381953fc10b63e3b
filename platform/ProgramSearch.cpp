#include "platform/ProgramSearch.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (!dir.empty() && dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

} // namespace

namespace {

std::string readRunningProgramDirectory()
{
    std::string buf(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::string();
        if (static_cast<size_t>(n) < buf.size()) {
            buf.resize(static_cast<size_t>(n));
            break;
        }
        buf.resize(buf.size() * 2);
    }
    const size_t slash = buf.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : buf.substr(0, slash);
}

} // namespace

std::string runningProgramDirectory()
{
    // The running program does not move; every command's search starts here.
    static const std::string directory = readRunningProgramDirectory();
    return directory;
}

std::vector<std::string> programSearchDirectories()
{
    std::vector<std::string> dirs;
    const std::string self = runningProgramDirectory();
    if (!self.empty())
        dirs.push_back(self);
    const char* root = std::getenv("VARNELDIR");
    if (root && *root)
        dirs.push_back(std::string(root) + "/bin");
    const char* path = std::getenv("PATH");
    if (path) {
        const std::string text(path);
        size_t start = 0;
        for (;;) {
            const size_t colon = text.find(':', start);
            const std::string entry = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!entry.empty())
                dirs.push_back(entry);
            if (colon == std::string::npos)
                break;
            start = colon + 1;
        }
    }
    return dirs;
}

std::string findProgramIn(const std::string& name, const std::vector<std::string>& directories, int* error)
{
    // A name composed on Linux holds a "/" and is taken as it is, backslashes
    // included (VARNELDIR may hold one). A name holding only backslashes is
    // Windows-born (an editor command from an old configuration) and they
    // become "/".
    std::string program = name;
    if (program.find('/') == std::string::npos) {
        for (char& c : program)
            if (c == '\\')
                c = '/';
    }
    if (program.find('/') != std::string::npos)
        return program;
    if (!program.empty()) {
        for (const std::string& dir : directories) {
            const std::string candidate = joinPath(dir, program);
            if (isExecutableFile(candidate))
                return candidate;
        }
    }
    if (error)
        *error = ENOENT;
    return std::string();
}

std::string describeProgramSearch()
{
    const std::string self = runningProgramDirectory();
    const char* root = std::getenv("VARNELDIR");
    const char* path = std::getenv("PATH");
    return "the directory of the running program (" + (self.empty() ? std::string("unknown") : self)
        + "), VARNELDIR/bin (" + (root && *root ? std::string(root) + "/bin" : std::string("VARNELDIR is not set"))
        + ") and PATH (" + (path && *path ? std::string(path) : std::string("empty")) + ")";
}

std::string findProgram(const std::string& name, int* error)
{
    return findProgramIn(name, programSearchDirectories(), error);
}

} // namespace Platform
