// Fuzz target: reading a device of the profile database, as a profile update
// delivers it: definitions.txt, the device's runtime.txt and profile.h.
//
// Input: the three files' bytes, separated by NUL bytes (a missing part is
// an empty file).
//
// What must hold: no crash; the database holds the one vendor and device;
// the device's runtime is runtime.txt's first line; no file gives more
// features and constants than it has lines.

#include "FuzzSupport.h"
#include "core/profiles/ProfileDatabase.h"
#include "util/Diagnostics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<std::string> splitAtNul(const std::uint8_t* data, std::size_t size, std::size_t parts)
{
    std::vector<std::string> out(parts);
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '\0' && part + 1 < parts)
            ++part;
        else
            out[part] += text[i];
    }
    return out;
}

std::size_t lines(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

void write(const std::string& name, const std::string& text)
{
    Fuzz::writeScratchFile(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brask::setDiagnosticStream(nullptr);
    const std::vector<std::string> files = splitAtNul(data, size, 3);
    write("profiles/definitions.txt", files[0]);
    write("profiles/Vendor/Device/runtime.txt", files[1]);
    write("profiles/Vendor/Device/profile.h", files[2]);
    const std::string root = Fuzz::scratchDirectory() + "/profiles";
    if (!Brask::ProfileDatabase::isLoadable(root))
        std::abort();
    Brask::ProfileDatabase database;
    database.load(root);
    Fuzz::reachedChecks();

    const Brask::Device* device = database.findDevice("Vendor", "Device");
    if (database.getVendors().size() != 1 || database.deviceCount() != 1 || !device)
        std::abort();
    const std::string& runtime = device->getRuntime();
    if (runtime.find('\n') != std::string::npos || files[1].compare(0, runtime.size(), runtime) != 0)
        std::abort();
    if (device->getFeatures().size() + device->getConstants().size() > lines(files[2]))
        std::abort();
    if (database.getFeatures().size() + database.getConstants().size() > lines(files[0]))
        std::abort();
    return 0;
}
