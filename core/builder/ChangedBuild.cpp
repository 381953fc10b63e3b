#include "core/builder/ChangedBuild.h"

#include "util/Diagnostics.h"

#include <ctime>
#include <fstream>
#include <sstream>

namespace Brask {

ChangedBuild::ChangedBuild(std::string outputDir, std::string projectDir,
                           std::function<void(const std::string&)> say)
    : m_outputDir(std::move(outputDir))
    , m_projectDir(std::move(projectDir))
    , m_say(std::move(say))
    , m_record(m_outputDir + "/" + BuildRecord::kFileName)
{
}

void ChangedBuild::open()
{
    if (m_record.load() == BuildRecord::Status::Damaged)
        m_say("The build record " + m_record.path() + " is damaged (" + m_record.problem()
              + "): the steps it no longer vouches for run again.\n");
    for (const auto& [key, step] : m_record.entries()) {
        for (const auto& output : step.outputs)
            m_produced.insert(output.first);
    }
}

ChangedBuild::Clock ChangedBuild::now()
{
    // File times are taken from the kernel's coarse clock (or a finer one
    // that is never behind it): a file changed after this reading carries a
    // time at or after it.
    Clock clock{};
    if (::clock_gettime(CLOCK_REALTIME_COARSE, &clock) != 0)
        ::clock_gettime(CLOCK_REALTIME, &clock);
    return clock;
}

const FileState& ChangedBuild::state(const std::string& path)
{
    auto it = m_states.find(path);
    if (it == m_states.end())
        it = m_states.emplace(path, FileState::of(path)).first;
    return it->second;
}

bool ChangedBuild::upToDate(const Step& step)
{
    auto stale = [&] {
        for (const std::string& output : step.outputs)
            m_states.erase(output);
        return false;
    };
    const RecordedStep* recorded = m_record.find(step.key);
    if (!recorded || recorded->command != step.command)
        return stale();
    // Every file named now must have been recorded: a new input or output
    // is a change.
    auto recordedPaths = [](const FileStates& states) {
        std::set<std::string> paths;
        for (const auto& entry : states)
            paths.insert(entry.first);
        return paths;
    };
    const std::set<std::string> inputs = recordedPaths(recorded->inputs);
    const std::set<std::string> outputs = recordedPaths(recorded->outputs);
    for (const std::string& path : step.inputs)
        if (!inputs.count(path))
            return stale();
    for (const std::string& path : step.outputs)
        if (!outputs.count(path))
            return stale();
    for (const auto& [path, was] : recorded->inputs)
        if (state(path) != was)
            return stale();
    for (const auto& [path, was] : recorded->outputs)
        if (!was.exists || state(path) != was)
            return stale();
    return true;
}

bool ChangedBuild::mayHaveChanged(const std::string& path, const FileState& state, const Clock& started) const
{
    if (m_produced.count(path))
        return false;
    // A file system that keeps whole seconds (or two) cannot tell "before"
    // from "during" within that span.
    if (state.nanoseconds == 0)
        return state.seconds + 2 > static_cast<int64_t>(started.tv_sec);
    return state.seconds > static_cast<int64_t>(started.tv_sec)
        || (state.seconds == static_cast<int64_t>(started.tv_sec)
            && state.nanoseconds >= static_cast<uint32_t>(started.tv_nsec));
}

void ChangedBuild::succeeded(const Step& step, const Clock& started, const std::vector<std::string>& read)
{
    RecordedStep entry;
    entry.command = step.command;
    std::set<std::string> seen;
    auto addInput = [&](const std::string& path, bool mustExist) {
        if (!seen.insert(path).second)
            return true;
        const FileState now = FileState::of(path);
        m_states[path] = now;
        if ((mustExist && !now.exists) || (now.exists && mayHaveChanged(path, now, started))) {
            warnIfInFuture(path, now);
            return false;
        }
        entry.inputs.emplace_back(path, now);
        return true;
    };
    bool trustworthy = true;
    for (const std::string& path : step.inputs)
        trustworthy = addInput(path, false) && trustworthy;
    for (const std::string& path : read)
        trustworthy = addInput(path, true) && trustworthy;
    for (const std::string& path : step.outputs) {
        const FileState now = FileState::of(path);
        m_states[path] = now;
        m_produced.insert(path);
        entry.outputs.emplace_back(path, now);
    }
    if (!trustworthy)
        return;
    std::string error;
    if (!m_record.store(step.key, std::move(entry), &error) && !m_writeFailed) {
        m_writeFailed = true;
        m_say("The build record cannot be written (" + error + "): the next Build Changed repeats these steps.\n");
    }
}

void ChangedBuild::warnIfInFuture(const std::string& path, const FileState& state)
{
    // A time still ahead of the clock once the step is over was not set by
    // the step: the step cannot be recorded until that time has passed.
    const Clock clock = now();
    const bool ahead = state.seconds > static_cast<int64_t>(clock.tv_sec)
        || (state.seconds == static_cast<int64_t>(clock.tv_sec)
            && state.nanoseconds > static_cast<uint32_t>(clock.tv_nsec));
    if (!ahead || !m_warnedFuture.insert(path).second)
        return;
    const std::time_t when = static_cast<std::time_t>(state.seconds);
    std::tm local{};
    char date[64] = "?";
    if (localtime_r(&when, &local))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    m_say("Warning: " + path + " was modified in the future (" + date
          + "): Build Changed rebuilds what depends on it every time until that time has passed.\n");
}

void ChangedBuild::produced(const std::string& path)
{
    m_produced.insert(path);
    m_states.erase(path);
}

void ChangedBuild::finish()
{
    std::string error;
    if (!m_writeFailed && !m_record.compactIfLarge(&error))
        diag("Can't compact the build record: %s\n", error.c_str());
}

std::vector<std::string> ChangedBuild::resourceFiles(const std::string& list)
{
    std::vector<std::string> files;
    std::ifstream in(list, std::ios::binary);
    if (!in)
        return files;
    const size_t slash = list.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : list.substr(0, slash);
    for (std::string line; std::getline(in, line);) {
        const size_t begin = line.find_first_not_of(" \t\r");
        if (begin == std::string::npos || line[begin] == '#')
            continue;
        std::string name = line.substr(begin, line.find_last_not_of(" \t\r") - begin + 1);
        for (char& c : name)
            if (c == '\\')
                c = '/';
        files.push_back(name[0] == '/' ? name : directory + "/" + name);
    }
    return files;
}

namespace {

const char* stageText(ChangedBuild::Stage stage, const char* ran, const char* upToDate, const char* notReached)
{
    switch (stage) {
    case ChangedBuild::Stage::Ran:
        return ran;
    case ChangedBuild::Stage::UpToDate:
        return upToDate;
    case ChangedBuild::Stage::NotReached:
        break;
    }
    return notReached;
}

} // namespace

std::string ChangedBuild::summary() const
{
    std::ostringstream text;
    text << "Build Changed: " << counts.compiled << " compiled, " << counts.compilesUpToDate << " up to date";
    if (counts.hasResources)
        text << "; resources " << stageText(counts.resources, "built", "up to date", "not built");
    text << "; link " << stageText(counts.link, "ran", "up to date", "not run");
    if (counts.packaging) {
        const int made = counts.packagesMade;
        if (made == 0 && counts.packagesUpToDate == 0)
            text << "; no package made";
        else
            text << "; " << made << (made == 1 ? " package" : " packages") << " made, " << counts.packagesUpToDate
                 << " up to date";
    }
    return text.str();
}

} // namespace Brask
