// The round trip the project readers share: a project read from any file,
// saved as a project file and read back, saves the same text again.

#pragma once

#include "FuzzSupport.h"
#include "core/project/ProjectParser.h"

#include <cstdlib>
#include <string>

namespace Fuzz {

inline void projectReadsBackTheSame(const Brask::Project& project)
{
    const std::string text = project.toXML();
    const std::string path = writeScratchFile("saved/saved.vnp", reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    Brask::ProjectParser again(path);
    const std::unique_ptr<Brask::Project> reread = again.takeProject();
    if (again.result() != Corvath::XML::ParseResult::Ok || !reread || reread->toXML() != text)
        std::abort();
}

} // namespace Fuzz
