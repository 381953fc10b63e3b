#include "core/profiles/Criteria.h"
#include "core/profiles/ProfileDatabase.h"
#include "core/profiles/TargetSelection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Brask;

namespace {

// Counts its evaluations so the tests can see where AND stops.
class CountingCriterion : public Criterion {
public:
    CountingCriterion(bool result, int& calls)
        : Criterion("<Counting/>", "counting")
        , m_result(result)
        , m_calls(calls)
    {
    }
    bool evaluate(const Device&) const override
    {
        ++m_calls;
        return m_result;
    }

private:
    bool m_result;
    int& m_calls;
};

class TargetSelectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Two vendors called "Same" on purpose: only a hand-built database can
        // hold them, and findDevice must stop at the first.
        Vendor& a = m_db.addVendor("Same", "a");
        addDevice(a, "D1", {"Camera"}, 176);
        addDevice(a, "D2", {"Bluetooth"}, 128);
        Vendor& b = m_db.addVendor("Other", "b");
        addDevice(b, "D1", {"Camera", "Bluetooth"}, -1);
        Vendor& c = m_db.addVendor("Same", "c");
        addDevice(c, "D3", {"Camera"}, 240);
    }

    static void addDevice(Vendor& v, const std::string& name, const std::vector<std::string>& features, int width)
    {
        Device& d = v.addDevice(name);
        for (const auto& f : features)
            d.addFeature(f);
        if (width != -1)
            d.addConstant("ScreenSize/X,pixels", width);
    }

    std::vector<std::string> select(Vector<std::unique_ptr<Criterion>>& criteria) const
    {
        std::vector<std::string> names;
        for (const Device* d : selectTargets(m_db, criteria))
            names.push_back(d->getVendor()->getName() + "/" + d->getName());
        return names;
    }

    ProfileDatabase m_db;
};

template <typename... T>
Vector<std::unique_ptr<Criterion>> list(std::unique_ptr<T>... items)
{
    Vector<std::unique_ptr<Criterion>> out;
    (out.push_back(std::move(items)), ...);
    return out;
}

} // namespace

TEST_F(TargetSelectionTest, SelectsInDatabaseOrderByAndOfAllCriteria)
{
    struct Row {
        const char* what;
        Vector<std::unique_ptr<Criterion>> criteria;
        std::vector<std::string> expected;
    };
    Row rows[] = {
        {"no criteria", list(), {"Same/D1", "Same/D2", "Other/D1", "Same/D3"}},
        {"has camera", list(std::make_unique<Has>("Camera")), {"Same/D1", "Other/D1", "Same/D3"}},
        {"has and lacks", list(std::make_unique<Has>("Camera"), std::make_unique<Lacks>("Camera")), {}},
        {"two device names", list(std::make_unique<Is>(false, "D1"), std::make_unique<Is>(false, "D2")), {}},
        {"vendor isn't", list(std::make_unique<Not>(true, "Same")), {"Other/D1"}},
        {"device name over vendors", list(std::make_unique<Is>(false, "D1")), {"Same/D1", "Other/D1"}},
        {"width > 128, undefined allowed", list(std::make_unique<Constant>(0, "ScreenSize/X,pixels", 128, true)),
         {"Same/D1", "Other/D1", "Same/D3"}},
        {"width > 128, undefined refused", list(std::make_unique<Constant>(0, "ScreenSize/X,pixels", 128, false)),
         {"Same/D1", "Same/D3"}},
        {"camera and bluetooth",
         list(std::make_unique<Has>("Camera"), std::make_unique<Has>("Bluetooth")), {"Other/D1"}},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(select(row.criteria), row.expected);
    }
}

TEST_F(TargetSelectionTest, StopsEvaluatingAtTheFirstFalseCriterion)
{
    int first = 0, second = 0, third = 0;
    Vector<std::unique_ptr<Criterion>> criteria;
    criteria.push_back(std::make_unique<CountingCriterion>(true, first));
    criteria.push_back(std::make_unique<CountingCriterion>(false, second));
    criteria.push_back(std::make_unique<CountingCriterion>(true, third));
    EXPECT_TRUE(selectTargets(m_db, criteria).empty());
    EXPECT_EQ(first, 4);
    EXPECT_EQ(second, 4);
    EXPECT_EQ(third, 0);
}

TEST_F(TargetSelectionTest, FindDeviceSearchesOnlyTheFirstVendorOfThatName)
{
    const Device* d1 = m_db.findDevice("Same", "D1");
    ASSERT_NE(d1, nullptr);
    EXPECT_EQ(d1->getConstant("ScreenSize/X,pixels"), 176);
    EXPECT_EQ(m_db.findDevice("Other", "D1")->getConstant("ScreenSize/X,pixels"), -1);
    EXPECT_EQ(m_db.findDevice("Same", "D3"), nullptr);
    EXPECT_EQ(m_db.findDevice("same", "D1"), nullptr);
    EXPECT_EQ(m_db.findDevice("Nobody", "D1"), nullptr);
}
