// Rebuilds criteria from project-file elements. Nothing here fails: odd
// attribute texts are normalised, so a criterion read from a file is written
// back in normal form.

#include "core/profiles/Criterion.h"
#include "core/profiles/Criteria.h"
#include "util/PathUtil.h"

namespace Brask {

namespace {

using Corvath::XML::getAttribute;
using Corvath::XML::hasAttribute;

int opFromText(const String& text)
{
    if (text == "LT")
        return Constant::LT;
    if (text == "EQ")
        return Constant::EQ;
    if (text == "NE")
        return Constant::NE;
    return Constant::GT;
}

std::unique_ptr<Criterion> nameCriterion(bool vendor, const Corvath::XML::Attributes& attributes)
{
    // An "is" attribute, even an empty one, makes an Is; otherwise it is a Not
    // (with the empty name when isNot is absent too, which every device passes).
    if (hasAttribute(attributes, "is"))
        return std::make_unique<Is>(vendor, getAttribute(attributes, "is"));
    return std::make_unique<Not>(vendor, getAttribute(attributes, "isNot"));
}

} // namespace

std::unique_ptr<Criterion> createCriterion(const String& element, const Corvath::XML::Attributes& attributes)
{
    if (element == "Has")
        return std::make_unique<Has>(getAttribute(attributes, "feature"));
    if (element == "Lacks")
        return std::make_unique<Lacks>(getAttribute(attributes, "feature"));
    if (element == "Device")
        return nameCriterion(false, attributes);
    if (element == "Vendor")
        return nameCriterion(true, attributes);
    if (element == "Constant") {
        const bool allowUndefined = !hasAttribute(attributes, "allowUndefined")
            || isTrue(getAttribute(attributes, "allowUndefined"));
        return std::make_unique<Constant>(opFromText(getAttribute(attributes, "op")), getAttribute(attributes, "name"),
                                          toInt(getAttribute(attributes, "value")), allowUndefined);
    }
    return nullptr;
}

} // namespace Brask
