#include "Formats.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Lintel {

namespace {

const char kLibraryHeader[] = "VARNEL-LIBRARY 1";

// Reads one line starting at `pos`; false at the end of the data.
bool nextLine(const std::string& data, size_t& pos, std::string& line)
{
    std::string_view view;
    if (!ToolText::nextLine(data, pos, view))
        return false;
    if (!view.empty() && view.back() == '\r')
        view.remove_suffix(1);
    line = view;
    return true;
}

bool parseSize(const std::string& text, size_t& value)
{
    if (text.empty() || text.size() > 15)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<size_t>(c - '0');
    }
    return true;
}

} // namespace

std::string writeLibrary(const std::vector<Entry>& members)
{
    std::string out = std::string(kLibraryHeader) + "\n";
    for (const Entry& m : members) {
        out += "member " + std::to_string(m.content.size()) + " " + m.name + "\n";
        out += m.content;
        out += "\n";
    }
    out += "end\n";
    return out;
}

bool readLibrary(const std::string& data, std::vector<Entry>& members, std::string* error)
{
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    size_t pos = 0;
    std::string line;
    if (!nextLine(data, pos, line) || line != kLibraryHeader)
        return fail("not a lintel library (the first line is not \"" + std::string(kLibraryHeader) + "\")");
    for (;;) {
        const size_t lineStart = pos;
        if (!nextLine(data, pos, line))
            return fail("damaged library: no \"end\" line");
        if (line == "end")
            return true;
        if (line.rfind("member ", 0) != 0)
            return fail("damaged library: unexpected line at byte " + std::to_string(lineStart));
        const size_t space = line.find(' ', 7);
        size_t size = 0;
        if (space == std::string::npos || !parseSize(line.substr(7, space - 7), size) || space + 1 >= line.size())
            return fail("damaged library: bad member line at byte " + std::to_string(lineStart));
        if (pos > data.size() || size > data.size() - pos || size + 1 > data.size() - pos || data[pos + size] != '\n')
            return fail("damaged library: member " + line.substr(space + 1) + " runs past the end of the file");
        members.push_back({line.substr(space + 1), data.substr(pos, size)});
        pos += size + 1;
    }
}

std::string writeResources(const std::vector<Entry>& resources)
{
    std::string out = "VARNEL-RESOURCES 1\ncount " + std::to_string(resources.size()) + "\n";
    size_t index = 0;
    for (const Entry& r : resources) {
        out += "resource " + std::to_string(index++) + " " + std::to_string(r.content.size()) + " " + r.name + "\n";
        out += r.content;
        out += "\n";
    }
    return out;
}

std::string writeProgram(const std::vector<std::string>& inputs, const std::vector<Symbol>& symbols,
                         const std::vector<std::string>& libraries)
{
    std::string out = "VARNEL-PROGRAM 1\n";
    bool hasMain = false;
    for (const std::string& i : inputs)
        out += "input " + i + "\n";
    for (const Symbol& s : symbols) {
        out += s.kind + " " + s.name + "\n";
        hasMain = hasMain || s.name == "main";
    }
    for (const std::string& l : libraries)
        out += "library " + l + "\n";
    if (hasMain)
        out += "entry main\n";
    out += "end\n";
    return out;
}

bool readWholeFile(const std::string& path, std::string& content)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    content.clear();
    struct stat st;
    if (::fstat(::fileno(f), &st) == 0 && st.st_size > 0)
        content.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        content.append(buf, n);
    const bool ok = !std::ferror(f);
    const int savedErrno = errno;
    std::fclose(f);
    errno = savedErrno;
    return ok;
}

FileWriter::FileWriter(const std::string& path)
    : m_path(path)
    , m_temp(path + ".lintel-tmp")
{
    m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0)
        m_error = std::strerror(errno);
}

FileWriter::~FileWriter()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temp.c_str());
    }
}

bool FileWriter::fail(const char* what)
{
    m_error = std::string(what) + ": " + std::strerror(errno);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temp.c_str());
    return false;
}

bool FileWriter::write(std::string_view data)
{
    if (m_fd < 0)
        return false;
    while (!data.empty()) {
        const ssize_t n = ::write(m_fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return fail("write failed");
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool FileWriter::commit(std::string* error)
{
    bool ok = m_fd >= 0;
    if (ok) {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
            ok = fail("write failed");
        else if (::rename(m_temp.c_str(), m_path.c_str()) != 0)
            ok = fail("cannot replace the file");
    }
    if (!ok && error)
        *error = m_error;
    return ok;
}

bool writeWholeFile(const std::string& path, const std::string& content, std::string* error)
{
    FileWriter out(path);
    out.write(content);
    return out.commit(error);
}

} // namespace Lintel
