// cmd: carries out the three command-interpreter built-ins the build and the
// updater use (mkdir, copy, del) with their usual messages and exit codes.
// See docs/kit-tools.md.

#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kHelp[] =
    "cmd - command interpreter built-ins of the Varnel demo kit\n"
    "\n"
    "This is a stand-in for the command interpreter the Varnel kit's tools call;\n"
    "it carries out exactly three built-ins, without any shell:\n"
    "  cmd /c mkdir DIR...          create directories and missing parents\n"
    "  cmd /c copy SRC DST /y       copy a file (DST a file or an existing directory)\n"
    "  cmd /c del /q FILE...        delete files\n"
    "A backslash is part of a file name, as everywhere on Linux. Exit code 0 on\n"
    "success, 1 on failure.\n";

using ToolText::lower;

// A switch such as /y, /Y, /-y or /q. Paths also start with "/" here, so
// only the short switch words count.
bool isSwitch(const std::string& word, const char* const* known)
{
    const std::string w = lower(word);
    for (; *known; ++known)
        if (w == *known)
            return true;
    return false;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates `path` and its missing parents. False with errno set.
bool makeDirectories(const std::string& path)
{
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        partial = path.substr(0, slash);
        pos = slash + 1;
        if (partial.empty() || isDirectory(partial))
            continue;
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return isDirectory(path);
}

int doMkdir(const std::vector<std::string>& args)
{
    if (args.empty()) {
        std::puts("The syntax of the command is incorrect.");
        return 1;
    }
    int result = 0;
    for (const std::string& given : args) {
        std::string path = given;
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) {
            std::printf("A subdirectory or file %s already exists.\n", given.c_str());
            result = 1;
            continue;
        }
        if (!makeDirectories(path)) {
            std::printf("Cannot create the directory %s: %s\n", given.c_str(), std::strerror(errno));
            result = 1;
        }
    }
    return result;
}

bool copyFile(const std::string& from, const std::string& to, std::string& why)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat st;
    ::fstat(in, &st);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        why = std::strerror(errno);
        ::close(in);
        return false;
    }
    char buf[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                ok = false;
            else
                done += w;
        }
        if (!ok)
            break;
    }
    if (!ok)
        why = std::strerror(errno ? errno : EIO);
    ::close(in);
    if (::close(out) != 0 && ok) {
        why = std::strerror(errno);
        ok = false;
    }
    return ok;
}

int doCopy(const std::vector<std::string>& args)
{
    static const char* const switches[] = {"/y", "/-y", "/b", "/a", "/v", "/d", "/n", "/z", nullptr};
    std::vector<std::string> paths;
    for (const std::string& a : args)
        if (!isSwitch(a, switches))
            paths.push_back(a);
    if (paths.size() != 2) {
        std::puts("The syntax of the command is incorrect.");
        return 1;
    }
    const std::string from = paths[0];
    std::string to = paths[1];
    struct stat src;
    if (::stat(from.c_str(), &src) != 0 || !S_ISREG(src.st_mode)) {
        std::puts("The system cannot find the file specified.");
        std::puts("        0 file(s) copied.");
        return 1;
    }
    if (isDirectory(to)) {
        const size_t slash = from.rfind('/');
        to += (to.back() == '/' ? "" : "/") + (slash == std::string::npos ? from : from.substr(slash + 1));
    }
    // Opening the target would truncate the source when both are one file.
    struct stat dst;
    if (::stat(to.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
        std::puts("The file cannot be copied onto itself.");
        std::puts("        0 file(s) copied.");
        return 1;
    }
    std::string why;
    if (!copyFile(from, to, why)) {
        std::printf("Cannot copy %s to %s: %s\n", paths[0].c_str(), paths[1].c_str(), why.c_str());
        std::puts("        0 file(s) copied.");
        return 1;
    }
    std::puts("        1 file(s) copied.");
    return 0;
}

int doDel(const std::vector<std::string>& args)
{
    static const char* const switches[] = {"/q", "/f", "/p", "/s", nullptr};
    std::vector<std::string> paths;
    for (const std::string& a : args)
        if (!isSwitch(a, switches))
            paths.push_back(a);
    if (paths.empty()) {
        std::puts("The syntax of the command is incorrect.");
        return 1;
    }
    int result = 0;
    for (const std::string& given : paths) {
        const std::string& path = given;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) {
            std::printf("Could Not Find %s\n", given.c_str());
            result = 1;
        } else if (S_ISDIR(st.st_mode)) {
            // Deleting a directory's content is not among the built-ins used.
            std::printf("%s is a directory; only files are deleted.\n", given.c_str());
            result = 1;
        } else if (::unlink(path.c_str()) != 0) {
            std::printf("Cannot delete %s: %s\n", given.c_str(), std::strerror(errno));
            result = 1;
        }
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "/?")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() < 2 || lower(args[0]) != "/c") {
        std::fputs("cmd: this stand-in only runs \"cmd /c COMMAND\" (see cmd --help)\n", stdout);
        return 1;
    }
    const std::string command = lower(args[1]);
    const std::vector<std::string> rest(args.begin() + 2, args.end());
    int result;
    if (command == "mkdir" || command == "md")
        result = doMkdir(rest);
    else if (command == "copy")
        result = doCopy(rest);
    else if (command == "del" || command == "erase")
        result = doDel(rest);
    else {
        std::printf("'%s' is not recognized as a command of this stand-in (it knows mkdir, copy and del).\n",
                    args[1].c_str());
        result = 1;
    }
    std::fflush(stdout);
    return result;
}
