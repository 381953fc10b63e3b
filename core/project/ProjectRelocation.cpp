#include "core/project/ProjectRelocation.h"

#include "util/PathUtil.h"

namespace Brask {

namespace {

bool isAbsolute(const String& path)
{
    if (path.empty())
        return false;
    if (path[0] == '/' || path[0] == '\\')
        return true;
    // A drive letter from Windows-born data.
    return path.size() >= 2 && path[1] == ':'
        && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

const char* const ListProperties[] = {"additionalIncludeDirectories", "additionalLibraryDirectories"};

} // namespace

String rebasePath(const String& stored, const String& from, const String& to)
{
    if (stored.empty() || isAbsolute(stored) || stored.find("$(") != String::npos)
        return stored;
    String rebased = relativePath(to, from + "/" + toSlashes(stored));
    const bool dotted = stored.rfind("./", 0) == 0 || stored.rfind(".\\", 0) == 0;
    if (!dotted && rebased.rfind("./", 0) == 0)
        rebased.erase(0, 2);
    if (stored.find('\\') != String::npos && stored.find('/') == String::npos)
        rebased = toBackslashes(rebased);
    return rebased;
}

void relocateProject(Project& project, const String& directory)
{
    const String from = absoluteDirectory(project.getDirectory());
    const String to = absoluteDirectory(directory.empty() || directory.back() == '/' ? directory : directory + "/");
    if (from == to)
        return;

    // Depth-first without recursion: the tree's depth comes from a file.
    Vector<ProjectItem*> pending{project.getRoot()};
    while (!pending.empty()) {
        ProjectItem* item = pending.back();
        pending.pop_back();
        if (item->getType() == ProjectItem::FileKind) {
            auto* file = static_cast<Sourcefile*>(item);
            file->setName(rebasePath(file->getPath(), from, to));
            continue;
        }
        for (const auto& child : item->getChildren())
            pending.push_back(child.get());
    }
    for (const char* key : ListProperties) {
        bool present = false;
        for (const auto& property : project.getProperties())
            present = present || property.first == key;
        if (!present)
            continue;
        Vector<String> entries = split(project.peekProperty(key), ";");
        for (String& entry : entries)
            entry = rebasePath(entry, from, to);
        project.setProperty(key, join(entries, ";"));
    }
    project.setDirectory(to);
}

} // namespace Brask
