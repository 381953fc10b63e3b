#include "app/output/OutputTranscript.h"

#include <QSaveFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

OutputTranscript::OutputTranscript()
    : m_file(std::tmpfile())
{
}

OutputTranscript::~OutputTranscript()
{
    if (m_file)
        std::fclose(m_file);
}

void OutputTranscript::append(const char* data, size_t size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (size == 0)
        return;
    if (!m_file || std::fwrite(data, 1, size, m_file) != size)
        m_incomplete = true;
    m_size += size;
}

void OutputTranscript::clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_size = 0;
    m_incomplete = false;
    if (!m_file)
        return;
    std::fflush(m_file);
    if (::ftruncate(fileno(m_file), 0) != 0)
        m_incomplete = true;
    std::rewind(m_file);
}

unsigned long long OutputTranscript::size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_size;
}

bool OutputTranscript::saveTo(const std::string& path, std::string* error) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason.toStdString();
        return false;
    };
    if (!m_file || m_incomplete)
        return fail(QStringLiteral("part of the output could not be kept in the temporary directory"));
    std::fflush(m_file);
    // Streamed through a buffer: the transcript may be far larger than
    // what should be held in memory at once.
    QSaveFile out(QString::fromStdString(path));
    if (!out.open(QIODevice::WriteOnly))
        return fail(out.errorString());
    std::vector<char> buffer(1 << 16);
    const int in = fileno(m_file);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(in, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (got == 0)
            break;
        if (out.write(buffer.data(), got) != got)
            return fail(out.errorString());
        offset += got;
    }
    if (!out.commit())
        return fail(out.errorString());
    return true;
}
