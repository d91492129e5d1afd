#include "xml/XmlNode.h"

#include "AllocationProbe.h"
#include "TestDocument.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

using namespace orvex;
using orvex::test::TAllocationProbe;
using orvex::test::TTestDocument;

namespace {

std::string Names(const TUtf8XmlNode& node) {
    std::string names;
    for (int i = 0; i < node.NodeCount(); ++i)
        names.append(i ? "," : "").append(node.Nodes(i)->Name());
    return names;
}

// Container -> Root -> Machines -> Machine(a), Machine(b) ; Root -> Other.
struct TTree {
    TTestDocument doc;
    TUtf8XmlNode* root = doc.Container.NodeNew("Root");
    TUtf8XmlNode* machines = root->NodeNew("Machines");
    TUtf8XmlNode* a = machines->NodeNew("Machine");
    TUtf8XmlNode* b = machines->NodeNew("Machine");
    TUtf8XmlNode* other = root->NodeNew("Other");
    TTree() {
        a->AttributeAdd("Name", "Alpha");
        b->AttributeAdd("Name", "Beta");
    }
};

} // namespace

TEST(TreeOperations, ChildrenByIndexAndOutOfRange) {
    TUtf8XmlNode node;
    EXPECT_EQ(node.NodeCount(), 0);
    node.NodeNew("a");
    node.NodeNew("b");
    EXPECT_EQ(node.Nodes(-1), nullptr);
    EXPECT_EQ(node.Nodes(2), nullptr);
    EXPECT_EQ(node.NodeNewAtIndex(2, "c")->Name(), "c"); // at NodeCount: appends
    EXPECT_EQ(node.NodeNewAtIndex(4, "d"), nullptr);
    EXPECT_EQ(node.NodeNewAtIndex(-1, "d"), nullptr);
    EXPECT_EQ(node.NodeNewAtIndex(0, "z")->Name(), "z");
    EXPECT_EQ(Names(node), "z,a,b,c");
    node.NodeExchange(0, 3);
    node.NodeExchange(0, 9);
    EXPECT_EQ(Names(node), "c,a,b,z");
    node.NodeDelete(1);
    node.NodeDelete(7);
    EXPECT_EQ(Names(node), "c,b,z");
    EXPECT_EQ(node.NodeRemove(node.Nodes(1)), 1);
    TUtf8XmlNode stranger;
    EXPECT_EQ(node.NodeRemove(&stranger), -1);
    EXPECT_EQ(node.NodeRemove(nullptr), -1);
    EXPECT_EQ(Names(node), "c,z");
    EXPECT_EQ(node.Nodes(1)->IndexInParent(), 1);
    EXPECT_EQ(node.IndexInParent(), -1);
    node.NodesClear();
    EXPECT_EQ(node.NodeCount(), 0);
}

TEST(TreeOperations, AddingLinksParentAndDocumentOfTheWholeSubtree) {
    TTestDocument doc;
    auto branch = std::make_unique<TUtf8XmlNode>(nullptr, "branch");
    TUtf8XmlNode* leaf = branch->NodeNew("leaf");
    EXPECT_EQ(leaf->DocumentHooks(), nullptr);
    EXPECT_EQ(doc.Container.NodeAdd(std::move(branch)), 0);
    EXPECT_EQ(leaf->DocumentHooks(), &doc);
    EXPECT_EQ(leaf->Parent()->Parent(), &doc.Container);

    auto inserted = std::make_unique<TUtf8XmlNode>(nullptr, "first");
    inserted->NodeNew("inner");
    EXPECT_TRUE(doc.Container.NodeInsert(0, std::move(inserted)));
    EXPECT_EQ(doc.Container.Nodes(0)->Nodes(0)->DocumentHooks(), &doc); // insert relinks too
    EXPECT_EQ(Names(doc.Container), "first,branch");

    std::unique_ptr<TUtf8XmlNode> none;
    EXPECT_EQ(doc.Container.NodeAdd(std::move(none)), -1);
    auto late = std::make_unique<TUtf8XmlNode>();
    EXPECT_FALSE(doc.Container.NodeInsert(3, std::move(late)));
    ASSERT_NE(late, nullptr); // a refused node stays with the caller
}

TEST(TreeOperations, ANodeCannotHoldItselfOrItsAncestor) {
    auto top = std::make_unique<TUtf8XmlNode>(nullptr, "top");
    TUtf8XmlNode* middle = top->NodeNew("middle");
    TUtf8XmlNode* bottom = middle->NodeNew("bottom");
    TUtf8XmlNode* raw = top.get();
    EXPECT_EQ(bottom->NodeAdd(std::move(top)), -1);
    ASSERT_EQ(top.get(), raw); // still ours, tree unchanged
    EXPECT_FALSE(middle->NodeInsert(0, std::move(top)));
    ASSERT_EQ(top.get(), raw);
    EXPECT_EQ(bottom->NodeCount(), 0);
    EXPECT_EQ(middle->NodeCount(), 1);
}

// A node whose parent changes leaves the list that held it. Each case ends by
// freeing what the caller owns and then the document: a node left in two lists,
// or still listed when its owner frees it, is freed twice (reported in the
// sanitizer build).
TEST(TreeOperations, ANodeWhoseParentChangesLeavesTheListThatHeldIt) {
    enum TMove { kSetParent, kNodeAdd, kNodeInsert };
    struct TCase {
        const char* Name;
        TMove Move;
        const char* Node;   // the child of r that moves
        const char* Target; // its new parent, "r" or "o"; nullptr: none
        int Index;          // for NodeInsert
        const char* RootChildren;
        const char* OtherChildren;
    };
    const TCase cases[] = {
        {"c.SetParent(nullptr)", kSetParent, "c", nullptr, 0, "d,o", ""},
        {"c.SetParent(o)", kSetParent, "c", "o", 0, "d,o", ""},
        {"c.SetParent(r), its own parent", kSetParent, "c", "r", 0, "c,d,o", ""},
        {"o.NodeAdd(c)", kNodeAdd, "c", "o", 0, "d,o", "c"},
        {"r.NodeAdd(c), its own parent", kNodeAdd, "c", "r", 0, "d,o,c", ""},
        {"r.NodeInsert(2, c), forward", kNodeInsert, "c", "r", 2, "d,c,o", ""},
        {"r.NodeInsert(3, c), to the end", kNodeInsert, "c", "r", 3, "d,o,c", ""},
        {"r.NodeInsert(0, o), backward", kNodeInsert, "o", "r", 0, "o,c,d", ""},
    };
    for (const TCase& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString("<r><c>text that is long enough</c><d/><o/></r>");
        TUtf8XmlNode* r = doc.Root();
        TUtf8XmlNode* node = r->NodeByName(c.Node);
        TUtf8XmlNode* target = !c.Target ? nullptr : *c.Target == 'r' ? r : r->NodeByName(c.Target);
        std::unique_ptr<TUtf8XmlNode> owned; // what the caller owns afterwards
        switch (c.Move) {
        case kSetParent:
            node->SetParent(target);
            if (target != r)
                owned.reset(node);
            break;
        case kNodeAdd: {
            const int index = target->NodeAdd(std::unique_ptr<TUtf8XmlNode>(node));
            EXPECT_EQ(index, target->NodeIndexOf(node)) << c.Name;
            break;
        }
        case kNodeInsert:
            EXPECT_TRUE(target->NodeInsert(c.Index, std::unique_ptr<TUtf8XmlNode>(node))) << c.Name;
            break;
        }
        EXPECT_EQ(Names(*r), c.RootChildren) << c.Name;
        EXPECT_EQ(Names(*r->NodeByName("o")), c.OtherChildren) << c.Name;
        EXPECT_EQ(node->Parent(), target) << c.Name;
        // A node the caller owns may outlive the document: it no longer reads it.
        EXPECT_EQ(node->Document(), owned ? nullptr : &doc) << c.Name;
    }
}

// SetParent takes the node out of the list that held it, so it hides no
// ancestor: its former parent may then go below it, and freeing the node frees
// the whole chain once.
TEST(TreeOperations, ANodeCutOffBySetParentTakesItsSubtreeAlong) {
    for (const bool toStranger : {false, true}) {
        TUtf8XmlNode stranger;
        auto top = std::make_unique<TUtf8XmlNode>(nullptr, "top");
        TUtf8XmlNode* middle = top->NodeNew("middle");
        TUtf8XmlNode* bottom = middle->NodeNew("bottom");
        middle->SetParent(toStranger ? &stranger : nullptr);
        std::unique_ptr<TUtf8XmlNode> ownedMiddle(middle);
        EXPECT_EQ(top->NodeCount(), 0) << toStranger;
        EXPECT_EQ(bottom->NodeAdd(std::move(top)), 0) << toStranger;
        EXPECT_EQ(stranger.NodeCount(), 0) << toStranger;
    }
}

// A loop of parents would never end a walk up the tree (TreeDepth, FullPath):
// a node is never put under itself or under one of its descendants.
TEST(TreeOperations, ALoopOfParentsIsRefused) {
    for (int level = 0; level < 3; ++level) {
        auto top = std::make_unique<TUtf8XmlNode>(nullptr, "top");
        TUtf8XmlNode* middle = top->NodeNew("middle");
        TUtf8XmlNode* chain[] = {top.get(), middle, middle->NodeNew("bottom")};
        try {
            top->SetParent(chain[level]);
            ADD_FAILURE() << level << ": accepted";
        } catch (const EXmlError& e) {
            EXPECT_STREQ(e.what(), "Cannot add node \"top\" under itself or its own descendant")
                << level;
        }
        ASSERT_EQ(top->Parent(), nullptr) << level; // else the walk below never ends
        EXPECT_EQ(Names(*top), "middle") << level;
        EXPECT_EQ(chain[2]->TreeDepth(), 1) << level;
    }
}

// A Parent that SetParent gave is a reference only, which may be gone or lead
// back to the node: every walk up the tree stops at a node outside any list, so
// such a node walks, resolves and writes as a free copy of itself.
TEST(TreeOperations, WalksUpTheTreeStopAtANodeOutsideAnyList) {
    struct TLinks {
        TTestDocument doc;
        TUtf8XmlDocument other;
        std::unique_ptr<TUtf8XmlNode> n = std::make_unique<TUtf8XmlNode>(&doc, "n");
        std::unique_ptr<TUtf8XmlNode> o = std::make_unique<TUtf8XmlNode>(&doc, "o");
    };
    const struct {
        const char* Name;
        void (*Link)(TLinks& t);
    } cases[] = {
        {"o.SetParent(n); n.SetParent(o)",
         [](TLinks& t) {
             t.o->SetParent(t.n.get());
             t.n->SetParent(t.o.get());
         }},
        {"n.SetParent(o); n.NodeAdd(o)",
         [](TLinks& t) {
             t.n->SetParent(t.o.get());
             EXPECT_EQ(t.n->NodeAdd(std::move(t.o)), 0);
         }},
        {"n.SetParent(p); p's parent Assign",
         [](TLinks& t) {
             t.n->SetParent(t.other.Root()->NodeNew("p"));
             t.other.Root()->Assign(*t.o);
         }},
        {"n.SetParent(root); document Clear",
         [](TLinks& t) {
             t.n->SetParent(t.other.Root());
             t.other.Clear();
         }},
    };
    for (const auto& c : cases) {
        TLinks t;
        t.doc.Format = xfReadable;
        t.doc.Entities["e"] = "<x>1</x>";
        c.Link(t);
        TUtf8XmlNode* child = t.n->NodeNew("c");
        child->SetValueDirect("&e;");
        t.n->ResolveEntityReferences();
        ASSERT_EQ(child->NodeCount(), 1) << c.Name;
        EXPECT_EQ(t.n->TreeDepth(), -1) << c.Name;
        EXPECT_EQ(child->FullPath(), "/c") << c.Name;
        EXPECT_EQ(t.n->FindNode("/c/x"), child->Nodes(0)) << c.Name;
        EXPECT_EQ(child->CascadedName(), "n0000_c0000") << c.Name;
        TUtf8XmlNode copy(&t.doc);
        copy.Assign(*t.n);
        EXPECT_EQ(t.n->WriteToString(), copy.WriteToString()) << c.Name;
    }
}

TEST(TreeOperationsDeathTest, FreeingANodeItsParentStillListsStopsWithTheReason) {
    const char* reason = "a node that is still in its parent's child list was freed";
    EXPECT_DEATH(
        {
            TUtf8XmlNode parent;
            delete parent.NodeNew("child");
        },
        reason);
    EXPECT_DEATH(
        {
            TTestDocument doc;
            doc.Container.ReadFromString("<a><b/><c/></a>");
            std::unique_ptr<TUtf8XmlNode> owned(doc.Container.Nodes(0));
        },
        reason);
}

TEST(TreeOperations, NodesTakenOutOfTheirListAreFreedQuietly) {
    TUtf8XmlNode parent;
    TUtf8XmlNode* kept = parent.NodeNew("kept");
    std::unique_ptr<TUtf8XmlNode> extracted = parent.NodeExtract(kept);
    extracted->SetParent(&parent); // a reference only: parent does not list it
    extracted.reset();
    EXPECT_EQ(parent.NodeCount(), 0);

    // Such a Parent may go first: the node never reads it to leave or be freed.
    auto gone = std::make_unique<TUtf8XmlNode>();
    auto node = std::make_unique<TUtf8XmlNode>();
    node->SetParent(gone.get());
    gone.reset();
    EXPECT_EQ(node->IndexInParent(), -1);
    EXPECT_NE(node->NodeNew("child"), nullptr);
    // The same in a document, where a new node may take the place of the one gone.
    TUtf8XmlDocument doc;
    doc.ReadFromString("<r><c/><b/></r>");
    TUtf8XmlNode* r = doc.Root();
    std::unique_ptr<TUtf8XmlNode> c = r->NodeExtract(r->Nodes(0));
    c->SetParent(r->Nodes(0));
    r->NodeRemove(r->Nodes(0));
    EXPECT_NE(c->NodeNew("x"), nullptr);
    node->Delete();
    node->SetParent(nullptr);
    node->SetParent(&parent);
    node.reset();
}

// Freeing a tree never fails: from whichever allocation on memory runs out, the
// nodes still to free wait in the tree itself. Every node goes, and only once.
TEST(TreeOperations, FreeingATreeWorksWhenMemoryHasRunOut) {
    class TCountedNode : public TUtf8XmlNode {
    public:
        explicit TCountedNode(int& freed) : FFreed(freed) {}
        ~TCountedNode() override { ++FFreed; }
        std::unique_ptr<TUtf8XmlNode> NewNodeOfClass(TXmlDocumentHooks*) const override {
            return std::make_unique<TCountedNode>(FFreed);
        }

    private:
        int& FFreed;
    };
    for (const size_t failFrom : {0, 1, 2, 3}) {
        int freed = 0;
        TCountedNode top(freed);
        for (int i = 0; i < 3; ++i) {
            TUtf8XmlNode* child = top.NodeNew("c");
            for (int j = 0; j < 4; ++j) {
                TUtf8XmlNode* grandchild = child->NodeNew("g");
                for (int k = 0; k < 3; ++k)
                    grandchild->NodeNew("l");
            }
        }
        const int total = top.TotalNodeCount();
        {
            TAllocationProbe probe(failFrom);
            top.NodesClear();
            EXPECT_EQ(probe.Refused(), failFrom != 0) << failFrom;
        }
        EXPECT_EQ(freed, total) << failFrom;
        EXPECT_EQ(top.NodeCount(), 0) << failFrom;
    }
}

TEST(TreeOperations, ExtractHandsOverOwnershipAndClearsTheParent) {
    TTree t;
    std::unique_ptr<TUtf8XmlNode> taken = t.machines->NodeExtract(t.a);
    ASSERT_EQ(taken.get(), t.a);
    EXPECT_EQ(taken->Parent(), nullptr);
    EXPECT_EQ(taken->TreeDepth(), -1);
    EXPECT_EQ(Names(*t.machines), "Machine");
    EXPECT_EQ(t.machines->NodeExtract(t.a), nullptr); // no longer a child
    EXPECT_EQ(t.machines->NodeExtract(nullptr), nullptr);
    taken->Delete(); // without a parent nothing happens
    // Moving it under another branch works and sets the new parent.
    EXPECT_EQ(t.other->NodeAdd(std::move(taken)), 0);
    EXPECT_EQ(t.a->Parent(), t.other);
    EXPECT_EQ(t.a->FullPath(), "/Root/Other/Machine");
}

TEST(TreeOperations, DeleteRemovesTheNodeFromItsParent) {
    TTree t;
    t.b->Delete();
    EXPECT_EQ(t.machines->NodeCount(), 1);
    t.machines->Delete();
    EXPECT_EQ(Names(*t.root), "Other");
}

TEST(TreeOperations, AddCharDataKeepsOrDropsBlankText) {
    TUtf8XmlNode node;
    node.AddCharData("  \r\n", false);
    EXPECT_EQ(node.NodeCount(), 0);
    node.AddCharData("", true);
    EXPECT_EQ(node.NodeCount(), 0);
    node.AddCharData("  ", true);
    node.AddCharData(" x ", false);
    ASSERT_EQ(node.NodeCount(), 2);
    EXPECT_EQ(node.Nodes(1)->ElementType(), xeCharData);
    EXPECT_EQ(node.Nodes(1)->ValueDirect(), " x "); // stored untrimmed
}

TEST(TreeOperations, ParseTagSplitsNameAndAttributes) {
    TUtf8XmlNode element;
    element.ParseTag("Site id = \"1\" name='a b'");
    EXPECT_EQ(element.Name(), "Site");
    EXPECT_EQ(element.AttributePair(0), "id=\"1\"");
    EXPECT_EQ(element.AttributeByName("name"), "a b");

    TUtf8XmlNode declaration(nullptr, xeDeclaration);
    declaration.ParseTag(" version=\"1.0\" encoding=\"UTF-8\"");
    EXPECT_EQ(declaration.Name(), "xml");
    EXPECT_EQ(declaration.AttributeCount(), 2);

    TUtf8XmlNode sheet(nullptr, xeStylesheet);
    sheet.ParseTag(" type=\"text/xsl\" href=\"a.xsl\" ");
    EXPECT_EQ(sheet.Name(), "xml-stylesheet");
    EXPECT_EQ(sheet.ValueDirect(), "type=\"text/xsl\" href=\"a.xsl\"");

    TUtf8XmlNode empty;
    try {
        empty.ParseTag("  ");
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Missing element name");
    }
}

TEST(Names, IllegalNamesAreRefusedAndTheOldNameStays) {
    TUtf8XmlNode node(nullptr, "keep");
    for (const char* bad : {"a b", "a\tb", "a\nb", "a\rb", ">", "a>b", "<a", "a\"b", "a'b",
                            "\x01", "a\x7F", "/a", "a/", "!x", "?x"}) {
        try {
            node.SetName(bad);
            ADD_FAILURE() << bad;
        } catch (const EXmlError& e) {
            EXPECT_EQ(std::string(e.what()), "Illegal character in node name \"" + std::string(bad) + "\"");
        }
        EXPECT_EQ(node.Name(), "keep");
    }
    for (const char* good : {"", "ns:tag", "a/b", "a=b", "x-y.z", "\xC3\xA9t\xC3\xA9", "a&b"}) {
        node.SetName(good);
        EXPECT_EQ(node.Name(), good);
    }
    TUtf8XmlNode parent;
    EXPECT_THROW(parent.NodeNew("bad name"), EXmlError);
    EXPECT_THROW(parent.NodeNewAtIndex(0, "bad name"), EXmlError);
    EXPECT_THROW(parent.NodeFindOrCreate("bad name"), EXmlError);
    EXPECT_THROW(TUtf8XmlNode(nullptr, "bad name"), EXmlError);
    EXPECT_EQ(parent.NodeCount(), 0);
}

TEST(Names, AttributeNamesThatCannotBeReadBackAreRefused) {
    TUtf8XmlNode node(nullptr, "n");
    node.AttributeAdd("keep", "1");
    const auto expectRefused = [&](const std::string& bad, const auto& action) {
        try {
            action();
            ADD_FAILURE() << bad;
        } catch (const EXmlError& e) {
            EXPECT_EQ(std::string(e.what()), "Illegal character in node name \"" + bad + "\"");
        }
        ASSERT_EQ(node.AttributeCount(), 1) << bad;
        EXPECT_EQ(node.AttributePair(0), "keep=\"1\"");
    };
    for (const char* bad : {"", "a b", "a\tb", "a\r\nb", "a=b", "=", "a\"b", "'", "<a", "a>",
                            "\x01", "a\x7F"}) {
        expectRefused(bad, [&] { node.AttributeAdd(bad, "v"); });
        expectRefused(bad, [&] { node.AttributeAdd(bad, 7); });
        expectRefused(bad, [&] { node.SetAttributeByName(bad, "v"); });
        expectRefused(bad, [&] { node.WriteAttributeString(bad, "v"); });
        expectRefused(bad, [&] { node.WriteAttributeInteger(bad, 5); });
    }
    for (const char* good : {"ns:a", "a/b", "/", "a&b", "x-y.z", "\xC3\xA9t\xC3\xA9"}) {
        node.AttributeAdd(good, "v");
        EXPECT_EQ(node.AttributeByName(good), "v") << good;
        node.AttributeDelete(1);
    }

    // A parsed item without a name cannot take a value under no name.
    TUtf8XmlNode parsed;
    parsed.ParseTag("p c =x");
    ASSERT_EQ(parsed.AttributeCount(), 2);
    for (int index : {0, 1}) {
        try {
            parsed.SetAttributeValue(index, "v");
            ADD_FAILURE() << index;
        } catch (const EXmlError& e) {
            EXPECT_STREQ(e.what(), "Illegal character in node name \"\"");
        }
    }
    EXPECT_EQ(parsed.AttributePair(0), "c");
    EXPECT_EQ(parsed.AttributePair(1), "=x");
}

TEST(Lookups, ByNameIgnoreCaseInTheUsersSense) {
    TTree t;
    EXPECT_EQ(t.doc.Container.NodeByName("ROOT"), t.root);
    EXPECT_EQ(t.machines->NodeIndexByName("machine"), 0);
    EXPECT_EQ(t.machines->NodeIndexByNameFrom("MACHINE", 1), 1);
    EXPECT_EQ(t.machines->NodeIndexByNameFrom("Machine", 2), -1);
    EXPECT_EQ(t.root->NodeByName("absent"), nullptr);
    TUtf8XmlNode* umlaut = t.root->NodeNew("\xC3\x84rger");
    EXPECT_EQ(t.root->NodeByName("\xC3\xA4RGER"), umlaut);
    EXPECT_EQ(t.root->NodeFindOrCreate("OTHER"), t.other);
    EXPECT_EQ(t.root->NodeFindOrCreate("Fresh")->Name(), "Fresh");
    EXPECT_EQ(t.root->NodeByElementType(xeNormal), t.machines);
    EXPECT_EQ(t.root->NodeByElementType(xeComment), nullptr);

    TUtf8XmlNodeList list;
    list.Add(t.root);
    t.machines->NodesByName("MACHINE", &list);
    EXPECT_EQ(list.Count(), 2);
    t.machines->NodesByName("x", nullptr);
}

TEST(Lookups, ByAttributeValueDepthFirst) {
    TTree t;
    t.b->NodeNew("Machine")->AttributeAdd("Name", "alpha");
    EXPECT_EQ(t.root->NodeByAttributeValue("machine", "name", "ALPHA", true), t.a);
    EXPECT_EQ(t.machines->NodeByAttributeValue("Machine", "Name", "Beta", false), t.b);
    EXPECT_EQ(t.root->NodeByAttributeValue("Machine", "Name", "Beta", false), nullptr);
    EXPECT_EQ(t.root->NodeByAttributeValue("Machine", "Name", "", true), nullptr);
    t.a->Delete();
    EXPECT_EQ(t.root->NodeByAttributeValue("Machine", "Name", "alpha", true), t.b->Nodes(0));
}

TEST(Lookups, FindNodeByNameOrFullPath) {
    TTree t;
    EXPECT_EQ(t.doc.Container.FindNode("/Root/Machines"), t.machines);
    EXPECT_EQ(t.doc.Container.FindNode("/root/machines/MACHINE"), t.a);
    EXPECT_EQ(t.doc.Container.FindNode("Machine"), t.a);
    EXPECT_EQ(t.root->FindNode("Root"), nullptr); // the node itself is not searched
    EXPECT_EQ(t.root->FindNode("/Machines"), nullptr);
    t.a->NodeNew("Machine");
    TUtf8XmlNodeList list;
    t.doc.Container.FindNodes("machine", list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0), t.a);
    EXPECT_EQ(list.Items(1), t.a->Nodes(0)); // below a match, before the next sibling
    EXPECT_EQ(list.Items(2), t.b);
    EXPECT_EQ(list.ByAttribute("NAME", "beta"), t.b);
    EXPECT_EQ(list.ByAttribute("Name", "gamma"), nullptr);
}

TEST(Lookups, PathsDepthsAndCounts) {
    TTree t;
    EXPECT_EQ(t.doc.Container.TreeDepth(), -1);
    EXPECT_EQ(t.root->TreeDepth(), 0);
    EXPECT_EQ(t.a->TreeDepth(), 2);
    EXPECT_EQ(t.root->FullPath(), "/Root");
    EXPECT_EQ(t.doc.Container.FullPath(), "/");
    TUtf8XmlNode loose(nullptr, "Loose");
    EXPECT_EQ(loose.FullPath(), "/Loose");
    EXPECT_EQ(t.b->FullPath(), "/Root/Machines/Machine");
    EXPECT_EQ(t.doc.Container.TotalNodeCount(), 5);
    EXPECT_EQ(t.root->CascadedName(), "0000_Root0000");
    t.machines->AttributeAdd("Index", 7);
    t.a->AttributeAdd("Index", "12345");
    t.b->AttributeAdd("Index", "x");
    EXPECT_EQ(t.a->CascadedName(), "0000_Root0000_Machines0007_Machine12345");
    EXPECT_EQ(t.b->CascadedName(), "0000_Root0000_Machines0007_Machine0000");
}

TEST(AttributeAccess, StoredEscapedAndQuoted) {
    TUtf8XmlNode node;
    node.AttributeAdd("a", "x<y");
    EXPECT_EQ(node.AttributePair(0), "a=\"x&lt;y\"");
    EXPECT_EQ(node.AttributeByName("A"), "x<y");
    EXPECT_EQ(node.AttributeByName("\xC3\x84"), "");
    node.AttributeAdd("a", 1);
    EXPECT_EQ(node.AttributeCount(), 2);
    EXPECT_EQ(node.AttributeByName("a"), "x<y");
    node.SetAttributeByName("a", "changed");
    EXPECT_EQ(node.AttributeValue(0), "changed");
    EXPECT_EQ(node.AttributeValue(1), "1");
    node.SetAttributeByName("e", "");
    EXPECT_EQ(node.AttributePair(2), "e=\"\"");
    EXPECT_TRUE(node.HasAttribute("E"));
    EXPECT_EQ(node.AttributeIndexByName("zz"), -1);
    EXPECT_EQ(node.AttributeName(2), "e");
    EXPECT_EQ(node.AttributeName(3), "");
    EXPECT_EQ(node.AttributeValue(-1), "");
    node.SetAttributeValue(5, "ignored");
    node.SetAttributeValue(1, "q\"'");
    EXPECT_EQ(node.AttributePair(1), "a=\"q&quot;&apos;\"");
    node.AttributeExchange(0, 1);
    EXPECT_EQ(node.AttributeValue(0), "q\"'");
    node.DeleteEmptyAttributes();
    EXPECT_EQ(node.AttributeCount(), 2);
    node.AttributeDelete(0);
    EXPECT_EQ(node.AttributeValue(0), "changed");
    node.AttributesClear();
    EXPECT_EQ(node.AttributeCount(), 0);
}

// Attributes given at once (eight in one block, nine one by one) on a loose node,
// on nodes a document keeps in pages and on one of a document without pages, then
// changed: each item as the plain rule writes it, and the same values after a save
// and a load, and after the document that made the node is gone.
TEST(AttributeAccess, AddedTogetherAsWhenAddedOneByOne) {
    const std::string_view v[] = {std::string_view(), "plain", "<start", "mid&dle", "end\"", "'",
                                  "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80", "&amp;",
                                  "a value of forty bytes, then a quote: \""};
    std::vector<std::pair<std::string, std::string>> model;
    for (int i = 0; i < 8; ++i)
        model.emplace_back("a" + std::to_string(i), v[i]);
    for (int i = 0; i < 9; ++i)
        model.emplace_back("b" + std::to_string(i), v[8 - i]);
    const auto expectModel = [](const TUtf8XmlNode& node, const auto& want) {
        ASSERT_EQ(node.AttributeCount(), static_cast<int>(want.size())) << node.Name();
        for (int i = 0; i < node.AttributeCount(); ++i) {
            const auto& [name, value] = want[static_cast<size_t>(i)];
            EXPECT_EQ(node.AttributePair(i), name + "=\"" + Utf8EscapeText(value) + "\"") << node.Name();
            EXPECT_EQ(node.AttributeValue(i), value) << node.Name() << " " << name;
        }
    };
    auto doc = std::make_unique<TUtf8XmlDocument>();
    TUtf8XmlNode* root = doc->Root();
    root->SetName("root");
    TUtf8XmlNode* child = root->NodeNew("child");
    TUtf8XmlNode loose(nullptr, "loose");
    TTestDocument other;
    auto changed = model;  // after the later changes below
    changed[3].second = "changed<";
    changed.erase(changed.begin());
    changed.emplace_back("own", "a2=\"&lt;start\"");
    for (TUtf8XmlNode* node : {root, child, &loose, other.Container.NodeNew("other")}) {
        node->AttributesAdd({{"a0", v[0]}, {"a1", v[1]}, {"a2", v[2]}, {"a3", v[3]},
                             {"a4", v[4]}, {"a5", v[5]}, {"a6", v[6]}, {"a7", v[7]}});
        node->AttributesAdd({});
        node->AttributesAdd({{"b0", v[8]}, {"b1", v[7]}, {"b2", v[6]}, {"b3", v[5]}, {"b4", v[4]},
                             {"b5", v[3]}, {"b6", v[2]}, {"b7", v[1]}, {"b8", v[0]}});
        // An illegal name anywhere among them adds none.
        EXPECT_THROW(node->AttributesAdd({{"ok", "1"}, {"a b", "2"}}), EXmlError);
        EXPECT_THROW(node->AttributesAdd({{"c", ""}, {"c", ""}, {"c", ""}, {"c", ""}, {"c", ""},
                                          {"c", ""}, {"c", ""}, {"c", ""}, {"c=", ""}}),
                     EXmlError);
        expectModel(*node, model);
        node->SetAttributeByName("a3", "changed<");
        node->AttributeDelete(0);
        node->AttributeAdd("own", node->Attributes().Items(1));  // lies in the old list
        expectModel(*node, changed);
    }
    TUtf8XmlDocument loaded;
    loaded.ReadFromString(doc->WriteToString());
    expectModel(*loaded.Root(), changed);
    expectModel(*loaded.Root()->Nodes(0), changed);
    std::unique_ptr<TUtf8XmlNode> kept = root->NodeExtract(child);
    doc.reset();
    expectModel(*kept, changed);
    // Moved into another document, it takes fresh attributes from that one's pages.
    TUtf8XmlNode* moved = loaded.Root()->Nodes(loaded.Root()->NodeAdd(std::move(kept)));
    moved->AttributesClear();
    moved->AttributesAdd({{"x", "<1>"}, {"y", ""}});
    EXPECT_EQ(moved->WriteInnerTag(), " x=\"&lt;1&gt;\" y=\"\"/");
}

TEST(AttributeAccess, ParsedItemsReadResolved) {
    TUtf8XmlNode node;
    node.ParseTag("n a='it''s' b=\"&#65;&amp;\" c");
    EXPECT_EQ(node.AttributeByName("a"), "it's");
    EXPECT_EQ(node.AttributeByName("b"), "A&");
    EXPECT_EQ(node.AttributeValue(2), ""); // an item without "="
    EXPECT_EQ(node.WriteInnerTag(), " a='it''s' b=\"&#65;&amp;\" c");
}

TEST(Emptiness, ClearKeepsKindAndTag) {
    TUtf8XmlNode comment(nullptr, xeComment);
    comment.SetTag(42);
    comment.SetValueDirect("text");
    comment.AttributeAdd("a", "1");
    comment.NodeNew("child");
    EXPECT_FALSE(comment.IsEmpty());
    comment.Clear();
    EXPECT_TRUE(comment.IsClear());
    EXPECT_EQ(comment.ElementType(), xeComment);
    EXPECT_EQ(comment.Tag(), 42);
    TUtf8XmlNode named(nullptr, "n");
    EXPECT_TRUE(named.IsEmpty());
    EXPECT_FALSE(named.IsClear());
}

TEST(Emptiness, DeleteEmptyNodesWorksBottomUp) {
    TUtf8XmlNode a(nullptr, "a");
    a.NodeNew("b")->NodeNew("c");
    a.NodeNew("d")->AttributeAdd("x", "1");
    a.NodeNew("e")->SetValueDirect("v");
    a.DeleteEmptyNodes();
    EXPECT_EQ(Names(a), "d,e");
}

TEST(AssignAndEquality, AssignMakesADeepCopyOfTheNodesClass) {
    TTree t;
    t.a->SetTag(5);
    t.a->SetValueDirect("a&amp;b");
    t.a->NodeNew("Inner")->SetValueDirect("x");
    TTestDocument other;
    TUtf8XmlNode copy(&other);
    copy.Assign(*t.a);
    EXPECT_EQ(copy.Name(), "Machine");
    EXPECT_EQ(copy.Tag(), 5);
    EXPECT_EQ(copy.ValueDirect(), "a&amp;b");
    EXPECT_EQ(copy.AttributeByName("Name"), "Alpha");
    ASSERT_EQ(copy.NodeCount(), 1);
    EXPECT_EQ(copy.Nodes(0)->DocumentHooks(), &other);
    EXPECT_EQ(copy.Nodes(0)->Parent(), &copy);
    EXPECT_TRUE(copy.IsEqualTo(t.a, xcNodeName | xcNodeValue | xcAttribValues | xcRecursive));
    t.a->NodesClear(); // the copy is independent
    EXPECT_EQ(copy.NodeCount(), 1);

    TUtf8XmlNode whole;
    whole.Assign(static_cast<TXmlDocumentHooks&>(t.doc));
    EXPECT_EQ(Names(whole), "Root");
    EXPECT_EQ(whole.Nodes(0)->TotalNodeCount(), 4);
}

TEST(AssignAndEquality, AssignFromOwnDescendantOrAncestorIsSafe) {
    TTree t;
    t.root->Assign(*t.machines); // the source lives inside the target
    EXPECT_EQ(t.root->Name(), "Machines");
    EXPECT_EQ(Names(*t.root), "Machine,Machine");
    TTree u;
    u.a->Assign(*u.root); // the source holds the target
    EXPECT_EQ(u.a->Name(), "Root");
    EXPECT_EQ(u.a->TotalNodeCount(), 4);
    const TUtf8XmlNode* copied = u.a->FindNode("/Root/Machines/Root/Machines");
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->NodeCount(), 2);
    u.a->Assign(*u.a);
    EXPECT_EQ(u.a->Name(), "Root");
}

TEST(AssignAndEquality, IsEqualToFollowsItsOptions) {
    TUtf8XmlNode item(nullptr, "Item");
    TUtf8XmlNode upper(nullptr, "ITEM");
    EXPECT_TRUE(item.IsEqualTo(&upper, 0));
    EXPECT_FALSE(item.IsEqualTo(nullptr, 0));
    EXPECT_TRUE(item.IsEqualTo(&upper, xcNodeName));
    item.SetValueAsString("v");
    upper.SetValueAsString("V");
    EXPECT_TRUE(item.IsEqualTo(&upper, xcNodeValue));
    upper.SetElementType(xeComment);
    EXPECT_FALSE(item.IsEqualTo(&upper, xcNodeType));
    item.AttributeAdd("a", "1");
    EXPECT_FALSE(item.IsEqualTo(&upper, xcAttribCount));
    EXPECT_FALSE(item.IsEqualTo(&upper, xcAttribNames));
    EXPECT_TRUE(item.IsEqualTo(&upper, xcAttribValues)); // a missing name passes without xcAttribNames
    upper.AttributeAdd("A", "2");
    EXPECT_FALSE(item.IsEqualTo(&upper, xcAttribValues));

    TUtf8XmlNode left(nullptr, "L");
    TUtf8XmlNode right(nullptr, "R");
    left.NodeNew("only");
    left.NodeNew("both")->SetValueAsString("1");
    right.NodeNew("both")->SetValueAsString("2");
    TUtf8XmlNodeList mismatches;
    EXPECT_FALSE(left.IsEqualTo(&right, xcChildNames, &mismatches));
    ASSERT_EQ(mismatches.Count(), 1); // Self passed its own tests: not listed
    EXPECT_EQ(mismatches.Items(0)->Name(), "only");
    mismatches.Clear();
    EXPECT_FALSE(left.IsEqualTo(&right, xcChildValues | xcNodeName | xcChildCount, &mismatches));
    ASSERT_EQ(mismatches.Count(), 2);
    EXPECT_EQ(mismatches.Items(0), &left); // Self first
    EXPECT_EQ(mismatches.Items(1)->Name(), "both");
}

TEST(Sorting, ByNameByFunctionAndByDocumentEvent) {
    TTestDocument doc;
    TUtf8XmlNode node(&doc);
    for (const char* name : {"delta", "Alpha", "charlie", "bravo", "ECHO", "alpha2"})
        node.NodeNew(name);
    node.SortChildNodes();
    EXPECT_EQ(Names(node), "Alpha,alpha2,bravo,charlie,delta,ECHO");

    auto byLengthThenName = [](TUtf8XmlNode* a, TUtf8XmlNode* b, void* info) {
        ++*static_cast<int*>(info);
        const int d = static_cast<int>(a->Name().size()) - static_cast<int>(b->Name().size());
        return d != 0 ? d : a->Name().compare(b->Name());
    };
    int calls = 0;
    node.SortChildNodes(byLengthThenName, &calls);
    EXPECT_EQ(Names(node), "ECHO,Alpha,bravo,delta,alpha2,charlie");
    EXPECT_GT(calls, 0);

    doc.OnCompare = [](TUtf8XmlNode* a, TUtf8XmlNode* b, void*) { return b->Name().compare(a->Name()); };
    node.SortChildNodes();
    EXPECT_EQ(Names(node), "delta,charlie,bravo,alpha2,ECHO,Alpha");

    TUtf8XmlNode big;
    for (int i = 0; i < 500; ++i)
        big.NodeNew(std::string("n").append(std::to_string((i * 7919) % 500 + 1000)));
    big.SortChildNodes();
    for (int i = 1; i < big.NodeCount(); ++i)
        EXPECT_LT(big.Nodes(i - 1)->Name(), big.Nodes(i)->Name());
}

TEST(Layout, IndentLineEndsAndShortForm) {
    TTree t;
    EXPECT_EQ(t.a->Indent(), "");
    EXPECT_EQ(t.a->LineFeed(), "");
    t.doc.Format = xfReadable;
    EXPECT_EQ(t.a->Indent(), "    ");
    EXPECT_EQ(t.root->Indent(), "");
    EXPECT_EQ(t.a->LineFeed(), "\r\n");
    EXPECT_TRUE(t.other->IsShortForm());
    EXPECT_FALSE(t.root->IsShortForm()); // a root element always gets a close tag
    EXPECT_FALSE(t.machines->IsShortForm());
    EXPECT_EQ(t.a->WriteInnerTag(), " Name=\"Alpha\"/");
    t.doc.FullNodes = true;
    EXPECT_FALSE(t.other->IsShortForm());
    TUtf8XmlNode loose;
    EXPECT_EQ(loose.Indent(), "");
    EXPECT_FALSE(loose.IsShortForm());
}

TEST(Layout, SettingsWithoutADocumentUseTheDefaults) {
    TUtf8XmlNode node;
    EXPECT_FALSE(node.AbortParsing());
    EXPECT_TRUE(node.WriteOnDefault());
    EXPECT_EQ(node.FloatSignificantDigits(), 6);
    EXPECT_TRUE(node.FloatAllowScientific());
    EXPECT_FALSE(node.UseFullNodes());
    EXPECT_FALSE(node.UseLocalBias());
    EXPECT_EQ(node.BinaryEncoding(), xbeBinHex);
    node.SetBinaryEncoding(xbeBase64);
    EXPECT_EQ(node.BinaryEncoding(), xbeBinHex);
    EXPECT_EQ(node.Document(), nullptr);
    TTestDocument doc;
    node.SetDocument(&doc);
    node.SetBinaryEncoding(xbeBinHex);
    EXPECT_EQ(doc.Binary, xbeBinHex);
}

TEST(TreeOperations, DeepTreesDoNotExhaustTheStack) {
    // Far deeper than the parser reads: trees built in code may be.
    constexpr int kDepth = 10000;
    TTestDocument doc;
    auto top = std::make_unique<TUtf8XmlNode>(nullptr, "n");
    TUtf8XmlNode* deepest = top.get();
    for (int i = 0; i < kDepth; ++i)
        deepest = deepest->NodeNew("n");
    deepest->SetValueDirect("leaf");
    TUtf8XmlNode* topRaw = top.get();
    doc.Container.NodeAdd(std::move(top));
    EXPECT_EQ(deepest->DocumentHooks(), &doc);
    EXPECT_EQ(deepest->TreeDepth(), kDepth);
    EXPECT_EQ(topRaw->TotalNodeCount(), kDepth);
    EXPECT_EQ(doc.Container.FindNode("absent"), nullptr);
    TUtf8XmlNodeList all;
    doc.Container.FindNodes("n", all);
    EXPECT_EQ(all.Count(), kDepth + 1);
    TUtf8XmlNode copy(&doc);
    copy.Assign(*topRaw);
    EXPECT_TRUE(copy.IsEqualTo(topRaw, xcNodeName | xcRecursive));
    copy.DeleteEmptyNodes();
    EXPECT_EQ(copy.TotalNodeCount(), kDepth);
    topRaw->ResolveEntityReferences();
    EXPECT_EQ(topRaw->NodeByAttributeValue("n", "a", "b", true), nullptr);
    deepest->SetValueDirect("");
    doc.Container.DeleteEmptyNodes();
    EXPECT_EQ(doc.Container.NodeCount(), 0);
}
