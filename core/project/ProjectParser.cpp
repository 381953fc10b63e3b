#include "core/project/ProjectParser.h"

namespace Brask {

using Corvath::XML::getAttribute;

ProjectParser::ProjectParser(const String& path)
    : ProjectTreeReader(path)
{
    read(path);
    if (project() && project()->peekProperty("configType") == "lib")
        project()->setProperty("deadCodeElim", "false");
}

void ProjectParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    if (name == "Project") {
        startProject(getAttribute(attributes, "name"));
        return;
    }
    // Elements before the document element have no project to go into.
    if (!project())
        return;
    if (name == "Folder") {
        openFolder(getAttribute(attributes, "name"));
    } else if (name == "File") {
        openFile(getAttribute(attributes, "path"));
    } else if (name == "Property") {
        project()->setProperty(getAttribute(attributes, "name"), getAttribute(attributes, "value"));
    } else if (auto criterion = createCriterion(name, attributes)) {
        project()->addCriterion(std::move(criterion));
    }
}

void ProjectParser::endElement(const String& name)
{
    if (project() && (name == "Folder" || name == "File"))
        closeItem();
}

} // namespace Brask
