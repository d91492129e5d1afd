#include "keyedconfig/XPathLookup.h"

#include <functional>
#include <gtest/gtest.h>

#include "FakeTree.h"

namespace orvex {
namespace {
using fake::TFakeNode;
using fake::TFakeOps;

class XPathLookupTest : public ::testing::Test {
public:
    XPathLookupTest() {
        root.name = u"PelluxToolsSoftwareTolkara";
        ops.root = &root;
        other = root.Add(u"Other");
        xEn = other->Add(u"Keyword", {{u"name", u"x"}});
        xDe = other->Add(u"Keyword", {{u"name", u"x"}, {u"lingvo", u"deu"}});
        yCtx = other->Add(u"Keyword", {{u"name", u"y"}, {u"context", u"c1"}});
        yPlain = other->Add(u"Keyword", {{u"name", u"y"}});
        b = root.Add(u"b");
    }

    TXPathLookup<TFakeOps> Lookup(TErrorDetailAllowedSet governing = {}) {
        return TXPathLookup<TFakeOps>(ops, u"context", governing, state);
    }
    TFakeNode* Z(TFakeNode* start, std::initializer_list<TPiece> pieces, TContextUsage usage,
                 std::u16string_view context, bool create = false) {
        return Lookup().ZNode(start, std::span<const TPiece>(pieces.begin(), pieces.size()), usage,
                              context, create);
    }
    static std::u16string Raised(const std::function<void()>& call) {
        try {
            call();
        } catch (const EVeldarException& e) {
            return e.Message();
        }
        ADD_FAILURE() << "nothing raised";
        return {};
    }

    TFakeOps ops;
    TFakeNode root;
    TXPathLookupState<TFakeNode> state;
    TFakeNode *other, *xEn, *xDe, *yCtx, *yPlain, *b;
};

TEST_F(XPathLookupTest, PiecesFromRoot) {
    EXPECT_EQ(Z(nullptr, {u"Other", u"Keyword", u"@name", u"x", u"@lingvo", u"deu"}, cxNone, u""), xDe);
    EXPECT_EQ(state.LastNode, xDe);
    EXPECT_EQ(Z(nullptr, {u"Other", u"Keyword", u"@name", u"x", u"@lingvo", u"fra"}, cxNone, u""),
              nullptr);
    EXPECT_EQ(state.LastNode, nullptr); // reset by every lookup
    EXPECT_EQ(Z(other, {u"Keyword", u"@name", u"x"}, cxNone, u""), xEn);
    // An empty value no longer shifts the next piece into the value.
    EXPECT_EQ(Z(nullptr, {u"Other", u"Keyword", u"@name", u"", u"x"}, cxNone, u""), nullptr);
}

TEST_F(XPathLookupTest, EmptyAndRootPaths) {
    auto lookup = Lookup();
    EXPECT_EQ(lookup.ZNodeCommon(other, u"", false), other);
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"", false), &root);
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"/", false), &root);
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"/pelluxtoolssoftwaretolkara", false), &root);
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"/PELLUXTOOLSSOFTWARETOLKARA/b", false), b);
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"b", false), b); // relative to the root element
}

TEST_F(XPathLookupTest, RootAndStartNodeErrors) {
    auto lookup = Lookup();
    EXPECT_EQ(Raised([&] { lookup.ZNodeCommon(nullptr, u"/Other/b", false); }),
              u"KX Error: Error finding node because requested root \"Other\" is invalid. Correct "
              u"root is \"PelluxToolsSoftwareTolkara\". Requested XPath was \"/Other/b\".");
    // Raised before the path is read, so the bad "-" is not what is reported.
    EXPECT_EQ(Raised([&] { lookup.ZNodeCommon(other, u"/a-b", false); }),
              u"KX Error: Relative XPath required when StartNode is not nil. Do not start \"/a-b\" "
              u"with \"/\".");
    EXPECT_EQ(Raised([&] { lookup.ZNodeCommon(other, u"[@a='1']", false); }),
              u"KX Error: Invalid Syntax in XPath \"[@a='1']\" at position \"1\"");
    EXPECT_EQ(Raised([&] { lookup.ZNodeCommon(nullptr, u"Other/Key-word", false); }),
              u"KX Error: Invalid Syntax in XPath \"Other/Key-word\" at position \"10\"");
    auto detailed = Lookup(MakeDetailSet({edMethodNames}));
    EXPECT_EQ(Raised([&] { detailed.ZNodeCommon(nullptr, u"/y/a", false); }),
              u"Method \"ZNodeCommon\" reports: Error finding node because requested root \"y\" is "
              u"invalid. Correct root is \"PelluxToolsSoftwareTolkara\". Requested XPath was "
              u"\"/y/a\".");
    EXPECT_EQ(Raised([&] { detailed.ZNodeCommon(nullptr, u"a.b", false); }),
              u"Method \"GetXPathElements\" reports: Invalid Syntax in XPath \"a.b\" at position "
              u"\"2\"");
}

TEST_F(XPathLookupTest, DocumentWithoutRoot) {
    ops.root = nullptr;
    auto lookup = Lookup();
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"/Other/b", true), nullptr);
    EXPECT_EQ(lookup.ZNodeCommon(nullptr, u"", false), nullptr);
    EXPECT_THROW(lookup.ZNodeCommon(nullptr, u"a-b", false), EVeldarException);
}

TEST_F(XPathLookupTest, ContextLookups) {
    const std::initializer_list<TPiece> y = {u"Other", u"Keyword", u"@name", u"y"};
    struct Row {
        TContextUsage usage;
        std::u16string_view value;
        TFakeNode* XPathLookupTest::*expected; // nullptr member: no node
        bool used;
    };
    const Row rows[] = {
        {cxOptional, u"c1", &XPathLookupTest::yCtx, true},
        {cxRequired, u"c1", &XPathLookupTest::yCtx, true},
        {cxOptional, u"c2", &XPathLookupTest::yPlain, false},
        {cxRequired, u"c2", nullptr, false},
        {cxOptional, u"", &XPathLookupTest::yPlain, false}, // no value: no context used
        {cxRequired, u"", &XPathLookupTest::yPlain, false},
    };
    for (const Row& row : rows) {
        TFakeNode* found = Z(nullptr, y, row.usage, row.value);
        EXPECT_EQ(found, row.expected ? this->*row.expected : nullptr);
        EXPECT_EQ(state.LastNode, found);
        EXPECT_EQ(state.LastNodeContextUsed, row.used);
        EXPECT_EQ(state.LastNodeContextUsage, row.usage);
        EXPECT_EQ(state.LastNodeContextValue, row.value);
    }
    EXPECT_TRUE(ops.created.empty());
}

TEST_F(XPathLookupTest, RequiredContextCreates) {
    TFakeNode* made = Z(nullptr, {u"Other", u"Keyword", u"@name", u"y"}, cxRequired, u"c2", true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->parent, other);
    EXPECT_EQ(made->attributes,
              (std::vector<std::pair<std::u16string, std::u16string>>{{u"name", u"y"},
                                                                     {u"context", u"c2"}}));
    EXPECT_TRUE(state.LastNodeContextUsed);
    EXPECT_EQ(Z(nullptr, {u"Other", u"Keyword", u"@name", u"y"}, cxRequired, u"c2", true), made);
    EXPECT_EQ(ops.created.size(), 1u);

    // Optional usage creates the plain node; an empty value creates it without context.
    TFakeNode* plain = Z(nullptr, {u"Other", u"New"}, cxOptional, u"c2", true);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->attributes.empty());
    EXPECT_FALSE(state.LastNodeContextUsed);
    TFakeNode* blank = Z(nullptr, {u"Other", u"Blank"}, cxRequired, u"", true);
    ASSERT_NE(blank, nullptr);
    EXPECT_TRUE(blank->attributes.empty());
    EXPECT_FALSE(state.LastNodeContextUsed);
}

TEST_F(XPathLookupTest, ContextErrors) {
    auto lookup = Lookup();
    EXPECT_EQ(Raised([&] { lookup.ZCNodeCommon(nullptr, u"", cxOptional, u"c1", false); }),
              u"KX Error: XPath cannot be blank when using context. Error occurred with "
              u"StartNode=\"/\" XPath=\"[]\" ContextUsage=\"cxOptional\".");
    auto detailed = Lookup(TErrorDetailAllowedSet::All());
    EXPECT_EQ(Raised([&] { detailed.ZCNodeCommon(other, u"", cxRequired, u"", true); }),
              u"Method \"ZCNodeCommon\" reports: XPath cannot be blank when using context. Error "
              u"occurred with StartNode=\"/PelluxToolsSoftwareTolkara/Other\" XPath=\"[]\" "
              u"ContextUsage=\"cxRequired\".");
    EXPECT_THROW(Z(nullptr, {u"Other", u"Keyword"}, cxOptional, u"a\"b"), EVeldarException);
    EXPECT_TRUE(ops.created.empty());
}

TEST_F(XPathLookupTest, FullXPath) {
    auto lookup = Lookup();
    EXPECT_EQ(lookup.FullXPath(other, u"Keyword[@name=\"x\"]"),
              u"/PelluxToolsSoftwareTolkara/Other/Keyword[@name=\"x\"]");
    EXPECT_EQ(lookup.FullXPath(nullptr, u"/x/a"), u"/x/a");
    EXPECT_EQ(lookup.FullXPath(nullptr, u"a"), u"/a");
    EXPECT_EQ(lookup.FullXPath(xDe, u""), u"/PelluxToolsSoftwareTolkara/Other/Keyword[2]");
}

} // namespace
} // namespace orvex
