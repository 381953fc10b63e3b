#include "core/profiles/Criterion.h"
#include "core/profiles/Criteria.h"
#include "core/profiles/ProfileDatabase.h"
#include "core/xml/XMLParser.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

using namespace Brask;
using Corvath::XML::Attributes;

namespace {

// Vendor "Acme" with device "D1": features F1, Bug/B; constants
// ScreenSize/X,pixels 176, Zero 0, Neg -5.
class CriteriaTest : public testing::Test {
protected:
    void SetUp() override
    {
        Vendor& acme = m_db.addVendor("Acme", "/icons/Acme/icon.png");
        Device& d = acme.addDevice("D1");
        d.addFeature("F1");
        d.addFeature("Bug/B");
        d.addConstant("ScreenSize/X,pixels", 176);
        d.addConstant("Zero", 0);
        d.addConstant("Neg", -5);
        m_device = &d;
    }

    ProfileDatabase m_db;
    const Device* m_device = nullptr;
};

struct TextRow {
    std::unique_ptr<Criterion> criterion;
    const char* description;
    const char* xml;
    bool onDevice;
};

} // namespace

TEST_F(CriteriaTest, TextsAndEvaluationOfEveryKind)
{
    TextRow rows[] = {
        {std::make_unique<Has>("F1"), "Required feature: F1", "<Has feature=\"F1\"/>", true},
        {std::make_unique<Has>("Bug/B"), "Required feature: Bug/B", "<Has feature=\"Bug/B\"/>", true},
        {std::make_unique<Has>("f1"), "Required feature: f1", "<Has feature=\"f1\"/>", false},
        {std::make_unique<Lacks>("F1"), "Forbidden feature: F1", "<Lacks feature=\"F1\"/>", false},
        {std::make_unique<Lacks>("F2"), "Forbidden feature: F2", "<Lacks feature=\"F2\"/>", true},
        {std::make_unique<Is>(false, "D1"), "Device is D1", "<Device is=\"D1\"/>", true},
        {std::make_unique<Is>(true, "Acme"), "Vendor is Acme", "<Vendor is=\"Acme\"/>", true},
        {std::make_unique<Is>(true, "D1"), "Vendor is D1", "<Vendor is=\"D1\"/>", false},
        {std::make_unique<Is>(false, ""), "Device is ", "<Device is=\"\"/>", false},
        {std::make_unique<Not>(false, "D1"), "Device isn't D1", "<Device isNot=\"D1\"/>", false},
        {std::make_unique<Not>(true, "Other"), "Vendor isn't Other", "<Vendor isNot=\"Other\"/>", true},
        {std::make_unique<Not>(false, ""), "Device isn't ", "<Device isNot=\"\"/>", true},
        {std::make_unique<Constant>(0, "ScreenSize/X,pixels", 128, true), "ScreenSize/X,pixels > 128",
         "<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"128\" allowUndefined=\"true\"/>", true},
        {std::make_unique<Constant>(0, "ScreenSize/X,pixels", 176, true), "ScreenSize/X,pixels > 176",
         "<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"176\" allowUndefined=\"true\"/>", false},
        {std::make_unique<Constant>(1, "ScreenSize/X,pixels", 177, false), "ScreenSize/X,pixels < 177",
         "<Constant op=\"LT\" name=\"ScreenSize/X,pixels\" value=\"177\" allowUndefined=\"false\"/>", true},
        {std::make_unique<Constant>(2, "Zero", 0, false), "Zero == 0",
         "<Constant op=\"EQ\" name=\"Zero\" value=\"0\" allowUndefined=\"false\"/>", true},
        {std::make_unique<Constant>(3, "Zero", 0, true), "Zero != 0",
         "<Constant op=\"NE\" name=\"Zero\" value=\"0\" allowUndefined=\"true\"/>", false},
        {std::make_unique<Constant>(1, "Missing", -3, true), "Missing < -3",
         "<Constant op=\"LT\" name=\"Missing\" value=\"-3\" allowUndefined=\"true\"/>", true},
        {std::make_unique<Constant>(0, "Missing", 0, false), "Missing > 0",
         "<Constant op=\"GT\" name=\"Missing\" value=\"0\" allowUndefined=\"false\"/>", false},
        // A negative stored value counts as undefined, whatever the comparison.
        {std::make_unique<Constant>(1, "Neg", 0, false), "Neg < 0",
         "<Constant op=\"LT\" name=\"Neg\" value=\"0\" allowUndefined=\"false\"/>", false},
        {std::make_unique<Constant>(2, "Neg", -5, true), "Neg == -5",
         "<Constant op=\"EQ\" name=\"Neg\" value=\"-5\" allowUndefined=\"true\"/>", true},
        {std::make_unique<Constant>(0, "ScreenSize/X,pixels", INT_MIN, false), "ScreenSize/X,pixels > -2147483648",
         "<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"-2147483648\" allowUndefined=\"false\"/>", true},
        // An op outside the table behaves and reads back as GT.
        {std::make_unique<Constant>(9, "Zero", -1, false), "Zero > -1",
         "<Constant op=\"GT\" name=\"Zero\" value=\"-1\" allowUndefined=\"false\"/>", true},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.xml);
        EXPECT_EQ(row.criterion->getDescription(), row.description);
        EXPECT_EQ(row.criterion->getXML(), row.xml);
        EXPECT_EQ(row.criterion->evaluate(*m_device), row.onDevice);
    }
}

TEST_F(CriteriaTest, DeviceWithoutVendorComparesAgainstEmptyName)
{
    Device orphan("Orphan", nullptr);
    EXPECT_TRUE(Is(true, "").evaluate(orphan));
    EXPECT_TRUE(Not(true, "Acme").evaluate(orphan));
}

namespace {

struct FactoryRow {
    const char* element;
    Attributes attributes;
    const char* xml; // nullptr: no criterion
};

} // namespace

TEST(CriterionFactory, NormalisesAttributesAndRewritesInNormalForm)
{
    const FactoryRow rows[] = {
        {"Has", {{"feature", "Camera"}}, "<Has feature=\"Camera\"/>"},
        {"Has", {}, "<Has feature=\"\"/>"},
        {"Lacks", {{"feature", "Bug/X"}, {"other", "1"}}, "<Lacks feature=\"Bug/X\"/>"},
        {"Device", {{"is", "N70"}}, "<Device is=\"N70\"/>"},
        {"Device", {{"is", ""}}, "<Device is=\"\"/>"},
        {"Device", {{"isNot", "N70"}, {"is", "Q"}}, "<Device is=\"Q\"/>"},
        {"Device", {{"isNot", "N70"}}, "<Device isNot=\"N70\"/>"},
        {"Device", {}, "<Device isNot=\"\"/>"},
        {"Vendor", {{"is", "Acme"}}, "<Vendor is=\"Acme\"/>"},
        {"Vendor", {{"isNot", "Acme"}}, "<Vendor isNot=\"Acme\"/>"},
        {"Constant", {{"op", "LT"}, {"name", "H"}, {"value", "10"}, {"allowUndefined", "false"}},
         "<Constant op=\"LT\" name=\"H\" value=\"10\" allowUndefined=\"false\"/>"},
        {"Constant", {{"op", "EQ"}, {"name", "H"}, {"value", "007"}, {"allowUndefined", "1"}},
         "<Constant op=\"EQ\" name=\"H\" value=\"7\" allowUndefined=\"true\"/>"},
        {"Constant", {{"op", "NE"}, {"name", "H"}, {"value", "-5"}, {"allowUndefined", "TRUE"}},
         "<Constant op=\"NE\" name=\"H\" value=\"-5\" allowUndefined=\"false\"/>"},
        {"Constant", {{"op", "ge"}, {"name", "H"}, {"value", "abc"}, {"allowUndefined", ""}},
         "<Constant op=\"GT\" name=\"H\" value=\"0\" allowUndefined=\"false\"/>"},
        {"Constant", {{"op", "gt"}, {"value", "12x"}}, "<Constant op=\"GT\" name=\"\" value=\"12\" allowUndefined=\"true\"/>"},
        {"Constant", {{"value", "4294967295"}}, "<Constant op=\"GT\" name=\"\" value=\"-1\" allowUndefined=\"true\"/>"},
        {"Project", {{"name", "p"}}, nullptr},
        {"has", {{"feature", "Camera"}}, nullptr},
        {"Criteria", {}, nullptr},
        {"", {}, nullptr},
    };
    for (const FactoryRow& row : rows) {
        SCOPED_TRACE(std::string(row.element) + " -> " + (row.xml ? row.xml : "none"));
        std::unique_ptr<Criterion> c = createCriterion(row.element, row.attributes);
        if (!row.xml) {
            EXPECT_EQ(c, nullptr);
            continue;
        }
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->getXML(), row.xml);
    }
}

TEST(CriterionFactory, OddNamesAreEscapedAndReadBackUnchanged)
{
    const std::string odd = "A \"quoted\" <name> & more\twith\nbreaks,/\\ \xc3\xa9";
    std::unique_ptr<Criterion> made[] = {
        std::make_unique<Has>(odd),
        std::make_unique<Lacks>(odd),
        std::make_unique<Is>(true, odd),
        std::make_unique<Not>(false, odd),
        std::make_unique<Constant>(2, odd, 5, false),
    };
    EXPECT_EQ(made[0]->getXML(),
              "<Has feature=\"A &quot;quoted&quot; &lt;name> &amp; more&#9;with&#10;breaks,/\\ \xc3\xa9\"/>");
    EXPECT_EQ(made[0]->getDescription(), "Required feature: " + odd);

    // Parse each stored element with the XML layer and rebuild it.
    class Reader : public Corvath::XML::XMLParser {
    public:
        void startElement(const std::string& name, const Attributes& attributes) override
        {
            if (auto c = createCriterion(name, attributes))
                criteria.push_back(std::move(c));
        }
        std::vector<std::unique_ptr<Criterion>> criteria;
    };
    std::string doc = "<Criteria>";
    for (const auto& c : made)
        doc += c->getXML();
    doc += "</Criteria>";
    TestSupport::TempDir tmp;
    TestSupport::writeFile(tmp.file("c.xml"), doc);
    Reader reader;
    ASSERT_EQ(Corvath::XML::parseXMLFile(reader, tmp.file("c.xml")), Corvath::XML::ParseResult::Ok);
    ASSERT_EQ(reader.criteria.size(), std::size(made));
    for (size_t i = 0; i < std::size(made); ++i) {
        EXPECT_EQ(reader.criteria[i]->getXML(), made[i]->getXML());
        EXPECT_EQ(reader.criteria[i]->getDescription(), made[i]->getDescription());
    }
}
