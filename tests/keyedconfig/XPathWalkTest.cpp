#include "keyedconfig/XPathWalk.h"

#include <gtest/gtest.h>

#include "FakeTree.h"

namespace orvex {
namespace {
using fake::TFakeNode;
using fake::TFakeOps;

class XPathWalkTest : public ::testing::Test {
public:
    XPathWalkTest() {
        root.name = u"PelluxToolsSoftwareTolkara";
        other = root.Add(u"Other");
        xEn = other->Add(u"Keyword", {{u"name", u"x"}, {u"value", u"X-en"}});
        xDe = other->Add(u"Keyword", {{u"lingvo", u"deu"}, {u"name", u"x"}, {u"value", u"X-de"}});
        yCtx = other->Add(u"Keyword", {{u"name", u"y"}, {u"context", u"c1"}});
        yPlain = other->Add(u"Keyword", {{u"name", u"y"}});
        a1 = root.Add(u"a", {{u"context", u"c1"}});
        a2 = root.Add(u"a", {{u"id", u"2"}});
        b = root.Add(u"b");
        inner = a1->Add(u"inner");
    }

    TFakeNode* Walk(std::u16string_view path, std::u16string_view context = u"context",
                    bool create = false, TFakeNode* start = nullptr) {
        std::vector<TXPathElement> steps;
        GetXPathElements(path, steps);
        return WalkXPath(ops, start ? start : &root, std::span<const TXPathElement>(steps), context,
                         create);
    }

    TFakeOps ops;
    TFakeNode root;
    TFakeNode *other, *xEn, *xDe, *yCtx, *yPlain, *a1, *a2, *b, *inner;
};

TEST_F(XPathWalkTest, FirstMatchIndexAndCase) {
    struct Row {
        std::u16string_view path;
        TFakeNode* XPathWalkTest::*expected;
    };
    const Row rows[] = {
        {u"Other/Keyword[@name=\"x\"][@lingvo=\"deu\"]", &XPathWalkTest::xDe},
        {u"Other/Keyword[@name=\"x\"]", &XPathWalkTest::xEn},
        {u"OTHER/keyword[@name='x']", &XPathWalkTest::xEn}, // names ignore case
        {u"Other/Keyword[@lingvo=\"\"]", &XPathWalkTest::xEn}, // empty matches a missing attribute
        {u"a[2]", &XPathWalkTest::a2},
        {u"a[1]/inner", &XPathWalkTest::inner}, // the context rule holds on the last step only
        {u"b", &XPathWalkTest::b},
        {u"Other[1]/Keyword[2][@name='x']", &XPathWalkTest::xDe},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Walk(row.path), this->*row.expected) << std::string(row.path.begin(), row.path.end());
}

TEST_F(XPathWalkTest, MissingGivesNull) {
    for (std::u16string_view path :
         {u"Other/Keyword[@name=\"X\"]", u"a[0]", u"a[3]", u"a[-5]", u"c", u"b/c",
          u"Other/Keyword[@name=\"x\"][@lingvo=\"fra\"]", u"Other/Keyword[2][@name='y']"})
        EXPECT_EQ(Walk(path), nullptr) << std::string(path.begin(), path.end());
}

TEST_F(XPathWalkTest, LastStepPassesOverContextNodes) {
    EXPECT_EQ(Walk(u"Other/Keyword[@name=\"y\"]"), yPlain);
    EXPECT_EQ(Walk(u"Other/Keyword[@name=\"y\"][@context=\"c1\"]"), yCtx);
    EXPECT_EQ(Walk(u"Other/Keyword[@name=\"y\"][@context=\"c2\"]"), nullptr);
    EXPECT_EQ(Walk(u"a"), a2);                      // also without predicates
    EXPECT_EQ(Walk(u"a[1]"), nullptr);              // an index does not lift the rule
    EXPECT_EQ(Walk(u"Other/Keyword[@name=\"y\"]", u""), yCtx); // no context attribute: first wins
    EXPECT_EQ(Walk(u"a", u""), a1);
}

TEST_F(XPathWalkTest, EmptyPathAndNullStart) {
    std::vector<TXPathElement> none;
    EXPECT_EQ(WalkXPath(ops, &root, std::span<const TXPathElement>(none), u"context", true), &root);
    std::vector<TXPathElement> steps;
    GetXPathElements(u"a", steps);
    EXPECT_EQ(WalkXPath(ops, static_cast<TFakeNode*>(nullptr),
                        std::span<const TXPathElement>(steps), u"context", true),
              nullptr);
    EXPECT_TRUE(ops.created.empty());
}

TEST_F(XPathWalkTest, CreateAppendsWithPredicatesInOrder) {
    TFakeNode* made = Walk(u"Other/New[@k=\"v\"][@context='c9']/Leaf", u"context", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->name, u"Leaf");
    TFakeNode* parent = made->parent;
    EXPECT_EQ(parent->name, u"New");
    EXPECT_EQ(parent->parent, other);
    EXPECT_EQ(other->children.back().get(), parent);
    ASSERT_EQ(parent->attributes.size(), 2u);
    EXPECT_EQ(parent->attributes[0], (std::pair<std::u16string, std::u16string>{u"k", u"v"}));
    EXPECT_EQ(parent->attributes[1], (std::pair<std::u16string, std::u16string>{u"context", u"c9"}));
    ASSERT_EQ(ops.created.size(), 2u);
    EXPECT_EQ(ops.created[0], (std::pair<TFakeNode*, size_t>{other, 1}));
    EXPECT_EQ(ops.created[1], (std::pair<TFakeNode*, size_t>{parent, 2}));
    // Found again, nothing more created.
    EXPECT_EQ(Walk(u"Other/New[@k=\"v\"][@context='c9']/Leaf", u"context", true), made);
    EXPECT_EQ(ops.created.size(), 2u);
}

TEST_F(XPathWalkTest, CreateBesideContextNode) {
    // Only a context node exists: a plain lookup passes it over and makes a plain twin.
    TFakeNode* made = Walk(u"a[1]", u"context", true);
    ASSERT_NE(made, nullptr);
    EXPECT_NE(made, a1);
    EXPECT_EQ(root.children.back().get(), made);
    EXPECT_TRUE(made->attributes.empty());
}

TEST_F(XPathWalkTest, XPathOfNode) {
    EXPECT_EQ(XPathOfNodeText(ops, static_cast<TFakeNode*>(nullptr)), u"/");
    EXPECT_EQ(XPathOfNodeText(ops, &root), u"/PelluxToolsSoftwareTolkara");
    EXPECT_EQ(XPathOfNodeText(ops, xDe), u"/PelluxToolsSoftwareTolkara/Other/Keyword[2]");
    EXPECT_EQ(XPathOfNodeText(ops, yPlain), u"/PelluxToolsSoftwareTolkara/Other/Keyword[4]");
    EXPECT_EQ(XPathOfNodeText(ops, a2), u"/PelluxToolsSoftwareTolkara/a[2]");
    EXPECT_EQ(XPathOfNodeText(ops, inner), u"/PelluxToolsSoftwareTolkara/a[1]/inner");
    EXPECT_EQ(XPathOfNodeText(ops, b), u"/PelluxToolsSoftwareTolkara/b");
    // Namesakes are exact: "B" does not share a name with "b".
    root.Add(u"B");
    EXPECT_EQ(XPathOfNodeText(ops, b), u"/PelluxToolsSoftwareTolkara/b");
}

TEST_F(XPathWalkTest, XPathOfNodeLengthLimit) {
    const std::u16string name(100, u'n');
    TFakeNode* node = b;
    for (int i = 0; i < 12; ++i)
        node = node->Add(name);
    std::u16string built; // the part built upwards when the limit is passed: 11 steps
    for (int i = 0; i < 11; ++i)
        built += u"/" + name;
    try {
        XPathOfNodeText(ops, node);
        FAIL();
    } catch (const EVeldarException& e) {
        EXPECT_EQ(e.Message(), u"Method \"XPathOfNode\" reports: XPathOfNode too long: \"" + built +
                                   u"\"");
    }
    // Nine levels fit below the limit.
    TFakeNode* fits = &root;
    for (int i = 0; i < 9; ++i)
        fits = fits->Add(name);
    EXPECT_EQ(XPathOfNodeText(ops, fits).size(), 27u + 9 * 101);
}

} // namespace
} // namespace orvex
