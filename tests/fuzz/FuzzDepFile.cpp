// Fuzz target: the compiler's dependency file (-MD -MF), which a kit's
// compiler of any make writes.
//
// What must hold: no crash; a text refused says why; each prerequisite read
// is named once and is not empty; the prerequisites written back as a
// compiler escapes them read back the same, where a make rule can hold the
// name at all.

#include "FuzzSupport.h"
#include "core/builder/DepFile.h"

#include <cstdlib>
#include <set>

namespace {

// A name a rule can carry: no line end, no colon (read as the rule's own),
// no backslash (whose meaning depends on what follows).
bool writable(const std::string& name)
{
    return name.find_first_of("\n\r:\\") == std::string::npos;
}

std::string escaped(const std::string& name)
{
    std::string out;
    for (char c : name) {
        if (c == ' ' || c == '\t' || c == '#')
            out += '\\';
        if (c == '$')
            out += '$';
        out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> prerequisites;
    std::string error;
    const bool parsed = Brask::DepFile::parse(text, prerequisites, &error);
    Fuzz::reachedChecks();
    if (!parsed) {
        if (error.empty())
            std::abort();
        return 0;
    }
    std::set<std::string> seen;
    std::string rule = "out.s:";
    std::vector<std::string> kept;
    for (const std::string& name : prerequisites) {
        if (name.empty() || !seen.insert(name).second)
            std::abort();
        if (writable(name)) {
            rule += " \\\n " + escaped(name);
            kept.push_back(name);
        }
    }
    std::vector<std::string> reread;
    if (!Brask::DepFile::parse(rule + "\n", reread, &error) || reread != kept)
        std::abort();
    return 0;
}
