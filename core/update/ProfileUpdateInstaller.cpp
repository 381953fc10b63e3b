#include "core/update/ProfileUpdateInstaller.h"

#include "core/update/InstallLock.h"

#include "core/update/ZipEntryReader.h"
#include "core/profiles/ProfileDatabase.h"
#include "platform/ProcessRunner.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

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

ProfileUpdateInstaller::ProfileUpdateInstaller(const KVUtil::String& root)
    : m_root(root)
{
}

bool ProfileUpdateInstaller::parseListing(const std::string& names, const std::string& longListing,
                                          std::vector<Entry>& entries, std::string& error)
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
        entries.push_back(Entry{f[0], std::stoll(f[3]), name});
    }
    return true;
}

bool ProfileUpdateInstaller::parseChecksums(const std::string& verboseListing, std::vector<Entry>& entries,
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

bool ProfileUpdateInstaller::checkEntry(const Entry& entry, std::string& error)
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

bool ProfileUpdateInstaller::listArchive(const KVUtil::String& zipPath, std::vector<Entry>& entries,
                                         std::string& error)
{
    const std::string unzip = quoteArgument(m_root + "/bin/unzip");
    const std::string zip = quoteArgument(zipPath);
    std::string names;
    std::string listing;
    std::string checksums;
    int status = 0;
    if (!capture(unzip + " -Z1 " + zip, names, status) || status != 0
        || !capture(unzip + " -Z " + zip, listing, status) || status != 0
        || !capture(unzip + " -v " + zip, checksums, status) || status != 0) {
        error = "the archive could not be listed with " + m_root + "/bin/unzip";
        return false;
    }
    if (!parseListing(names, listing, entries, error) || !parseChecksums(checksums, entries, error))
        return false;
    long long total = 0;
    std::set<std::string> seen;
    for (const Entry& entry : entries) {
        if (!checkEntry(entry, error))
            return false;
        // Two entries of one name would be unpacked into one another.
        std::string key = entry.name;
        if (key.back() == '/')
            key.pop_back();
        if (!seen.insert(key).second) {
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

bool ProfileUpdateInstaller::stoppedBeforeSwap(const std::atomic<bool>* cancelled, std::string& error)
{
    // The last moment a cancel can still leave everything as it was.
    if (!cancelled || !cancelled->load())
        return false;
    m_cancelled = true;
    error = "the update was cancelled";
    return true;
}

void ProfileUpdateInstaller::removeStaging()
{
    std::error_code ec;
    fs::remove_all(stagingDirectory(), ec);
}

bool ProfileUpdateInstaller::stage(std::string& error)
{
    removeStaging();
    std::error_code ec;
    const fs::path staging(stagingDirectory());
    fs::create_directory(staging, ec);
    if (!ec) {
        // Links inside today's database are copied as what they lead to, so
        // the unpack can never write through one.
        fs::copy(fs::path(m_root + "/profiles"), staging / "profiles", fs::copy_options::recursive, ec);
    }
    if (ec) {
        error = "the profile database could not be copied to " + stagingDirectory() + ": " + ec.message();
        return false;
    }
    return true;
}

namespace {

// One unzip reads this many entries, or entries whose names take this many
// bytes on its command line: few enough starts that unzip's reading of the
// whole central directory each time does not dominate.
constexpr size_t BatchEntries = 256;
constexpr size_t BatchNameBytes = 64 * 1024;

// Splits the stream of a batch's entries by their listed sizes into the
// staged files, checking each file's checksum against the listing.
class BatchWriter {
public:
    BatchWriter(std::string staging, const std::vector<const ProfileUpdateInstaller::Entry*>& batch)
        : m_staging(std::move(staging))
        , m_batch(batch)
    {
    }
    ~BatchWriter() { closeFile(); }

    // The sink of ZipEntryReader.
    bool take(const char* data, size_t size)
    {
        while (size > 0 || (m_index < m_batch.size() && m_batch[m_index]->size == m_written)) {
            if (m_index == m_batch.size()) {
                // More than the listed total (the reader's limit stops that first).
                m_error = overflow();
                return false;
            }
            if (m_fd < 0 && !openNext())
                return false;
            const auto& entry = *m_batch[m_index];
            const size_t piece = static_cast<size_t>(std::min<long long>(entry.size - m_written, size));
            if (!write(data, piece))
                return false;
            if (piece > 0)
                m_crc = ::crc32(m_crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(piece));
            m_written += static_cast<long long>(piece);
            data += piece;
            size -= piece;
            if (m_written == entry.size && !finishFile())
                return false;
        }
        return true;
    }

    // After unzip has ended: every file must have come whole.
    bool complete()
    {
        if (!take(nullptr, 0))
            return false;
        if (m_index < m_batch.size()) {
            m_error = unlike(*m_batch[m_index]);
            return false;
        }
        return true;
    }
    // Where a stream that ran past the batch's total was when it did.
    std::string overflow() const { return unlike(*m_batch[std::min(m_index, m_batch.size() - 1)]); }
    const std::string& error() const { return m_error; }

private:
    static std::string unlike(const ProfileUpdateInstaller::Entry& entry)
    {
        return "the archive entry \"" + entry.name + "\" does not unpack to the " + std::to_string(entry.size)
               + " bytes its listing gives";
    }
    bool openNext()
    {
        const auto& entry = *m_batch[m_index];
        const std::string path = m_staging + "/" + entry.name;
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        // Never through a link: the staging tree holds none, and none may appear.
        m_fd = ec ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            m_error = "the archive entry \"" + entry.name
                      + "\" could not be unpacked: " + (ec ? ec.message() : std::string(std::strerror(errno)));
            return false;
        }
        m_written = 0;
        m_crc = ::crc32(0, nullptr, 0);
        return true;
    }
    bool write(const char* data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = "the archive entry \"" + m_batch[m_index]->name + "\" could not be written: "
                          + (n < 0 ? std::strerror(errno) : "nothing could be written");
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool finishFile()
    {
        const auto& entry = *m_batch[m_index];
        const bool closed = closeFile();
        if (!closed) {
            m_error = "the archive entry \"" + entry.name + "\" could not be written: " + std::strerror(errno);
            return false;
        }
        // Sizes that lie in opposite directions would still add up: the
        // checksum shows the bytes belong to this entry.
        if (m_crc != entry.crc) {
            m_error = "the archive entry \"" + entry.name + "\" does not match its listed checksum";
            return false;
        }
        ++m_index;
        m_written = 0;
        return true;
    }
    bool closeFile()
    {
        if (m_fd < 0)
            return true;
        const bool ok = ::close(m_fd) == 0;
        m_fd = -1;
        return ok;
    }

    std::string m_staging;
    const std::vector<const ProfileUpdateInstaller::Entry*>& m_batch;
    size_t m_index = 0;
    int m_fd = -1;
    long long m_written = 0;
    uLong m_crc = 0;
    std::string m_error;
};

} // namespace

bool ProfileUpdateInstaller::unpackFiles(const KVUtil::String& zipPath,
                                         const std::vector<const Entry*>& batch, std::string& error,
                                         const std::atomic<bool>* cancelled)
{
    std::vector<std::string> names;
    long long listed = 0;
    for (const Entry* entry : batch) {
        names.push_back(entry->name);
        listed += entry->size;
    }
    // Not one byte more than the listing gives, nor than the whole archive's
    // budget has left.
    const long long limit = std::min(listed, MaxUnpackedBytes - m_unpackedBytes);
    BatchWriter writer(stagingDirectory(), batch);
    ZipEntryReader reader(m_root + "/bin/unzip");
    long long bytes = 0;
    std::string readError;
    const ZipEntryReader::Result result = reader.read(
        zipPath, names, limit, [&](const char* data, size_t size) { return writer.take(data, size); }, cancelled,
        bytes, readError);
    switch (result) {
    case ZipEntryReader::Cancelled:
        m_cancelled = true;
        error = "the update was cancelled";
        return false;
    case ZipEntryReader::TooLarge:
        error = limit < listed ? "the archive unpacks to more than " + std::to_string(MaxUnpackedBytes / (1024 * 1024))
                                     + " MiB"
                               : writer.overflow();
        return false;
    case ZipEntryReader::Failed:
        error = !writer.error().empty() ? writer.error() : readError;
        return false;
    case ZipEntryReader::Read:
        break;
    }
    if (!writer.complete()) {
        error = writer.error();
        return false;
    }
    m_unpackedBytes += bytes;
    m_unpackedEntries += batch.size();
    return true;
}

bool ProfileUpdateInstaller::unpack(const KVUtil::String& zipPath, const std::vector<Entry>& entries,
                                    std::string& error, const std::atomic<bool>* cancelled)
{
    diag("Unpacking %s into %s, entry by entry...\n", zipPath.c_str(), stagingDirectory().c_str());
    m_unpackedEntries = 0;
    m_unpackedBytes = 0;
    std::vector<const Entry*> batch;
    size_t nameBytes = 0;
    for (const Entry& entry : entries) {
        if (entry.name.back() == '/') {
            std::error_code ec;
            fs::create_directories(stagingDirectory() + "/" + entry.name, ec);
            if (ec) {
                error = "the archive entry \"" + entry.name + "\" could not be unpacked: " + ec.message();
                return false;
            }
            ++m_unpackedEntries;
            continue;
        }
        batch.push_back(&entry);
        nameBytes += entry.name.size();
        if (batch.size() == BatchEntries || nameBytes >= BatchNameBytes) {
            if (!unpackFiles(zipPath, batch, error, cancelled))
                return false;
            batch.clear();
            nameBytes = 0;
        }
    }
    if (!batch.empty() && !unpackFiles(zipPath, batch, error, cancelled))
        return false;
    diag("Unpacked %zu entries, %lld bytes\n", m_unpackedEntries, m_unpackedBytes);
    return true;
}

bool ProfileUpdateInstaller::verifyUnpacked(const std::vector<Entry>& entries, std::string& error)
{
    // What unzip made must be what the listing promised: a plain file or a
    // directory at exactly the listed name.
    for (const Entry& entry : entries) {
        std::string path = stagingDirectory() + "/" + entry.name;
        const bool directory = path.back() == '/';
        if (directory)
            path.pop_back();
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || (directory ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))) {
            error = "the archive entry \"" + entry.name + "\" was not unpacked as listed";
            return false;
        }
    }
    String reason;
    if (!ProfileDatabase::isLoadable(stagingDirectory() + "/profiles/vendors", &reason)) {
        // Name the file inside the database, not the staging path.
        const String prefix = stagingDirectory() + "/";
        if (reason.rfind(prefix, 0) == 0)
            reason = reason.substr(prefix.size());
        error = "the new profile database is incomplete (" + reason + ")";
        return false;
    }
    return true;
}

bool ProfileUpdateInstaller::swapIntoPlace(std::string& error)
{
    const String installed = m_root + "/profiles";
    const String fresh = stagingDirectory() + "/profiles";
    // Readers load the database under the shared lock: none of them may be
    // half-way through the old one when the new one takes its place.
    InstallLock readers(m_root, InstallLock::Database);
    if (readers.acquire(ReaderWaitMilliseconds, nullptr, error) != InstallLock::Taken) {
        if (error.empty())
            error = "another copy of VarBuild kept reading the profile database";
        return false;
    }
    // One step where the file system allows it: the old database moves into
    // the staging directory in the same instant the new one takes its place.
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, installed.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        error = "the new profile database could not be moved into place: " + std::string(std::strerror(errno));
        return false;
    }
    const String old = stagingDirectory() + "/profiles.old";
    if (::rename(installed.c_str(), old.c_str()) != 0) {
        error = "the new profile database could not be moved into place: " + std::string(std::strerror(errno));
        return false;
    }
    if (::rename(fresh.c_str(), installed.c_str()) != 0) {
        error = "the new profile database could not be moved into place: " + std::string(std::strerror(errno));
        if (::rename(old.c_str(), installed.c_str()) != 0)
            diag("Could not move %s back to %s!\n", old.c_str(), installed.c_str());
        return false;
    }
    return true;
}

bool ProfileUpdateInstaller::install(const KVUtil::String& zipPath, std::string& error,
                                     const std::atomic<bool>* cancelled)
{
    m_cancelled = false;
    std::vector<Entry> entries;
    const bool ok = listArchive(zipPath, entries, error) && stage(error) && unpack(zipPath, entries, error, cancelled)
                    && verifyUnpacked(entries, error) && !stoppedBeforeSwap(cancelled, error) && swapIntoPlace(error);
    if (!ok)
        diag("Profile update refused: %s\n", error.c_str());
    removeStaging();
    return ok;
}

} // namespace Brask
