#include "keyedconfig/VeldarXmlDoc.h"

#include <functional>
#include <gtest/gtest.h>

#include "RaisedText.h"
#include "base/Utf.h"
#include "xml/XmlStreams.h"

namespace orvex {
namespace {
using fake::RaisedText;

const std::u16string kCatalogue =
    Utf8ToUtf16(ORVEX_TEST_DATA "/keyedconfig/CatalogueSample.xml");

class VeldarXmlDocTest : public ::testing::Test {
public:
    VeldarXmlDocTest() : doc(kCatalogue, u"PelluxToolsSoftwareTolkara", u"cmd", u"context") {
        TxmFileStream stream(kCatalogue);
        doc.LoadFromStream(stream);
    }

    std::u16string ValueOf(TWideXmlNode* node, std::u16string_view attribute = u"value") {
        return node ? node->AttributeByName(attribute) : u"<none>";
    }

    TVeldarXmlDoc doc;
};

TEST_F(VeldarXmlDocTest, CatalogueLookups) {
    struct Row {
        std::vector<TPiece> pieces;
        std::u16string_view attribute;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {{u"Other", u"Keyword", u"@name", u"title", u"@lingvo", u"deu"}, u"value", u"Orvex (de)"},
        {{u"Other", u"Keyword", u"@name", u"title"}, u"value", u"Orvex"}, // first match
        {{u"Other", u"Keyword", u"@name", u"title", u"@lingvo", u"fra"}, u"value", u"<none>"},
        {{u"OTHER", u"keyword", u"@name", u"title"}, u"value", u"Orvex"}, // names ignore case
        {{u"Other", u"Keyword", u"@name", u"TITLE"}, u"value", u"<none>"}, // values do not
        {{u"Other", u"Keyword[2]"}, u"value", u"Orvex (de)"},
        {{u"Lingvos", u"Lingvo[3]"}, u"abbrev", u"rus"},
        {{u"Lingvos", u"Lingvo[4]"}, u"abbrev", u"<none>"},
        {{u"Lingvos", u"Lingvo[0]"}, u"abbrev", u"<none>"},
        {{u"Dialogs", u"Dialog", u"@type", u"MsgInfoOk", u"@id", u"done"}, u"text", u"Fertig"},
        {{u"Memos", u"About", u"Substitutions", u"S", u"@id", 1, u"@lingvo", u"deu"}, u"value", u"eins"},
        {{u"/PelluxToolsSoftwareTolkara", u"MainMenu", u"MenuItem", u"@name", u"File"}, u"caption",
         u"&File"},
        {{u"/pelluxtoolssoftwaretolkara/Other/Keyword[@value='\"a\" & b']"}, u"name", u"quote"},
        {{u"Other", u"Keyword", u"@name", u"mode"}, u"value", u"Wizard"}, // context node passed over
    };
    for (const Row& row : rows)
        EXPECT_EQ(ValueOf(doc.ZNode(nullptr, std::span<const TPiece>(row.pieces), cxNone, false),
                          row.attribute),
                  row.expected);
}

TEST_F(VeldarXmlDocTest, LookupFromModuleNode) {
    TWideXmlNode* module = doc.ZNode(nullptr, {u"SoftwareModules", u"SoftwareModule", u"@id", u"Backup"},
                                     cxNone, false);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(doc.LastNode(), module);
    TWideXmlNode* german = doc.ZNode(module,
                                     {u"tabBackup1", u"Control", u"@name", u"btnnext", u"@property",
                                      u"Caption", u"@lingvo", u"deu"},
                                     cxNone, false);
    EXPECT_EQ(ValueOf(german), u"Weiter >");
    TWideXmlNode* hint = doc.ZNode(module,
                                   {u"tabBackup1", u"Control", u"@name", u"btnnext", u"@property",
                                    u"Hint"},
                                   cxNone, false);
    EXPECT_EQ(ValueOf(hint), u"Go on");
    EXPECT_EQ(doc.ZNode(module, {u"tabBackup2", u"Control"}, cxNone, false), nullptr);
    EXPECT_EQ(doc.LastNode(), nullptr);
    EXPECT_EQ(doc.ZNodeCommon(module, u"", false), module);
}

TEST_F(VeldarXmlDocTest, ContextUsages) {
    TWideXmlNode* command = doc.ZNode(nullptr, {u"Other", u"Keyword", u"@name", u"mode"}, cxOptional, false);
    EXPECT_EQ(ValueOf(command), u"Command line");
    EXPECT_TRUE(doc.LastNodeContextUsed());
    EXPECT_EQ(doc.LastNodeContextValue(), u"cmd");
    EXPECT_EQ(doc.LastNodeContextUsage(), cxOptional);

    TWideXmlNode* wizard = doc.ZCNodeCommon(nullptr, u"Other/Keyword[@name=\"mode\"]", cxOptional,
                                            u"gui", false);
    EXPECT_EQ(ValueOf(wizard), u"Wizard");
    EXPECT_FALSE(doc.LastNodeContextUsed());
    EXPECT_EQ(doc.ZCNodeCommon(nullptr, u"Other/Keyword[@name=\"mode\"]", cxRequired, u"gui", false),
              nullptr);

    TWideXmlNode* other = doc.ZNode(nullptr, {u"Other"}, cxNone, false);
    const int before = other->NodeCount();
    TWideXmlNode* made = doc.ZCNodeCommon(nullptr, u"Other/Keyword[@name=\"mode\"]", cxRequired,
                                          u"gui", true);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(doc.LastNodeContextUsed());
    EXPECT_EQ(other->NodeCount(), before + 1);
    EXPECT_EQ(other->Nodes(before), made);
    EXPECT_EQ(made->WriteToString(), u"<Keyword name=\"mode\" context=\"gui\"/>");
    EXPECT_EQ(doc.XPathOfNode(made), u"/PelluxToolsSoftwareTolkara/Other/Keyword[6]");
}

TEST_F(VeldarXmlDocTest, CreatedValuesAreEscaped) {
    TWideXmlNode* made = doc.ZNode(nullptr, {u"Other", u"Keyword", u"@name", u"a<b>&c'"}, cxNone, true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->WriteToString(), u"<Keyword name=\"a&lt;b&gt;&amp;c&apos;\"/>");
    EXPECT_EQ(doc.ZNode(nullptr, {u"Other", u"Keyword", u"@name", u"a<b>&c'"}, cxNone, false), made);
}

TEST_F(VeldarXmlDocTest, RefusedPathsChangeNothing) {
    TWideXmlNode* other = doc.ZNode(nullptr, {u"Other"}, cxNone, false);
    const int before = other->NodeCount();
    EXPECT_EQ(RaisedText([&] { doc.ZNode(nullptr, {u"Other", u"Keyword", u"@name", u"x\"y"}, cxNone, true); }),
              u"KX Error: Invalid Syntax in XPath \"Other/Keyword[@name=\"x\"y\"]\" at position \"23\"");
    EXPECT_EQ(RaisedText([&] { doc.ZNodeCommon(nullptr, u"Other/New-Node", true); }),
              u"KX Error: Invalid Syntax in XPath \"Other/New-Node\" at position \"10\"");
    EXPECT_EQ(RaisedText([&] { doc.ZNodeCommon(nullptr, u"/Root/Other", true); }),
              u"KX Error: Error finding node because requested root \"Root\" is invalid. Correct root "
              u"is \"PelluxToolsSoftwareTolkara\". Requested XPath was \"/Root/Other\".");
    EXPECT_EQ(RaisedText([&] { doc.ZNodeCommon(other, u"/Keyword", true); }),
              u"KX Error: Relative XPath required when StartNode is not nil. Do not start "
              u"\"/Keyword\" with \"/\".");
    EXPECT_EQ(RaisedText([&] { doc.ZCNodeCommon(other, u"", cxRequired, u"cmd", true); }),
              u"KX Error: XPath cannot be blank when using context. Error occurred with "
              u"StartNode=\"/PelluxToolsSoftwareTolkara/Other\" XPath=\"[]\" "
              u"ContextUsage=\"cxRequired\".");
    EXPECT_EQ(other->NodeCount(), before);
}

TEST_F(VeldarXmlDocTest, PathsOfNodes) {
    EXPECT_EQ(TVeldarXmlDoc::XPathOfNode(nullptr), u"/");
    EXPECT_EQ(TVeldarXmlDoc::XPathOfNode(doc.Root()), u"/PelluxToolsSoftwareTolkara");
    TWideXmlNode* eins = doc.ZNode(nullptr, {u"Memos", u"About", u"Substitutions", u"S", u"@lingvo", u"deu"},
                                   cxNone, false);
    EXPECT_EQ(TVeldarXmlDoc::XPathOfNode(eins),
              u"/PelluxToolsSoftwareTolkara/Memos/About/Substitutions/S[2]");
    TWideXmlNode* lines = doc.ZNode(nullptr, {u"Memos", u"About", u"Lines"}, cxNone, false);
    EXPECT_EQ(TVeldarXmlDoc::XPathOfNode(lines), u"/PelluxToolsSoftwareTolkara/Memos/About/Lines");
    EXPECT_EQ(doc.FullXPath(lines, u"x/y"), u"/PelluxToolsSoftwareTolkara/Memos/About/Lines/x/y");
}

TEST(VeldarXmlDocStandaloneTest, FreshDocumentAndRefusedFileCalls) {
    TVeldarXmlDoc doc(u"/srv/cfg/KXContext.xml", u"KXContext", u"", u"context");
    EXPECT_EQ(doc.FilePathAndName(), u"/srv/cfg/KXContext.xml");
    EXPECT_EQ(doc.RequiredRootNodeName(), u"KXContext");
    EXPECT_EQ(doc.ContextAttributeID(), u"context");
    EXPECT_EQ(doc.LastNodeContextUsage(), cxOptional);
    EXPECT_EQ(doc.LastNode(), nullptr);
    EXPECT_EQ(doc.XsdSummary(), nullptr);
    EXPECT_EQ(doc.KeyIndex(), -1);
    EXPECT_EQ(doc.ErrorDetailAllowed(), TErrorDetailAllowedSet{});
    EXPECT_EQ(doc.ZNode(nullptr, {u"a"}, cxNone, false), nullptr);
    EXPECT_EQ(RaisedText([&] { doc.LoadFromFile(u"/srv/cfg/KXContext.xml"); }),
              u"KX Error: \"LoadFromFile\" cannot be used with class  TVeldarXmlDocument. Use "
              u"\"LoadFile\" instead.");
    EXPECT_EQ(RaisedText([&] { doc.SaveToFile(u"/tmp/never-written.xml"); }),
              u"KX Error: \"SaveToFile\" cannot be used with class  TVeldarXmlDocument. Use "
              u"\"SaveFile\" instead.");
    // A standalone document shows no file name in its file errors.
    EXPECT_EQ(doc.FileNameDetail(), u"");
    EXPECT_EQ(doc.FormatFileError(VeldarMessage(vmVerbLoad), VeldarMessage(vmFileNotFound)),
              u"Unable to load file: \r\nReason: File not found");
}

} // namespace
} // namespace orvex
