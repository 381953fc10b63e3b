// The descriptor's text from a manifest: which attributes it carries and in
// what order, the relative JAR URL, and manifests it must not misread.

#include "core/builder/packaging/JadFile.h"

#include <gtest/gtest.h>

TEST(JadFile, TextFromTheManifest)
{
    const std::string common = "MIDlet-Name: g\r\nMIDlet-Vendor: V\r\nMIDlet-Version: 2.1\r\nMIDlet-1: g, /g.png, M\r\n"
                               "MicroEdition-Configuration: CLDC-1.0\r\nMicroEdition-Profile: MIDP-1.0\r\n"
                               "MIDlet-Jar-URL: g.jar\r\nMIDlet-Jar-Size: 77\r\n";
    struct Row {
        const char* name;
        std::string manifest;
        std::string expected;
    };
    const Row rows[] = {
        {"LF lines, the attributes in another order",
         "Manifest-Version: 1.0\nMicroEdition-Profile: MIDP-1.0\nMIDlet-Vendor: V\nMIDlet-Name: g\n"
         "MIDlet-Version: 2.1\nMIDlet-1: g, /g.png, M\nMicroEdition-Configuration: CLDC-1.0\n",
         common},
        {"description and icon follow the size; a continuation line joins its value",
         "MIDlet-Name: g\r\nMIDlet-Vendor: V\r\nMIDlet-Version: 2.1\r\nMIDlet-1: g, /g.png, M\r\n"
         "MicroEdition-Configuration: CLDC-1.0\r\nMicroEdition-Profile: MIDP-1.0\r\nMIDlet-Icon: /g.png\r\n"
         "MIDlet-Description: a long\r\n  game\r\n",
         common + "MIDlet-Description: a long game\r\nMIDlet-Icon: /g.png\r\n"},
        {"a key that only starts like one, and a missing attribute, are not taken",
         "MIDlet-Name-Extra: no\r\nMIDlet-Name: g\r\nMIDlet-Vendor: V\r\nMIDlet-Version: 2.1\r\n"
         "MIDlet-1: g, /g.png, M\r\nMicroEdition-Configuration: CLDC-1.0\r\n",
         "MIDlet-Name: g\r\nMIDlet-Vendor: V\r\nMIDlet-Version: 2.1\r\nMIDlet-1: g, /g.png, M\r\n"
         "MicroEdition-Configuration: CLDC-1.0\r\nMIDlet-Jar-URL: g.jar\r\nMIDlet-Jar-Size: 77\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.expected, Brask::jadText(row.manifest, "g.jar", 77));
    }
    EXPECT_EQ("My%20Game%23%25%C3%A9.jar", Brask::jarUrlFor("My Game#%\xc3\xa9"));
    EXPECT_EQ("/p/Output/1/My Game.jad", Brask::jadPathFor("/p/Output/1/My Game.jar"));
}
