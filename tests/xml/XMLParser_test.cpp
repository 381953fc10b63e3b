#include "core/xml/XMLParser.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace Corvath::XML;
using TestSupport::CapturedDiagnostics;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

// Records every event as one line of text.
class Recorder : public XMLParser {
public:
    std::string events;
    void startElement(const String& name, const Attributes& attributes) override
    {
        events += "<" + name;
        for (const auto& [k, v] : attributes)
            events += " " + k + "=" + v;
        events += ">";
    }
    void endElement(const String& name) override { events += "</" + name + ">"; }
    void characters(const String& text) override { chars += text; }
    std::string chars;
};

class Thrower : public XMLParser {
public:
    int starts = 0;
    void startElement(const String&, const Attributes&) override
    {
        if (++starts == 2)
            throw std::runtime_error("boom");
    }
};

} // namespace

TEST(XMLParserTest, DeliversElementsAndAttributesInOrder)
{
    TempDir tmp;
    writeFile(tmp.file("a.xml"), "<a x=\"1\" y=\"&quot;2&amp;&lt;\"><b/>text</a>");
    Recorder r;
    EXPECT_EQ(parseXMLFile(r, tmp.file("a.xml")), ParseResult::Ok);
    EXPECT_EQ(r.events, "<a x=1 y=\"2&<><b></b></a>");
    EXPECT_EQ(r.chars, "text");
}

TEST(XMLParserTest, DocumentsAcrossChunkBoundariesReadWhole)
{
    // Sizes around the 512-byte chunk: exactly one chunk, one byte more, two.
    TempDir tmp;
    for (size_t target : {511u, 512u, 513u, 1024u, 1025u, 5000u}) {
        std::string doc = "<r>";
        int n = 0;
        while (doc.size() + 20 < target)
            doc += "<e v=\"" + std::to_string(n++) + "\"/>";
        doc += std::string(target - doc.size() - 4, ' ') + "</r>";
        ASSERT_EQ(doc.size(), target);
        writeFile(tmp.file("c.xml"), doc);
        Recorder r;
        EXPECT_EQ(parseXMLFile(r, tmp.file("c.xml")), ParseResult::Ok) << target;
        EXPECT_NE(r.events.find("<e v=" + std::to_string(n - 1) + ">"), std::string::npos) << target;
    }
}

TEST(XMLParserTest, MissingFileIsReportedAndDeliversNothing)
{
    CapturedDiagnostics diag;
    Recorder r;
    EXPECT_EQ(parseXMLFile(r, "/nonexistent/p.vnp"), ParseResult::OpenFailed);
    EXPECT_EQ(diag.text(), "Failed to load XML file /nonexistent/p.vnp\n");
    EXPECT_EQ(r.events, "");
}

TEST(XMLParserTest, MalformedAndTruncatedDocumentsKeepEarlierEvents)
{
    struct Case {
        const char* doc;
        const char* events;
        const char* message;
    };
    const Case cases[] = {
        {"", "", ":1:  no element found"},
        {"<a><b></a>", "<a><b>", ":1:  mismatched tag"},
        {"<a>\n<b/>\n<c", "<a><b></b>", ":3:  unclosed token"},
        {"<a>\n<b/>\n", "<a><b></b>", ":3:  no element found"},
    };
    TempDir tmp;
    for (const Case& c : cases) {
        writeFile(tmp.file("m.xml"), c.doc);
        CapturedDiagnostics diag;
        Recorder r;
        EXPECT_EQ(parseXMLFile(r, tmp.file("m.xml")), ParseResult::Malformed) << c.doc;
        EXPECT_EQ(r.events, c.events);
        // No line feed after the message.
        EXPECT_EQ(diag.text(), tmp.file("m.xml") + c.message);
    }
}

TEST(XMLParserTest, TruncatedLongDocumentIsReportedWhateverItsLength)
{
    TempDir tmp;
    std::string doc = "<Project name=\"p\">\n";
    for (int i = 0; i < 20; ++i)
        doc += "\t<File path=\"src/file" + std::to_string(i) + ".c\"/>\n";
    doc.resize(300);
    writeFile(tmp.file("t.vnp"), doc);
    CapturedDiagnostics diag;
    Recorder r;
    EXPECT_EQ(parseXMLFile(r, tmp.file("t.vnp")), ParseResult::Malformed);
    EXPECT_NE(r.events.find("<File path=src/file8.c>"), std::string::npos);
    EXPECT_EQ(diag.text().rfind(tmp.file("t.vnp") + ":", 0), 0u);
}

TEST(XMLParserTest, Windows1252IsTheIdentityMapInBothSpellings)
{
    TempDir tmp;
    for (const char* name : {"Windows-1252", "windows-1252"}) {
        writeFile(tmp.file("w.xml"), std::string("<?xml version=\"1.0\" encoding=\"") + name
                                         + "\"?><a v=\"caf\xe9 \x80\"/>");
        Recorder r;
        EXPECT_EQ(parseXMLFile(r, tmp.file("w.xml")), ParseResult::Ok) << name;
        // 0xE9 -> U+00E9 (C3 A9); 0x80 -> U+0080 (C2 80), not the euro sign.
        EXPECT_EQ(r.events, "<a v=caf\xc3\xa9 \xc2\x80></a>") << name;
    }
}

TEST(XMLParserTest, OtherEncodingNamesAreRefused)
{
    TempDir tmp;
    for (const char* name : {"WINDOWS-1252", "cp1252", "x-unknown"}) {
        writeFile(tmp.file("w.xml"), std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?><a/>");
        CapturedDiagnostics diag;
        Recorder r;
        EXPECT_EQ(parseXMLFile(r, tmp.file("w.xml")), ParseResult::Malformed) << name;
        EXPECT_EQ(r.events, "");
        EXPECT_NE(diag.text().find("unknown encoding"), std::string::npos) << diag.text();
    }
}

TEST(XMLParserTest, Utf8PassesThroughUnchanged)
{
    TempDir tmp;
    writeFile(tmp.file("u.xml"), "<a v=\"\xc3\xa9\xe2\x82\xac\"/>");
    Recorder r;
    EXPECT_EQ(parseXMLFile(r, tmp.file("u.xml")), ParseResult::Ok);
    EXPECT_EQ(r.events, "<a v=\xc3\xa9\xe2\x82\xac></a>");
}

TEST(XMLParserTest, AHandlerThatThrowsStopsTheParseCleanly)
{
    TempDir tmp;
    writeFile(tmp.file("x.xml"), "<a><b/><c/><d/></a>");
    CapturedDiagnostics diag;
    Thrower t;
    EXPECT_EQ(parseXMLFile(t, tmp.file("x.xml")), ParseResult::Malformed);
    EXPECT_EQ(t.starts, 2);
}

TEST(XMLParserTest, DirectoryInsteadOfFileEndsWithAnError)
{
    TempDir tmp;
    CapturedDiagnostics diag;
    Recorder r;
    EXPECT_NE(parseXMLFile(r, tmp.path()), ParseResult::Ok);
    EXPECT_EQ(r.events, "");
}

TEST(XMLParserTest, AttributeHelpers)
{
    const Attributes attrs{{"is", ""}, {"name", "a"}, {"name", "b"}};
    EXPECT_EQ(getAttribute(attrs, "name"), "a");
    EXPECT_EQ(getAttribute(attrs, "Name"), "");
    EXPECT_EQ(getAttribute(attrs, "is"), "");
    EXPECT_TRUE(hasAttribute(attrs, "is"));
    EXPECT_FALSE(hasAttribute(attrs, "isNot"));
}

TEST(XMLParserTest, EscapeAttributeTouchesOnlyReservedCharacters)
{
    EXPECT_EQ(escapeAttribute("ScreenSize/X,pixels"), "ScreenSize/X,pixels");
    EXPECT_EQ(escapeAttribute("a\"b&c<d>e'"), "a&quot;b&amp;c&lt;d>e'");
    EXPECT_EQ(escapeAttribute("a\tb\r\nc"), "a&#9;b&#13;&#10;c");
}

TEST(XMLParserTest, EscapedValuesReadBackUnchanged)
{
    TempDir tmp;
    const std::string value = "x \"q\" & <y>\tz\r\nw";
    writeFile(tmp.file("e.xml"), "<a v=\"" + escapeAttribute(value) + "\"/>");
    Recorder r;
    EXPECT_EQ(parseXMLFile(r, tmp.file("e.xml")), ParseResult::Ok);
    EXPECT_EQ(r.events, "<a v=" + value + "></a>");
}
