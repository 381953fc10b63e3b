// xgcc: the demo kit's compiler driver. Compiles one C or C++ source to
// assembly with the host compiler, so the diagnostics are the host
// compiler's own, in "file:line:" form. See docs/kit-tools.md.

#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kHelp[] =
    "xgcc - compiler driver of the Varnel demo kit\n"
    "\n"
    "This is a stand-in for the Varnel kit's cross compiler; a real kit's xgcc\n"
    "replaces it. It runs the host gcc (C) or g++ (C++ sources: .cpp .cxx .cc,\n"
    "any case) with -S and the options it was given, and exits with the\n"
    "compiler's exit code. With -E it only preprocesses, handling directives\n"
    "but leaving macros to the compile (-fdirectives-only); preprocessed\n"
    "sources (.i for C, .ii for C++) are compiled as such, as compiler caches\n"
    "and compile farms hand them over, with the same result as the source.\n"
    "\n"
    "--print-host-compilers prints the host gcc and g++ that a compile would\n"
    "run, one absolute path a line, as found on PATH now.\n"
    "\n"
    "Usage: xgcc -g -o ASM -S -O2 [options] [-Idir...] [-Dname...] SOURCE\n"
    "       xgcc --print-host-compilers\n";

// Options whose value is the following word.
bool takesValue(const std::string& arg)
{
    static const char* const options[] = {"-o", "-x", "-I", "-include", "-imacros", "-isystem", "-iquote",
                                          "-idirafter", "-MF", "-MT", "-MQ", "-D", "-U", "-Xassembler",
                                          "-Xpreprocessor", "-Xlinker", "-aux-info"};
    for (const char* o : options)
        if (arg == o)
            return true;
    return false;
}

std::string extensionOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return ToolText::lower(std::string_view(path).substr(dot + 1));
}

// The language gcc is told with -x for a source, and whether it is C++.
const char* languageOf(const std::string& path, bool& cxx)
{
    const std::string ext = extensionOf(path);
    cxx = ext == "cpp" || ext == "cxx" || ext == "cc" || ext == "ii";
    if (ext == "i")
        return "cpp-output";
    if (ext == "ii")
        return "c++-cpp-output";
    return cxx ? "c++" : "c";
}

// The file execvp would run for `name`: the first executable one on PATH.
std::string foundOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/bin:/usr/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty entry is the current directory.
        const std::string candidate = (end == start ? std::string(".") : dirs.substr(start, end - start)) + "/" + name;
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            if (candidate[0] == '/')
                return candidate;
            char cwd[4096];
            return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + candidate : std::string();
        }
        start = end + 1;
    }
    return std::string();
}

// Build Changed records these files, so a compile runs again when another
// host compiler comes first on PATH or the one there is replaced.
int printHostCompilers()
{
    for (const char* name : {"gcc", "g++"}) {
        const std::string found = foundOnPath(name);
        if (!found.empty())
            std::printf("%s\n", found.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-help") {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (a == "--print-host-compilers")
            return printHostCompilers();
    }

    // The source is the last word that is neither an option nor an option's
    // value.
    long source = -1;
    bool stageGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-S" || a == "-E")
            stageGiven = true;
        if (takesValue(a)) {
            ++i;
            continue;
        }
        if (a.empty() || a[0] != '-')
            source = static_cast<long>(i);
    }
    if (source < 0) {
        std::fputs("xgcc: error: no source file given (try xgcc --help)\n", stderr);
        return 1;
    }

    bool cxx = false;
    const char* language = languageOf(args[static_cast<size_t>(source)], cxx);
    const char* compiler = cxx ? "g++" : "gcc";
    // Preprocessing handles directives only and leaves macros to the compile.
    // A compile farm (or cache) that preprocesses here and compiles the text
    // elsewhere then makes the same assembly as a local compile, down to the
    // columns in the debug information, which expanded macros would shift.
    std::vector<std::string> cmd{compiler, "-fdirectives-only"};
    if (!stageGiven)
        cmd.push_back("-S");
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (static_cast<long>(i) == source) {
            // The language follows the rule above, not the compiler's own
            // table, so main.CPP or main.CC compile as C++ as well.
            cmd.push_back("-x");
            cmd.push_back(language);
            cmd.push_back(a);
            continue;
        }
        cmd.push_back(a);
        if (takesValue(a) && i + 1 < args.size())
            cmd.push_back(args[++i]);
    }

    std::vector<char*> cargv;
    for (std::string& s : cmd)
        cargv.push_back(s.data());
    cargv.push_back(nullptr);
    std::fflush(stdout);
    ::execvp(compiler, cargv.data());
    std::fprintf(stderr, "xgcc: error: cannot run the host compiler %s: %s\n", compiler, std::strerror(errno));
    return 1;
}
