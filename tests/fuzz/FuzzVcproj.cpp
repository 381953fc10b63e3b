// Fuzz target: the Visual C++ project reader, on any bytes offered for
// import.
//
// What must hold: no crash; the project it makes, saved as a project file
// and read again, saves the same text.

#include "FuzzProjectFiles.h"
#include "core/project/VcprojParser.h"
#include "util/Diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brask::setDiagnosticStream(nullptr);
    Brask::VcprojParser parser(Fuzz::writeScratchFile("import/fuzz.vcproj", data, size));
    const std::unique_ptr<Brask::Project> project = parser.takeProject();
    Fuzz::reachedChecks();
    if (project)
        Fuzz::projectReadsBackTheSame(*project);
    return 0;
}
