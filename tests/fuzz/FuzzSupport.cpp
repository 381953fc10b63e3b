#include "FuzzSupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

std::atomic<unsigned long> reached{0};

// A libFuzzer run leaves through exit(), which runs this destructor after
// libFuzzer's own final figures.
struct FinalCount {
    ~FinalCount() { std::fprintf(stderr, "stat::inputs_that_reached_checks: %lu\n", reached.load()); }
} finalCount;

} // namespace

namespace Fuzz {

void reachedChecks()
{
    reached.fetch_add(1);
}

unsigned long inputsThatReachedChecks()
{
    return reached.load();
}

} // namespace Fuzz

namespace Fuzz {

const std::string& scratchDirectory()
{
    static const std::string directory = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "varbuild-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        static const std::string made = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return pattern;
    }();
    return directory;
}

std::string writeScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratchDirectory() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        std::abort();
    return path;
}

} // namespace Fuzz
