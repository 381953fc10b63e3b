#include "core/ProjectManager.h"

#include "bluetooth/discovery.h"
#include "core/update/InstallLock.h"
#include "core/project/ProjectParser.h"
#include "core/update/UpdateManager.h"
#include "core/project/VcprojParser.h"
#include "core/profiles/TargetSelection.h"
#include "util/AtomicFile.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

namespace Brask {

ProjectManager::ProjectManager(const String& root, CommandExecutor* executor, const String& createSisPath)
    : m_root(root)
    , m_executor(executor)
    , m_createSisPath(createSisPath)
{
    loadProfiles();
    m_config = ConfigParser(m_root + "/bin/config.xml", m_root).takeConfig();
    m_updateManager = std::make_unique<UpdateManager>(m_root, m_executor);
}

ProjectManager::~ProjectManager()
{
    // A search still running would outlive the manager that started it.
    stopServiceDiscovery();
}

bool ProjectManager::createProject(const String& directory)
{
    m_project.reset();
    m_lastLoadDamaged = false;
    m_project = std::make_unique<Project>(directory);
    notifyListeners();
    return true;
}

template <typename Reader>
bool ProjectManager::openWith(const String& path)
{
    // The open project goes first, even when the new one cannot be read.
    m_project.reset();
    Reader reader(path);
    m_project = reader.takeProject();
    m_lastLoadDamaged = m_project && reader.result() != Corvath::XML::ParseResult::Ok;
    if (!m_project)
        return false;
    notifyListeners();
    return true;
}

bool ProjectManager::loadProject(const String& path)
{
    return openWith<ProjectParser>(path);
}

bool ProjectManager::importVcproj(const String& path)
{
    return openWith<VcprojParser>(path);
}

bool ProjectManager::importVisualStudio(const String& path, VisualStudioImport* report)
{
    VisualStudioImport result = importVisualStudioProject(path);
    const bool imported = result.project != nullptr;
    if (imported) {
        m_project = std::move(result.project);
        m_lastLoadDamaged = result.damaged;
        notifyListeners();
    }
    if (report)
        *report = std::move(result);
    return imported;
}

bool ProjectManager::writeProject(const String& path, String* error)
{
    if (!m_project) {
        if (error)
            *error = "no project is open";
        return false;
    }
    return writeFileAtomically(path, m_project->toXML(), error);
}

Vector<const Device*> ProjectManager::getTargetDevices() const
{
    if (!m_project)
        return {};
    return selectTargets(m_profiles, m_project->getCriteria());
}

namespace {

// Depth-first in tree order, from a stack of our own: the depth of the tree
// comes from a file and must not become the depth of the call stack.
void collect(const ProjectItem& root, const String& directory, FileKind kind, Vector<String>& list)
{
    Vector<std::pair<const ProjectItem*, size_t>> stack{{&root, 0}};
    while (!stack.empty()) {
        auto& [item, next] = stack.back();
        if (next == item->getChildren().size()) {
            stack.pop_back();
            continue;
        }
        const ProjectItem& child = *item->getChildren()[next++];
        if (child.getType() == ProjectItem::FileKind) {
            const auto& file = static_cast<const Sourcefile&>(child);
            // Stored paths may carry Windows separators; the directory is a
            // Linux name and keeps any backslash it holds.
            if (fileKind(file.getPath()) == kind)
                list.push_back(directory + toSlashes(file.getPath()));
        } else {
            stack.emplace_back(&child, 0);
        }
    }
}

} // namespace

void ProjectManager::collectFiles(FileKind kind, Vector<String>& list) const
{
    if (m_project)
        collect(*m_project->getRoot(), m_project->getDirectory(), kind, list);
}

bool ProjectManager::writeConfig(String* error)
{
    return m_config->write(m_root + "/bin/config.xml", error);
}

void ProjectManager::reloadProfiles()
{
    loadProfiles();
}

void ProjectManager::loadProfiles()
{
    // Another copy of VarBuild may be swapping in a new database: wait the
    // moment that takes. Without the lock (a read-only installation, a swap
    // that never ends) the database is read as it stands.
    InstallLock lock(m_root, InstallLock::Database);
    std::string error;
    if (lock.acquire(DatabaseWaitMilliseconds, nullptr, error, true) == InstallLock::Busy)
        diag("The profile database is being replaced by another copy of VarBuild; reading it as it stands.\n");
    m_profiles.load(m_root + "/profiles/vendors");
}

void ProjectManager::addListener(ProjectManagerListener* listener)
{
    m_listeners.push_back(listener);
}

void ProjectManager::notifyListeners()
{
    for (ProjectManagerListener* listener : m_listeners)
        listener->settingsChanged();
    for (ProjectManagerListener* listener : m_listeners)
        listener->criteriaChanged();
}

} // namespace Brask
