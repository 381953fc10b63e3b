#include "core/profiles/TargetExplanation.h"

#include "core/profiles/Criteria.h"
#include "core/profiles/Device.h"
#include "core/profiles/Vendor.h"

namespace Brask {

namespace {

String quoted(const String& text)
{
    return "\"" + text + "\"";
}

String vendorName(const Device& device)
{
    return device.getVendor() ? device.getVendor()->getName() : String();
}

String constantDetail(const Device& device, const Constant& constant)
{
    const String name = quoted(constant.getName());
    const int value = device.getConstant(constant.getName());
    if (value >= 0)
        return "its " + name + " is " + std::to_string(value);
    // A negative value counts as undefined; such a device fails only a
    // criterion that does not allow undefined values.
    const String have = value == -1 ? "it has no " + name : "its " + name + " is " + std::to_string(value)
            + ", which counts as undefined,";
    return have + " and undefined values are not allowed";
}

} // namespace

int firstRejecting(const Device& device, const CriterionList& criteria)
{
    for (size_t i = 0; i < criteria.size(); ++i) {
        if (criteria[i] && !criteria[i]->evaluate(device))
            return static_cast<int>(i);
    }
    return -1;
}

String rejectionDetail(const Device& device, const Criterion& criterion)
{
    if (const auto* has = dynamic_cast<const Has*>(&criterion))
        return "its feature list does not hold " + quoted(has->getFeature());
    if (const auto* lacks = dynamic_cast<const Lacks*>(&criterion))
        return "its feature list holds " + quoted(lacks->getFeature());
    if (const auto* named = dynamic_cast<const NameCriterion*>(&criterion))
        return named->isVendor() ? "its vendor is " + quoted(vendorName(device))
                                 : "its name is " + quoted(device.getName());
    if (const auto* constant = dynamic_cast<const Constant*>(&criterion))
        return constantDetail(device, *constant);
    return String();
}

String rejectionLine(const Device& device, const CriterionList& criteria, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= criteria.size() || !criteria[index])
        return String();
    const Criterion& criterion = *criteria[index];
    String line = quoted(criterion.getDescription()) + " (criterion " + std::to_string(index + 1) + " of "
        + std::to_string(criteria.size()) + ") rejects it";
    const String detail = rejectionDetail(device, criterion);
    if (!detail.empty())
        line += ": " + detail;
    return line;
}

String countText(const CriterionCount& count, size_t devices)
{
    return "keeps " + std::to_string(count.keeps) + " of " + std::to_string(devices) + " devices; "
        + std::to_string(count.remain) + " remain after this criterion";
}

TargetExplanation::TargetExplanation(const ProfileDatabase& database, const CriterionList& criteria)
    : m_criteria(criteria)
    , m_counts(criteria.size())
{
    m_verdicts.reserve(database.deviceCount());
    for (const auto& vendor : database.getVendors()) {
        for (const auto& device : vendor->getDevices()) {
            // Every criterion is evaluated, not only up to the first failure:
            // the counts say what each keeps on its own.
            int rejectedBy = -1;
            for (size_t i = 0; i < criteria.size(); ++i) {
                const bool passes = !criteria[i] || criteria[i]->evaluate(*device);
                if (passes)
                    ++m_counts[i].keeps;
                if (rejectedBy < 0) {
                    if (passes)
                        ++m_counts[i].remain;
                    else
                        rejectedBy = static_cast<int>(i);
                }
            }
            if (rejectedBy < 0)
                ++m_targets;
            m_verdicts.push_back({device.get(), rejectedBy});
        }
    }
}

String TargetExplanation::explain(const Verdict& verdict) const
{
    return verdict.rejectedBy < 0 || !verdict.device ? String()
                                                      : rejectionLine(*verdict.device, m_criteria, verdict.rejectedBy);
}

} // namespace Brask
