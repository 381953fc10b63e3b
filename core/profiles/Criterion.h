#pragma once
// A device criterion: one condition of a project's target selection. A
// criterion never changes after construction; its two texts are fixed then.

#include "core/xml/XMLParser.h"
#include "kvutil/KVUtil.h"

#include <memory>

namespace Brask {

using KVUtil::String;

class Device;

class Criterion {
public:
    virtual ~Criterion() = default;

    // The element as the project file stores it, already escaped for XML.
    const String& getXML() const { return m_xml; }
    // The line shown in the criteria list.
    const String& getDescription() const { return m_description; }

    virtual bool evaluate(const Device& device) const = 0;

protected:
    Criterion(String xml, String description)
        : m_xml(std::move(xml))
        , m_description(std::move(description))
    {
    }

private:
    String m_xml;
    String m_description;
};

// Builds the criterion that a project-file element stands for, or nullptr when
// `element` names no criterion kind. Absent attributes read as empty texts.
std::unique_ptr<Criterion> createCriterion(const String& element, const Corvath::XML::Attributes& attributes);

} // namespace Brask
