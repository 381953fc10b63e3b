#pragma once
// Reads a project file into a Project. Constructing the reader reads the file;
// the caller then takes the project (possibly none) and the read's outcome.

#include "core/project/ProjectTreeReader.h"

namespace Brask {

class ProjectParser : public ProjectTreeReader {
public:
    explicit ProjectParser(const String& path);

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;
};

} // namespace Brask
