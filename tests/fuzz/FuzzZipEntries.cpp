// Fuzz target: the zip entry reader on a profile archive the update server
// chose, read through the kit's unzip.
//
// Input: one byte that sets the limit (in units of 64 bytes), then the
// archive, read whole in one run as the profile update reads it.
//
// What must hold: no crash; the count reported is what reached the caller
// (limit + 1 when too much came), which is never more than the limit; an entry read whole stayed within it;
// a failure says why.

#include "FuzzSupport.h"
#include "core/update/ZipEntryReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const long long limit = static_cast<long long>(data[0]) * 64;
    const std::string archive = Fuzz::writeScratchFile("update/profiles.zip", data + 1, size - 1);

    Brask::ZipEntryReader reader("/usr/bin/unzip");
    long long handed = 0;
    long long bytes = -1;
    std::string error;
    const Brask::ZipEntryReader::Result result = reader.read(
        archive, limit,
        [&handed](const char*, std::size_t count) {
            handed += static_cast<long long>(count);
            return true;
        },
        nullptr, bytes, error);
    Fuzz::reachedChecks();
    // Too large reports one byte more than the limit, none of which came.
    const long long reported = result == Brask::ZipEntryReader::TooLarge ? limit + 1 : handed;
    if (bytes != reported || handed > limit)
        std::abort();
    if (result == Brask::ZipEntryReader::Failed && error.empty())
        std::abort();
    return 0;
}
