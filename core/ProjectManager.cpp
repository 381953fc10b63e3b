#include "core/ProjectManager.h"

#include "bluetooth/discovery.h"
#include "core/ProfileReader.h"
#include "core/project/ProjectParser.h"
#include "core/update/UpdateManager.h"
#include "core/project/VcprojParser.h"
#include "core/profiles/TargetSelection.h"
#include "util/AtomicFile.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cstdlib>

namespace Brask {

ProjectManager::ProjectManager(const String& root, CommandExecutor* executor, const String& createSisPath)
    : m_root(root)
    , m_executor(executor)
    , m_createSisPath(createSisPath)
{
    m_config = ConfigParser(m_root + "/bin/config.xml", m_root).takeConfig();
    m_updateManager = std::make_unique<UpdateManager>(m_root, m_executor);
}

ProjectManager::~ProjectManager()
{
    // A search still running would outlive the manager that started it.
    stopServiceDiscovery();
    // So would a read of the profile database.
    m_reader.reset();
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
    return selectTargets(getProfileDatabase(), m_project->getCriteria());
}

namespace {

void collect(const ProjectItem& root, const String& directory, FileKind kind, Vector<String>& list)
{
    forEachFile(root, [&](const Sourcefile& file) {
        // Stored paths may carry Windows separators; the directory is a
        // Linux name and keeps any backslash it holds.
        if (fileKind(file.getPath()) == kind)
            list.push_back(directory + toSlashes(file.getPath()));
    });
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
    m_reader.reset();
    m_profiles.clear();
    m_profilesRead = false;
    if (m_profilesArrived)
        startReader();
}

void ProjectManager::checkProfiles() const
{
    String error;
    if (!ProfileDatabase::definitionsReadable(m_root + "/profiles/vendors", error)) {
        diag("%s\n", error.c_str());
        std::exit(1);
    }
}

void ProjectManager::startReadingProfiles(std::function<void()> arrived)
{
    checkProfiles();
    m_profilesArrived = std::move(arrived);
    if (!m_profilesRead && !m_reader)
        startReader();
}

void ProjectManager::stopReadingProfiles()
{
    m_reader.reset();
    m_profilesArrived = nullptr;
    m_profilesWaiter = nullptr;
}

void ProjectManager::startReader()
{
    // The window changes its current directory while the worker reads.
    const String root = m_root.empty() || m_root[0] == '/' ? m_root : currentDirectory() + "/" + m_root;
    m_reader = std::make_unique<ProfileReader>(root);
    m_reader->start(m_profilesArrived);
}

bool ProjectManager::profilesRead() const
{
    return m_profilesRead || (m_reader && m_reader->finished());
}

ProfileDatabase& ProjectManager::getProfileDatabase()
{
    ensureProfiles();
    return m_profiles;
}

const ProfileDatabase& ProjectManager::getProfileDatabase() const
{
    ensureProfiles();
    return m_profiles;
}

void ProjectManager::ensureProfiles() const
{
    if (m_profilesRead)
        return;
    if (m_reader && !m_reader->finished() && m_profilesWaiter) {
        // The waiter may run events, and with them a caller that takes the
        // result first: everything is looked at again afterwards.
        m_profilesWaiter([this] { return m_profilesRead || !m_reader || m_reader->finished(); });
        if (m_profilesRead)
            return;
    }
    String error;
    const std::unique_ptr<ProfileReader> reader = std::move(m_reader);
    const bool ok = reader ? reader->take(m_profiles, error) : ProfileReader::read(m_root, m_profiles, error);
    if (!ok) {
        // A broken installation ends the program, as it always has.
        diag("%s\n", error.c_str());
        std::exit(1);
    }
    m_profilesRead = true;
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
