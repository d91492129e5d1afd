#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlNode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvex;

namespace {

// Root with a child A (value 1) and an empty child B with x="2".
void BuildSample(TUtf8XmlDocument& doc) {
    doc.Root()->SetName("Root");
    doc.Root()->NodeNew("A")->SetValueAsString("1");
    doc.Root()->NodeNew("B")->AttributeAdd("x", "2");
}

} // namespace

TEST(XmlWriter, ReadableAndCompactLayouts) {
    TUtf8XmlDocument doc;
    BuildSample(doc);
    doc.SetXmlFormat(xfReadable);
    EXPECT_EQ(doc.WriteToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Root>\r\n"
              "  <A>1</A>\r\n"
              "  <B x=\"2\"/>\r\n"
              "</Root>\r\n");
    doc.SetXmlFormat(xfCompact);
    EXPECT_EQ(doc.WriteToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<Root><A>1</A><B x=\"2\"/></Root>\n");
}

TEST(XmlWriter, FreshAndNamedDocuments) {
    TUtf8XmlDocument fresh;
    EXPECT_TRUE(fresh.IsEmpty());
    EXPECT_EQ(fresh.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<></>\n");
    TUtf8XmlDocument named("Root");
    EXPECT_FALSE(named.IsEmpty());
    EXPECT_EQ(named.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root></Root>\n");
}

TEST(XmlWriter, DeepIndentationValuesAndFullNodes) {
    TUtf8XmlDocument doc("Root");
    doc.SetXmlFormat(xfReadable);
    doc.SetIndentString("\t");
    TUtf8XmlNode* a = doc.Root()->NodeNew("a");
    a->SetValueAsString("v<1>");
    TUtf8XmlNode* b = a->NodeNew("b");
    b->NodeNew("c");
    EXPECT_EQ(doc.WriteToString(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Root>\r\n"
              "\t<a>v&lt;1&gt;\r\n" // a value stands right after its start tag
              "\t\t<b>\r\n"
              "\t\t\t<c/>\r\n"
              "\t\t</b>\r\n"
              "\t</a>\r\n"
              "</Root>\r\n");
    doc.SetUseFullNodes(true);
    doc.SetXmlFormat(xfCompact);
    EXPECT_EQ(doc.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                   "<Root><a>v&lt;1&gt;<b><c></c></b></a></Root>\n");
}

TEST(XmlWriter, MixedContentHasNoLineEndsAroundText) {
    TUtf8XmlDocument doc;
    doc.SetXmlFormat(xfReadable);
    doc.ReadFromString("<a>t<b/>u<c/></a>");
    EXPECT_EQ(doc.WriteToString(), "<a>t\r\n  <b/>u  <c/>\r\n</a>\r\n");
}

TEST(XmlWriter, EveryNodeKind) {
    TUtf8XmlDocument doc;
    doc.ReadFromString(
        "<?xml version=\"1.0\" encoding=\"\"?><!--c--><?xml-stylesheet href=\"s.xsl\"?>"
        "<!DOCTYPE r SYSTEM \"r.dtd\" [<!ELEMENT r ANY><!ATTLIST r a CDATA #IMPLIED>"
        "<!ENTITY e \"x\"><!NOTATION n SYSTEM \"n\"><!--in-->]>"
        "<r><![CDATA[<raw>]]><!x y><?pi data?></r>");
    EXPECT_EQ(doc.WriteToString(),
              "<?xml version=\"1.0\"?>\n" // the empty encoding is dropped
              "<!--c-->\n"
              "<?xml-stylesheet href=\"s.xsl\"?>\n"
              "<!DOCTYPE r SYSTEM \"r.dtd\" [<!ELEMENT r ANY><!ATTLIST r a\r\nCDATA\r\n#IMPLIED>"
              "<!ENTITY e \"x\"><!NOTATION n SYSTEM\r\n\"n\"><!--in-->]>\n"
              "<r><![CDATA[<raw>]]><!x y><?pi data?></r>\n");
    doc.SetXmlFormat(xfReadable);
    EXPECT_EQ(doc.WriteToString(),
              "<?xml version=\"1.0\"?>\r\n"
              "<!--c-->\r\n"
              "<?xml-stylesheet href=\"s.xsl\"?>\r\n"
              "<!DOCTYPE r SYSTEM \"r.dtd\" [\r\n"
              "  <!ELEMENT r ANY>\r\n"
              "  <!ATTLIST r a\r\nCDATA\r\n#IMPLIED>\r\n"
              "  <!ENTITY e \"x\">\r\n"
              "  <!NOTATION n SYSTEM\r\n\"n\">\r\n"
              "  <!--in-->\r\n"
              "]>\r\n"
              "<r>\r\n"
              "  <![CDATA[<raw>]]>\r\n"
              "  <!x y>\r\n"
              "  <?pi data?>\r\n"
              "</r>\r\n");
}

TEST(XmlWriter, NodeWritesItselfAtItsDepth) {
    TUtf8XmlDocument doc;
    doc.SetXmlFormat(xfReadable);
    doc.ReadFromString("<r><a><b/></a></r>");
    TUtf8XmlNode* a = doc.Root()->Nodes(0);
    EXPECT_EQ(a->WriteToString(), "  <a>\r\n    <b/>\r\n  </a>");
    TUtf8XmlNode loose;
    loose.SetName("x");
    EXPECT_EQ(loose.WriteToString(), "<x></x>"); // no document: compact, never short at depth -1
}

TEST(XmlWriter, Errors) {
    TUtf8XmlDocument doc;
    doc.Root()->SetElementType(static_cast<TXmlElementType>(14));
    try {
        doc.WriteToString();
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Illegal element type");
    }
    TUtf8XmlDocument noRoot;
    noRoot.RootNodeList()->NodeDelete(1);
    EXPECT_EQ(noRoot.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    noRoot.SetParserWarnings(true);
    try {
        noRoot.WriteToString();
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "XML root element not defined.");
    }
}

TEST(XmlWriter, ProgressRunsFromZeroToTheSize) {
    TUtf8XmlDocument doc;
    BuildSample(doc);
    std::vector<int64_t> seen;
    doc.OnProgress = [&](TUtf8XmlDocument&, int64_t position) { seen.push_back(position); };
    const std::string text = doc.WriteToString();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), static_cast<int64_t>(text.size()));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(XmlWriter, OddNamesReadBackAsWritten) {
    TUtf8XmlDocument doc;
    doc.ReadFromString("<r x/ ><a/ >t</a/>< !b/></r>");
    EXPECT_EQ(doc.Root()->AttributePair(0), "x/");
    EXPECT_EQ(doc.Root()->Nodes(1)->Name(), "!b");
    const std::string text = doc.WriteToString();
    EXPECT_EQ(text, "<r x/ ><a/ >t</a/>< !b/></r>\n");
    TUtf8XmlDocument again;
    again.ReadFromString(text);
    EXPECT_EQ(again.WriteToString(), text);
}

TEST(XmlWriter, OddAttributeTextReadsBackAtOnce) {
    // Each tag as read keeps its items; written and read again, nothing changes.
    const struct {
        const char* text;
        std::vector<std::string> items;
    } cases[] = {
        {"<r a = \"1\" b= '2' c =\"3\"/>", {"a=\"1\"", "b='2'", "c=\"3\""}},
        {"<r a=1 \"x\" \"y\"/>", {"a=1", "\"x\"", "\"y\""}},
        {"<r b=\"1\" \"c\"/>", {"b=\"1\"", "\"c\""}},
        {"<r ='x' = \"y\" c/>", {"='x'", "=", "\"y\"", "c"}}, // the name takes none of them
        {"<r= \"x\" a==\"y\"/>", {"\"x\"", "a==\"y\""}},
        {"<r a =b c\t=\r\n'd'/>", {"a", "=b", "c='d'"}},
    };
    for (const auto& c : cases) {
        const std::string input = std::string("<top>") + c.text + "</top>";
        TUtf8XmlDocument doc;
        doc.ReadFromString(input);
        const TUtf8XmlNode* r = doc.Root()->Nodes(0);
        ASSERT_NE(r, nullptr) << c.text;
        std::vector<std::string> items;
        for (int i = 0; i < r->AttributeCount(); ++i)
            items.push_back(r->AttributePair(i));
        EXPECT_EQ(items, c.items) << c.text;
        const std::string text = doc.WriteToString();
        TUtf8XmlDocument again;
        again.ReadFromString(text);
        EXPECT_EQ(again.WriteToString(), text) << c.text;
        const TUtf8XmlNode* reread = again.Root()->Nodes(0);
        ASSERT_EQ(reread->AttributeCount(), r->AttributeCount()) << c.text;
        for (int i = 0; i < r->AttributeCount(); ++i)
            EXPECT_EQ(reread->AttributePair(i), items[static_cast<size_t>(i)]) << c.text;
    }
}

TEST(XmlWriter, RenamedElementsReadBackWhateverTheirAttributes) {
    // Names holding "=", and plain names after attribute text that once joined
    // them, load again under the same name.
    const struct {
        const char* input;
        const char* name;
        const char* written;
    } cases[] = {
        {"<r \"q\"><c/></r>", "n=", "<n= \"q\"><c/></n=>\n"},
        {"<a=b ='y'><c/></a=b>", "c", "<c ='y'><c/></c>\n"},
        {"<r = \"y\"></r>", "x=", "<x= = \"y\"></x=>\n"},
        {"<r a=\"1\"/>", "=", "<= a=\"1\"></=>\n"},
    };
    for (const auto& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(c.input);
        doc.Root()->SetName(c.name);
        const std::string text = doc.WriteToString();
        EXPECT_EQ(text, c.written);
        TUtf8XmlDocument again;
        again.ReadFromString(text);
        EXPECT_EQ(again.Root()->Name(), c.name);
        EXPECT_EQ(again.Root()->AttributeCount(), doc.Root()->AttributeCount()) << c.input;
        EXPECT_EQ(again.WriteToString(), text);
    }
}

TEST(XmlWriter, DoctypeNameWithAnOpenQuoteReadsBack) {
    // The blank the writer puts after the name is not taken into the open quote.
    TUtf8XmlDocument doc;
    doc.ReadFromString("<!DOCTYPE a\">\n<r/>");
    const TUtf8XmlNode* doctype = doc.RootNodeList()->Nodes(0);
    ASSERT_EQ(doctype->ElementType(), xeDoctype);
    EXPECT_EQ(doctype->Name(), "a\"");
    const std::string text = doc.WriteToString();
    EXPECT_EQ(text, "<!DOCTYPE a\" >\n<r></r>\n");
    TUtf8XmlDocument again;
    again.ReadFromString(text);
    EXPECT_EQ(again.RootNodeList()->Nodes(0)->Name(), "a\"");
    EXPECT_EQ(again.WriteToString(), text);
}

TEST(XmlWriter, DeclarationNamesNeverJoinTheirValue) {
    // The trimmed value begins with "=" and a quote; the name must not take it.
    TUtf8XmlDocument doc;
    doc.ReadFromString("<!DOCTYPE r [<!ENTITY e \x01=\"2\">]><r/>");
    const TUtf8XmlNode* entity = doc.RootNodeList()->Nodes(0)->Nodes(0);
    ASSERT_EQ(entity->ElementType(), xeEntity);
    EXPECT_EQ(entity->Name(), "e");
    EXPECT_EQ(entity->ValueDirect(), "=\"2\"");
    const std::string text = doc.WriteToString();
    TUtf8XmlDocument again;
    again.ReadFromString(text);
    EXPECT_EQ(again.RootNodeList()->Nodes(0)->Nodes(0)->Name(), "e");
    EXPECT_EQ(again.WriteToString(), text);
}

// A CR in the text after an element's last child makes the parser trim the end of
// all the element's text; where that would cut something, the save writes those
// CRs as references, so what is saved reloads as the same tree.
TEST(XmlWriter, CarriageReturnsThatAReloadWouldTrimAreReferences) {
    struct TCase {
        std::string Text;   // loaded, entity references resolved
        std::string Saved;  // the compact root element
        std::vector<std::string> CharData; // the root's character data, resolved
    };
    const TCase cases[] = {
        {"<!DOCTYPE d [<!ENTITY t \"<!--c-->\">]><m>&t;x\r</m>", "<m><!--c-->x&#13;</m>", {"x\r"}},
        {"<!DOCTYPE d [<!ENTITY t \"<b>y</b>\">]><m>&t;a \r\n&t;z\r</m>",
         "<m><b>y</b>a \r\n<b>y</b>z&#13;</m>", {"a \r\n", "z\r"}},
        {"<!DOCTYPE d [<!ENTITY t \"<b>y</b>\">]><m>&t;\rz\r\n</m>", "<m><b>y</b>&#13;z&#13;\n</m>",
         {"\rz\r\n"}},
        // The element's value ends in a space; a CR in the value stays.
        {"<!DOCTYPE d [<!ENTITY t \"<b>y</b>\">]><m>\rv &t;z\ry</m>", "<m>\rv <b>y</b>z&#13;y</m>",
         {"z\ry"}},
        // Nothing at an end to trim: the CRs stay as they are.
        {"<!DOCTYPE d [<!ENTITY t \"<b>y</b>\">]><m>\rv&t;z\ry</m>", "<m>\rv<b>y</b>z\ry</m>",
         {"z\ry"}},
        {"<!DOCTYPE d [<!ENTITY t \"<b>y</b>\">]><m>&t;x\ry</m>", "<m><b>y</b>x\ry</m>", {"x\ry"}},
        {"<!DOCTYPE d [<!ENTITY t \"<b>y</b>\">]><m>&t;x\r&t;</m>", "<m><b>y</b>x\r<b>y</b></m>",
         {"x\r"}},
    };
    for (const TCase& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(c.Text);
        doc.ResolveEntityReferences();
        const std::string saved = doc.Root()->WriteToString();
        EXPECT_EQ(saved, c.Saved) << c.Text;

        TUtf8XmlDocument reloaded;
        reloaded.ReadFromString(doc.WriteToString());
        EXPECT_EQ(reloaded.WriteToString(), doc.WriteToString()) << c.Text;
        std::vector<std::string> charData;
        for (int i = 0; i < reloaded.Root()->NodeCount(); ++i)
            if (reloaded.Root()->Nodes(i)->ElementType() == xeCharData)
                charData.push_back(reloaded.Root()->Nodes(i)->ValueAsString());
        EXPECT_EQ(charData, c.CharData) << c.Text;
    }
}
