#pragma once
// Installation-wide settings kept in ROOT/bin/config.xml.

#include "core/xml/XMLParser.h"
#include "kvutil/KVUtil.h"

#include <memory>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

struct FileType {
    String extension;  // "cpp", ... or the pseudo-extension "*profile"
    String cmdLine;    // %file and %line are substituted when it is run
};

class Config {
public:
    Vector<String> includeDirectories;
    Vector<String> libraryDirectories;
    Vector<String> defaultLibraries;
    Vector<FileType> fileTypes;
    String phoneAddress;
    int phonePort = -1;
    bool autoUpdates = true;

    // The file's whole text (no line end after the closing tag).
    String toText() const;
    // Replaces the file atomically; on failure the old file stays and `error`
    // says why.
    bool write(const String& path, String* error = nullptr) const;

    // First file type whose extension equals `extension` case-insensitively.
    const FileType* findFileType(const String& extension) const;
};

// The configuration's include or library directories as the tools get them:
// a relative entry names a directory below the kit root `root`, so a kit that
// is copied or moved uses its own files; absolute and empty entries are kept.
Vector<String> kitDirectories(const String& root, const Vector<String>& directories);

// The defaults composed from the installation root.
String defaultIncludeDirectory(const String& root);
String defaultLibraryDirectory(const String& root);
String defaultEditorCommand(const String& root);
String defaultProfileViewerCommand();

class ConfigParser : public Corvath::XML::XMLParser {
public:
    // Reads `path` (when it exists) and applies the defaults for `root`.
    ConfigParser(const String& path, const String& root);
    ~ConfigParser() override;

    std::unique_ptr<Config> takeConfig() { return std::move(m_config); }

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;

private:
    void applyDefaults(const String& root);

    std::unique_ptr<Config> m_config;
    bool m_seenInclude = false;
    bool m_seenLibraryDirs = false;
    bool m_seenLibraries = false;
    bool m_seenAddress = false;
    bool m_seenPort = false;
    bool m_seenAutoUpdates = false;
};

} // namespace Brask
