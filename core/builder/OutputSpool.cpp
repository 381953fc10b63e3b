#include "core/builder/OutputSpool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace Brask {

namespace {

// An unnamed file in TMPDIR (or /tmp): it goes when the descriptor closes,
// even after a crash.
int openUnnamedFile()
{
    const char* directory = std::getenv("TMPDIR");
    std::string pattern = std::string(directory && *directory ? directory : "/tmp") + "/varbuild-spool-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(pattern.c_str());
    return fd;
}

// Bytes written, which is less than `size` only when the file refused more.
size_t writeAll(int fd, const char* data, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t wrote = ::pwrite(fd, data + done, size - done, offset + off_t(done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            break;
        done += size_t(wrote);
    }
    return done;
}

} // namespace

OutputSpool::OutputSpool(size_t memoryLimit)
    : m_limit(memoryLimit)
{
}

OutputSpool::~OutputSpool()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void OutputSpool::append(const char* data, size_t size)
{
    if (size == 0)
        return;
    // Once the file is in use, memory stays empty and the file takes the rest.
    if (m_fd >= 0 && !m_fileFailed && m_memoryRead == m_memory.size()) {
        const size_t wrote = writeAll(m_fd, data, size, m_fileWritten);
        m_fileWritten += off_t(wrote);
        if (wrote == size)
            return;
        m_fileFailed = true;
        data += wrote;
        size -= wrote;
    }
    m_memory.append(data, size);
    if (!m_fileFailed && m_memory.size() - m_memoryRead > m_limit)
        spill();
}

void OutputSpool::spill()
{
    if (m_fd < 0)
        m_fd = openUnnamedFile();
    if (m_fd < 0) {
        m_fileFailed = true;
        return;
    }
    const size_t unread = m_memory.size() - m_memoryRead;
    const size_t wrote = writeAll(m_fd, m_memory.data() + m_memoryRead, unread, m_fileWritten);
    m_fileWritten += off_t(wrote);
    m_memoryRead += wrote;
    if (wrote < unread)
        m_fileFailed = true;
    m_memory.erase(0, m_memoryRead);
    m_memoryRead = 0;
    if (m_memory.empty())
        std::string().swap(m_memory);
}

std::string OutputSpool::read(size_t max)
{
    std::string piece;
    if (max == 0)
        return piece;
    if (m_fileRead < m_fileWritten) {
        piece.resize(std::min<size_t>(max, size_t(m_fileWritten - m_fileRead)));
        ssize_t got;
        do
            got = ::pread(m_fd, piece.data(), piece.size(), m_fileRead);
        while (got < 0 && errno == EINTR);
        if (got <= 0) {
            // Our own file failed to give back what it took: what it holds is
            // gone, and the output goes on with what memory holds.
            m_fileRead = m_fileWritten;
            piece.clear();
        } else {
            piece.resize(size_t(got));
            m_fileRead += got;
        }
        // All read back: the file starts over rather than growing.
        if (m_fileRead == m_fileWritten && !m_fileFailed && ::ftruncate(m_fd, 0) == 0)
            m_fileRead = m_fileWritten = 0;
        if (!piece.empty())
            return piece;
    }
    const size_t take = std::min(max, m_memory.size() - m_memoryRead);
    piece.assign(m_memory, m_memoryRead, take);
    m_memoryRead += take;
    if (m_memoryRead == m_memory.size()) {
        m_memory.clear();
        m_memoryRead = 0;
    } else if (m_memoryRead > (1u << 20) && m_memoryRead > m_memory.size() / 2) {
        m_memory.erase(0, m_memoryRead);
        m_memoryRead = 0;
    }
    return piece;
}

} // namespace Brask
