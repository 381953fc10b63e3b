#include "core/update/EntrySplitter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace Brask {

EntrySplitter::EntrySplitter(std::string staging, const std::vector<ArchiveEntry>& entries)
    : m_staging(std::move(staging))
    , m_entries(entries)
{
}

EntrySplitter::~EntrySplitter()
{
    closeFile();
}

bool EntrySplitter::makeDirectories()
{
    for (const ArchiveEntry& entry : m_entries) {
        if (!entry.isDirectory())
            continue;
        std::string path = m_staging + "/" + entry.name;
        path.pop_back();
        std::error_code ec;
        fs::create_directories(path, ec);
        if (ec) {
            m_error = "the archive entry \"" + entry.name + "\" could not be unpacked: " + ec.message();
            return false;
        }
        m_directories.insert(std::move(path));
    }
    return true;
}

bool EntrySplitter::take(const char* data, size_t size)
{
    if (!m_error.empty())
        return false;
    // Also runs with no bytes left, to finish the empty entries that follow.
    while (size > 0 || (m_index < m_entries.size() && m_entries[m_index].size == m_written)) {
        if (m_index == m_entries.size()) {
            // More than the listed total (the reader's limit stops that first).
            m_error = overflow();
            return false;
        }
        if (!m_started && !startEntry())
            return false;
        const ArchiveEntry& entry = m_entries[m_index];
        const size_t piece = static_cast<size_t>(std::min<long long>(entry.size - m_written, size));
        if (piece > 0) {
            if (m_fd >= 0 && !write(data, piece))
                return false;
            m_crc = ::crc32(m_crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(piece));
        }
        m_written += static_cast<long long>(piece);
        data += piece;
        size -= piece;
        if (m_written == entry.size && !finishEntry())
            return false;
    }
    return true;
}

bool EntrySplitter::complete()
{
    if (!take(nullptr, 0))
        return false;
    if (m_index < m_entries.size()) {
        m_error = unlike(m_entries[m_index]);
        return false;
    }
    return true;
}

std::string EntrySplitter::overflow() const
{
    return m_entries.empty() ? std::string("the archive unpacks to more than its listing gives")
                             : unlike(m_entries[std::min(m_index, m_entries.size() - 1)]);
}

std::string EntrySplitter::unlike(const ArchiveEntry& entry)
{
    return "the archive entry \"" + entry.name + "\" does not unpack to the " + std::to_string(entry.size)
           + " bytes its listing gives";
}

bool EntrySplitter::startEntry()
{
    const ArchiveEntry& entry = m_entries[m_index];
    m_started = true;
    m_written = 0;
    m_crc = ::crc32(0, nullptr, 0);
    // A directory's bytes are only counted and checked.
    return entry.isDirectory() || openNewFile(m_staging + "/" + entry.name);
}

bool EntrySplitter::openNewFile(const std::string& path)
{
    const ArchiveEntry& entry = m_entries[m_index];
    if (!makeParent(path))
        return false;
    // A new file, never an existing one: a name already there (a link shared
    // with the installed database) is unlinked first, never written into.
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    m_fd = ::open(path.c_str(), flags, 0644);
    if (m_fd < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0)
        m_fd = ::open(path.c_str(), flags, 0644);
    if (m_fd < 0) {
        m_error = "the archive entry \"" + entry.name + "\" could not be unpacked: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool EntrySplitter::makeParent(const std::string& path)
{
    const std::string parent = path.substr(0, path.rfind('/'));
    if (m_directories.count(parent))
        return true;
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) {
        m_error = "the archive entry \"" + m_entries[m_index].name + "\" could not be unpacked: " + ec.message();
        return false;
    }
    m_directories.insert(parent);
    return true;
}

bool EntrySplitter::write(const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = "the archive entry \"" + m_entries[m_index].name + "\" could not be written: "
                      + (n < 0 ? std::strerror(errno) : "nothing could be written");
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool EntrySplitter::finishEntry()
{
    const ArchiveEntry& entry = m_entries[m_index];
    if (!closeFile()) {
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
    m_started = false;
    m_written = 0;
    return true;
}

bool EntrySplitter::closeFile()
{
    if (m_fd < 0)
        return true;
    const bool ok = ::close(m_fd) == 0;
    m_fd = -1;
    return ok;
}

} // namespace Brask
