// How long a stop takes: from terminate() (what "Stop build", Esc and
// varbuild-cli's interrupt call) until the last process of the tool's tree
// is gone. The tool is bash waiting for a sleep, a tree of two that ends on
// SIGTERM. Prints each run and the median and worst case.
//
// usage: stop_latency [RUNS]

#include "platform/ProcessRunner.h"

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
        char path[64];
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

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    char script[] = "/tmp/stop-latency-XXXXXX";
    const int fd = ::mkstemp(script);
    if (fd < 0)
        return 1;
    const std::string body = "#!/bin/bash\necho $$\nsleep 600\n";
    if (::write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size()))
        return 1;
    ::close(fd);
    ::chmod(script, 0700);

    std::vector<double> millis;
    for (int i = 0; i < runs; ++i) {
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
    ::unlink(script);
    std::sort(millis.begin(), millis.end());
    std::printf("median %.2f ms, worst %.2f ms over %d runs\n", millis[millis.size() / 2], millis.back(), runs);
    return 0;
}
