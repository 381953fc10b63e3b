#include "core/update/ArchiveListing.h"

#include "platform/ProcessRunner.h"
#include "util/PathUtil.h"

#include <unordered_set>

namespace Brask {

namespace {

// A listing larger than this is not a profile database.
constexpr size_t MaxListingBytes = 32 * 1024 * 1024;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(std::move(line));
        start = end + 1;
    }
    return out;
}

std::vector<std::string> fields(const std::string& line, size_t count)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (out.size() < count) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        if (i == line.size())
            break;
        const size_t end = line.find(' ', i);
        out.push_back(line.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end == std::string::npos ? line.size() : end;
    }
    return out;
}

bool allDigits(const std::string& text)
{
    if (text.empty() || text.size() > 15)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Runs `commandLine` quietly and keeps what it prints (bounded).
bool capture(const std::string& commandLine, std::string& output, int& status)
{
    output.clear();
    bool overflow = false;
    Platform::ProcessRunner runner;
    const Platform::RunResult result = runner.run(commandLine, true, [&](const char* data, size_t size) {
        if (output.size() + size > MaxListingBytes)
            overflow = true;
        else
            output.append(data, size);
    });
    status = result.code;
    return result.failedStep == Platform::StepNone && !overflow;
}

} // namespace

bool ArchiveListing::parseListing(const std::string& names, const std::string& longListing,
                                          std::vector<ArchiveEntry>& entries, std::string& error)
{
    entries.clear();
    const std::vector<std::string> nameLines = lines(names);
    const std::vector<std::string> longLines = lines(longListing);
    if (nameLines.empty()) {
        error = "the archive is empty";
        return false;
    }
    if (nameLines.size() > MaxEntries) {
        error = "the archive has too many entries";
        return false;
    }
    // The long listing: "Archive:" and "Zip file size:" lines, one line per
    // entry, the totals line.
    if (longLines.size() != nameLines.size() + 3 || longLines[0].rfind("Archive:", 0) != 0) {
        error = "the archive listing could not be read";
        return false;
    }
    for (size_t i = 0; i < nameLines.size(); ++i) {
        const std::string& line = longLines[i + 2];
        const std::string& name = nameLines[i];
        // mode version system size type method date time name
        const std::vector<std::string> f = fields(line, 8);
        if (f.size() != 8 || !allDigits(f[3]) || line.size() <= name.size()
            || line.compare(line.size() - name.size(), name.size(), name) != 0
            || line[line.size() - name.size() - 1] != ' ') {
            error = "the archive listing could not be read at \"" + name + "\"";
            return false;
        }
        entries.push_back(ArchiveEntry{f[0], std::stoll(f[3]), name});
    }
    return true;
}

bool ArchiveListing::parseChecksums(const std::string& verboseListing, std::vector<ArchiveEntry>& entries,
                                            std::string& error)
{
    // "Archive:", the column titles, a rule, one line per entry, a rule,
    // the totals.
    const std::vector<std::string> rows = lines(verboseListing);
    if (rows.size() != entries.size() + 5 || rows[2].rfind("--------", 0) != 0) {
        error = "the archive listing could not be read";
        return false;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& line = rows[i + 3];
        const std::string& name = entries[i].name;
        // length method size ratio date time crc name
        const std::vector<std::string> f = fields(line, 7);
        if (f.size() != 7 || f[6].size() != 8 || f[6].find_first_not_of("0123456789abcdef") != std::string::npos
            || line.size() <= name.size() || line.compare(line.size() - name.size(), name.size(), name) != 0
            || line[line.size() - name.size() - 1] != ' ') {
            error = "the archive listing could not be read at \"" + name + "\"";
            return false;
        }
        entries[i].crc = static_cast<uint32_t>(std::stoul(f[6], nullptr, 16));
    }
    return true;
}

bool ArchiveListing::checkEntry(const ArchiveEntry& entry, std::string& error)
{
    const std::string& name = entry.name;
    auto refuse = [&](const char* why) {
        error = "the archive entry \"" + name + "\" " + why;
        return false;
    };
    if (name.empty())
        return refuse("has no name");
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f)
            return refuse("has a control character in its name");
        if (c == '\\')
            return refuse("has a backslash in its name");
        if (c == '^')
            return refuse("has a control character in its name");
    }
    if (name[0] == '/')
        return refuse("has an absolute name");
    if (name.size() > 1 && name[1] == ':')
        return refuse("has an absolute name");
    for (const std::string& piece : split(name, "/")) {
        if (piece == "..")
            return refuse("leads out of its directory with \"..\"");
    }
    if (name.rfind("profiles/", 0) != 0)
        return refuse("lies outside profiles/");
    // The type is the first letter of the listed mode: "-" a file, "d" a
    // directory, "?" none given. Links and the other special files the
    // listing names are refused; the rest is what unzip itself writes as a
    // directory (a name ending in "/") or a plain file.
    const char type = entry.mode.empty() ? '?' : entry.mode[0];
    if (type == 'l')
        return refuse("is a symbolic link");
    if (type != '-' && type != 'd' && type != '?')
        return refuse("is neither a plain file nor a directory");
    return true;
}

bool ArchiveListing::list(const std::string& unzip, const std::string& zipPath, std::vector<ArchiveEntry>& entries,
                          std::string& error)
{
    const std::string program = quoteArgument(unzip);
    const std::string zip = quoteArgument(zipPath);
    std::string names;
    std::string listing;
    std::string checksums;
    int status = 0;
    if (!capture(program + " -Z1 " + zip, names, status) || status != 0
        || !capture(program + " -Z " + zip, listing, status) || status != 0
        || !capture(program + " -v " + zip, checksums, status) || status != 0) {
        error = "the archive could not be listed with " + unzip;
        return false;
    }
    return parseListing(names, listing, entries, error) && parseChecksums(checksums, entries, error)
           && checkAll(entries, error);
}

bool ArchiveListing::checkAll(const std::vector<ArchiveEntry>& entries, std::string& error)
{
    long long total = 0;
    std::unordered_set<std::string> seen;
    seen.reserve(entries.size());
    for (const ArchiveEntry& entry : entries) {
        if (!checkEntry(entry, error))
            return false;
        // Two entries of one name would be unpacked into one another.
        std::string key = entry.name;
        if (key.back() == '/')
            key.pop_back();
        if (!seen.insert(std::move(key)).second) {
            error = "the archive entry \"" + entry.name + "\" appears twice";
            return false;
        }
        total += entry.size;
        if (total > MaxUnpackedBytes) {
            error = "the archive unpacks to more than " + std::to_string(MaxUnpackedBytes / (1024 * 1024)) + " MiB";
            return false;
        }
    }
    return true;
}

} // namespace Brask
