#include "core/profiles/ProfileDatabase.h"

#include "core/profiles/ProfileDefinitions.h"
#include "util/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace Brask {

namespace {

const char* const SupportPrefix = "KV_PROF_SUPPORT";
const char* const ConstPrefix = "KV_PROF_CONST";
const char* const BugPrefix = "KV_PROF_BUG";

bool hasPrefix(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the file into `out`: all of it, or with `firstLineOnly` no more than
// its first line (and never more than FirstLineLimit bytes). Only regular
// files count: a FIFO or a device (runtime.txt linked to /dev/zero) is
// treated as a file that cannot be opened, and opening one does not wait.
constexpr size_t FirstLineLimit = 4096;

bool readFile(const String& path, String& out, bool firstLineOnly = false)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    // The size is a hint only: files may change under us.
    size_t capacity = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 4096;
    if (firstLineOnly)
        capacity = std::min(capacity, FirstLineLimit);
    out.resize(capacity);
    size_t used = 0;
    for (;;) {
        if (used == out.size()) {
            if (firstLineOnly)
                break;
            out.resize(out.size() * 2);
        }
        const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            out.clear();
            return false;
        }
        if (n == 0)
            break;
        const size_t before = used;
        used += static_cast<size_t>(n);
        if (firstLineOnly && std::memchr(out.data() + before, '\n', static_cast<size_t>(n)))
            break;
    }
    ::close(fd);
    out.resize(used);
    return true;
}

// Calls `fn` for every line of `text` without its line end ("\n" or "\r\n").
// A last line without a line feed counts; the empty piece after a final line
// feed does not. A line is cut at a NUL byte, as the kit's C-string readers
// see it, so no NUL ever reaches names or paths.
template <typename Fn>
void forEachLine(std::string_view text, Fn fn)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        const size_t nul = line.find('\0');
        if (nul != std::string_view::npos)
            line = line.substr(0, nul);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        fn(line);
        start = next;
    }
}

// Signed decimal as strtol reads it: leading blanks, an optional sign, digits
// up to the first non-digit. No digits give 0; values beyond 32 bits are
// clamped so "99999999999" cannot wrap into an unrelated number.
int parseDecimal(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// One profile.h line into `device`. Only "#define" at the very start of the
// line, followed by whitespace and a name, counts.
void parseProfileLine(std::string_view line, Device& device, ProfileDefinitions& definitions, String& name)
{
    static constexpr std::string_view Define = "#define";
    if (!hasPrefix(line, Define) || line.size() == Define.size() || !isBlank(line[Define.size()]))
        return;
    size_t i = Define.size();
    while (i < line.size() && isBlank(line[i]))
        ++i;
    size_t end = i;
    while (end < line.size() && !isBlank(line[end]))
        ++end;
    if (end == i)
        return;
    const std::string_view macro = line.substr(i, end - i);
    // Tested in this order; the KV_PROF_CONST test must not see features.
    if (hasPrefix(macro, SupportPrefix)) {
        name.assign(macro);
        device.addFeature(definitions.lookup(name));
    } else if (hasPrefix(macro, ConstPrefix)) {
        name.assign(macro);
        device.addConstant(definitions.lookup(name), parseDecimal(line.substr(end)));
    } else if (hasPrefix(macro, BugPrefix)) {
        name.assign(macro);
        device.addFeature(definitions.lookup(name));
    }
}

bool isDirectoryEntry(const String& path, unsigned char type)
{
    if (type == DT_DIR)
        return true;
    if (type != DT_LNK && type != DT_UNKNOWN)
        return false;
    // A symlink counts when it leads to a directory. The walk never goes deeper
    // than two levels, so a link back up cannot make it loop; a link to itself
    // fails with ELOOP and is skipped like a dangling one.
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Names of the subdirectories of `path` in byte order, without those whose
// names begin with a dot ("." and "..", version-control directories...).
// Files are left out: they never contribute to the database.
Vector<String> listSubdirectories(const String& path)
{
    Vector<String> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        String name(entry->d_name);
        if (isDirectoryEntry(path + "/" + name, entry->d_type))
            names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

ProfileDatabase::ProfileDatabase() = default;

ProfileDatabase::~ProfileDatabase() = default;

void ProfileDatabase::clear()
{
    m_vendors.clear();
    m_features.clear();
    m_constants.clear();
    ++m_generation;
}

void ProfileDatabase::load(const String& root)
{
    String error;
    if (!read(root, error)) {
        diag("%s\n", error.c_str());
        std::exit(1);
    }
}

bool ProfileDatabase::read(const String& root, String& error, const std::atomic<bool>* cancelled)
{
    // ProfileDefinitions is one table for the whole process: a read on a
    // worker thread and one on the GUI thread must not fill it at once.
    static std::mutex readLock;
    std::lock_guard<std::mutex> hold(readLock);
    clear();
    error.clear();
    bool ok = loadDefinitions(root + "/definitions.txt", error);
    if (ok) {
        for (const String& vendor : listSubdirectories(root)) {
            if (!loadVendor(root + "/" + vendor, vendor, error, cancelled)) {
                ok = false;
                break;
            }
        }
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    return ok;
}

bool ProfileDatabase::definitionsReadable(const String& root, String& error)
{
    String buffer;
    if (readFile(root + "/definitions.txt", buffer, true))
        return true;
    error = "Couldn't open " + root + "/definitions.txt!";
    return false;
}

void ProfileDatabase::adopt(ProfileDatabase&& other)
{
    m_vendors = std::move(other.m_vendors);
    m_features = std::move(other.m_features);
    m_constants = std::move(other.m_constants);
    m_generation = std::max(m_generation, other.m_generation) + 1;
    other.clear();
}

bool ProfileDatabase::isLoadable(const String& root, String* error)
{
    // The same reads and the same directory walk as load(), without the exit.
    String buffer;
    if (!readFile(root + "/definitions.txt", buffer)) {
        if (error)
            *error = root + "/definitions.txt cannot be read";
        return false;
    }
    for (const String& vendor : listSubdirectories(root)) {
        const String vendorPath = root + "/" + vendor;
        for (const String& device : listSubdirectories(vendorPath)) {
            if (!readFile(vendorPath + "/" + device + "/runtime.txt", buffer, true)) {
                if (error)
                    *error = vendorPath + "/" + device + "/runtime.txt cannot be read";
                return false;
            }
        }
    }
    return true;
}

bool ProfileDatabase::loadDefinitions(const String& path, String& error)
{
    if (!readFile(path, m_buffer)) {
        error = "Couldn't open " + path + "!";
        return false;
    }
    forEachLine(m_buffer, [this](std::string_view line) {
        // A blank line defines nothing; taking it as an empty name would offer
        // an empty constant in the criterion dialogs.
        if (line.empty())
            return;
        const size_t comma = line.find(',');
        // Without a comma the whole line is the name and the display is empty.
        const String macro(line.substr(0, comma));
        const String display = comma == std::string_view::npos ? String() : String(line.substr(comma + 1));
        addDefinition(macro, display);
    });
    return true;
}

void ProfileDatabase::addDefinition(const String& macro, const String& display)
{
    ProfileDefinitions::instance().set(macro, display);
    if (hasPrefix(macro, SupportPrefix) || hasPrefix(macro, BugPrefix))
        m_features.emplace_back(macro, display);
    else
        m_constants.emplace_back(display, "kb");
}

bool ProfileDatabase::loadVendor(const String& path, const String& name, String& error,
                                 const std::atomic<bool>* cancelled)
{
    Vendor& vendor = addVendor(name, path + "/icon.png");
    for (const String& device : listSubdirectories(path)) {
        // Checked per device: a window that closes while its database is
        // still being read does not wait for the rest of it.
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return false;
        if (!loadDevice(vendor, path + "/" + device, device, error))
            return false;
    }
    return true;
}

bool ProfileDatabase::loadDevice(Vendor& vendor, const String& path, const String& name, String& error)
{
    Device& device = vendor.addDevice(name);
    if (!readFile(path + "/runtime.txt", m_buffer, true)) {
        error = "Error, " + path + "/runtime.txt could not be opened.";
        return false;
    }
    // Only the first line counts; an empty file gives the empty runtime.
    bool first = true;
    forEachLine(m_buffer, [&](std::string_view line) {
        if (first)
            device.setRuntime(String(line));
        first = false;
    });

    // A missing profile.h is silent: the device simply has no entries.
    if (!readFile(path + "/profile.h", m_buffer))
        return true;
    ProfileDefinitions& definitions = ProfileDefinitions::instance();
    String macro;
    forEachLine(m_buffer, [&](std::string_view line) { parseProfileLine(line, device, definitions, macro); });
    return true;
}

Vendor& ProfileDatabase::addVendor(const String& name, const String& iconPath)
{
    m_vendors.push_back(std::make_unique<Vendor>(name, iconPath));
    return *m_vendors.back();
}

size_t ProfileDatabase::deviceCount() const
{
    size_t count = 0;
    for (const auto& vendor : m_vendors)
        count += vendor->getDevices().size();
    return count;
}

const Device* ProfileDatabase::findDevice(const String& vendorName, const String& deviceName) const
{
    for (const auto& vendor : m_vendors) {
        if (vendor->getName() != vendorName)
            continue;
        for (const auto& device : vendor->getDevices()) {
            if (device->getName() == deviceName)
                return device.get();
        }
        return nullptr;
    }
    return nullptr;
}

} // namespace Brask
