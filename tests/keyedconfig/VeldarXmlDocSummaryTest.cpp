#include "keyedconfig/VeldarXmlDoc.h"

#include <gtest/gtest.h>

#include "RaisedText.h"
#include "base/Utf.h"

namespace orvex {
namespace {
using fake::RaisedText;

constexpr std::u16string_view kSummaryAB =
    u"<XsdSummary xsd=\"\" contextSupported=\"true\" deleteEmptyNodes=\"false\"><Cfg><A/><B/></Cfg></XsdSummary>";

std::u16string Lines(std::initializer_list<std::u16string_view> lines) {
    std::u16string text;
    for (std::u16string_view line : lines) {
        if (!text.empty())
            text += u"\r\n";
        text += line;
    }
    return text;
}

// The report of ValidatesOK for a document text under a summary text.
std::u16string Report(std::u16string_view summary, std::string_view document) {
    TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
    std::u16string error;
    EXPECT_TRUE(doc.SetXsdSummary(summary, error)) << Utf16ToUtf8(error);
    doc.TUtf8XmlDocument::ReadFromString(document);
    std::u16string report;
    const bool valid = doc.ValidatesOK(report);
    EXPECT_EQ(valid, report.empty());
    return report;
}

TEST(VeldarXmlDocSummaryTest, ValidationReports) {
    struct Row {
        std::string_view document;
        std::u16string expected;
    };
    const Row rows[] = {
        {"<Cfg><A/><!-- note --><A/><B>text</B></Cfg>", u""},
        {"<Cfg/>", u""},
        {"<Cfg><B/><A/></Cfg>",
         Lines({u"Validation failed", u" Error encountered under: \"/Cfg\"",
                u"  The element \"A[0]\" is out of sequence",
                u"  The element \"A[0]\" should occur first but was encountered after \"B\"",
                u"    The encountered sequence of elements was:", u"    /Cfg", u"      B",
                u"      A   <== found here", u"    Expected sequence of elements is:",
                u"     A   <== should be here", u"     B"})},
        {"<Cfg><A/><B/><A/></Cfg>",
         Lines({u"Validation failed", u" Error encountered under: \"/Cfg\"",
                u"  The element \"A[1]\" is out of sequence",
                u"  The element \"A[1]\" should occur first but was encountered after \"B\"",
                u"    The encountered sequence of elements was:", u"    /Cfg", u"      A",
                u"      B", u"      A   <== found here", u"    Expected sequence of elements is:",
                u"     A   <== should be here", u"     B"})},
        {"<Cfg><A/><X/></Cfg>",
         Lines({u"Validation failed", u" Error encountered under: \"/Cfg\"", u"  The element name \"X\" is invalid."})},
        {"<Cfg><X/><B/><A/></Cfg>",
         Lines({u"Validation failed", u" Error encountered under: \"/Cfg\"", u"  The element name \"X\" is invalid.",
                u"  The element \"A[0]\" is out of sequence",
                u"  The element \"A[0]\" should occur first but was encountered after \"B\"",
                u"    The encountered sequence of elements was:", u"    /Cfg", u"      X", u"      B",
                u"      A   <== found here", u"    Expected sequence of elements is:",
                u"     A   <== should be here", u"     B"})},
        {"<Cfg><A><C/></A></Cfg>", Lines({u"Validation failed", u"Child nodes not allowed for node: \"/Cfg/A\""})},
        {"<Cfg><A/><A context=\"\"/></Cfg>",
         Lines({u"Validation failed", u"Empty attribute context=\"\" is not allowed for node \"/Cfg/A[2]\""})},
        {"<Cfg><A context=\"x\"/><a/></Cfg>", // names in the order rules keep their case
         Lines({u"Validation failed", u" Error encountered under: \"/Cfg\"", u"  The element name \"a\" is invalid."})},
        {"<Other/>",
         Lines({u"Validation failed", u"Invalid root node found. Root node name is \"Other\" but should be \"Cfg\"."})},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Report(kSummaryAB, row.document), row.expected) << row.document;
}

TEST(VeldarXmlDocSummaryTest, NestedReportsAndPositionTexts) {
    const std::u16string summary =
        u"<XsdSummary contextSupported=\"false\" deleteEmptyNodes=\"false\"><Cfg><Head/><Body><P/><Q/><R/></Body>"
        u"</Cfg></XsdSummary>";
    EXPECT_EQ(Report(summary, "<Cfg><Head/><Body><P/><R/><Q/></Body></Cfg>"),
              Lines({u"Validation failed", u" Error encountered under: \"/Cfg/Body\"",
                     u"  The element \"Q[0]\" is out of sequence",
                     u"  The element \"Q[0]\" should occur after \"P\" but was encountered after \"R\"",
                     u"    The encountered sequence of elements was:", u"    /Cfg/Body", u"      P", u"      R",
                     u"      Q   <== found here", u"    Expected sequence of elements is:", u"     P",
                     u"     Q   <== should be here", u"     R"}));
    EXPECT_EQ(Report(summary, "<Cfg><Body/><Head/></Cfg>"),
              Lines({u"Validation failed", u" Error encountered under: \"/Cfg\"",
                     u"  The element \"Head[0]\" is out of sequence",
                     u"  The element \"Head[0]\" should occur first but was encountered after \"Body\"",
                     u"    The encountered sequence of elements was:", u"    /Cfg", u"      Body",
                     u"      Head   <== found here", u"    Expected sequence of elements is:",
                     u"     Head   <== should be here", u"     Body"}));
}

TEST(VeldarXmlDocSummaryTest, SchemaLocationIgnoresAsciiCase) {
    TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
    std::u16string error;
    ASSERT_TRUE(doc.SetXsdSummary(u"urn:cfg", false, false, error));
    ASSERT_TRUE(doc.SetXsdSummary(u"urn:Cfg.xsd", false, false, error)); // may be set again
    doc.TUtf8XmlDocument::ReadFromString("<Cfg xsi:noNamespaceSchemaLocation=\"URN:CFG.XSD\"/>");
    EXPECT_TRUE(doc.ValidatesOK(error)) << Utf16ToUtf8(error);
    doc.Root()->SetAttributeByName(u"xsi:noNamespaceSchemaLocation", u"other");
    EXPECT_FALSE(doc.ValidatesOK(error));
    EXPECT_EQ(error, u"Validation failed\r\nInvalid value in root node attribute \"xsi:noNamespaceSchemaLocation\". "
                     u"Attribute value is \"other\" but should be \"urn:Cfg.xsd\".");
}

TEST(VeldarXmlDocSummaryTest, InstallingSummaries) {
    struct Row {
        std::u16string_view text;
        std::u16string_view error;
    };
    const Row rows[] = {
        {u"", u"SetXsdSummary failed: XsdSummaryAsString is empty"},
        {u"<<not xml", u"SetXsdSummary failed: XsdSummaryAsString is not valid xml"},
        {u"just text", u"SetXsdSummary failed: XsdSummaryAsString is not valid xml"},
        {u"<XsdSummary contextSupported=\"true\" deleteEmptyNodes=\"true\"/>",
         u"SetXsdSummary failed: XsdSummary validation root node is missing"},
        {u"<XsdSummary contextSupported=\"true\" deleteEmptyNodes=\"true\"><cfg/></XsdSummary>",
         u"SetXsdSummary failed: XsdSummary validation root node \"cfg\" is invalid - should be \"Cfg\""},
        {u"<XsdSummary contextSupported=\"yes\"><Cfg/></XsdSummary>",
         u"SetXsdSummary failed: contextSupported=\"true|false\" must be specified in root node of XsdSummary\r\n"
         u"attribute deleteEmptyNodes=\"true|false\" must be  specified in the opening <XsdSummary...> tag"},
        {u"<XsdSummary contextSupported=\"TRUE\"><Cfg/></XsdSummary>",
         u"SetXsdSummary failed: attribute deleteEmptyNodes=\"true|false\" must be  specified in the opening "
         u"<XsdSummary...> tag"},
    };
    for (const Row& row : rows) {
        TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
        std::u16string error;
        EXPECT_FALSE(doc.SetXsdSummary(row.text, error));
        EXPECT_EQ(error, row.error);
        EXPECT_FALSE(doc.XsdSummarySet());
        EXPECT_EQ(doc.XsdSummary(), nullptr);
    }

    TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
    std::u16string error;
    EXPECT_FALSE(doc.SetXsdSummary(static_cast<TWideXmlNode*>(nullptr), error));
    EXPECT_EQ(error, u"SetXsdSummary failed: \r\nXsdSummaryRootNodeToCopy is nil");
    ASSERT_TRUE(doc.SetXsdSummary(
        u"<XsdSummary xsd=\"urn:x\" contextSupported=\"True\" deleteEmptyNodes=\"FALSE\"><Cfg/></XsdSummary>", error));
    EXPECT_TRUE(doc.XsdSummarySet());
    EXPECT_EQ(doc.XsdUrl(), u"urn:x");
    EXPECT_TRUE(doc.ContextSupported());
    EXPECT_FALSE(doc.DeleteEmptyNodesOnSave());
    EXPECT_FALSE(doc.SetXsdSummary(kSummaryAB, error));
    EXPECT_EQ(error, u"SetXsdSummary failed: XsdSummary already set");
    EXPECT_FALSE(doc.SetXsdSummary(doc.XsdSummary(), error));
    EXPECT_EQ(error, u"SetXsdSummary failed: \r\nXsdSummary already set");
    EXPECT_FALSE(doc.SetXsdSummary(u"", true, true, error));
    EXPECT_EQ(error, u"SetXsdSummary failed: XsdSummary already set");

    // From a node: a copy is kept.
    TVeldarXmlDoc fromNode(u"", u"Cfg", u"", u"context");
    {
        TWideXmlDocument source;
        source.ReadFromString(kSummaryAB);
        ASSERT_TRUE(fromNode.SetXsdSummary(source.Root(), error)) << Utf16ToUtf8(error);
    }
    EXPECT_EQ(fromNode.XsdSummary()->WriteToString(), kSummaryAB);
}

class VeldarXmlDocInsertionTest : public ::testing::Test {
public:
    VeldarXmlDocInsertionTest() : doc(u"", u"Cfg", u"", u"context") {
        doc.TUtf8XmlDocument::ReadFromString("<Cfg><Q/><C/></Cfg>");
        std::u16string error;
        EXPECT_TRUE(doc.SetXsdSummary(
            u"<XsdSummary contextSupported=\"true\" deleteEmptyNodes=\"false\"><Cfg><Variables><Var/></Variables>"
            u"<A xsNameAttribute=\"name\"><Sub/></A><B/><C/><Q/></Cfg></XsdSummary>",
            error))
            << Utf16ToUtf8(error);
    }
    std::u16string Text() { return doc.Root()->WriteToString(); }
    TVeldarXmlDoc doc;
};

TEST_F(VeldarXmlDocInsertionTest, NewNodesTakeTheirPlaceInTheSummaryOrder) {
    ASSERT_NE(doc.ZNode(nullptr, {u"B"}, cxNone, true), nullptr);
    EXPECT_EQ(Text(), u"<Cfg><B/><Q/><C/></Cfg>"); // nothing listed before B exists: first place
    ASSERT_NE(doc.ZNode(nullptr, {u"A", u"@name", u"y"}, cxNone, true), nullptr);
    ASSERT_NE(doc.ZNode(nullptr, {u"A", u"@name", u"x", u"Sub"}, cxNone, true), nullptr);
    ASSERT_NE(doc.ZNode(nullptr, {u"A", u"@name", u"y"}, cxNone, true), nullptr); // found, not made
    EXPECT_EQ(Text(), u"<Cfg><A name=\"y\"/><A name=\"x\"><Sub/></A><B/><Q/><C/></Cfg>");
    std::u16string error;
    ASSERT_TRUE(doc.SaveVarDelimiters(u"$(", u")"));
    ASSERT_TRUE(doc.SaveVar(nullptr, u"v", u"1"));
    EXPECT_EQ(Text(), u"<Cfg><Variables begin=\"$(\" end=\")\"><Var name=\"v\" value=\"1\"/></Variables><A name=\"y\"/>"
                      u"<A name=\"x\"><Sub/></A><B/><Q/><C/></Cfg>");
    // A leaf without a name attribute goes before its namesakes.
    ASSERT_NE(doc.ZNodeCommon(nullptr, u"B[@k='2']", true), nullptr);
    EXPECT_EQ(doc.Root()->Nodes(3)->WriteToString(), u"<B k=\"2\"/>");
    EXPECT_EQ(doc.Root()->Nodes(4)->WriteToString(), u"<B/>");
}

TEST_F(VeldarXmlDocInsertionTest, PathsOutsideTheSummaryRaise) {
    EXPECT_EQ(RaisedText([&] { doc.ZNode(nullptr, {u"A", u"Zed"}, cxNone, false); }),
              u"KX Error: XPath is invalid: \"/Cfg/A/Zed\" not found in XsdSummary");
    EXPECT_EQ(RaisedText([&] { doc.ZNode(nullptr, {u"/Cfg", u"Zed"}, cxNone, false); }),
              u"KX Error: XPath is invalid: \"/Cfg/Zed\" not found in XsdSummary");
    TWideXmlNode* q = doc.Root()->Nodes(0);
    q->NodeNew(u"Stray");
    EXPECT_EQ(RaisedText([&] { doc.ZNode(q->Nodes(0), {u"A"}, cxNone, false); }),
              u"KX Error: Start node is invalid: \"/Cfg/Q/Stray\" not found in XsdSummary");
    std::vector<TXPathElement> steps;
    doc.GetXPathElementsEx(nullptr, u"Cfg/A/Sub", true, steps);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].xeXsdSummaryParentNode, nullptr);
    EXPECT_EQ(steps[1].xeXsdSummaryParentNode, doc.XsdSummary()->Nodes(0));
    EXPECT_EQ(steps[1].xeXsdSummaryChildIndex, 1);
    EXPECT_EQ(steps[2].xeXsdSummaryChildIndex, 0);
}

// A Parent that SetParent gave may lead back to the node: a start node outside
// any list maps as a root element of its name.
TEST_F(VeldarXmlDocInsertionTest, AStartNodeOutsideAnyListMapsAsARoot) {
    TWideXmlNode start(nullptr, u"Cfg"), back(nullptr, u"Back");
    back.SetParent(&start);
    start.SetParent(&back);
    std::vector<TXPathElement> steps;
    doc.GetXPathElementsEx(&start, u"A/Sub", false, steps);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].xeXsdSummaryParentNode, doc.XsdSummary()->Nodes(0));
    EXPECT_EQ(steps[1].xeXsdSummaryChildIndex, 0);
}

} // namespace
} // namespace orvex
