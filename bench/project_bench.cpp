// Loading a project file with many properties: the time per property must not
// grow with their number.

#include "core/ProjectManager.h"
#include "util/Diagnostics.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

struct Files {
    std::string root;
    std::string project;
};

Files makeFiles(int properties)
{
    char pattern[] = "/tmp/vb-project-bench-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    Files f{dir + "/kit", dir + "/p.vnp"};
    std::system(("mkdir -p '" + f.root + "/profiles/vendors' '" + f.root + "/bin'").c_str());
    std::ofstream(f.root + "/profiles/vendors/definitions.txt");
    std::ofstream out(f.project);
    out << "<Project name=\"p\">\n\t<Configuration>\n";
    for (int i = 0; i < properties; ++i)
        out << "\t\t<Property name=\"key" << i << "\" value=\"" << i << "\"/>\n";
    out << "\t</Configuration>\n\t<Criteria>\n\t</Criteria>\n</Project>\n";
    return f;
}

void BM_LoadProperties(benchmark::State& state)
{
    const Files files = makeFiles(static_cast<int>(state.range(0)));
    Brask::setDiagnosticStream(nullptr);
    Brask::ProjectManager manager(files.root, nullptr);
    for (auto _ : state) {
        manager.loadProject(files.project);
        benchmark::DoNotOptimize(manager.getProject());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::system(("rm -rf '" + files.root + "/..'").c_str());
}
BENCHMARK(BM_LoadProperties)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
