#pragma once
// Imports a Visual C++ 2005 project: its filters become folders, its files keep
// their relative paths, and a few tool settings become project properties.

#include "core/project/ProjectTreeReader.h"

namespace Brask {

class VcprojParser : public ProjectTreeReader {
public:
    explicit VcprojParser(const String& path);

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;

private:
    void takeToolSettings(const Corvath::XML::Attributes& attributes);

    bool m_stop = false;
};

} // namespace Brask
