#pragma once
// Output kept back until its turn: held in memory up to a limit, beyond it in
// an unnamed temporary file, and read back oldest first piece by piece, so a
// command that prints a flood while it waits costs disk rather than memory.
// Not thread-safe: the caller serialises appends and reads.

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace Brask {

class OutputSpool {
public:
    explicit OutputSpool(size_t memoryLimit);
    ~OutputSpool();
    OutputSpool(const OutputSpool&) = delete;
    OutputSpool& operator=(const OutputSpool&) = delete;

    void append(const char* data, size_t size);
    // Up to `max` bytes of what has not been read yet, in the order appended;
    // empty once everything has been read.
    std::string read(size_t max);
    bool empty() const { return m_fileRead == m_fileWritten && m_memoryRead == m_memory.size(); }

    // Bytes held in memory now (at most the limit plus one append).
    size_t memoryBytes() const { return m_memory.size(); }
    // Whether part of the output went to the temporary file.
    bool spilled() const { return m_fd >= 0; }
    // Whether more output would only grow memory past the limit: the file
    // could not be had or refused more (a full disk), and memory holds its
    // share. The caller then waits for reads rather than append.
    bool full() const { return m_fileFailed && m_memory.size() - m_memoryRead >= m_limit; }

private:
    // Moves what memory holds to the end of the file; when the file cannot
    // be had or written, memory keeps it (nothing is lost) and takes every
    // later append too.
    void spill();

    size_t m_limit;
    std::string m_memory;
    size_t m_memoryRead = 0;
    int m_fd = -1;
    // The file's unread part, [m_fileRead, m_fileWritten), precedes memory's.
    off_t m_fileWritten = 0;
    off_t m_fileRead = 0;
    bool m_fileFailed = false;
};

} // namespace Brask
