// xgcc: the demo kit's compiler driver. Compiles one C or C++ source to
// assembly with the host compiler, so the diagnostics are the host
// compiler's own, in "file:line:" form. See docs/kit-tools.md.

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kHelp[] =
    "xgcc - compiler driver of the Varnel demo kit\n"
    "\n"
    "This is a stand-in for the Varnel kit's cross compiler; a real kit's xgcc\n"
    "replaces it. It runs the host gcc (C) or g++ (C++ sources: .cpp .cxx .cc,\n"
    "any case) with -S and the options it was given, and exits with the\n"
    "compiler's exit code.\n"
    "\n"
    "Usage: xgcc -g -o ASM -S -O2 [options] [-Idir...] [-Dname...] SOURCE\n";

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

bool isCxxSource(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "cpp" || ext == "cxx" || ext == "cc";
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
    }

    // The source is the last word that is neither an option nor an option's
    // value.
    long source = -1;
    bool hasS = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-S")
            hasS = true;
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

    const bool cxx = isCxxSource(args[static_cast<size_t>(source)]);
    const char* compiler = cxx ? "g++" : "gcc";
    std::vector<std::string> cmd{compiler};
    if (!hasS)
        cmd.push_back("-S");
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (static_cast<long>(i) == source) {
            // The language follows the rule above, not the compiler's own
            // table, so main.CPP or main.CC compile as C++ as well.
            cmd.push_back("-x");
            cmd.push_back(cxx ? "c++" : "c");
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
