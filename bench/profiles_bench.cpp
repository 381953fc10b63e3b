// Profile database: loading against plain reading of the same files, and
// target selection. The database comes from tools/gen-profiles.py (see
// bench/CMakeLists.txt and docs/performance.md).

#include "core/profiles/Criteria.h"
#include "core/profiles/ProfileDatabase.h"
#include "core/profiles/TargetExplanation.h"
#include "core/profiles/TargetSelection.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Brask;

namespace {

const std::string Database = PROFILES_BENCH_DB;

// Reads a file into `buffer` and discards it; returns the byte count.
size_t slurp(const std::string& path, std::vector<char>& buffer)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t total = 0;
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
        total += static_cast<size_t>(n);
    ::close(fd);
    return total;
}

std::vector<std::string> subdirectories(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] != '.' && e->d_type == DT_DIR)
                names.emplace_back(e->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

// The floor any loader has to pay: list the same directories and read the
// same files (definitions.txt, every runtime.txt and profile.h).
void BM_ReadFilesOnly(benchmark::State& state)
{
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        size_t bytes = slurp(Database + "/definitions.txt", buffer);
        for (const std::string& vendor : subdirectories(Database)) {
            const std::string vendorDir = Database + "/" + vendor;
            for (const std::string& device : subdirectories(vendorDir)) {
                const std::string deviceDir = vendorDir + "/" + device;
                bytes += slurp(deviceDir + "/runtime.txt", buffer);
                bytes += slurp(deviceDir + "/profile.h", buffer);
            }
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ReadFilesOnly)->Unit(benchmark::kMillisecond);

void BM_LoadDatabase(benchmark::State& state)
{
    ProfileDatabase database;
    for (auto _ : state) {
        database.load(Database);
        benchmark::DoNotOptimize(database.getVendors().data());
    }
    state.counters["devices"] = static_cast<double>(database.deviceCount());
}
BENCHMARK(BM_LoadDatabase)->Unit(benchmark::kMillisecond);

// Five criteria of every kind over the 2,000 devices. The feature criteria
// name display names that about one device in eight carries, so most devices
// are decided after the first few criteria and the rest scan all five.
void BM_SelectTargets(benchmark::State& state)
{
    ProfileDatabase database;
    database.load(Database);
    const auto& features = database.getFeatures();
    if (features.size() < 2 || database.deviceCount() < 2000) {
        state.SkipWithError("benchmark database missing or too small");
        return;
    }
    Vector<std::unique_ptr<Criterion>> criteria;
    criteria.push_back(std::make_unique<Not>(true, "Vendor0003"));
    criteria.push_back(std::make_unique<Constant>(Constant::GT, "ScreenSize/X,pixels", 100, true));
    criteria.push_back(std::make_unique<Lacks>(features[1].second));
    criteria.push_back(std::make_unique<Has>(features[0].second));
    criteria.push_back(std::make_unique<Constant>(Constant::LT, "ScreenSize/Y,pixels", 4000, true));
    size_t selected = 0;
    for (auto _ : state) {
        Vector<const Device*> targets = selectTargets(database, criteria);
        selected = targets.size();
        benchmark::DoNotOptimize(targets.data());
    }
    state.counters["selected"] = static_cast<double>(selected);
}
BENCHMARK(BM_SelectTargets)->Unit(benchmark::kMicrosecond);

// What "Show excluded devices" and the criteria tooltips cost: the same five
// criteria, every device judged against all of them, the explanation text
// for every rejected device and the count text for every criterion.
void BM_ExplainEveryDevice(benchmark::State& state)
{
    ProfileDatabase database;
    database.load(Database);
    const auto& features = database.getFeatures();
    if (features.size() < 2 || database.deviceCount() < 2000) {
        state.SkipWithError("benchmark database missing or too small");
        return;
    }
    CriterionList criteria;
    criteria.push_back(std::make_unique<Not>(true, "Vendor0003"));
    criteria.push_back(std::make_unique<Constant>(Constant::GT, "ScreenSize/X,pixels", 100, true));
    criteria.push_back(std::make_unique<Lacks>(features[1].second));
    criteria.push_back(std::make_unique<Has>(features[0].second));
    criteria.push_back(std::make_unique<Constant>(Constant::LT, "ScreenSize/Y,pixels", 4000, true));
    size_t rejected = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const TargetExplanation explanation(database, criteria);
        rejected = 0;
        bytes = 0;
        for (const auto& verdict : explanation.verdicts()) {
            if (verdict.rejectedBy >= 0) {
                ++rejected;
                bytes += explanation.explain(verdict).size();
            }
        }
        for (const CriterionCount& count : explanation.counts())
            bytes += countText(count, explanation.deviceCount()).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["rejected"] = static_cast<double>(rejected);
}
BENCHMARK(BM_ExplainEveryDevice)->Unit(benchmark::kMicrosecond);

} // namespace
