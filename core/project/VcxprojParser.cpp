#include "core/project/VcxprojParser.h"

#include "core/project/VcxprojFilters.h"
#include "util/PathUtil.h"

#include <unordered_map>

namespace Brask {

using Corvath::XML::getAttribute;

namespace {

// No setting is this long; a text beyond it comes from a damaged or hostile
// file and is not collected.
constexpr size_t MaxSettingText = 64 * 1024;

// The project file nests a folder's element in its parent's, and the XML
// layer reads no deeper than MaxNestingDepth: deeper folders are not made, so
// the saved project reads back whole.
constexpr size_t MaxFolderDepth = Corvath::XML::MaxNestingDepth - 8;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

String trimmed(const String& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// An MSBuild list (";"-separated) in the form the build reads, joined by
// `separator`. Elements that hold an MSBuild macro ($(OutDir)...), an item
// reference (@(...)) or an inheritance marker (%(...)) name nothing outside
// Visual Studio and are dropped, as are empty ones.
String cleanList(const String& text, const char* separator)
{
    Vector<String> kept;
    for (const String& piece : split(text, ";")) {
        const String element = trimmed(piece);
        if (element.empty() || element.find("$(") != String::npos || element.find("%(") != String::npos
            || element.find("@(") != String::npos)
            continue;
        kept.push_back(element);
    }
    return join(kept, separator);
}

// The kinds of items that come along as files: sources, headers, and the
// ones that are only carried (Windows resources, module definitions, text).
bool isFileItem(const String& kind)
{
    return kind == "ClCompile" || kind == "ClInclude" || kind == "None" || kind == "ResourceCompile"
        || kind == "Text";
}

// Items that are part of every project's bookkeeping, not files of its own.
bool isBookkeeping(const String& kind)
{
    return kind == "ProjectConfiguration" || kind == "ProjectReference" || kind == "Filter"
        || kind == "ProjectCapability";
}

String baseNameOf(const String& path)
{
    String name = fileNamePart(path);
    const size_t dot = name.rfind('.');
    if (dot != String::npos && dot > 0)
        name.erase(dot);
    return name;
}

} // namespace

VcxprojParser::VcxprojParser(const String& path)
    : ProjectTreeReader(path)
    , m_baseName(baseNameOf(path))
{
    read(path);
    if (project())
        chooseName();
}

void VcxprojParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    const String parent = m_open.empty() ? String() : m_open.back();
    m_open.push_back(name);
    if (m_open.size() == 1) {
        m_documentElement = name;
        if (name == "Project")
            startProject(m_baseName);
        return;
    }
    if (!project())
        return;
    if (parent == "ItemGroup" && m_open.size() == 3) {
        takeItem(name, getAttribute(attributes, "Include"));
        return;
    }
    if (name == "Import" && getAttribute(attributes, "Project").find("Microsoft.Cpp") != String::npos)
        m_visualCpp = true;
    // Each linker section starts afresh, as each linker tool of a .vcproj
    // does: the last configuration's values win, absent ones read as empty.
    if (name == "Link" && parent == "ItemDefinitionGroup") {
        project()->setProperty("additionalDependencies", "");
        project()->setProperty("additionalLibraryDirectories", "");
    }
    m_setting = settingFor(name);
    m_text.clear();
    m_textTooLong = false;
}

VcxprojParser::Setting VcxprojParser::settingFor(const String& name) const
{
    const size_t depth = m_open.size();
    const String& parent = m_open[depth - 2];
    if (parent == "PropertyGroup" && depth == 3) {
        if (name == "ProjectName")
            return Setting::Name;
        if (name == "RootNamespace")
            return Setting::RootNamespace;
        if (name == "ConfigurationType")
            return Setting::ConfigurationType;
        return Setting::None;
    }
    // Only the project-wide sections count: a file's own settings inside its
    // item element are not the project's.
    if (depth != 4 || m_open[1] != "ItemDefinitionGroup")
        return Setting::None;
    if (parent == "ClCompile" && name == "AdditionalIncludeDirectories")
        return Setting::IncludeDirectories;
    if (parent == "Link" && name == "AdditionalDependencies")
        return Setting::Dependencies;
    if (parent == "Link" && name == "AdditionalLibraryDirectories")
        return Setting::LibraryDirectories;
    return Setting::None;
}

void VcxprojParser::characters(const String& text)
{
    if (m_setting == Setting::None || m_textTooLong)
        return;
    if (m_text.size() + text.size() > MaxSettingText) {
        m_textTooLong = true;
        return;
    }
    m_text += text;
}

void VcxprojParser::endElement(const String& name)
{
    if (m_setting != Setting::None && project()) {
        if (m_textTooLong)
            m_overlong.push_back(name);
        else
            applySetting(m_setting, m_text);
    }
    m_setting = Setting::None;
    m_text.clear();
    if (!m_open.empty())
        m_open.pop_back();
}

void VcxprojParser::applySetting(Setting setting, const String& text)
{
    Project& p = *project();
    const String value = trimmed(text);
    switch (setting) {
    case Setting::Name:
        m_projectName = value;
        break;
    case Setting::RootNamespace:
        m_rootNamespace = value;
        break;
    case Setting::ConfigurationType:
        m_visualCpp = true;
        // As the .vcproj import: a library's output is NAME.lib, and the last
        // configuration decides. A DLL links like a program, as its linker
        // tool makes it in a .vcproj; other types (Utility, Makefile) change
        // nothing.
        if (value == "StaticLibrary") {
            p.setProperty("configType", "lib");
            m_staticLibrary = true;
        } else if (value == "Application" || value == "DynamicLibrary") {
            p.setProperty("configType", "app");
        }
        break;
    case Setting::IncludeDirectories:
        p.setProperty("additionalIncludeDirectories", cleanList(text, ";"));
        break;
    case Setting::Dependencies:
        // The build reads dependencies separated by blanks.
        p.setProperty("additionalDependencies", cleanList(text, " "));
        break;
    case Setting::LibraryDirectories:
        p.setProperty("additionalLibraryDirectories", cleanList(text, ";"));
        break;
    case Setting::None:
        break;
    }
}

void VcxprojParser::takeItem(const String& kind, const String& include)
{
    if (include.empty() || isBookkeeping(kind))
        return;
    if (kind == "ClCompile" || kind == "ClInclude")
        m_visualCpp = true;
    if (!isFileItem(kind)) {
        ++m_skippedItems;
        bool known = false;
        for (const String& k : m_skippedKinds)
            known = known || k == kind;
        if (!known)
            m_skippedKinds.push_back(kind);
        return;
    }
    // One element may name several files.
    for (const String& piece : split(include, ";")) {
        const String path = trimmed(piece);
        if (!path.empty())
            m_items.push_back(path);
    }
}

void VcxprojParser::chooseName()
{
    // The project's own name, else its namespace, else the file's; a name
    // made of macros names nothing.
    Project& p = *project();
    if (!m_projectName.empty() && m_projectName.find("$(") == String::npos)
        p.setName(m_projectName);
    else if (!m_rootNamespace.empty() && m_rootNamespace.find("$(") == String::npos)
        p.setName(m_rootNamespace);
    else
        p.setName(m_baseName);
    if (m_staticLibrary)
        p.setProperty("outputPath", p.getName() + ".lib");
}

void VcxprojParser::arrangeItems(VcxprojFilters* filters)
{
    if (!project())
        return;
    Folder* root = project()->getRoot();
    std::unordered_map<String, Folder*> folders;
    // The folder of a backslash-nested path, made with its parents as needed.
    auto folderFor = [&](const String& path) {
        Folder* folder = root;
        String key;
        size_t depth = 0;
        for (const String& piece : split(trimmed(path), "\\")) {
            const String name = trimmed(piece);
            if (name.empty())
                continue;
            if (++depth > MaxFolderDepth) {
                m_foldersTooDeep = true;
                break;
            }
            key += key.empty() ? name : "\\" + name;
            Folder*& known = folders[key];
            if (!known)
                known = new Folder(folder, name);
            folder = known;
        }
        return folder;
    };
    if (filters)
        for (const String& declared : filters->declared())
            folderFor(declared);
    Vector<String> atTop;
    for (const String& item : m_items) {
        const String* folder = filters ? filters->folderOf(item) : nullptr;
        Folder* target = folder ? folderFor(*folder) : root;
        if (target == root)
            atTop.push_back(item);
        else
            new Sourcefile(item, target);
    }
    for (const String& item : atTop)
        new Sourcefile(item, root);
    m_items.clear();
}

} // namespace Brask
