// Why a device is not a target, and what each criterion keeps.

#include "core/profiles/Criteria.h"
#include "core/profiles/ProfileDatabase.h"
#include "core/profiles/TargetExplanation.h"
#include "core/profiles/TargetSelection.h"

#include <gtest/gtest.h>

#include <string>

using namespace Brask;

namespace {

// Acme: Wide (Camera, X 240), Narrow (X 128), Bare (nothing at all),
// Odd (X stored as -7). Brio: Cam (Camera, Bug/Slow, X 176).
class Explaining : public ::testing::Test {
protected:
    void SetUp() override
    {
        Vendor& acme = m_db.addVendor("Acme", "");
        Device& wide = acme.addDevice("Wide");
        wide.addFeature("Camera");
        wide.addConstant(X, 240);
        acme.addDevice("Narrow").addConstant(X, 128);
        acme.addDevice("Bare");
        acme.addDevice("Odd").addConstant(X, -7);
        Device& cam = m_db.addVendor("Brio", "").addDevice("Cam");
        cam.addFeature("Camera");
        cam.addFeature("Bug/Slow");
        cam.addConstant(X, 176);
    }

    const Device& device(const char* vendor, const char* name) { return *m_db.findDevice(vendor, name); }

    static constexpr const char* X = "ScreenSize/X,pixels";
    ProfileDatabase m_db;
};

} // namespace

TEST_F(Explaining, EachKindNamesItselfAndTheDevicesValue)
{
    struct Row {
        const char* label;
        std::unique_ptr<Criterion> criterion;
        const char* vendor;
        const char* device;
        bool rejects;
        const char* detail;
    };
    Row rows[] = {
        {"has", std::make_unique<Has>("Camera"), "Acme", "Narrow", true, "its feature list does not hold \"Camera\""},
        {"has passes", std::make_unique<Has>("Camera"), "Acme", "Wide", false, ""},
        {"lacks a bug", std::make_unique<Lacks>("Bug/Slow"), "Brio", "Cam", true, "its feature list holds \"Bug/Slow\""},
        {"device is", std::make_unique<Is>(false, "Wide"), "Acme", "Bare", true, "its name is \"Bare\""},
        {"vendor is", std::make_unique<Is>(true, "Acme"), "Brio", "Cam", true, "its vendor is \"Brio\""},
        {"device isn't", std::make_unique<Not>(false, "Bare"), "Acme", "Bare", true, "its name is \"Bare\""},
        {"vendor isn't", std::make_unique<Not>(true, "Brio"), "Brio", "Cam", true, "its vendor is \"Brio\""},
        {"GT defined, undefined allowed", std::make_unique<Constant>(Constant::GT, X, 128, true), "Acme", "Narrow",
         true, "its \"ScreenSize/X,pixels\" is 128"},
        {"GT defined, undefined refused", std::make_unique<Constant>(Constant::GT, X, 128, false), "Acme", "Narrow",
         true, "its \"ScreenSize/X,pixels\" is 128"},
        {"absent, undefined allowed", std::make_unique<Constant>(Constant::GT, X, 128, true), "Acme", "Bare", false,
         ""},
        {"absent, undefined refused", std::make_unique<Constant>(Constant::GT, X, 128, false), "Acme", "Bare", true,
         "it has no \"ScreenSize/X,pixels\" and undefined values are not allowed"},
        {"negative, undefined allowed", std::make_unique<Constant>(Constant::EQ, X, -7, true), "Acme", "Odd", false,
         ""},
        {"negative, undefined refused", std::make_unique<Constant>(Constant::EQ, X, -7, false), "Acme", "Odd", true,
         "its \"ScreenSize/X,pixels\" is -7, which counts as undefined, and undefined values are not allowed"},
        {"LT", std::make_unique<Constant>(Constant::LT, X, 176, false), "Brio", "Cam", true,
         "its \"ScreenSize/X,pixels\" is 176"},
        {"NE", std::make_unique<Constant>(Constant::NE, X, 240, true), "Acme", "Wide", true,
         "its \"ScreenSize/X,pixels\" is 240"},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Device& d = device(row.vendor, row.device);
        const std::string description = row.criterion->getDescription();
        // Behind a criterion that passes, so the index and the count show.
        CriterionList criteria;
        criteria.push_back(std::make_unique<Not>(false, "no such device"));
        criteria.push_back(std::move(row.criterion));
        EXPECT_EQ(firstRejecting(d, criteria), row.rejects ? 1 : -1);
        if (!row.rejects)
            continue;
        EXPECT_EQ(rejectionDetail(d, *criteria[1]), row.detail);
        EXPECT_EQ(rejectionLine(d, criteria, 1),
                  "\"" + description + "\" (criterion 2 of 2) rejects it: " + row.detail);
    }
}

TEST_F(Explaining, TheFirstRejectingCriterionInListOrderCounts)
{
    CriterionList criteria;
    criteria.push_back(std::make_unique<Constant>(Constant::GT, X, 150, false));
    criteria.push_back(std::make_unique<Has>("Camera"));
    criteria.push_back(std::make_unique<Lacks>("Bug/Slow"));
    // Narrow fails the first two: the first one is named.
    EXPECT_EQ(firstRejecting(device("Acme", "Narrow"), criteria), 0);
    EXPECT_EQ(firstRejecting(device("Brio", "Cam"), criteria), 2);
    EXPECT_EQ(firstRejecting(device("Acme", "Wide"), criteria), -1);
    EXPECT_EQ(rejectionLine(device("Acme", "Wide"), criteria, -1), "");
    EXPECT_EQ(rejectionLine(device("Acme", "Wide"), criteria, 3), "");
    EXPECT_EQ(firstRejecting(device("Acme", "Narrow"), CriterionList()), -1);
}

TEST_F(Explaining, CountsAndVerdictsAgreeWithTargetSelection)
{
    CriterionList criteria;
    criteria.push_back(std::make_unique<Constant>(Constant::GT, X, 150, true)); // Wide, Bare, Odd, Cam
    criteria.push_back(std::make_unique<Has>("Camera"));                        // Wide, Cam
    criteria.push_back(std::make_unique<Lacks>("Bug/Slow"));                    // all but Cam
    const TargetExplanation explanation(m_db, criteria);

    ASSERT_EQ(explanation.counts().size(), 3u);
    EXPECT_EQ(explanation.deviceCount(), 5u);
    const size_t keeps[] = {4, 2, 4};
    const size_t remain[] = {4, 2, 1};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(explanation.counts()[i].keeps, keeps[i]);
        EXPECT_EQ(explanation.counts()[i].remain, remain[i]);
    }
    EXPECT_EQ(countText(explanation.counts()[2], explanation.deviceCount()),
              "keeps 4 of 5 devices; 1 remain after this criterion");

    // Exactly the selected devices are targets, in the same order.
    const Vector<const Device*> selected = selectTargets(m_db, criteria);
    Vector<const Device*> targets;
    std::string rejected;
    for (const auto& verdict : explanation.verdicts()) {
        if (verdict.rejectedBy < 0) {
            targets.push_back(verdict.device);
            EXPECT_EQ(explanation.explain(verdict), "");
        } else {
            rejected += verdict.device->getName() + ":" + std::to_string(verdict.rejectedBy) + " ";
        }
    }
    EXPECT_EQ(targets, selected);
    EXPECT_EQ(explanation.targetCount(), selected.size());
    EXPECT_EQ(rejected, "Narrow:0 Bare:1 Odd:1 Cam:2 ");
    EXPECT_EQ(explanation.explain(explanation.verdicts()[1]),
              "\"ScreenSize/X,pixels > 150\" (criterion 1 of 3) rejects it: its \"ScreenSize/X,pixels\" is 128");

    // Without criteria every device is a target and nothing is counted.
    const CriterionList none;
    const TargetExplanation all(m_db, none);
    EXPECT_EQ(all.targetCount(), 5u);
    EXPECT_TRUE(all.counts().empty());
}
