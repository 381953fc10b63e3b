// Replays a fuzz target's corpus without libFuzzer: every file below the
// directories given is passed to the target once. Used by the normal test run.
// Fails when a seed did not reach the target's checks (FuzzSupport.h): a seed
// that checks nothing proves nothing.

#include "FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    int files = 0;
    int unchecked = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> paths;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (entry.is_regular_file())
                paths.push_back(entry.path());
        }
        std::sort(paths.begin(), paths.end());
        for (const auto& path : paths) {
            std::ifstream in(path, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            const unsigned long before = Fuzz::inputsThatReachedChecks();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++files;
            if (Fuzz::inputsThatReachedChecks() == before) {
                std::fprintf(stderr, "%s: did not reach the target's checks\n", path.c_str());
                ++unchecked;
            }
        }
    }
    std::printf("%d inputs replayed, %d of them reached the checks\n", files, files - unchecked);
    return files > 0 && unchecked == 0 ? 0 : 1;
}
