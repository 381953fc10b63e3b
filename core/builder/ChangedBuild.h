#pragma once
// What Build Changed adds to a build: before each step, whether the build
// record shows it certainly up to date (then it is skipped); after each step
// that succeeded, its new record. Also the counts for the closing summary.

#include "core/builder/BuildRecord.h"

#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace Brask {

class ChangedBuild {
public:
    // `outputDir`: the build's Output directory, which holds the record;
    // `projectDir`: where the tools run (ends with "/"). `say` shows one of
    // the build's own lines.
    ChangedBuild(std::string outputDir, std::string projectDir, std::function<void(const std::string&)> say);

    // Reads the record. A damaged record is said in one line; its readable
    // entries still count.
    void open();

    struct Step {
        // Names the step in the record: the assembly file of a compile,
        // "resources", "link", "package " + the runtime.
        std::string key;
        // Every command line of the step, and any other text its result
        // depends on.
        std::string command;
        // The files it reads; a missing one is recorded as missing, so its
        // appearance makes the step run.
        std::vector<std::string> inputs;
        // The files it writes; a missing one makes the step run.
        std::vector<std::string> outputs;
    };

    // True when `step` last succeeded with the same command and every file
    // it read and wrote then is as it was. Otherwise the step is about to
    // run, and what is known of its outputs is forgotten.
    bool upToDate(const Step& step);

    using Clock = struct timespec;
    // The file system's clock as a step starts.
    static Clock now();

    // After `step` succeeded: records it with the states of its inputs, of
    // the files in `read` (the compiler's list of what it read, all of which
    // must exist) and of its outputs. Records nothing when one of them may
    // have changed while the step ran (it was modified at or after
    // `started`), so the step runs again next time.
    void succeeded(const Step& step, const Clock& started, const std::vector<std::string>& read = {});

    // A file the build writes itself outside any step (the manifest):
    // like a step's output it is not suspected of a change while a step ran.
    void produced(const std::string& path);

    // Called at the end of the build: keeps the record from growing.
    void finish();

    // The files a resource list names: one per line relative to the list,
    // blank lines and lines starting with "#" left out (the kit's format).
    static std::vector<std::string> resourceFiles(const std::string& list);

    enum class Stage { NotReached, Ran, UpToDate };
    struct Counts {
        int compiled = 0;
        int compilesUpToDate = 0;
        bool hasResources = false;
        Stage resources = Stage::NotReached;
        Stage link = Stage::NotReached;
        // Library projects are not packaged.
        bool packaging = true;
        int packagesMade = 0;
        int packagesUpToDate = 0;
    };
    Counts counts;

    // "Build Changed: 1 compiled, 299 up to date; link ran; 1 package made,
    // 2 up to date" (no line end).
    std::string summary() const;

private:
    const FileState& state(const std::string& path);
    bool mayHaveChanged(const std::string& path, const FileState& state, const Clock& started) const;
    // Says once per build and file when `path` is dated after the clock.
    void warnIfInFuture(const std::string& path, const FileState& state);

    std::string m_outputDir;
    std::string m_projectDir;
    std::function<void(const std::string&)> m_say;
    BuildRecord m_record;
    // States read during this build; a step's outputs are dropped as it runs.
    std::unordered_map<std::string, FileState> m_states;
    // Outputs of steps and files the build writes: they change only through
    // the build itself.
    std::set<std::string> m_produced;
    bool m_writeFailed = false;
    std::set<std::string> m_warnedFuture;
};

} // namespace Brask
