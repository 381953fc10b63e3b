// Numbers stored as text in project files and bin/config.xml read as the
// 32-bit strtoul does: beyond 32 bits they saturate instead of wrapping.

#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace Brask;
using TestSupport::TempDir;
using TestSupport::writeFile;

TEST(NumberTextsTest, StoredNumbersBeyond32BitsSaturate)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"4294967296", -1}, {"4294967297", -1}, {"18446744073709551617", -1}, {"4294967295", -1},
        {"-5", -5},         {"abc", 0},         {"12x", 12},
    };
    for (const Case& c : cases) {
        TempDir kit;
        TestSupport::makeMinimalInstallation(kit.path());
        writeFile(kit.file("bin/config.xml"), std::string("<Config version=\"1\">\n\t<Property name=\"PhonePort\" value=\"")
                                                  + c.text + "\"/>\n</Config>");
        const std::string project = kit.file("p/p.vnp");
        writeFile(project, std::string("<Project name=\"p\">\n\t<Criteria>\n\t\t<Constant op=\"EQ\" name=\"X\" value=\"")
                               + c.text + "\"/>\n\t</Criteria>\n</Project>\n");

        TestSupport::CapturedDiagnostics quiet;
        ProjectManager manager(kit.path(), nullptr);
        EXPECT_EQ(manager.getConfig().phonePort, c.value) << c.text;
        ASSERT_TRUE(manager.loadProject(project));
        ASSERT_EQ(manager.getProject()->getCriteria().size(), 1u);
        const String xml = manager.getProject()->getCriteria()[0]->getXML();
        EXPECT_NE(xml.find("value=\"" + std::to_string(c.value) + "\""), String::npos) << c.text << " " << xml;
    }
}
