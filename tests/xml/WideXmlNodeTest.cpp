#include "xml/WideXmlNode.h"

#include "TestDocument.h"
#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

#include <typeinfo>

using namespace orvex;
using orvex::test::TTestDocument;

namespace {

// A document whose container is a TWideXmlNode, as in TWideXmlDocument.
struct TWideTree {
    TTestDocument doc;
    TWideXmlNode container{&doc};
    TWideXmlNode* root = container.NodeNew(u"Root");
};

} // namespace

TEST(WideNode, ChildrenStayOfTheWideClass) {
    TWideTree t;
    TWideXmlNode* site = t.root->NodeNew(u"Site");
    EXPECT_EQ(site->Parent(), t.root);
    TWideXmlNode* first = t.root->NodeNewAtIndex(0, u"First");
    EXPECT_EQ(t.root->Nodes(0), first);
    EXPECT_EQ(t.root->NodeFindOrCreate(u"SITE"), site);
    EXPECT_EQ(t.root->NodeIndexByName(u"site"), 1);
    EXPECT_EQ(t.root->NodeIndexByNameFrom(u"site", 2), -1);
    EXPECT_EQ(t.root->Nodes(5), nullptr);
    site->SetValueAsString(u"v");
    TWideXmlNode copy;
    copy.Assign(*t.root);
    EXPECT_NE(dynamic_cast<TWideXmlNode*>(copy.Nodes(1)), nullptr);
    EXPECT_EQ(copy.Nodes(1)->ValueAsString(), u"v");
    EXPECT_EQ(site->FullPath(), u"/Root/Site");
    EXPECT_EQ(site->CascadedName(), u"0000_Root0000_Site0000");
    EXPECT_EQ(t.root->NodeByElementType(xeNormal), t.root->Nodes(0));
}

TEST(WideNode, CharactersBeyondTheBasicPlaneSurviveBothWays) {
    TWideTree t;
    const std::u16string name = u"Gr\u00FC\u00DFe\U0001F600";
    const std::u16string value = u"\u4E2D\u6587 \U00020000 <&>";
    TWideXmlNode* node = t.root->NodeNew(name);
    node->SetValueAsString(value);
    node->SetAttributeByName(u"\U0001D11E", value);
    EXPECT_EQ(node->Name(), name);
    EXPECT_EQ(node->ValueAsString(), value);
    EXPECT_EQ(node->AttributeByName(u"\U0001D11E"), value);
    EXPECT_EQ(node->AttributeName(0), u"\U0001D11E");
    EXPECT_EQ(node->AttributeValue(0), value);
    // Stored as standard UTF-8: one four-byte sequence per supplementary character.
    EXPECT_EQ(node->TUtf8XmlNode::Name(), "Gr\xC3\xBC\xC3\x9F" "e\xF0\x9F\x98\x80");
    EXPECT_EQ(t.root->NodeByName(u"GR\u00DC\u00DFE\U0001F600"), node);
    EXPECT_EQ(t.root->FindNode(u"/Root/" + name), node);
    t.root->WriteString(u"w", value);
    EXPECT_EQ(t.root->ReadString(u"w"), value);
    t.root->WriteUnicodeString(u"u", value);
    EXPECT_EQ(t.root->ReadUnicodeString(u"u"), value);
    t.root->WriteAttributeString(u"a", value);
    EXPECT_EQ(t.root->ReadAttributeString(u"a"), value);
    // Written the old way (each surrogate half as three bytes) it still reads.
    TUtf8XmlNode* old = t.root->TUtf8XmlNode::NodeNew("old");
    old->SetValueDirect("\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(TWideXmlNode::Cast(old)->ValueAsString(), u"\U0001F600");
}

TEST(WideNode, AttributesThroughTheUtf16Face) {
    TWideTree t;
    t.root->AttributeAdd(u"id", u"7");
    t.root->AttributeAdd(u"n", 12);
    EXPECT_EQ(t.root->AttributeIndexByName(u"ID"), 0);
    EXPECT_TRUE(t.root->HasAttribute(u"N"));
    EXPECT_FALSE(t.root->HasAttribute(u"x"));
    t.root->SetAttributeValue(1, u"a\"b");
    EXPECT_EQ(t.root->AttributeByName(u"n"), u"a\"b");
    EXPECT_EQ(t.root->AttributeByName(u"missing"), u"");
    TWideXmlNode* child = t.root->NodeNew(u"Item");
    child->AttributeAdd(u"key", u"K\u00C9Y");
    EXPECT_EQ(t.root->NodeByAttributeValue(u"item", u"key", u"k\u00E9y"), child);
    EXPECT_EQ(t.root->NodeByAttributeValue(u"item", u"key", u"other"), nullptr);
}

// Reading into a reused text, by the shortcut for plain stored values or in full
// for the rest, gives what the reading that returns the text gives; the first of
// two names alike in all but case is the one found.
TEST(WideNode, AttributeReadIntoAReusedText) {
    TWideXmlNode node;
    node.ParseTag("n a='it''s' b=\"&#65;&amp;\" c=\"plain \xC3\xA9\" d=x f=\"\" g='a\"b' "
                  "A=\"second\" h=\"\xF0\x9F\x98\x80>\"");
    ASSERT_EQ(node.AttributeCount(), 8);
    std::u16string value = u"left over";
    for (const std::string name : {"a", "b", "c", "d", "f", "g", "h", "A", "C", "missing", "a=", ""}) {
        const std::u16string wide(name.begin(), name.end());
        const std::u16string want = node.AttributeByName(wide);
        const bool found = node.AttributeIndexByName(wide) >= 0;
        EXPECT_EQ(node.AttributeByName(std::u16string_view(wide), value), found) << name;
        EXPECT_EQ(value, want) << name;
        value = u"left over";
        EXPECT_EQ(node.AttributeByName(std::string_view(name), value), found) << name;
        EXPECT_EQ(value, want) << name;
    }
    EXPECT_EQ(node.AttributeByName(u"A"), u"it's");
    EXPECT_EQ(node.AttributeByName(u"C"), u"plain \u00E9");
}

TEST(WideNode, TypedAccess) {
    TWideTree t;
    TWideXmlNode* r = t.root;
    r->WriteBool(u"b", true);
    r->WriteInteger(u"i", -3);
    r->WriteInt64(u"l", int64_t(1) << 40);
    r->WriteFloat(u"f", 2.5);
    r->WriteDateTime(u"d", 45000.5);
    r->WriteHex(u"h", 255, 4);
    EXPECT_TRUE(r->ReadBool(u"B"));
    EXPECT_EQ(r->ReadInteger(u"i"), -3);
    EXPECT_EQ(r->ReadInt64(u"l"), int64_t(1) << 40);
    EXPECT_EQ(r->ReadFloat(u"f"), 2.5);
    EXPECT_EQ(r->ReadDateTime(u"d"), 45000.5);
    EXPECT_EQ(r->ReadInteger(u"h"), 255);
    EXPECT_EQ(r->ReadString(u"absent", u"dflt"), u"dflt");
    r->WriteAttributeBool(u"ab", true);
    r->WriteAttributeInteger(u"ai", 4);
    r->WriteAttributeInt64(u"al", 5);
    r->WriteAttributeFloat(u"af", 0.5);
    r->WriteAttributeDateTime(u"ad", 45000);
    EXPECT_TRUE(r->ReadAttributeBool(u"ab"));
    EXPECT_EQ(r->ReadAttributeInteger(u"ai"), 4);
    EXPECT_EQ(r->ReadAttributeInt64(u"al"), 5);
    EXPECT_EQ(r->ReadAttributeFloat(u"af"), 0.5);
    EXPECT_EQ(r->ReadAttributeDateTime(u"ad"), 45000);
    EXPECT_EQ(r->AttributeByName(u"ad"), u"2023-03-15");
}

TEST(WideNode, ListsSearchesAndExtraction) {
    TWideTree t;
    TWideXmlNode* a = t.root->NodeNew(u"Entry");
    TWideXmlNode* b = t.root->NodeNew(u"Entry");
    a->AttributeAdd(u"id", u"x");
    b->AttributeAdd(u"id", u"ABC");
    TWideXmlNodeList list;
    t.root->NodesByName(u"entry", &list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(1), b);
    EXPECT_EQ(list.ByAttribute(u"id", u"abc"), b);
    EXPECT_EQ(list.ByAttribute(u"id", u"zzz"), nullptr);
    t.container.FindNodes(u"ENTRY", list);
    EXPECT_EQ(list.Count(), 2);

    std::unique_ptr<TWideXmlNode> taken = t.root->NodeExtract(a);
    ASSERT_EQ(taken.get(), a);
    EXPECT_EQ(taken->Parent(), nullptr);
    EXPECT_EQ(t.root->NodeExtract(a), nullptr);
    EXPECT_EQ(t.root->NodeAdd(std::move(taken)), 1);
    EXPECT_THROW(t.root->SetParent(b), EXmlError); // b lies below it
    EXPECT_EQ(t.root->Parent(), &t.container);
    EXPECT_EQ(t.container.NodeIndexOf(t.root), 0);
}

TEST(WideNode, SortWithAUtf16CompareFunction) {
    TWideTree t;
    for (const char16_t* name : {u"c", u"A", u"b"})
        t.root->NodeNew(name);
    t.root->SortChildNodes();
    EXPECT_EQ(t.root->Nodes(0)->Name(), u"A");
    int calls = 0;
    t.root->SortChildNodes(
        [](TWideXmlNode* x, TWideXmlNode* y, void* info) {
            ++*static_cast<int*>(info);
            return y->Name().compare(x->Name()); // descending, case-sensitive
        },
        &calls);
    EXPECT_EQ(t.root->Nodes(0)->Name(), u"c");
    EXPECT_EQ(t.root->Nodes(2)->Name(), u"A");
    EXPECT_GT(calls, 0);
}

TEST(WideNode, ForeignNodesAndNamesAreRefused) {
    TWideTree t;
    t.root->TUtf8XmlNode::NodeAdd(std::make_unique<TUtf8XmlNode>(nullptr, "plain"));
    EXPECT_THROW(t.root->Nodes(0), std::bad_cast);
    EXPECT_THROW(t.root->NodeExtract(t.root->TUtf8XmlNode::Nodes(0)), std::bad_cast);
    EXPECT_EQ(t.root->NodeCount(), 1); // nothing moved
    EXPECT_EQ(TWideXmlNode::Cast(nullptr), nullptr);
    EXPECT_THROW(t.root->NodeNew(u"a b"), EXmlError);
    EXPECT_THROW(t.root->SetName(u"x>"), EXmlError);
    EXPECT_EQ(t.root->Name(), u"Root");
    EXPECT_EQ(t.root->Document(), nullptr); // the test document is no TWideXmlDocument
    TWideXmlNode typed(&t.doc, xeComment);
    EXPECT_EQ(typed.ElementType(), xeComment);
    TWideXmlNode full(&t.doc, u"n", u"a<b");
    EXPECT_EQ(full.ValueDirect(), "a&lt;b");
}
