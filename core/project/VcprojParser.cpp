#include "core/project/VcprojParser.h"

namespace Brask {

using Corvath::XML::getAttribute;
using Corvath::XML::hasAttribute;

VcprojParser::VcprojParser(const String& path)
    : ProjectTreeReader(path)
{
    read(path);
}

void VcprojParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    if (m_stop)
        return;
    if (name == "VisualStudioProject") {
        const String version = getAttribute(attributes, "Version");
        if (version != "8,00" && version != "8.00") {
            // Only Visual C++ 2005 projects are understood: the rest of the
            // document is ignored and no project results.
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
