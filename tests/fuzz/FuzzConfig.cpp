// Fuzz target: reading bin/config.xml, which users edit by hand.
//
// What must hold: no crash; the settings read, written and read again give
// the same text.

#include "FuzzSupport.h"
#include "core/config/Config.h"
#include "util/Diagnostics.h"

#include <cstdlib>

namespace {

std::string readBack(const std::string& path)
{
    Brask::ConfigParser parser(path, "/kit");
    return parser.takeConfig()->toText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brask::setDiagnosticStream(nullptr);
    const std::string text = readBack(Fuzz::writeScratchFile("bin/config.xml", data, size));
    Fuzz::reachedChecks();
    const std::string saved = Fuzz::writeScratchFile("saved/config.xml",
                                                     reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (readBack(saved) != text)
        std::abort();
    return 0;
}
