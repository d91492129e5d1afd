#include "keyedconfig/WideXmlNodeOps.h"

#include <gtest/gtest.h>

#include "keyedconfig/XPathLookup.h"

namespace orvex {
namespace {

class WideXmlNodeOpsTest : public ::testing::Test {
public:
    WideXmlNodeOpsTest() : root(nullptr, u"PelluxToolsSoftwareTolkara") {
        other = root.NodeNew(u"Other");
        xEn = other->NodeNew(u"Keyword");
        xEn->SetAttributeByName(u"name", u"x");
        auto comment = std::make_unique<TWideXmlNode>(nullptr, xeComment);
        comment->SetValueAsString(u"not an element");
        other->NodeAdd(std::move(comment));
        xDe = other->NodeNew(u"Keyword");
        xDe->SetAttributeByName(u"lingvo", u"deu");
        xDe->SetAttributeByName(u"NAME", u"x");
        quoted = other->NodeNew(u"Keyword");
        quoted->SetAttributeByName(u"value", u"\"a\" & <b>");
        umlaut = root.NodeNew(u"\u00c4rger");
    }

    TWideXmlNode* Find(std::u16string_view path, bool create = false) {
        TXPathLookup<TWideXmlNodeOps> lookup(ops, u"context", {}, state);
        return lookup.ZNodeCommon(nullptr, path, create);
    }

    TWideXmlNode root;
    TWideXmlNode *other, *xEn, *xDe, *quoted, *umlaut;
    TWideXmlNodeOps ops{&root};
    TXPathLookupState<TWideXmlNode> state;
};

TEST_F(WideXmlNodeOpsTest, LookupsOnRealNodes) {
    EXPECT_EQ(Find(u"Other/Keyword[@name=\"x\"]"), xEn);
    EXPECT_EQ(Find(u"Other/Keyword[@name=\"x\"][@lingvo=\"deu\"]"), xDe); // attribute names: ASCII case
    EXPECT_EQ(Find(u"Other/Keyword[2]"), xDe); // the comment is no candidate
    EXPECT_EQ(Find(u"Other/Keyword[@value='\"a\" & <b>']"), quoted); // values compare unescaped
    EXPECT_EQ(Find(u"/pelluxtoolssoftwaretolkara/other"), other);
    EXPECT_EQ(Find(u"Other/Keyword[4]"), nullptr);
    EXPECT_EQ(state.LastNode, nullptr);
}

TEST_F(WideXmlNodeOpsTest, NamesBeyondAsciiIgnoreCase) {
    std::vector<TWideXmlNode*> list;
    ops.ChildrenNamed(&root, u"\u00e4RGER", list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], umlaut);
}

TEST_F(WideXmlNodeOpsTest, CreateAndPaths) {
    TWideXmlNode* made = Find(u"Other/Keyword[@name=\"z\"][@context=\"c\"]", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Parent(), other);
    EXPECT_EQ(other->Nodes(other->NodeCount() - 1), made);
    EXPECT_EQ(made->AttributeName(0), u"name");
    EXPECT_EQ(made->AttributeValue(1), u"c");
    EXPECT_EQ(XPathOfNodeText(ops, made), u"/PelluxToolsSoftwareTolkara/Other/Keyword[4]");
    EXPECT_EQ(XPathOfNodeText(ops, umlaut), u"/PelluxToolsSoftwareTolkara/\u00c4rger");
    EXPECT_EQ(XPathOfNodeText(ops, &root), u"/PelluxToolsSoftwareTolkara");
}

// A Parent that SetParent gave may be gone or lead back to the node: outside any
// list a node's path is its name alone.
TEST_F(WideXmlNodeOpsTest, PathOfANodeOutsideAnyListIsItsName) {
    for (const bool loop : {false, true}) {
        auto node = std::make_unique<TWideXmlNode>(nullptr, u"n");
        auto back = std::make_unique<TWideXmlNode>(nullptr, u"b");
        back->SetParent(node.get());
        node->SetParent(loop ? back.get() : xEn->NodeNew(u"gone"));
        xEn->NodesClear();
        EXPECT_EQ(XPathOfNodeText(ops, node.get()), u"/n") << loop;
    }
}

TEST_F(WideXmlNodeOpsTest, InsertionHookPlacesNewNodes) {
    std::vector<size_t> asked;
    TWideXmlNodeOps placing(&root, [&](TWideXmlNode*, std::span<const TXPathElement>, size_t step) {
        asked.push_back(step);
        return 0;
    });
    TXPathLookup<TWideXmlNodeOps> lookup(placing, u"", {}, state);
    TWideXmlNode* made = lookup.ZNodeCommon(other, u"First/Inner", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(other->Nodes(0), made->Parent());
    EXPECT_EQ(asked, (std::vector<size_t>{0, 1}));
}

} // namespace
} // namespace orvex
