// lintel: the demo kit's linker and resource compiler. It checks its inputs
// the way a real linker must (every file there, every library found, every
// name resolved) and writes simple text formats described in
// docs/kit-tools.md.

#include "Assembly.h"
#include "Formats.h"
#include "Linker.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace Lintel;

namespace {

const char kHelp[] =
    "lintel - linker and resource compiler of the Varnel demo kit\n"
    "\n"
    "This is a stand-in for the Varnel kit's lintel; a real kit's lintel\n"
    "replaces it. It checks its inputs and writes simple documented text\n"
    "formats instead of the kit's program and resource formats.\n"
    "\n"
    "Usage:\n"
    "  lintel [options] -R RESOURCES LIST...        build the resources from resource lists\n"
    "  lintel [options] -sDIR... [-elim] (-B PROGRAM | -L LIBRARY) FILE...\n"
    "                                               link assembly files and libraries\n"
    "  lintel -no-verify [options] -B PROGRAM rebuild.s\n"
    "                                               second pass after dead-code elimination\n"
    "\n"
    "  -sDIR      search libraries (FILE ending in .lib) in DIR, in the given order\n"
    "             (a bare -s is an empty directory and searches nowhere)\n"
    "  -elim      also write what the entry main reaches, as assembly, to ./rebuild.s\n"
    "  -no-verify do not require the entry point main\n"
    "A resource list names one file per line, relative to the list; blank lines\n"
    "and lines starting with # are ignored. A link must write something: -B,\n"
    "-L or -elim. Every name the linked files use must be defined exactly once\n"
    "(library members are linked when they define a missing name); otherwise\n"
    "nothing is written. Exit code 0 on success, 1 on error.\n";

struct Options {
    std::string resources;
    std::string program;
    std::string library;
    std::vector<std::string> libraryDirs;
    std::vector<std::string> files;
    bool elim = false;
    bool noVerify = false;
};

int g_errors = 0;

void error(const std::string& text)
{
    std::fprintf(stderr, "lintel: error: %s\n", text.c_str());
    ++g_errors;
}

std::string toSlashes(std::string text)
{
    for (char& c : text)
        if (c == '\\')
            c = '/';
    return text;
}

bool endsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i])
            return false;
    return true;
}

std::string fileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool isRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool parseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                error("option " + a + " needs a file name");
                return false;
            }
            target = argv[++i];
            return true;
        };
        if (a == "-R") {
            if (!value(o.resources))
                return false;
        } else if (a == "-B") {
            if (!value(o.program))
                return false;
        } else if (a == "-L") {
            if (!value(o.library))
                return false;
        } else if (a == "-elim") {
            o.elim = true;
        } else if (a == "-no-verify") {
            o.noVerify = true;
        } else if (a.compare(0, 2, "-s") == 0) {
            // The directory is joined to the option. A bare "-s" (an empty
            // entry of a directory list) is an empty directory: taking the
            // next word instead would swallow "-B" and its program.
            o.libraryDirs.push_back(a.substr(2));
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "lintel: warning: ignoring unknown option %s\n", a.c_str());
        } else {
            o.files.push_back(a);
        }
    }
    if (!o.resources.empty() && (!o.program.empty() || !o.library.empty())) {
        error("-R cannot be combined with -B or -L");
        return false;
    }
    if (!o.program.empty() && !o.library.empty()) {
        error("-B and -L cannot be combined");
        return false;
    }
    return true;
}

int buildResources(const Options& o)
{
    if (o.files.empty()) {
        error("no resource list given");
        return 1;
    }
    std::vector<Entry> resources;
    for (const std::string& list : o.files) {
        std::string text;
        if (!isRegularFile(list) || !readWholeFile(list, text)) {
            error("cannot open resource list " + list + ": " + std::strerror(errno ? errno : ENOENT));
            continue;
        }
        const std::string dir = directoryOf(list);
        size_t pos = 0;
        int lineNumber = 0;
        while (pos < text.size()) {
            size_t nl = text.find('\n', pos);
            if (nl == std::string::npos)
                nl = text.size();
            std::string line = text.substr(pos, nl - pos);
            pos = nl + 1;
            ++lineNumber;
            const size_t b = line.find_first_not_of(" \t\r");
            if (b == std::string::npos || line[b] == '#')
                continue;
            line = toSlashes(line.substr(b, line.find_last_not_of(" \t\r") - b + 1));
            const std::string path = line[0] == '/' ? line : dir + "/" + line;
            std::string content;
            auto bad = [&](const std::string& why) {
                std::fprintf(stderr, "%s:%d: error: %s\n", list.c_str(), lineNumber, why.c_str());
                ++g_errors;
            };
            if (isDirectory(path))
                bad("'" + line + "' is a directory, not a resource file");
            else if (!isRegularFile(path))
                bad("cannot find resource file '" + line + "'");
            else if (!readWholeFile(path, content))
                bad("cannot read resource file '" + line + "': " + std::strerror(errno));
            else
                resources.push_back({line, content});
        }
    }
    if (g_errors)
        return 1;
    std::string why;
    if (!writeWholeFile(o.resources, writeResources(resources), &why)) {
        error("cannot write " + o.resources + ": " + why);
        return 1;
    }
    std::printf("lintel: %zu resource(s) written to %s\n", resources.size(), o.resources.c_str());
    return 0;
}

std::string findLibrary(const std::string& name, const std::vector<std::string>& dirs)
{
    if (name.find('/') != std::string::npos)
        return isRegularFile(name) ? name : std::string();
    for (const std::string& d : dirs) {
        // An empty directory names no place; it must not mean the current one.
        if (d.empty())
            continue;
        const std::string candidate = d.back() == '/' ? d + name : d + "/" + name;
        if (isRegularFile(candidate))
            return candidate;
    }
    return std::string();
}

// A file or library member taking part in a link.
struct Part {
    Entry entry;
    Unit unit;
    bool linked = false;
};

std::string joinNames(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

int link(const Options& o)
{
    std::vector<Entry> inputs;
    std::vector<std::string> libraryPaths;
    std::vector<Part> members;
    int number = 0;
    for (const std::string& f : o.files) {
        if (endsWithNoCase(f, ".lib")) {
            const std::string path = findLibrary(f, o.libraryDirs);
            if (path.empty()) {
                std::vector<std::string> where;
                for (const std::string& d : o.libraryDirs)
                    if (!d.empty())
                        where.push_back(d);
                error("cannot find library " + f
                      + (where.empty() ? " (no library directory given)" : " (searched " + joinNames(where) + ")"));
                continue;
            }
            std::string data;
            std::string why;
            std::vector<Entry> found;
            if (!readWholeFile(path, data)) {
                error("cannot read library " + path + ": " + std::strerror(errno));
                continue;
            }
            if (!readLibrary(data, found, &why)) {
                error(path + ": " + why);
                continue;
            }
            libraryPaths.push_back(path);
            for (Entry& e : found) {
                Part part{e, parseUnit(fileName(path) + "(" + e.name + ")", e.content, 0), false};
                members.push_back(std::move(part));
            }
            continue;
        }
        // The same file named twice (two sources of one stem) is linked once.
        bool again = false;
        for (const Entry& e : inputs)
            again = again || e.name == f;
        std::string content;
        if (again)
            continue;
        if (isDirectory(f))
            error("input file " + f + " is a directory");
        else if (!isRegularFile(f))
            error("cannot find input file " + f);
        else if (!readWholeFile(f, content))
            error("cannot read input file " + f + ": " + std::strerror(errno));
        else
            inputs.push_back({f, content});
    }
    if (g_errors)
        return 1;

    std::vector<Part> parts;
    for (const Entry& e : inputs)
        parts.push_back({e, parseUnit(fileName(e.name), e.content, ++number, e.name), true});

    if (!o.library.empty()) {
        std::vector<Entry> libraryEntries;
        for (const Part& p : parts)
            libraryEntries.push_back({fileName(p.entry.name), p.entry.content});
        for (const Part& m : members)
            libraryEntries.push_back(m.entry);
        std::string why;
        if (!writeWholeFile(o.library, writeLibrary(libraryEntries), &why)) {
            error("cannot write " + o.library + ": " + why);
            return 1;
        }
        std::printf("lintel: library %s written with %zu member(s)\n", o.library.c_str(), libraryEntries.size());
        return 0;
    }

    if (o.program.empty() && !o.elim) {
        error("no -B or -L given: nothing would be written");
        return 1;
    }

    // Resolve: every name a linked unit uses must be defined by exactly one
    // unit. A library member is linked when it defines a name still missing.
    std::map<std::string, std::string> definedBy;
    std::set<std::string> weakNames;
    std::map<std::string, Location> firstAt;
    auto addDefinitions = [&](const Unit& u) {
        for (const std::string& name : u.globals) {
            const bool weak = u.weak.count(name) > 0;
            auto d = definedBy.find(name);
            if (d == definedBy.end()) {
                definedBy[name] = u.name;
                firstAt[name] = u.definedAt.at(name);
                if (weak)
                    weakNames.insert(name);
            } else if (!weak && weakNames.count(name)) {
                d->second = u.name;
                firstAt[name] = u.definedAt.at(name);
                weakNames.erase(name);
            } else if (!weak) {
                std::fprintf(stderr, "%s: error: multiple definition of `%s'\n", describe(u.definedAt.at(name)).c_str(),
                             name.c_str());
                std::fprintf(stderr, "%s: note: first defined here\n", describe(firstAt[name]).c_str());
                ++g_errors;
            }
        }
    };
    for (const Part& p : parts)
        addDefinitions(p.unit);
    // The first member defining a name supplies it.
    std::map<std::string, size_t> memberFor;
    for (size_t m = 0; m < members.size(); ++m)
        for (const std::string& g : members[m].unit.globals)
            memberFor.emplace(g, m);
    // Parts grows while it is walked: each linked member's uses are looked
    // at in turn.
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::vector<std::string> uses = parts[i].unit.external;
        for (const std::string& name : uses) {
            auto m = memberFor.find(name);
            // A weak reference does not pull a member in; left undefined it
            // is null, as the host linker makes it.
            if (definedBy.count(name) || m == memberFor.end() || members[m->second].linked || parts[i].unit.weak.count(name))
                continue;
            Part& member = members[m->second];
            member.linked = true;
            member.unit = parseUnit(member.unit.name, member.entry.content, ++number);
            addDefinitions(member.unit);
            parts.push_back(member);
        }
    }
    for (const Part& p : parts) {
        for (const std::string& name : p.unit.external) {
            if (!definedBy.count(name) && !p.unit.weak.count(name)) {
                std::fprintf(stderr, "%s: error: undefined reference to `%s'\n", describe(p.unit.usedAt.at(name)).c_str(),
                             name.c_str());
                ++g_errors;
            }
        }
    }
    if (!o.noVerify && !definedBy.count("main"))
        error("the program defines no entry point main");
    if (g_errors)
        return 1;

    if (o.elim) {
        std::vector<const Unit*> units;
        for (const Part& p : parts)
            units.push_back(&p.unit);
        const ElimResult reduced = eliminate(units, "main");
        std::string why;
        if (!writeWholeFile("rebuild.s", reduced.assembly, &why)) {
            error("cannot write rebuild.s: " + why);
            return 1;
        }
        std::printf("lintel: removed %d of %d functions, %s bytes\n", reduced.removed, reduced.functions,
                    withThousands(reduced.removedBytes).c_str());
    }

    // Only -elim's rebuild.s was asked for; the second pass writes the program.
    if (o.program.empty())
        return 0;
    std::vector<Symbol> symbols;
    std::vector<std::string> inputNames;
    for (const Part& p : parts)
        scanSymbols(p.entry.content, symbols);
    for (const Entry& e : inputs)
        inputNames.push_back(e.name);
    std::string why;
    if (!writeWholeFile(o.program, writeProgram(inputNames, symbols, libraryPaths), &why)) {
        error("cannot write " + o.program + ": " + why);
        return 1;
    }
    std::printf("lintel: program %s written (%zu symbol(s))\n", o.program.c_str(), symbols.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    Options o;
    if (!parseOptions(argc, argv, o))
        return 1;
    if (!o.resources.empty())
        return buildResources(o);
    return link(o);
}
