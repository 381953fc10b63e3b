#include "core/config/Config.h"

#include "util/AtomicFile.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

namespace Brask {

using Corvath::XML::escapeAttribute;
using Corvath::XML::getAttribute;

Vector<String> kitDirectories(const String& root, const Vector<String>& directories)
{
    const String base = !root.empty() && root.back() == '/' ? root : root + "/";
    Vector<String> resolved;
    for (const String& directory : directories)
        resolved.push_back(directory.empty() || directory[0] == '/' ? directory : base + directory);
    return resolved;
}

String defaultIncludeDirectory(const String& root)
{
    return root + "/include";
}

String defaultLibraryDirectory(const String& root)
{
    return root + "/lib/pipe";
}

String defaultEditorCommand(const String& root)
{
    // A root holding a blank must not split the program's path.
    return quoteArgument(root + "/bin/editor") + " -n%line %file";
}

String defaultProfileViewerCommand()
{
    // Opens the header with the desktop's handler for text files.
    return "xdg-open %file";
}

String Config::toText() const
{
    String out = "<Config version=\"1\">\n";
    for (const FileType& type : fileTypes)
        out += "<Filetype extension=\"" + escapeAttribute(type.extension) + "\" cmdLine=\""
            + escapeAttribute(type.cmdLine) + "\"/>\n";
    out += "\t<Property name=\"IncludeDirectories\" value=\"" + escapeAttribute(join(includeDirectories, ";"))
        + "\"/>\n";
    out += "\t<Property name=\"LibraryDirectories\" value=\"" + escapeAttribute(join(libraryDirectories, ";"))
        + "\"/>\n";
    out += "\t<Property name=\"DefaultLibraries\" value=\"" + escapeAttribute(join(defaultLibraries, ";")) + "\"/>\n";
    out += "\t<Property name=\"PhoneAddress\" value=\"" + escapeAttribute(phoneAddress) + "\"/>\n";
    out += "\t<Property name=\"PhonePort\" value=\"" + std::to_string(phonePort) + "\"/>\n";
    out += "\t<Property name=\"autoUpdates\" value=\"" + String(autoUpdates ? "true" : "false") + "\"/>\n";
    out += "</Config>";
    return out;
}

bool Config::write(const String& path, String* error) const
{
    return writeFileAtomically(path, toText(), error);
}

const FileType* Config::findFileType(const String& extension) const
{
    const String wanted = toUpper(extension);
    for (const FileType& type : fileTypes)
        if (toUpper(type.extension) == wanted)
            return &type;
    return nullptr;
}

ConfigParser::ConfigParser(const String& path, const String& root)
{
    diag("ConfigParser::ConfigParser(%s)\n", path.c_str());
    if (fileExists(path))
        Corvath::XML::parseXMLFile(*this, path);
    // A file without a Config element (an empty one, say) counts as missing.
    if (!m_config)
        m_config = std::make_unique<Config>();
    applyDefaults(root);

    diag("Default Include Directories:\n");
    for (const String& d : m_config->includeDirectories)
        diag("\t%s\n", d.c_str());
    diag("Default Library Directories:\n");
    for (const String& d : m_config->libraryDirectories)
        diag("\t%s\n", d.c_str());
    diag("Default Libraries:\n");
    for (const String& d : m_config->defaultLibraries)
        diag("\t%s\n", d.c_str());
}

ConfigParser::~ConfigParser() = default;

void ConfigParser::applyDefaults(const String& root)
{
    Config& c = *m_config;
    if (!m_seenInclude)
        c.includeDirectories = split(defaultIncludeDirectory(root), ";");
    if (!m_seenLibraryDirs)
        c.libraryDirectories = split(defaultLibraryDirectory(root), ";");
    if (!m_seenLibraries)
        c.defaultLibraries = split("KVStd.lib", ";");
    if (!m_seenAddress)
        c.phoneAddress.clear();
    if (!m_seenPort)
        c.phonePort = -1;
    if (!m_seenAutoUpdates)
        c.autoUpdates = true;

    const String editor = defaultEditorCommand(root);
    const FileType defaults[] = {
        {"cpp", editor}, {"c", editor}, {"h", editor}, {"s", editor}, {"lst", editor},
        {"*profile", defaultProfileViewerCommand()},
    };
    for (const FileType& type : defaults)
        if (!c.findFileType(type.extension))
            c.fileTypes.push_back(type);
}

void ConfigParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    if (name == "Config") {
        m_config = std::make_unique<Config>();
        return;
    }
    // Settings before the Config element have nothing to go into.
    if (!m_config)
        return;
    if (name == "Filetype") {
        m_config->fileTypes.push_back({getAttribute(attributes, "extension"), getAttribute(attributes, "cmdLine")});
        return;
    }
    if (name != "Property")
        return;
    const String key = getAttribute(attributes, "name");
    const String value = getAttribute(attributes, "value");
    if (key == "IncludeDirectories") {
        split(value, ";", m_config->includeDirectories);
        m_seenInclude = true;
    } else if (key == "LibraryDirectories") {
        split(value, ";", m_config->libraryDirectories);
        m_seenLibraryDirs = true;
    } else if (key == "DefaultLibraries") {
        split(value, ";", m_config->defaultLibraries);
        m_seenLibraries = true;
    } else if (key == "PhoneAddress") {
        m_config->phoneAddress = value;
        m_seenAddress = true;
    } else if (key == "PhonePort") {
        m_config->phonePort = toInt(value);
        m_seenPort = true;
    } else if (key == "autoUpdates") {
        m_config->autoUpdates = isTrue(value);
        m_seenAutoUpdates = true;
    }
}

} // namespace Brask
