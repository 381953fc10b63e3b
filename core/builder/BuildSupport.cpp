#include "core/builder/BuildSupport.h"

#include "core/project/Project.h"
#include "core/ProjectManager.h"
#include "core/CommandExecutor.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <unistd.h>

namespace Brask {

String outputDirectory(const Project& project)
{
    return absoluteDirectory(project.getDirectory() + "/") + "Output";
}

int runTool(const ProjectManager& manager, const String& command)
{
    CommandExecutor* executor = manager.getExecutor();
    if (!executor)
        return -1;
    if (executor->stopRequested())
        return kStoppedResult;
    return executor->execute(command, true);
}

bool stopRequested(const ProjectManager& manager)
{
    const CommandExecutor* executor = manager.getExecutor();
    return executor && executor->stopRequested();
}

void showMessage(const ProjectManager& manager, const String& text)
{
    if (CommandExecutor* executor = manager.getExecutor())
        executor->message(text);
    else
        diag("%s", text.c_str());
}

String commandPath(const String& path)
{
    return quoteArgument(path);
}

DirectoryRestorer::DirectoryRestorer()
    : m_saved(currentDirectory())
{
}

DirectoryRestorer::~DirectoryRestorer()
{
    if (!m_saved.empty() && ::chdir(m_saved.c_str()) != 0)
        diag("Can't return to \"%s\"\n", m_saved.c_str());
}

} // namespace Brask
