#pragma once
// The core object: the open project, the configuration and the profile
// database of one installation, and the operations the window calls.

#include "core/config/Config.h"
#include "core/config/FileKind.h"
#include "core/project/Project.h"
#include "core/project/VisualStudioImport.h"
#include "core/ProjectManagerListener.h"
#include "core/profiles/ProfileDatabase.h"
#include "kvutil/KVUtil.h"

#include <functional>
#include <memory>

namespace Brask {

class ChangedBuild;
class CommandExecutor;
class ProfileReader;
class UpdateManager;
class PhoneChooser;

class ProjectManager {
public:
    static constexpr const char* DefaultCreateSisPath = "/Symbian/9.2/S60_3rd_FP1/Epoc32/tools/CreateSIS";

    // `root` is the installation root (VARNELDIR). Reads ROOT/bin/config.xml;
    // the profile database is read when something first needs it (a broken
    // database then ends the process), or in the background once
    // startReadingProfiles() is called. `executor` may be null: every tool
    // step then fails with -1.
    ProjectManager(const String& root, CommandExecutor* executor,
                   const String& createSisPath = DefaultCreateSisPath);
    ~ProjectManager();
    ProjectManager(const ProjectManager&) = delete;
    ProjectManager& operator=(const ProjectManager&) = delete;

    const String& getRoot() const { return m_root; }

    bool createProject(const String& directory);
    // Discards the open project first. True when a project results; a file
    // damaged after its Project element still gives the part read before the
    // damage, and lastLoadWasDamaged() then tells so.
    bool loadProject(const String& path);
    bool importVcproj(const String& path);
    // The Visual Studio import (core/project/VisualStudioImport.h): .vcproj
    // of Versions 7.10 to 9.00 and .vcxproj. Unlike importVcproj, a file
    // from which nothing can be read leaves the open project as it is.
    // `report` (if given) receives the format read, or the refusal, and the
    // notes; its project stays empty.
    bool importVisualStudio(const String& path, VisualStudioImport* report = nullptr);
    bool lastLoadWasDamaged() const { return m_lastLoadDamaged; }
    // Replaces the file atomically. False (old file intact) with no project or
    // when the file cannot be written; `error` then says why.
    bool writeProject(const String& path, String* error = nullptr);

    // Devices selected by the criteria, in database order. The pointers are
    // valid until the next reloadProfiles().
    Vector<const Device*> getTargetDevices() const;
    // Appends project directory + stored path for every file of `kind`,
    // depth-first in tree order.
    void collectFiles(FileKind kind, Vector<String>& list) const;

    bool writeConfig(String* error = nullptr);
    // The configured tool's command line for `file` at `line` (empty when no
    // file type applies); see core/ToolCommandLine.h.
    String getCommandLine(const String& file, int line, bool isProfile) const;
    // Rebuilds the profile database: every Device pointer obtained before is
    // invalid afterwards (see ProfileDatabase::generation()). A read under
    // way is given up (it may predate an update just installed); the
    // database is read again in the background after startReadingProfiles(),
    // otherwise when next needed.
    void reloadProfiles();

    // Ends the process, as a read would, when ROOT/profiles/vendors/
    // definitions.txt cannot be read: the one check of the database that
    // the window makes before it shows.
    void checkProfiles() const;
    // The window: reads the profile database on a worker thread so nothing
    // waits for it at start-up; checkProfiles() first. `arrived` runs on the worker thread
    // when a read has finished (this one and every one reloadProfiles()
    // starts); the owner then takes the result with getProfileDatabase().
    void startReadingProfiles(std::function<void()> arrived);
    // Ends a background read under way without taking it and forgets
    // `arrived` and the waiter; later reads happen when needed.
    void stopReadingProfiles();
    // Whether getProfileDatabase() returns without reading or waiting.
    bool profilesRead() const;
    // How the owner waits for a background read that something needs now:
    // called with a test that turns true once the read has finished. The
    // window keeps its events flowing meanwhile; without a waiter the
    // calling thread simply blocks.
    using ProfilesWaiter = std::function<void(const std::function<bool()>& finished)>;
    void setProfilesWaiter(ProfilesWaiter waiter) { m_profilesWaiter = std::move(waiter); }

    void addListener(ProjectManagerListener* listener);

    // The build and its packaging steps (core/builder/).
    int build();
    int packageJavaMe(bool includeResources);
    int packageSymbian();
    // Build Changed: the build with every step skipped that the build record
    // in Output shows up to date; ends with a summary line, which
    // lastChangedSummary() keeps (without its line end).
    int buildChanged();
    const String& lastChangedSummary() const { return m_changedSummary; }
    void setChangedSummary(const String& summary) { m_changedSummary = summary; }
    // The running Build Changed's bookkeeping, which the packagers consult;
    // null during any other build.
    ChangedBuild* changedBuild() const { return m_changedBuild; }
    void setChangedBuild(ChangedBuild* changed) { m_changedBuild = changed; }
    // Words put in front of every compile command (a compiler cache or a
    // compile farm's client), split like any tool command line; empty for
    // none.
    const String& getCompilerLauncher() const { return m_compilerLauncher; }
    void setCompilerLauncher(const String& launcher) { m_compilerLauncher = launcher; }

    // Phone transfer (core/PhoneTransfer.cpp). selectPhone: the user picks a
    // phone through `chooser`, its OBEX Object Push channel is looked up and
    // PhoneAddress/PhonePort are stored in bin/config.xml. 1 = chosen and
    // stored, 2 = cancelled (the dialog, or the wait for the search), 0 =
    // failure. The phone's channel is that of the first record of the OBEX
    // Object Push class with an RFCOMM channel from 1 to 30. When the phone
    // cannot be stored, the configuration keeps its old phone and
    // `storeError` (if given) says why. sendToPhone: pushes the project's
    // JAR of `runtimePath`'s runtime with the kit's sendel; 0 = sent, else
    // the tool's exit status, -1 without an executor or without an open
    // project.
    int selectPhone(PhoneChooser& chooser, String* storeError = nullptr);
    int sendToPhone(const String& runtimePath);

    Project* getProject() const { return m_project.get(); }
    Config& getConfig() { return *m_config; }
    const Config& getConfig() const { return *m_config; }
    // The database, read first (or waited for) when it has not been read
    // yet. On the owner's thread only.
    ProfileDatabase& getProfileDatabase();
    const ProfileDatabase& getProfileDatabase() const;
    // Created with the manager; reads both version files once.
    UpdateManager& getUpdateManager() { return *m_updateManager; }
    CommandExecutor* getExecutor() const { return m_executor; }
    const String& getCreateSisPath() const { return m_createSisPath; }

private:
    // Makes m_profiles the installed database: reads it here, or takes what
    // the background read gives, waiting for it first.
    void ensureProfiles() const;
    void startReader();

    void notifyListeners();
    template <typename Reader>
    bool openWith(const String& path);

    String m_root;
    CommandExecutor* m_executor;
    String m_createSisPath;
    Vector<ProjectManagerListener*> m_listeners;
    std::unique_ptr<Project> m_project;
    std::unique_ptr<Config> m_config;
    // Filled on first use: the const accessors read it too.
    mutable ProfileDatabase m_profiles;
    mutable bool m_profilesRead = false;
    mutable std::unique_ptr<ProfileReader> m_reader;
    std::function<void()> m_profilesArrived;
    ProfilesWaiter m_profilesWaiter;
    std::unique_ptr<UpdateManager> m_updateManager;
    bool m_lastLoadDamaged = false;
    String m_compilerLauncher;
    String m_changedSummary;
    ChangedBuild* m_changedBuild = nullptr;
};

} // namespace Brask
