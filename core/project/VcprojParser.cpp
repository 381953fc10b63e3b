#include "core/project/VcprojParser.h"

namespace Brask {

using Corvath::XML::getAttribute;
using Corvath::XML::hasAttribute;

VcprojParser::VcprojParser(const String& path, Versions versions)
    : ProjectTreeReader(path)
    , m_versions(versions)
{
    read(path);
}

void VcprojParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    if (m_stop)
        return;
    if (name == "VisualStudioProject") {
        const String version = getAttribute(attributes, "Version");
        m_sawProject = true;
        m_version = version;
        if (!accepts(m_versions, version)) {
            // A version that is not understood: the rest of the document is
            // ignored and no project results.
            m_stop = true;
            discardProject();
            return;
        }
        startProject(getAttribute(attributes, "Name"));
        return;
    }
    if (!project())
        return;
    if (name == "Filter")
        openFolder(getAttribute(attributes, "Name"));
    else if (name == "File")
        openFile(getAttribute(attributes, "RelativePath"));
    else if (name == "Tool")
        takeToolSettings(attributes);
}

bool VcprojParser::accepts(Versions versions, const String& version)
{
    if (version == "8,00" || version == "8.00")
        return true;
    return versions == Versions::AllKnown
        && (version == "7,10" || version == "7.10" || version == "9,00" || version == "9.00");
}

// Tools are matched wherever they stand, so the last configuration in the file
// wins.
void VcprojParser::takeToolSettings(const Corvath::XML::Attributes& attributes)
{
    Project& p = *project();
    const String tool = getAttribute(attributes, "Name");
    if (tool == "VCCLCompilerTool" && hasAttribute(attributes, "AdditionalIncludeDirectories")) {
        p.setProperty("additionalIncludeDirectories", getAttribute(attributes, "AdditionalIncludeDirectories"));
    } else if (tool == "VCLibrarianTool") {
        p.setProperty("configType", "lib");
        p.setProperty("outputPath", p.getName() + ".lib");
    } else if (tool == "VCLinkerTool") {
        p.setProperty("configType", "app");
        p.setProperty("additionalDependencies", getAttribute(attributes, "AdditionalDependencies"));
        p.setProperty("additionalLibraryDirectories", getAttribute(attributes, "AdditionalLibraryDirectories"));
    }
}

void VcprojParser::endElement(const String& name)
{
    if (!m_stop && project() && (name == "Filter" || name == "File"))
        closeItem();
}

} // namespace Brask
