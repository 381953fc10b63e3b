// lintel: the demo kit's linker and resource compiler. It checks its inputs
// the way a real linker must (every file there, every library found, every
// name resolved) and writes simple text formats described in
// docs/kit-tools.md.

#include "Assembly.h"
#include "Formats.h"
#include "Linker.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>
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

bool endsWithNoCase(const std::string& text, std::string_view suffix)
{
    return text.size() >= suffix.size()
        && ToolText::lower(std::string_view(text).substr(text.size() - suffix.size())) == suffix;
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
        int lineNumber = 0;
        std::string_view raw;
        for (size_t pos = 0; ToolText::nextLine(text, pos, raw);) {
            ++lineNumber;
            const std::string_view trimmed = trim(raw);
            if (trimmed.empty() || trimmed[0] == '#')
                continue;
            const std::string line = toSlashes(std::string(trimmed));
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
    std::vector<Symbol> symbols; // for the program file
    bool linked = false;
};

std::string joinNames(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

// One link: its parts, and the names resolved so far.
class Linker {
public:
    explicit Linker(const Options& o)
        : m_options(o)
    {
    }
    int run();

private:
    bool readLibrary(const std::string& name);
    void readInput(const std::string& path);
    int writeLibraryFile();
    void addDefinitions(const Unit& u);
    bool resolve();
    bool writeRebuild();
    int writeProgramFile();

    const Options& m_options;
    std::vector<std::string> m_inputNames;
    std::vector<std::string> m_libraryPaths;
    std::vector<Part> m_parts;
    std::vector<Part> m_members;
    int m_number = 0;
    std::map<std::string, std::string, std::less<>> m_definedBy;
    std::set<std::string, std::less<>> m_weakNames;
    std::map<std::string, Location, std::less<>> m_firstAt;
};

bool Linker::readLibrary(const std::string& name)
{
    const std::string path = findLibrary(name, m_options.libraryDirs);
    if (path.empty()) {
        std::vector<std::string> where;
        for (const std::string& d : m_options.libraryDirs)
            if (!d.empty())
                where.push_back(d);
        error("cannot find library " + name
              + (where.empty() ? " (no library directory given)" : " (searched " + joinNames(where) + ")"));
        return false;
    }
    std::string data;
    std::string why;
    std::vector<Entry> found;
    if (!readWholeFile(path, data)) {
        error("cannot read library " + path + ": " + std::strerror(errno));
        return false;
    }
    if (!Lintel::readLibrary(data, found, &why)) {
        error(path + ": " + why);
        return false;
    }
    m_libraryPaths.push_back(path);
    for (Entry& e : found) {
        Part part{std::move(e), Unit(), {}, false};
        part.unit = parseUnit(fileName(path) + "(" + part.entry.name + ")", part.entry.content, 0);
        m_members.push_back(std::move(part));
    }
    return true;
}

// An assembly file is parsed as soon as it is read, so only its parsed form
// stays in memory; a library being written keeps the file as it is.
void Linker::readInput(const std::string& path)
{
    // The same file named twice (two sources of one stem) is linked once.
    for (const std::string& n : m_inputNames)
        if (n == path)
            return;
    std::string content;
    if (isDirectory(path)) {
        error("input file " + path + " is a directory");
        return;
    }
    if (!isRegularFile(path)) {
        error("cannot find input file " + path);
        return;
    }
    if (!readWholeFile(path, content)) {
        error("cannot read input file " + path + ": " + std::strerror(errno));
        return;
    }
    m_inputNames.push_back(path);
    Part part{{path, std::string()}, Unit(), {}, true};
    if (!m_options.library.empty()) {
        part.entry.content = std::move(content);
    } else if (!g_errors) {
        part.unit = parseUnit(fileName(path), content, ++m_number, path);
        if (!m_options.program.empty())
            part.symbols = fileSymbols(content);
    }
    m_parts.push_back(std::move(part));
}

int Linker::writeLibraryFile()
{
    std::vector<Entry> entries;
    for (Part& p : m_parts)
        entries.push_back({fileName(p.entry.name), std::move(p.entry.content)});
    for (const Part& m : m_members)
        entries.push_back(m.entry);
    std::string why;
    if (!writeWholeFile(m_options.library, writeLibrary(entries), &why)) {
        error("cannot write " + m_options.library + ": " + why);
        return 1;
    }
    std::printf("lintel: library %s written with %zu member(s)\n", m_options.library.c_str(), entries.size());
    return 0;
}

void Linker::addDefinitions(const Unit& u)
{
    for (std::string_view name : u.globals) {
        const bool weak = u.weak.count(name) > 0;
        auto d = m_definedBy.find(name);
        if (d == m_definedBy.end()) {
            m_definedBy.emplace(name, u.name);
            m_firstAt[std::string(name)] = u.definedAt.at(name);
            if (weak)
                m_weakNames.emplace(name);
        } else if (!weak && m_weakNames.count(name)) {
            d->second = u.name;
            m_firstAt[std::string(name)] = u.definedAt.at(name);
            m_weakNames.erase(m_weakNames.find(name));
        } else if (!weak) {
            std::fprintf(stderr, "%s: error: multiple definition of `%.*s'\n", describe(u.definedAt.at(name)).c_str(),
                         static_cast<int>(name.size()), name.data());
            std::fprintf(stderr, "%s: note: first defined here\n", describe(m_firstAt.find(name)->second).c_str());
            ++g_errors;
        }
    }
}

// Every name a linked unit uses must be defined by exactly one unit. A
// library member is linked when it defines a name still missing.
bool Linker::resolve()
{
    for (const Part& p : m_parts)
        addDefinitions(p.unit);
    // The first member defining a name supplies it.
    std::unordered_map<std::string_view, size_t> memberFor;
    for (size_t m = 0; m < m_members.size(); ++m)
        for (std::string_view g : m_members[m].unit.globals)
            memberFor.emplace(g, m);
    // Parts grows while it is walked: each linked member's uses are looked
    // at in turn.
    for (size_t i = 0; i < m_parts.size(); ++i) {
        const std::vector<std::string_view> uses = m_parts[i].unit.external;
        for (std::string_view name : uses) {
            auto m = memberFor.find(name);
            // A weak reference does not pull a member in; left undefined it
            // is null, as the host linker makes it.
            if (m_definedBy.count(name) || m == memberFor.end() || m_members[m->second].linked
                || m_parts[i].unit.weak.count(name))
                continue;
            Part& member = m_members[m->second];
            member.linked = true;
            Part part{member.entry, parseUnit(member.unit.name, member.entry.content, ++m_number), {}, true};
            if (!m_options.program.empty())
                part.symbols = fileSymbols(member.entry.content);
            addDefinitions(part.unit);
            m_parts.push_back(std::move(part));
        }
    }
    for (const Part& p : m_parts) {
        for (std::string_view name : p.unit.external) {
            if (!m_definedBy.count(name) && !p.unit.weak.count(name)) {
                std::fprintf(stderr, "%s: error: undefined reference to `%.*s'\n",
                             describe(p.unit.usedAt.at(name)).c_str(), static_cast<int>(name.size()), name.data());
                ++g_errors;
            }
        }
    }
    if (!m_options.noVerify && !m_definedBy.count("main"))
        error("the program defines no entry point main");
    return g_errors == 0;
}

bool Linker::writeRebuild()
{
    std::vector<const Unit*> units;
    for (const Part& p : m_parts)
        units.push_back(&p.unit);
    FileWriter file("rebuild.s");
    const ElimResult reduced = eliminate(units, "main", [&file](std::string_view piece) { file.write(piece); });
    std::string why;
    if (!file.commit(&why)) {
        error("cannot write rebuild.s: " + why);
        return false;
    }
    std::printf("lintel: removed %d of %d functions, %s bytes\n", reduced.removed, reduced.functions,
                withThousands(reduced.removedBytes).c_str());
    return true;
}

int Linker::writeProgramFile()
{
    std::vector<Symbol> symbols;
    for (const Part& p : m_parts)
        addSymbols(p.symbols, symbols);
    std::string why;
    if (!writeWholeFile(m_options.program, writeProgram(m_inputNames, symbols, m_libraryPaths), &why)) {
        error("cannot write " + m_options.program + ": " + why);
        return 1;
    }
    std::printf("lintel: program %s written (%zu symbol(s))\n", m_options.program.c_str(), symbols.size());
    return 0;
}

int Linker::run()
{
    for (const std::string& f : m_options.files) {
        if (endsWithNoCase(f, ".lib"))
            readLibrary(f);
        else
            readInput(f);
    }
    if (g_errors)
        return 1;
    if (!m_options.library.empty())
        return writeLibraryFile();
    if (m_options.program.empty() && !m_options.elim) {
        error("no -B or -L given: nothing would be written");
        return 1;
    }
    if (!resolve())
        return 1;
    if (m_options.elim && !writeRebuild())
        return 1;
    // Only -elim's rebuild.s was asked for; the second pass writes the program.
    return m_options.program.empty() ? 0 : writeProgramFile();
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
    return Linker(o).run();
}
