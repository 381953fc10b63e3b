// How long a stop takes: from terminate() (what "Stop build", Esc and
// varbuild-cli's interrupt call) until the last process of the tool's tree
// is gone. The tool is bash waiting for a sleep, a tree of two that ends on
// SIGTERM. Prints each run and the median and worst case.
//
// With JOBS, that many tools run side by side through a RunnerGroup (as a
// -j JOBS build runs its compiles) and RunnerGroup::stopAll() ends them; the
// time runs until the last process of every tree is gone. With "ignoreterm"
// the tools ignore SIGTERM, so only the SIGKILL after the grace period ends
// them.
//
// usage: stop_latency [RUNS] [JOBS ignoreterm|endonterm]

#include "platform/ProcessRunner.h"
#include "platform/RunnerGroup.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// True while a process of group `pgid` has not ended. A zombie has ended:
// when its parent is gone, collecting it is up to pid 1, which on some
// machines (containers) does so only every second or two.
bool groupAlive(pid_t pgid)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return ::kill(-pgid, 0) == 0;
    bool alive = false;
    while (dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        std::FILE* f = std::fopen(path, "r");
        if (!f)
            continue;
        char line[512];
        const bool read = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        // pid (comm) state ppid pgrp ...; comm may hold blanks, so parse from the last ')'.
        const char* close = read ? std::strrchr(line, ')') : nullptr;
        char state = 0;
        int ppid = 0, pgrp = 0;
        if (close && std::sscanf(close + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 && pgrp == pgid
            && state != 'Z') {
            alive = true;
            break;
        }
    }
    ::closedir(proc);
    return alive;
}

// Writes an executable script and returns its path.
std::string writeScript(const std::string& body)
{
    char path[] = "/tmp/stop-latency-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return {};
    const bool written = ::write(fd, body.data(), body.size()) == static_cast<ssize_t>(body.size());
    ::close(fd);
    ::chmod(path, 0700);
    return written ? path : std::string();
}

// One stop of `jobs` tools run through a RunnerGroup; each tool writes its
// process id (its group) to a file of its own. Returns the milliseconds from
// stopAll() until no process of any of the groups is left, or -1.
double groupStop(const std::string& script, int jobs)
{
    char dir[] = "/tmp/stop-latency-pids-XXXXXX";
    if (!::mkdtemp(dir))
        return -1;
    Platform::RunnerGroup group;
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j)
        workers.emplace_back([&, j] { group.run(script + " " + dir + "/" + std::to_string(j), nullptr); });
    std::vector<pid_t> groups;
    const auto limit = Clock::now() + std::chrono::seconds(10);
    for (int j = 0; j < jobs; ++j) {
        const std::string file = std::string(dir) + "/" + std::to_string(j);
        pid_t pid = 0;
        while (pid == 0 && Clock::now() < limit) {
            if (std::FILE* f = std::fopen(file.c_str(), "r")) {
                int value = 0;
                if (std::fscanf(f, "%d", &value) == 1)
                    pid = value;
                std::fclose(f);
            }
            if (pid == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        groups.push_back(pid);
        ::unlink(file.c_str());
    }
    // Let bash start its sleep, so each tree really has two processes.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Clock::now();
    std::thread stopper([&] { group.stopAll(); });
    for (pid_t pgid : groups) {
        while (pgid > 0 && groupAlive(pgid) && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    stopper.join();
    for (std::thread& worker : workers)
        worker.join();
    ::rmdir(dir);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int jobs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 0;
    const bool ignoreTerm = argc > 3 && std::strcmp(argv[3], "ignoreterm") == 0;
    // An ignored signal stays ignored across exec, so the sleep ignores it too.
    const std::string script = writeScript(jobs == 0 ? "#!/bin/bash\necho $$\nsleep 600\n"
                                           : ignoreTerm ? "#!/bin/bash\ntrap '' TERM\necho $$ > \"$1\"\nsleep 600\n"
                                                        : "#!/bin/bash\necho $$ > \"$1\"\nsleep 600\n");
    if (script.empty())
        return 1;

    std::vector<double> millis;
    for (int i = 0; i < runs; ++i) {
        if (jobs > 0) {
            const double ms = groupStop(script, jobs);
            millis.push_back(ms);
            std::printf("run %2d: %.2f ms\n", i + 1, ms);
            continue;
        }
        Platform::ProcessRunner runner;
        std::atomic<pid_t> group{0};
        std::string seen;
        std::thread worker([&] {
            runner.run(script, true, [&](const char* data, size_t size) {
                seen.append(data, size);
                if (seen.find('\n') != std::string::npos && group == 0)
                    group = static_cast<pid_t>(std::atoi(seen.c_str()));
            });
        });
        const auto limit = Clock::now() + std::chrono::seconds(10);
        while (group == 0 && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Let bash start its sleep, so the tree really has two processes.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const pid_t pgid = group.load();
        const auto start = Clock::now();
        std::thread stopper([&] { runner.terminate(); });
        while (groupAlive(pgid) && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        stopper.join();
        worker.join();
        millis.push_back(ms);
        std::printf("run %2d: %.2f ms\n", i + 1, ms);
    }
    ::unlink(script.c_str());
    std::sort(millis.begin(), millis.end());
    std::printf("median %.2f ms, worst %.2f ms over %d runs\n", millis[millis.size() / 2], millis.back(), runs);
    return 0;
}
