#pragma once
// Imports a Visual C++ project (.vcproj): its filters become folders, its
// files keep their relative paths, and a few tool settings become project
// properties. The design's own import reads Visual C++ 2005 files only; the
// Visual Studio import also takes the 7.10 and 9.00 files, whose elements are
// the same.

#include "core/project/ProjectTreeReader.h"

namespace Brask {

class VcprojParser : public ProjectTreeReader {
public:
    enum class Versions {
        Only2005,   // Version 8,00 / 8.00
        AllKnown,   // 7.10, 8.00 and 9.00, each with a comma or a point
    };

    explicit VcprojParser(const String& path, Versions versions = Versions::Only2005);

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;

    // The Version of the VisualStudioProject element as written, accepted or
    // not; empty when the file has none.
    const String& version() const { return m_version; }
    bool sawProjectElement() const { return m_sawProject; }

    // Whether `version` is one that `versions` reads.
    static bool accepts(Versions versions, const String& version);

private:
    void takeToolSettings(const Corvath::XML::Attributes& attributes);

    Versions m_versions;
    bool m_stop = false;
    bool m_sawProject = false;
    String m_version;
};

} // namespace Brask
