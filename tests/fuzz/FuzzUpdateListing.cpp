// Fuzz target: reading the listing of a downloaded profile archive and the
// checks on each entry. The input is the short listing (one name per line),
// a NUL byte, then the long listing, as the kit's unzip would print them for
// an archive the server chose.
//
// What must hold: a listing that is accepted has one entry per name line,
// each carrying exactly that name; an entry that passes the checks lies below
// profiles/, is listed as neither a link nor another special file, and has no
// "..", no backslash and no control character in its name.

#include "FuzzSupport.h"
#include "core/update/ArchiveListing.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> nameLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool harmless(const Brask::ArchiveEntry& entry)
{
    const std::string& name = entry.name;
    if (name.rfind("profiles/", 0) != 0 || name.find('\\') != std::string::npos)
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f)
            return false;
    }
    const std::string wrapped = "/" + name + "/";
    if (wrapped.find("/../") != std::string::npos)
        return false;
    // What unzip makes of it is a directory or a plain file: no link, no
    // other special file.
    const char type = entry.mode.empty() ? '?' : entry.mode[0];
    return type == '-' || type == 'd' || type == '?';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    // Without a NUL byte the long listing is empty.
    const void* nul = std::memchr(text, '\0', size);
    const std::size_t split = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : size;
    const std::string names(text, split);
    const std::string listing = nul ? std::string(text + split + 1, size - split - 1) : std::string();

    std::vector<Brask::ArchiveEntry> entries;
    std::string error;
    const bool parsed = Brask::ArchiveListing::parseListing(names, listing, entries, error);
    Fuzz::reachedChecks();
    if (!parsed) {
        if (error.empty())
            std::abort();
        return 0;
    }
    const std::vector<std::string> lines = nameLines(names);
    if (entries.size() != lines.size())
        std::abort();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Brask::ArchiveEntry& entry = entries[i];
        if (entry.name != lines[i] || entry.size < 0)
            std::abort();
        error.clear();
        const bool accepted = Brask::ArchiveListing::checkEntry(entry, error);
        if (accepted && !harmless(entry))
            std::abort();
        if (!accepted && error.empty())
            std::abort();
    }
    return 0;
}
