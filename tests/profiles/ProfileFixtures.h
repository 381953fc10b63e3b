#pragma once
// Builds small profile databases on disk for the tests.

#include "support/TestSupport.h"

#include <string>

namespace ProfileFixtures {

// A device directory DB/vendor/device with runtime.txt and, unless `profile`
// is null, profile.h.
inline void writeDevice(const std::string& db, const std::string& vendor, const std::string& device,
                        const std::string& runtime, const char* profile)
{
    const std::string dir = db + "/" + vendor + "/" + device;
    TestSupport::writeFile(dir + "/runtime.txt", runtime);
    if (profile)
        TestSupport::writeFile(dir + "/profile.h", profile);
}

} // namespace ProfileFixtures
