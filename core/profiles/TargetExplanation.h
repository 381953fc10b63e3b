#pragma once
// Why a device is or is not a target, and what each criterion does to the
// database. Every verdict comes from the criteria's own evaluate(), so the
// answers cannot drift from what target selection and the build decide.

#include "core/profiles/Criterion.h"
#include "core/profiles/ProfileDatabase.h"
#include "kvutil/KVUtil.h"

#include <memory>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

using CriterionList = Vector<std::unique_ptr<Criterion>>;

// The index of the first criterion, in list order, that `device` fails; -1
// when it passes them all (it is a target). Empty entries pass, as they do
// in target selection.
int firstRejecting(const Device& device, const CriterionList& criteria);

// What the device's own data says against `criterion`, e.g.
//   its feature list does not hold "Camera"
//   its "ScreenSize/X,pixels" is 128
//   it has no "ScreenSize/X,pixels" and undefined values are not allowed
// Empty for a criterion kind it does not know.
String rejectionDetail(const Device& device, const Criterion& criterion);

// One line naming the rejecting criterion by its list text and position
// and giving the detail: "ScreenSize/X,pixels > 128" (criterion 2 of 3)
// rejects it: its "ScreenSize/X,pixels" is 128
String rejectionLine(const Device& device, const CriterionList& criteria, int index);

struct CriterionCount {
    size_t keeps = 0;  // devices this criterion passes on its own
    size_t remain = 0; // devices passing it and every criterion before it
};

// "keeps 14 of 22 devices; 9 remain after this criterion"
String countText(const CriterionCount& count, size_t devices);

// Judges every device of the database against the criteria in one pass:
// which criterion rejects each device first, and the per-criterion counts.
// Holds references to both: use it before either changes.
class TargetExplanation {
public:
    struct Verdict {
        const Device* device;
        int rejectedBy; // first rejecting criterion, -1 for a target
    };

    TargetExplanation(const ProfileDatabase& database, const CriterionList& criteria);

    // Every device in database order (the order target selection visits).
    const Vector<Verdict>& verdicts() const { return m_verdicts; }
    // One entry per criterion, in list order.
    const Vector<CriterionCount>& counts() const { return m_counts; }
    size_t deviceCount() const { return m_verdicts.size(); }
    size_t targetCount() const { return m_targets; }

    // rejectionLine() for a rejected device; empty for a target.
    String explain(const Verdict& verdict) const;

private:
    const CriterionList& m_criteria;
    Vector<Verdict> m_verdicts;
    Vector<CriterionCount> m_counts;
    size_t m_targets = 0;
};

} // namespace Brask
