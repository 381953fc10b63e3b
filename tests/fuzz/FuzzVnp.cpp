// Fuzz target: the project file reader (.vnp), on any bytes a user or a
// colleague hands over.
//
// What must hold: no crash; a project that was read, saved and read again
// saves the same text (nothing a save writes is lost or changed by reading).

#include "FuzzProjectFiles.h"
#include "util/Diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brask::setDiagnosticStream(nullptr);
    Brask::ProjectParser parser(Fuzz::writeScratchFile("project/fuzz.vnp", data, size));
    const std::unique_ptr<Brask::Project> project = parser.takeProject();
    Fuzz::reachedChecks();
    if (project)
        Fuzz::projectReadsBackTheSame(*project);
    return 0;
}
