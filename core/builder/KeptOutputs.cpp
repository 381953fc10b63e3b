#include "core/builder/KeptOutputs.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Brask {

namespace {

const char kMarker[] = ".kept-";

bool allDigits(const std::string& text)
{
    if (text.empty() || text.size() > 18)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// For a kept file's name, the name of the output it stands for and its
// owner's process id; false for any other name.
bool parseKeptName(const std::string& kept, std::string& output, pid_t& pid)
{
    const size_t marker = kept.rfind(kMarker);
    if (kept.size() < 2 || kept[0] != '.' || marker == std::string::npos || marker < 2)
        return false;
    const std::string tail = kept.substr(marker + sizeof kMarker - 1);
    const size_t dash = tail.find('-');
    if (dash == std::string::npos || !allDigits(tail.substr(0, dash)) || !allDigits(tail.substr(dash + 1)))
        return false;
    const long long number = std::stoll(tail.substr(0, dash));
    if (number <= 0 || number != static_cast<pid_t>(number))
        return false;
    output = kept.substr(1, marker - 1);
    pid = static_cast<pid_t>(number);
    return true;
}

// A process id that is taken (by its owner or, after reuse, by another
// process) counts as running: the file then waits for a later build.
bool running(pid_t pid)
{
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

std::string keptOutputName(const std::string& path, pid_t pid, size_t index)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + name + kMarker + std::to_string(pid) + "-" + std::to_string(index);
}

void settleKeptOutputs(const std::string& directory)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    for (const std::string& name : names) {
        std::string output;
        pid_t owner = 0;
        if (!parseKeptName(name, output, owner) || running(owner))
            continue;
        const std::string kept = directory + "/" + name;
        const std::string target = directory + "/" + output;
        struct stat info;
        if (::lstat(kept.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (::lstat(target.c_str(), &info) != 0 && errno == ENOENT && std::rename(kept.c_str(), target.c_str()) == 0)
            continue;
        std::remove(kept.c_str());
    }
}

} // namespace Brask
