#include "core/project/VisualStudioImport.h"

#include "core/project/VcprojParser.h"
#include "core/project/VcxprojFilters.h"
#include "core/project/VcxprojParser.h"
#include "util/PathUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Brask {

namespace {

const char* const WhatIsRead = "the import reads Visual C++ .vcproj files of Versions 7.10, 8.00 and 9.00 "
                               "and MSBuild .vcxproj files";

// How a file starts: enough to tell a solution from a project, and which
// project, before a reader is chosen.
struct FileStart {
    bool readable = false;
    bool solution = false;
    String element;  // the document element's name, when one was found
};

// The first bytes of a regular file; a FIFO or a device is no project and is
// not waited for.
bool readStart(const String& path, String& text)
{
    constexpr size_t Limit = 64 * 1024;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    text.resize(Limit);
    const ssize_t n = regular ? ::read(fd, text.data(), Limit) : -1;
    ::close(fd);
    if (n < 0)
        return false;
    text.resize(static_cast<size_t>(n));
    return true;
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == ':'
        || c == '-' || c == '.';
}

// The name of the first element, past the XML declaration, comments and a
// document type declaration; empty when there is none in `text`.
String firstElement(const String& text)
{
    for (size_t at = text.find('<'); at != String::npos; at = text.find('<', at + 1)) {
        if (text.compare(at, 4, "<!--") == 0) {
            at = text.find("-->", at);
        } else if (text.compare(at, 2, "<?") == 0) {
            at = text.find("?>", at);
        } else if (text.compare(at, 2, "<!") != 0) {
            size_t end = at + 1;
            while (end < text.size() && isNameChar(text[end]))
                ++end;
            return text.substr(at + 1, end - at - 1);
        }
        if (at == String::npos)
            break;
    }
    return String();
}

FileStart inspect(const String& path)
{
    FileStart start;
    String text;
    if (!readStart(path, text))
        return start;
    start.readable = true;
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    start.solution = text.compare(at, 37, "Microsoft Visual Studio Solution File") == 0;
    if (!start.solution)
        start.element = firstElement(text);
    return start;
}

bool endsWithNoCase(const String& text, const String& suffix)
{
    return text.size() >= suffix.size() && toUpper(text.substr(text.size() - suffix.size())) == toUpper(suffix);
}

String vcprojFormat(const String& version)
{
    const char* release = version[0] == '7' ? "Visual C++ .NET 2003" : version[0] == '8' ? "Visual C++ 2005"
                                                                                        : "Visual C++ 2008";
    return String(release) + " project (.vcproj, Version " + version + ")";
}

bool isWindowsAbsolute(const String& path)
{
    return !path.empty() && ((path.size() >= 2 && path[1] == ':') || path[0] == '\\' || path[0] == '/');
}

// Lines about the files of the imported tree: none at all, files outside the
// project's directory, files that are not there.
void noteFiles(const Project& project, const String& path, Vector<String>& notes)
{
    size_t files = 0;
    size_t outside = 0;
    size_t missing = 0;
    String firstOutside;
    String firstMissing;
    // In tree order, so "the first" is the first in the file.
    forEachFile(*project.getRoot(), [&](const Sourcefile& file) {
        const String& stored = file.getPath();
        ++files;
        const String slashed = toSlashes(stored);
        if ((isWindowsAbsolute(stored) || slashed == ".." || startsWith("../", slashed)) && outside++ == 0)
            firstOutside = stored;
        if (!fileExists(project.getDirectory() + slashed) && missing++ == 0)
            firstMissing = stored;
    });
    if (files == 0)
        notes.push_back(path + " lists no files: the imported project is empty");
    if (outside > 0)
        notes.push_back(path + ": " + std::to_string(outside) + " of " + std::to_string(files)
                        + " files lie outside the project's directory (the first is " + firstOutside
                        + "); they stay where they are and are named from the project");
    if (missing > 0) {
        String line = path + ": " + std::to_string(missing) + " of " + std::to_string(files)
            + " files are not there (the first is " + firstMissing + ")";
        if (firstMissing.size() >= 2 && firstMissing[1] == ':')
            line += "; a path with a drive letter names no file on this system";
        notes.push_back(line);
    }
}

// The folders from the .filters file beside the project, with what it says
// about them.
String arrangeFromFilters(VcxprojParser& reader, const String& path, Vector<String>& notes)
{
    const String filtersPath = path + ".filters";
    if (!fileExists(filtersPath) || isDirectory(filtersPath)) {
        reader.arrangeItems(nullptr);
        return "no .vcxproj.filters beside it, so the files have no folders";
    }
    VcxprojFilters filters(filtersPath);
    reader.arrangeItems(&filters);
    if (filters.result() != Corvath::XML::ParseResult::Ok)
        notes.push_back(filtersPath + " could be read only in part; the files it did not place are at the top");
    const Vector<String> unused = filters.unusedItems();
    if (!unused.empty())
        notes.push_back(filtersPath + " places " + std::to_string(unused.size())
                        + " items that the project does not list (the first is " + unused[0]
                        + "); they are left out");
    return "folders from " + fileNamePart(filtersPath);
}

void importVcxproj(const String& path, VisualStudioImport& result)
{
    VcxprojParser reader(path);
    result.damaged = reader.result() != Corvath::XML::ParseResult::Ok;
    if (!reader.isVisualCpp() && !result.damaged) {
        result.refusal = path + " is an MSBuild project but not a Visual C++ one; " + WhatIsRead;
        return;
    }
    const String folders = arrangeFromFilters(reader, path, result.notes);
    result.project = reader.takeProject();
    if (!result.project)
        return;
    result.format = "MSBuild Visual C++ project (.vcxproj), " + folders;
    if (reader.skippedItems() > 0)
        result.notes.push_back(path + ": left out " + std::to_string(reader.skippedItems())
                               + " items of kinds the kit does not build (" + join(reader.skippedKinds(), ", ") + ")");
    if (reader.foldersTooDeep())
        result.notes.push_back(path + ".filters nests folders more deeply than a project can keep; the files of the "
                                      "deepest ones are in the deepest folder kept");
    for (const String& setting : reader.overlongSettings())
        result.notes.push_back(path + ": " + setting + " is too long to be a setting; it was not taken");
}

void importVcproj(const String& path, VisualStudioImport& result)
{
    VcprojParser reader(path, VcprojParser::Versions::AllKnown);
    result.damaged = reader.result() != Corvath::XML::ParseResult::Ok;
    result.project = reader.takeProject();
    if (result.project) {
        result.format = vcprojFormat(reader.version());
        return;
    }
    if (reader.sawProjectElement())
        result.refusal = path + " is a Visual C++ project of Version \"" + reader.version()
            + "\", which is not read; " + WhatIsRead;
}

} // namespace

VisualStudioImport importVisualStudioProject(const String& path)
{
    VisualStudioImport result;
    const FileStart start = inspect(path);
    if (!start.readable) {
        result.refusal = "cannot read " + path;
    } else if (start.solution) {
        result.refusal = path + " is a Visual Studio solution, which only lists projects: import one of its "
                                ".vcxproj or .vcproj files; " + WhatIsRead;
    } else if (start.element == "Project" && endsWithNoCase(path, ".filters")) {
        result.refusal = path + " only holds the folders of a Visual C++ project: import the .vcxproj beside it";
    } else if (start.element == "Project") {
        importVcxproj(path, result);
    } else if (start.element == "VisualStudioProject") {
        importVcproj(path, result);
    }
    if (!result.project && result.refusal.empty())
        result.refusal = path + " is not a Visual Studio project; " + WhatIsRead;
    if (result.project)
        noteFiles(*result.project, path, result.notes);
    return result;
}

} // namespace Brask
