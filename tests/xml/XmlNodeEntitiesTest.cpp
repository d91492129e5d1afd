#include "xml/XmlNode.h"

#include "AllocationProbe.h"
#include "TestDocument.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlParser.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace orvex;
using orvex::test::TAllocationProbe;
using orvex::test::TTestDocument;

namespace {

std::string Dump(const TUtf8XmlNode& node) {
    std::string out(node.ElementType() == xeCharData ? "#" : node.Name());
    if (!node.ValueDirect().empty())
        out.append("=").append(node.ValueDirect());
    if (node.NodeCount() > 0) {
        out += "(";
        for (int i = 0; i < node.NodeCount(); ++i)
            out.append(i ? "," : "").append(Dump(*node.Nodes(i)));
        out += ")";
    }
    return out;
}

// The tree as written and the nodes it is made of: a refused resolution leaves
// both as they were.
struct TShape {
    std::string text;
    std::vector<const TUtf8XmlNode*> nodes;
    bool operator==(const TShape&) const = default;
};

void AddNodes(const TUtf8XmlNode& node, std::vector<const TUtf8XmlNode*>& nodes) {
    nodes.push_back(&node);
    for (int i = 0; i < node.NodeCount(); ++i)
        AddNodes(*node.Nodes(i), nodes);
}

TShape ShapeOf(TUtf8XmlNode& node) {
    TShape shape{node.WriteToString(), {}};
    AddNodes(node, shape.nodes);
    return shape;
}

} // namespace

TEST(EntityResolution, MarkupEntityInAnElementValue) {
    TTestDocument doc;
    doc.Entities["sig"] = "<b>bold</b><i/>";
    TUtf8XmlNode* root = doc.Container.NodeNew("r");
    TUtf8XmlNode* a = root->NodeNew("a");
    a->SetValueDirect("before &sig; after");
    a->NodeNew("old");
    root->ResolveEntityReferences();
    // The empty <i/> is dropped; the rest follows the inserted nodes.
    EXPECT_EQ(Dump(*root), "r(a=before (b=bold,#= after,old))");
}

TEST(EntityResolution, MarkupEntityInCharacterData) {
    TTestDocument doc;
    doc.Entities["e"] = "<x>1</x>";
    TUtf8XmlNode* root = doc.Container.NodeNew("r");
    root->NodeNew("first");
    root->AddCharData("  &e;tail&e;", true);
    root->NodeNew("last");
    root->ResolveEntityReferences();
    // Blank text before the reference goes; every reference of the rest is handled in turn.
    EXPECT_EQ(Dump(*root), "r(first,x=1,#=tail,x=1,last)");
}

TEST(EntityResolution, PlainAndUnknownEntitiesStayInValues) {
    TTestDocument doc;
    doc.Entities["plain"] = "text";
    TUtf8XmlNode* root = doc.Container.NodeNew("r");
    root->SetValueDirect("&plain; &unknown; &amp;");
    root->ResolveEntityReferences();
    EXPECT_EQ(root->ValueDirect(), "&plain; &unknown; &amp;");
    EXPECT_EQ(root->NodeCount(), 0);
}

TEST(EntityResolution, AttributeReferences) {
    TTestDocument doc;
    doc.Entities["co"] = "Orvex & Co";
    TUtf8XmlNode* root = doc.Container.NodeNew("r");
    root->ParseTag("r by=\"&co; &undeclared; a&b &co;\" n='1&#50;'");
    root->ResolveEntityReferences();
    // From an ampersand to the next semicolon is one reference: "&b &co;" is unknown.
    EXPECT_EQ(root->AttributeByName("by"), "Orvex & Co &undeclared; a&b &co;");
    EXPECT_EQ(root->AttributePair(0), "by=\"Orvex &amp; Co &amp;undeclared; a&amp;b &amp;co;\"");
    EXPECT_EQ(root->AttributeByName("n"), "12");
}

TEST(EntityResolution, SelfReferenceRaisesInsteadOfExpandingForever) {
    for (const auto& entities : std::vector<std::map<std::string, std::string>>{
             {{"loop", "<a>&loop;</a>"}},
             {{"ping", "<a>&pong;</a>"}, {"pong", "<b>&ping;</b>"}}}) {
        TTestDocument doc;
        doc.Entities = entities;
        TUtf8XmlNode* root = doc.Container.NodeNew("r");
        root->SetValueDirect("&" + entities.begin()->first + ";");
        const std::string before = Dump(*root);
        try {
            root->ResolveEntityReferences();
            FAIL();
        } catch (const EFilerError& e) {
            EXPECT_NE(std::string(e.what()).find("refers to itself"), std::string::npos);
        }
        EXPECT_EQ(Dump(*root), before);
    }
}

TEST(EntityResolution, TheSameEntityTwiceSideBySideIsNoRecursion) {
    TTestDocument doc;
    doc.Entities["e"] = "<x>&f;</x>";
    doc.Entities["f"] = "<y>1</y>";
    TUtf8XmlNode* root = doc.Container.NodeNew("r");
    root->SetValueDirect("&e;&e;");
    root->ResolveEntityReferences();
    EXPECT_EQ(Dump(*root), "r(x(y=1),x(y=1))");
}

TEST(EntityResolution, WithoutADocumentValuesStay) {
    TUtf8XmlNode node(nullptr, "n");
    node.SetValueDirect("&e;");
    node.AttributeAdd("a", "x");
    node.ResolveEntityReferences();
    EXPECT_EQ(node.ValueDirect(), "&e;");
    EXPECT_EQ(node.AttributeByName("a"), "x");
}

TEST(EntityResolution, ExpansionsThatMultiplyStopAtALimit) {
    TTestDocument doc;
    doc.Entities["l0"] = "<x>1</x>";
    for (int level = 1; level <= 6; ++level) {
        std::string refs;
        for (int i = 0; i < 10; ++i)
            refs.append("&l").append(std::to_string(level - 1)).append(";");
        doc.Entities[std::string("l").append(std::to_string(level))] = "<y>" + refs + "</y>";
    }
    TUtf8XmlNode* root = doc.Container.NodeNew("r");
    root->SetValueDirect("&l6;");
    try {
        root->ResolveEntityReferences();
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_NE(std::string(e.what()).find("expands too far"), std::string::npos);
    }
    EXPECT_EQ(Dump(*root), "r=&l6;");
}

// The parser refuses a tree deeper than it reads, so resolution never builds one:
// an entity nests inside the element it is referred from, and inside the entity
// that refers to it. A refusal leaves the tree as it was.
TEST(EntityResolution, ResolvedTreesReadBack) {
    const auto nested = [](const std::string& name, int levels, std::string text) {
        for (int i = 0; i < levels; ++i)
            text = "<" + name + ">" + text + "</" + name + ">";
        return text;
    };
    const int limit = TXmlParser::kMaxDepth;
    // Elements around the reference, in the entity it names, in the entity that one names.
    for (const auto& [around, outer, inner] : {std::tuple{0, 1001, 1001}, {0, 1001, limit - 1001},
                                               {1000, limit - 1000, 0}, {1000, limit - 999, 0}}) {
        TUtf8XmlDocument doc;
        doc.ReadFromString("<!DOCTYPE r [<!ENTITY co \"Orvex\"><!ENTITY e \"<x>1</x>\">"
                           "<!ENTITY outer \"" + nested("a", outer, inner ? "&inner;" : "") + "\">"
                           "<!ENTITY inner \"" + nested("b", inner, "") + "\">]>"
                           "<r by=\"&co;\"><c><s/>&e;</c>" + nested("n", around, "&outer;") + "</r>");
        const std::string text = doc.WriteToString();
        const bool fits = around + outer + inner <= limit;
        try {
            doc.ResolveEntityReferences();
            EXPECT_TRUE(fits);
            EXPECT_EQ(doc.Root()->WriteToString().find('&'), std::string::npos);
            TUtf8XmlDocument().ReadFromString(doc.WriteToString());
        } catch (const EFilerError& e) {
            EXPECT_FALSE(fits) << e.what();
            EXPECT_STREQ(e.what(), inner ? "Entity \"inner\" expands too far"
                                         : "Entity \"outer\" expands too far");
            EXPECT_TRUE(doc.WriteToString() == text);
        }
    }
}

// Memory in proportion to what resolution makes, whether it resolves or is
// refused at the very end: a kilobyte per reference is far more than it needs,
// and far less than a copy of the text after each reference (7.5 KB on average).
TEST(EntityResolution, ManyReferencesTakeMemoryInProportion) {
    constexpr int kReferences = 5000;
    for (const auto& [charData, refused] :
         {std::pair{true, false}, {false, false}, {true, true}, {false, true}}) {
        TTestDocument doc;
        doc.Entities["e"] = "<x>1</x>";
        doc.Entities["loop"] = "<a>&loop;</a>";
        std::string value;
        for (int i = 0; i < kReferences; ++i)
            value += "&e;";
        value += refused ? "&loop;" : "";
        TUtf8XmlNode* root = doc.Container.NodeNew("r");
        root->NodeNew("first");
        charData ? root->AddCharData(value, true) : root->SetValueDirect(value);
        root->NodeNew("last");
        const TShape before = ShapeOf(*root);
        TAllocationProbe probe;
        bool resolved = true;
        try {
            root->ResolveEntityReferences();
        } catch (const EFilerError&) {
            resolved = false;
        }
        EXPECT_LT(probe.Bytes(), kReferences * 1024u) << charData << refused;
        EXPECT_EQ(resolved, !refused) << charData;
        if (refused)
            EXPECT_TRUE(ShapeOf(*root) == before) << charData;
        else
            EXPECT_EQ(root->NodeCount(), kReferences + 2) << charData;
    }
}

// The text that expansions add is bounded: the value's entities count as
// written, then those in attributes as stored ("ab&c" as "ab&amp;c", 8 bytes).
// Over the bound, the tree stays as it was.
TEST(EntityResolution, TheTextBoundRefusesAndLeavesTheTree) {
    const struct {
        size_t bound;
        const char* error;
    } cases[] = {
        {0, "Entity \"big\" expands into over 0 bytes of text"},
        {16, "Entity \"big\" expands into over 16 bytes of text"},
        {33, "Entity \"big\" expands into over 33 bytes of text"},
        {34, "Entity \"word\" expands into over 34 bytes of text"},
        {49, "Entity \"word\" expands into over 49 bytes of text"},
        {50, ""},
    };
    for (const auto& c : cases) {
        TTestDocument doc;
        doc.Entities["big"] = "<x>0123456789</x>";
        doc.Entities["word"] = "ab&c";
        TUtf8XmlNode* root = doc.Container.NodeNew("r");
        root->ParseTag("r k=\"&word;&word;\"");
        root->SetValueDirect("a&big;b&big;");
        const TShape before = ShapeOf(*root);
        try {
            root->ResolveEntityReferences(c.bound);
            EXPECT_STREQ(c.error, "") << c.bound;
            EXPECT_EQ(Dump(*root), "r=a(x=0123456789,#=b,x=0123456789)") << c.bound;
            EXPECT_EQ(root->AttributeByName("k"), "ab&cab&c") << c.bound;
        } catch (const EFilerError& e) {
            EXPECT_STREQ(e.what(), c.error) << c.bound;
            EXPECT_TRUE(ShapeOf(*root) == before) << c.bound;
        }
    }
}

// Whenever memory runs out, the tree is as it was: each allocation in turn is
// made the first to fail, until resolution gets through. Expansions bring in
// nested elements, attributes, and character data beside elements; character
// data may also be resolved on its own, its nodes following it in its holder.
TEST(EntityResolution, RunningOutOfMemoryLeavesTheTree) {
    const std::string text =
        "<!DOCTYPE r [<!ENTITY e \"<x><y>1</y>&f;</x>\"><!ENTITY f \"<z a='&w;'>2</z>\">"
        "<!ENTITY w \"v\">]><r k=\"&w;\">a&e;<c>&e;</c>b&e;c<d/></r>";
    const std::string x = "<x><y>1</y><z a=\"v\">2</z></x>";
    for (const bool charDataAlone : {false, true}) {
        size_t failFrom = 1;
        for (;; ++failFrom) {
            TUtf8XmlDocument doc;
            doc.ReadFromString(text);
            TUtf8XmlNode* node =
                charDataAlone ? doc.Root()->NodeByElementType(xeCharData) : doc.Root();
            const TShape before = ShapeOf(*doc.RootNodeList());
            try {
                TAllocationProbe probe(failFrom);
                node->ResolveEntityReferences();
            } catch (const std::bad_alloc&) {
                ASSERT_TRUE(ShapeOf(*doc.RootNodeList()) == before) << failFrom;
                continue;
            }
            EXPECT_EQ(doc.Root()->WriteToString(),
                      charDataAlone ? "<r k=\"&w;\">a&e;<c>&e;</c>b" + x + "c<d/></r>"
                                    : "<r k=\"v\">a" + x + "<c>" + x + "</c>b" + x + "c<d/></r>");
            break;
        }
        EXPECT_GT(failFrom, 10u) << charDataAlone;
    }
}
