#include "keyedconfig/VeldarXmlDoc.h"

#include <clocale>
#include <gtest/gtest.h>

#include "RaisedText.h"
#include "base/Utf.h"

namespace orvex {
namespace {

class VeldarXmlDocValuesTest : public ::testing::Test {
public:
    VeldarXmlDocValuesTest() : doc(u"", u"Cfg", u"dev", u"context") {
        doc.TUtf8XmlDocument::ReadFromString(
            "<Cfg><Variables begin=\"$(\" end=\")\"><Var name=\"x\" value=\"1\"/><Var name=\"dir\" "
            "value=\"/srv\"/></Variables>"
            "<Item name=\"a\" int=\"42\" big=\"9000000000\" real=\"3.5\" flag=\"true\" when=\"2024-02-29\" "
            "text=\"plain\" bad=\"abc\" path=\"$(dir)/data\">12</Item>"
            "<Item name=\"b\" context=\"dev\" int=\"5\">x</Item></Cfg>");
    }
    TVeldarXmlDoc doc;
};

TEST_F(VeldarXmlDocValuesTest, TypedReadsConvertToTheFallbacksType) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8"); // "3.5" must not read as 3 under a German locale
    struct Row {
        std::u16string_view attribute;
        TVeldarVariant fallback;
        TVeldarVariant expected;
    };
    const Row rows[] = {
        {u"int", int32_t{0}, int32_t{42}},
        {u"big", int64_t{0}, int64_t{9000000000}},
        {u"real", 0.0, 3.5},
        {u"flag", false, true},
        {u"when", TVeldarVariant::FromDate(0), TVeldarVariant::FromDate(45351)},
        {u"text", u"", u"plain"},
        {u"path", u"", u"/srv/data"}, // variables expanded
        {u"int", TVeldarVariant(), u"42"},
        {u"missing", int32_t{-1}, int32_t{-1}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(doc.ZNodeAttr(nullptr, {u"Item", u"@name", u"a"}, cxNone, row.fallback, row.attribute),
                  row.expected)
            << Utf16ToUtf8(row.attribute);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(doc.Warnings().empty());
    EXPECT_EQ(doc.ZNodeAttr(nullptr, {u"Nothing"}, cxNone, int32_t{9}, u"int"), TVeldarVariant(int32_t{9}));
    EXPECT_EQ(doc.ZNodeValue(nullptr, {u"Item", u"@name", u"a"}, cxNone, int32_t{0}), TVeldarVariant(int32_t{12}));
    // The context lookup finds the node of the default context.
    EXPECT_EQ(doc.ZNodeAttr(nullptr, {u"Item"}, cxOptional, int32_t{0}, u"int"), TVeldarVariant(int32_t{5}));
}

TEST_F(VeldarXmlDocValuesTest, ReadsRecordTheNodeAndTheAttribute) {
    doc.ZNodeAttr(nullptr, {u"Item", u"@name", u"a"}, cxNone, int32_t{0}, u"path");
    EXPECT_EQ(doc.LastNode(), doc.Root()->Nodes(1)); // not the Var the expansion looked up
    EXPECT_TRUE(doc.LastNodeAttrFound());
    doc.ZNodeAttr(nullptr, {u"Item", u"@name", u"a"}, cxNone, int32_t{0}, u"missing");
    EXPECT_EQ(doc.LastNode(), doc.Root()->Nodes(1));
    EXPECT_FALSE(doc.LastNodeAttrFound());
}

TEST_F(VeldarXmlDocValuesTest, FailedConversionsBecomeWarnings) {
    EXPECT_EQ(doc.ZNodeAttr(nullptr, {u"Item", u"@name", u"a"}, cxNone, int32_t{7}, u"bad"), TVeldarVariant(int32_t{7}));
    EXPECT_EQ(doc.ZNodeAttr(nullptr, {u"Item", u"@name", u"a"}, cxNone, int32_t{7}, u"big"), TVeldarVariant(int32_t{7}));
    // Without a context the node of context "dev" is passed over: no node, no warning.
    EXPECT_EQ(doc.ZNodeValue(doc.Root(), {u"Item", u"@name", u"b"}, cxNone, 1.5), TVeldarVariant(1.5));
    EXPECT_EQ(doc.ZNodeValue(doc.Root(), {u"Item", u"@name", u"b"}, cxOptional, 1.5), TVeldarVariant(1.5));
    const std::vector<std::u16string> expected = {
        u"Error reading value for attribute \"bad\" in XPath \"/Item[@name=\"a\"]\": Error converting value "
        u"\"abc\" to a variant type of \"Integer\"",
        u"Error reading value for attribute \"big\" in XPath \"/Item[@name=\"a\"]\": Error converting value "
        u"\"9000000000\" to a variant type of \"Integer\"",
        u"Error reading value XPath node \"/Cfg/Item[@name=\"b\"]\": Error converting value \"x\" to a "
        u"variant type of \"Double\"",
    };
    EXPECT_EQ(doc.Warnings(), expected);
    doc.ClearWarnings();
    EXPECT_TRUE(doc.Warnings().empty());
}

TEST_F(VeldarXmlDocValuesTest, TypedWrites) {
    EXPECT_TRUE(doc.ZNodeAttrSave(nullptr, {u"Item", u"@name", u"a"}, cxNone, 2.25, u"real", false));
    EXPECT_TRUE(doc.ZNodeAttrSave(nullptr, {u"Item", u"@name", u"a"}, cxNone, false, u"flag", false));
    EXPECT_EQ(doc.Root()->Nodes(1)->AttributeByName(u"real"), u"2.25");
    EXPECT_EQ(doc.Root()->Nodes(1)->AttributeByName(u"flag"), u"False");
    EXPECT_FALSE(doc.ZNodeAttrSave(nullptr, {u"Item", u"@name", u"zz"}, cxNone, int32_t{1}, u"v", false));

    // Made with the context attribute, which then stands last.
    ASSERT_TRUE(doc.ZNodeAttrSave(nullptr, {u"Item", u"@name", u"c"}, cxRequired, int32_t{3}, u"int", true));
    TWideXmlNode* made = doc.Root()->Nodes(3);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->WriteToString(), u"<Item name=\"c\" int=\"3\" context=\"dev\"/>");

    ASSERT_TRUE(doc.ZNodeValueSave(nullptr, {u"Note"}, cxNone, int64_t{-5}, true));
    EXPECT_EQ(doc.Root()->Nodes(4)->WriteToString(), u"<Note>-5</Note>");

    EXPECT_FALSE(doc.ZNodeAttrSave(nullptr, {u"a-b"}, cxNone, int32_t{1}, u"v", true));
    EXPECT_EQ(doc.LastError(), u"Error saving node attribute using method \"ZNodeAttrSave\":KX Error: Invalid "
                               u"Syntax in XPath \"a-b\" at position \"2\"");
    EXPECT_FALSE(doc.ZNodeValueSave(nullptr, {u"a-b"}, cxNone, int32_t{1}, true));
    EXPECT_EQ(doc.LastError(), u"Error saving node value using method \"ZNodeValueSave\":KX Error: Invalid "
                               u"Syntax in XPath \"a-b\" at position \"2\"");
}

TEST(VeldarXmlDocVariablesTest, ExpansionFindsTheEndAfterTheBegin) {
    struct Row {
        std::u16string_view begin, end, value, expected;
    };
    const Row rows[] = {
        {u"$(", u")", u"a $(x) b $(x)", u"a 1 b 1"},
        {u"$(", u")", u") $(x)", u") 1"},           // a stray end delimiter before the reference
        {u"%", u"%", u"%x%/%y%", u"1/two"},         // equal delimiters
        {u"$(", u")", u"$(missing) $(x", u"$(missing) $(x"},
        {u"$(", u")", u"$(empty)", u"$(empty)"},
        {u"{", u"}", u"{y}{x}", u"two1"},
    };
    for (const Row& row : rows) {
        TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
        doc.TUtf8XmlDocument::ReadFromString("<Cfg/>");
        ASSERT_TRUE(doc.SaveVarDelimiters(row.begin, row.end));
        ASSERT_TRUE(doc.SaveVar(nullptr, u"x", u"1"));
        ASSERT_TRUE(doc.SaveVar(nullptr, u"y", u"two"));
        ASSERT_TRUE(doc.SaveVar(nullptr, u"empty", u""));
        EXPECT_EQ(doc.ExpandVarsIn(row.value), row.expected) << Utf16ToUtf8(row.value);
    }
}

TEST(VeldarXmlDocVariablesTest, SavingAndDeletingVariables) {
    TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
    doc.TUtf8XmlDocument::ReadFromString("<Cfg><A ref=\"$(x)\"/></Cfg>");
    std::u16string beginDelim = u"?", endDelim = u"?";
    EXPECT_FALSE(doc.VarGetDelimiters(beginDelim, endDelim));
    EXPECT_EQ(beginDelim, u"");
    EXPECT_FALSE(doc.SaveVar(nullptr, u"x", u"1"));
    EXPECT_EQ(doc.LastError(), u"Error Saving Variable \"x\": Var Delimiters in the <Variables> node must be "
                               u"defined before saving a Variable is allowed.");

    ASSERT_TRUE(doc.SaveVarDelimiters(u"$(", u")"));
    ASSERT_TRUE(doc.SaveVar(nullptr, u"x", u"1"));
    ASSERT_TRUE(doc.SaveVar(nullptr, u"x", u"2"));
    EXPECT_EQ(doc.Root()->WriteToString(),
              u"<Cfg><Variables begin=\"$(\" end=\")\"><Var name=\"x\" value=\"2\"/></Variables><A ref=\"$(x)\"/></Cfg>");
    EXPECT_EQ(doc.VarValue(u"x"), u"2");
    EXPECT_EQ(doc.VarValue(u"q\"uote"), u"");
    EXPECT_TRUE(doc.VarIsInUse(nullptr, u"x"));
    EXPECT_FALSE(doc.VarIsInUse(nullptr, u"y"));
    EXPECT_TRUE(doc.VarDelimitersInUse());

    EXPECT_TRUE(doc.SaveVarDelimiters(u"$(", u")")); // unchanged
    EXPECT_FALSE(doc.SaveVarDelimiters(u"{", u"}"));
    EXPECT_EQ(doc.LastError(), u"Cannot save the new Var Delimeters (\"{\" and \"}) as the existing delimiters "
                               u"(\"$(\" and \")) are already in use");
    EXPECT_FALSE(doc.DeleteVar(nullptr, u"x"));
    EXPECT_EQ(doc.LastError(), u"Cannot delete variable \"x\" on node \"/\" as this variable is being used.");

    doc.Root()->Nodes(1)->SetAttributeByName(u"ref", u"plain");
    EXPECT_TRUE(doc.DeleteVar(nullptr, u"x"));
    EXPECT_TRUE(doc.DeleteVar(nullptr, u"x")); // already gone
    EXPECT_TRUE(doc.SaveVarDelimiters(u"{", u"}"));
    EXPECT_TRUE(doc.VarGetDelimiters(beginDelim, endDelim));
    EXPECT_EQ(beginDelim + endDelim, u"{}");

    // Variables of another element stay there; only those under the root expand.
    TWideXmlNode* a = doc.Root()->Nodes(1);
    ASSERT_TRUE(doc.SaveVar(a, u"local", u"L"));
    EXPECT_EQ(a->Nodes(0)->Name(), u"Variables");
    EXPECT_EQ(doc.VarValue(u"local"), u"");
    EXPECT_EQ(doc.ExpandVarsIn(u"{local}"), u"{local}");
}

TEST(VeldarXmlDocVariablesTest, EqualDelimitersCanBeChanged) {
    TVeldarXmlDoc doc(u"", u"Cfg", u"", u"context");
    doc.TUtf8XmlDocument::ReadFromString("<Cfg/>");
    ASSERT_TRUE(doc.SaveVarDelimiters(u"%", u"%"));
    EXPECT_FALSE(doc.VarDelimitersInUse()); // the delimiters' own attributes are no use of them
    EXPECT_TRUE(doc.SaveVarDelimiters(u"$(", u")"));
}

} // namespace
} // namespace orvex
