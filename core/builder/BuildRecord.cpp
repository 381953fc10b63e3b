#include "core/builder/BuildRecord.h"

#include "util/AtomicFile.h"
#include "util/Version.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Brask {

namespace {

const char kMagic[8] = {'V', 'B', 'R', 'E', 'C', 'O', 'R', 'D'};
// No path, command or list in a record comes near this; a larger length is
// damage, not data.
constexpr uint32_t kMaxText = 64u * 1024 * 1024;

void putU32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

void putU64(std::string& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xff);
}

void putText(std::string& out, const std::string& text)
{
    putU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

void putStates(std::string& out, const FileStates& states)
{
    putU32(out, static_cast<uint32_t>(states.size()));
    for (const auto& [path, state] : states) {
        putText(out, path);
        out += static_cast<char>(state.exists ? 1 : 0);
        putU64(out, state.size);
        putU64(out, static_cast<uint64_t>(state.seconds));
        putU32(out, state.nanoseconds);
    }
}

uint32_t checksum(const char* data, size_t size)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), piece);
        data += piece;
        size -= piece;
    }
    return static_cast<uint32_t>(crc);
}

// Reads from a byte view; every read checks what remains and fails instead
// of reading past the end.
class Reader {
public:
    Reader(const char* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    size_t offset() const { return m_offset; }
    size_t remaining() const { return m_size - m_offset; }

    bool u8(uint8_t& value)
    {
        if (remaining() < 1)
            return false;
        value = static_cast<uint8_t>(m_data[m_offset++]);
        return true;
    }

    bool u32(uint32_t& value)
    {
        if (remaining() < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(static_cast<uint8_t>(m_data[m_offset + i])) << (8 * i);
        m_offset += 4;
        return true;
    }

    bool u64(uint64_t& value)
    {
        if (remaining() < 8)
            return false;
        value = 0;
        for (int i = 0; i < 8; ++i)
            value |= static_cast<uint64_t>(static_cast<uint8_t>(m_data[m_offset + i])) << (8 * i);
        m_offset += 8;
        return true;
    }

    bool text(std::string& value)
    {
        uint32_t length = 0;
        if (!u32(length) || length > kMaxText || length > remaining())
            return false;
        value.assign(m_data + m_offset, length);
        m_offset += length;
        return true;
    }

    bool states(FileStates& out)
    {
        uint32_t count = 0;
        // Each state takes at least 25 bytes: a count beyond what remains is
        // damage, found before anything is allocated for it.
        if (!u32(count) || count > remaining() / 25)
            return false;
        out.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            std::string path;
            uint8_t exists = 0;
            FileState state;
            uint64_t seconds = 0;
            if (!text(path) || !u8(exists) || exists > 1 || !u64(state.size) || !u64(seconds)
                || !u32(state.nanoseconds) || state.nanoseconds >= 1000000000u)
                return false;
            state.exists = exists == 1;
            state.seconds = static_cast<int64_t>(seconds);
            out.emplace_back(std::move(path), state);
        }
        return true;
    }

private:
    const char* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

bool readWhole(const std::string& path, std::string& bytes, bool& missing, std::string& why)
{
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > BuildRecord::kMaxSize) {
        why = S_ISREG(st.st_mode) ? "it is too large" : "it is not a regular file";
        ::close(fd);
        return false;
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    ::close(fd);
    return true;
}

} // namespace

FileState FileState::of(const std::string& path)
{
    FileState state;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return state;
    state.exists = true;
    state.size = static_cast<uint64_t>(st.st_size);
    state.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
    state.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
    return state;
}

BuildRecord::BuildRecord(std::string path)
    : m_path(std::move(path))
{
}

std::string BuildRecord::encodeHeader(const std::string& programVersion)
{
    std::string out(kMagic, sizeof kMagic);
    putU32(out, kFormatVersion);
    putText(out, programVersion);
    return out;
}

std::string BuildRecord::encodeEntry(const std::string& key, const RecordedStep& step)
{
    std::string payload;
    putText(payload, key);
    putText(payload, step.command);
    putStates(payload, step.inputs);
    putStates(payload, step.outputs);
    std::string out;
    putU32(out, static_cast<uint32_t>(payload.size()));
    putU32(out, checksum(payload.data(), payload.size()));
    return out + payload;
}

BuildRecord::Status BuildRecord::decode(const std::string& bytes, const std::string& programVersion,
                                        std::map<std::string, RecordedStep>& entries, std::string* problem)
{
    auto damaged = [problem](const std::string& why) {
        if (problem)
            *problem = why;
        return Status::Damaged;
    };
    Reader header(bytes.data(), bytes.size());
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        return damaged("it does not begin as a build record does");
    for (size_t i = 0; i < sizeof kMagic; ++i) {
        uint8_t skip;
        header.u8(skip);
    }
    uint32_t format = 0;
    if (!header.u32(format))
        return damaged("its header is cut short");
    if (format != kFormatVersion)
        return Status::OtherVersion;
    std::string writer;
    if (!header.text(writer))
        return damaged("its header is cut short");
    if (writer != programVersion)
        return Status::OtherVersion;

    size_t offset = header.offset();
    for (int number = 1; offset < bytes.size(); ++number) {
        const std::string where = "entry " + std::to_string(number) + " at byte " + std::to_string(offset);
        Reader frame(bytes.data() + offset, bytes.size() - offset);
        uint32_t length = 0, sum = 0;
        if (!frame.u32(length) || !frame.u32(sum) || length > frame.remaining())
            return damaged(where + " is cut short");
        const char* payload = bytes.data() + offset + 8;
        if (checksum(payload, length) != sum)
            return damaged(where + " does not match its checksum");
        Reader body(payload, length);
        std::string key;
        RecordedStep step;
        if (!body.text(key) || !body.text(step.command) || !body.states(step.inputs) || !body.states(step.outputs)
            || body.remaining() != 0)
            return damaged(where + " is malformed");
        entries[key] = std::move(step);
        offset += 8 + length;
    }
    return Status::Read;
}

BuildRecord::Status BuildRecord::load()
{
    m_entries.clear();
    m_problem.clear();
    m_appendable = false;
    m_fileSize = 0;
    std::string bytes;
    bool missing = false;
    std::string why;
    if (!readWhole(m_path, bytes, missing, why)) {
        m_status = missing ? Status::Missing : Status::Damaged;
        if (!missing)
            m_problem = "it cannot be read: " + why;
        return m_status;
    }
    m_status = decode(bytes, VarBuildVersion, m_entries, &m_problem);
    if (m_status == Status::OtherVersion)
        m_entries.clear();
    m_appendable = m_status == Status::Read;
    m_fileSize = bytes.size();
    return m_status;
}

const RecordedStep* BuildRecord::find(const std::string& key) const
{
    const auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : &it->second;
}

bool BuildRecord::store(const std::string& key, RecordedStep step, std::string* error)
{
    const std::string bytes = encodeEntry(key, step);
    m_entries[key] = std::move(step);
    if (!m_appendable)
        return rewrite(error);
    return append(bytes, error);
}

bool BuildRecord::append(const std::string& bytes, std::string* error)
{
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        // Gone since it was read (or never there): start it anew.
        if (errno == ENOENT)
            return rewrite(error);
        if (error)
            *error = "cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    const bool sized = ::fstat(fd, &st) == 0;
    // One write for the whole entry, so a second copy of VarBuild appending
    // at the same time cannot interleave with it.
    ssize_t written;
    do
        written = ::write(fd, bytes.data(), bytes.size());
    while (written < 0 && errno == EINTR);
    const int writeError = errno;
    if (written != static_cast<ssize_t>(bytes.size())) {
        // A short write (full disk) leaves a torn entry: cut it off again.
        if (written > 0 && sized && ::ftruncate(fd, st.st_size) != 0)
            m_appendable = false;
        ::close(fd);
        if (error)
            *error = "cannot write " + m_path + ": "
                + (written < 0 ? std::strerror(writeError) : std::string("the disk took only part of it"));
        return false;
    }
    ::close(fd);
    m_fileSize += bytes.size();
    return true;
}

bool BuildRecord::rewrite(std::string* error)
{
    std::string bytes = encodeHeader(VarBuildVersion);
    for (const auto& [key, step] : m_entries)
        bytes += encodeEntry(key, step);
    if (!writeFileAtomically(m_path, bytes, error))
        return false;
    m_appendable = true;
    m_fileSize = bytes.size();
    return true;
}

bool BuildRecord::compactIfLarge(std::string* error)
{
    if (!m_appendable)
        return true;
    uint64_t live = encodeHeader(VarBuildVersion).size();
    for (const auto& [key, step] : m_entries)
        live += encodeEntry(key, step).size();
    // Replaced entries are dropped once they make up half the file; below a
    // size where reading costs nothing the file is left as it grew.
    if (m_fileSize <= 2 * live + 64 * 1024)
        return true;
    return rewrite(error);
}

} // namespace Brask
