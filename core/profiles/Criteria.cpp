#include "core/profiles/Criteria.h"

#include "core/profiles/Device.h"
#include "core/profiles/Vendor.h"
#include "core/xml/XMLParser.h"

namespace Brask {

namespace {

const String& comparedName(const Device& device, bool vendor)
{
    static const String none;
    if (!vendor)
        return device.getName();
    return device.getVendor() ? device.getVendor()->getName() : none;
}

String nameXML(bool vendor, const char* attribute, const String& name)
{
    return String(vendor ? "<Vendor " : "<Device ") + attribute + "=\"" + Corvath::XML::escapeAttribute(name) + "\"/>";
}

Constant::Op normalisedOp(int op)
{
    return op >= Constant::GT && op <= Constant::NE ? static_cast<Constant::Op>(op) : Constant::GT;
}

String constantXML(Constant::Op op, const String& name, int value, bool allowUndefined)
{
    return String("<Constant op=\"") + Constant::opName(op) + "\" name=\"" + Corvath::XML::escapeAttribute(name) + "\" value=\""
        + std::to_string(value) + "\" allowUndefined=\"" + (allowUndefined ? "true" : "false") + "\"/>";
}

String constantDescription(Constant::Op op, const String& name, int value)
{
    return name + " " + Constant::opSymbol(op) + " " + std::to_string(value);
}

} // namespace

Has::Has(const String& feature)
    : Criterion("<Has feature=\"" + Corvath::XML::escapeAttribute(feature) + "\"/>", "Required feature: " + feature)
    , m_feature(feature)
{
}

bool Has::evaluate(const Device& device) const
{
    return device.hasFeature(m_feature);
}

Lacks::Lacks(const String& feature)
    : Criterion("<Lacks feature=\"" + Corvath::XML::escapeAttribute(feature) + "\"/>", "Forbidden feature: " + feature)
    , m_feature(feature)
{
}

bool Lacks::evaluate(const Device& device) const
{
    return !device.hasFeature(m_feature);
}

NameCriterion::NameCriterion(bool vendor, const String& name, bool negated)
    : Criterion(nameXML(vendor, negated ? "isNot" : "is", name),
                String(vendor ? "Vendor " : "Device ") + (negated ? "isn't " : "is ") + name)
    , m_vendor(vendor)
    , m_negated(negated)
    , m_name(name)
{
}

bool NameCriterion::evaluate(const Device& device) const
{
    return (comparedName(device, m_vendor) == m_name) != m_negated;
}

Is::Is(bool vendor, const String& name)
    : NameCriterion(vendor, name, false)
{
}

Not::Not(bool vendor, const String& name)
    : NameCriterion(vendor, name, true)
{
}

Constant::Constant(int op, const String& name, int value, bool allowUndefined)
    : Criterion(constantXML(normalisedOp(op), name, value, allowUndefined),
                constantDescription(normalisedOp(op), name, value))
    , m_allowUndefined(allowUndefined)
    , m_op(normalisedOp(op))
    , m_name(name)
    , m_value(value)
{
}

bool Constant::evaluate(const Device& device) const
{
    const int x = device.getConstant(m_name);
    if (x < 0)
        return m_allowUndefined;
    switch (m_op) {
    case GT: return x > m_value;
    case LT: return x < m_value;
    case EQ: return x == m_value;
    case NE: return x != m_value;
    }
    return false;
}

const char* Constant::opName(Op op)
{
    switch (op) {
    case GT: return "GT";
    case LT: return "LT";
    case EQ: return "EQ";
    case NE: return "NE";
    }
    return "GT";
}

const char* Constant::opSymbol(Op op)
{
    switch (op) {
    case GT: return ">";
    case LT: return "<";
    case EQ: return "==";
    case NE: return "!=";
    }
    return ">";
}

} // namespace Brask
