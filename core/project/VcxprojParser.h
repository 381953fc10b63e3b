#pragma once
// Reads an MSBuild Visual C++ project (.vcxproj, Visual Studio 2010 and
// later): its name, its source, header and other items, and the settings the
// .vcproj import takes (configuration type, include and library directories,
// dependencies), the last configuration winning. The items are put into
// folders afterwards, from the .vcxproj.filters file beside the project.

#include "core/project/ProjectTreeReader.h"

namespace Brask {

class VcxprojFilters;

class VcxprojParser : public ProjectTreeReader {
public:
    explicit VcxprojParser(const String& path);

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;
    void characters(const String& text) override;

    // Whether the document is a Visual C++ project at all (and not another
    // MSBuild project): it imports the C++ build rules, names a configuration
    // type or lists C++ items.
    bool isVisualCpp() const { return m_visualCpp; }
    const String& documentElement() const { return m_documentElement; }

    // Puts the items into the tree: into the folders `filters` gives them
    // (nested by backslashes; the declared folders first, in their order),
    // or all at the top without filters. Files outside any folder follow the
    // folders.
    void arrangeItems(VcxprojFilters* filters);

    // Kinds of item elements that were left out (CustomBuild, MASM...), each
    // once, in the order met.
    const Vector<String>& skippedKinds() const { return m_skippedKinds; }
    size_t skippedItems() const { return m_skippedItems; }
    // Settings whose text was too long to be a setting; they were not taken.
    const Vector<String>& overlongSettings() const { return m_overlong; }
    // A folder was nested too deeply to be kept: its files went into the
    // deepest folder that was made.
    bool foldersTooDeep() const { return m_foldersTooDeep; }

private:
    enum class Setting { None, Name, RootNamespace, ConfigurationType, IncludeDirectories, Dependencies, LibraryDirectories };

    void takeItem(const String& kind, const String& include);
    Setting settingFor(const String& name) const;
    void applySetting(Setting setting, const String& text);
    void chooseName();

    String m_baseName;
    String m_documentElement;
    Vector<String> m_open;  // names of the open elements
    Setting m_setting = Setting::None;
    String m_text;
    bool m_textTooLong = false;
    String m_projectName;
    String m_rootNamespace;
    bool m_staticLibrary = false;
    bool m_visualCpp = false;
    Vector<String> m_items;
    Vector<String> m_skippedKinds;
    size_t m_skippedItems = 0;
    Vector<String> m_overlong;
    bool m_foldersTooDeep = false;
};

} // namespace Brask
