#include "util/PathUtil.h"

#include "util/Strtoul32.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Brask {

namespace {

// Absolute, lexically normalised form: "." and ".." components resolved,
// repeated separators collapsed. A trailing separator of the input is kept.
String fullPathName(const String& path)
{
    String p = path;
    if (p.empty() || p[0] != '/') {
        String cwd = currentDirectory();
        p = cwd + (cwd.empty() || cwd.back() != '/' ? "/" : "") + p;
    }
    const bool trailing = p.size() > 1 && p.back() == '/';
    Vector<String> parts;
    size_t i = 0;
    while (i < p.size()) {
        while (i < p.size() && p[i] == '/')
            ++i;
        size_t j = i;
        while (j < p.size() && p[j] != '/')
            ++j;
        String part = p.substr(i, j - i);
        i = j;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    String out = "/" + join(parts, "/");
    if (trailing && out.size() > 1)
        out += '/';
    return out;
}

} // namespace

String currentDirectory()
{
    Vector<char> buf(256);
    for (;;) {
        if (getcwd(buf.data(), buf.size()))
            return String(buf.data());
        if (errno != ERANGE)
            return String();
        buf.resize(buf.size() * 2);
    }
}

String toBackslashes(const String& path)
{
    String out = path;
    for (char& c : out)
        if (c == '/')
            c = '\\';
    return out;
}

String toSlashes(const String& path)
{
    String out = path;
    for (char& c : out)
        if (c == '\\')
            c = '/';
    return out;
}

String relativePath(const String& base, const String& path)
{
    if (base.empty() || path.empty())
        return String();
    String from = fullPathName(base);
    String to = fullPathName(path);
    Vector<String> fromParts = split(from.substr(1), "/");
    Vector<String> toParts = split(to.substr(1), "/");
    if (!fromParts.empty() && fromParts.back().empty())
        fromParts.pop_back();
    size_t common = 0;
    while (common < fromParts.size() && common < toParts.size() && fromParts[common] == toParts[common])
        ++common;
    String out;
    if (common == fromParts.size()) {
        out = ".";
    } else {
        for (size_t k = common; k < fromParts.size(); ++k)
            out += out.empty() ? ".." : "/..";
    }
    for (size_t k = common; k < toParts.size(); ++k)
        out += "/" + toParts[k];
    return out;
}

String absoluteDirectory(const String& path)
{
    String full = fullPathName(path);
    if (full.back() == '/')
        return full;
    return full.substr(0, full.rfind('/') + 1);
}

String fileNamePart(const String& path)
{
    if (path.empty() || path.back() == '/')
        return String();
    // The last component is the answer unless it is "." or "..", which only
    // the full path can resolve; this spares the current directory lookup.
    const size_t slash = path.rfind('/');
    const String last = slash == String::npos ? path : path.substr(slash + 1);
    if (last != "." && last != "..")
        return last;
    String full = fullPathName(path);
    if (full.back() == '/')
        return String();
    return full.substr(full.rfind('/') + 1);
}

void split(const String& text, const String& separator, Vector<String>& out)
{
    if (separator.empty()) {
        out.push_back(text);
        return;
    }
    size_t start = 0;
    for (size_t pos = text.find(separator); pos != String::npos; pos = text.find(separator, start)) {
        out.push_back(text.substr(start, pos - start));
        start = pos + separator.size();
    }
    out.push_back(text.substr(start));
}

Vector<String> split(const String& text, const String& separator)
{
    Vector<String> out;
    split(text, separator, out);
    return out;
}

String join(const Vector<String>& list, const String& separator)
{
    String out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i)
            out += separator;
        out += list[i];
    }
    return out;
}

String getEnv(const String& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? String(value) : String();
}

String toUpper(const String& text)
{
    String out = text;
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool startsWith(const String& prefix, const String& text)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

int toInt(const String& text)
{
    return toInt32(text);
}

bool isTrue(const String& text)
{
    return text == "true" || text == "1";
}

bool fileExists(const String& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const String& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

String quoteArgument(const String& arg)
{
    if (arg.find_first_of(" \t\"") == String::npos)
        return arg;
    // The quoting the command-line splitter undoes: backslashes before a quote
    // are doubled, quotes escaped, the whole wrapped in quotes.
    String out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
        } else {
            out.append(backslashes, '\\');
            out += c;
        }
        backslashes = 0;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

} // namespace Brask
