#pragma once
// The kinds of device criterion a project can hold. Each builds its list line
// and its project-file element once, in its constructor; the element's values
// are escaped so any name reads back unchanged.

#include "core/profiles/Criterion.h"
#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;

// The device has the feature or bug (display name).
class Has : public Criterion {
public:
    explicit Has(const String& feature);
    bool evaluate(const Device& device) const override;
    const String& getFeature() const { return m_feature; }

private:
    String m_feature;
};

// The device has neither that feature nor that bug.
class Lacks : public Criterion {
public:
    explicit Lacks(const String& feature);
    bool evaluate(const Device& device) const override;
    const String& getFeature() const { return m_feature; }

private:
    String m_feature;
};

// Compares the device's name, or with `vendor` its vendor's name, with
// `name`: `Is` wants them equal, `Not` different.
class NameCriterion : public Criterion {
public:
    bool evaluate(const Device& device) const override;
    bool isVendor() const { return m_vendor; }
    const String& getName() const { return m_name; }

protected:
    NameCriterion(bool vendor, const String& name, bool negated);

private:
    bool m_vendor;
    bool m_negated;
    String m_name;
};

class Is : public NameCriterion {
public:
    Is(bool vendor, const String& name);
};

class Not : public NameCriterion {
public:
    Not(bool vendor, const String& name);
};

// Compares a device constant with a value. A device without the constant (or
// with a negative value, which the database cannot tell from absence) passes
// exactly when `allowUndefined` is set.
class Constant : public Criterion {
public:
    enum Op { GT = 0, LT = 1, EQ = 2, NE = 3 };

    // An `op` outside 0..3 is taken as GT, as the project reader does.
    Constant(int op, const String& name, int value, bool allowUndefined);
    bool evaluate(const Device& device) const override;

    Op getOp() const { return m_op; }
    const String& getName() const { return m_name; }
    int getValue() const { return m_value; }
    bool allowsUndefined() const { return m_allowUndefined; }

    // "GT", "LT", "EQ", "NE" as stored in project files.
    static const char* opName(Op op);
    // ">", "<", "==", "!=" as shown in the criteria list.
    static const char* opSymbol(Op op);

private:
    bool m_allowUndefined;
    Op m_op;
    String m_name;
    int m_value;
};

} // namespace Brask
