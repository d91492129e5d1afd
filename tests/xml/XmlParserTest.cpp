#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlNode.h"
#include "xml/XmlParser.h"
#include "xml/XmlStreams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace std::string_literals;

namespace {

std::string ParseError(const std::string& text, bool warnings = false) {
    TUtf8XmlDocument doc;
    doc.SetParserWarnings(warnings);
    try {
        doc.ReadFromString(text);
    } catch (const EFilerError& e) {
        return e.what();
    }
    return "(none)";
}

// Loads bytes as a file or stream would be, with detection.
std::unique_ptr<TUtf8XmlDocument> Load(const std::string& bytes) {
    auto doc = std::make_unique<TUtf8XmlDocument>();
    TxmUTF8StringStream stream(bytes);
    doc->LoadFromStream(stream);
    return doc;
}

} // namespace

TEST(XmlParser, ErrorTexts) {
    struct Case {
        std::string text;
        bool warnings;
        std::string error;
    };
    const Case cases[] = {
        {"<a>text</b>", false, "Incorrect close tag in element a"},
        {"<a><b>", false, "Missing close tag in element b"},
        {"<a>x", false, "Missing close tag in element a"},
        {"<a>x<", false, "Missing data after \"<\" in element a"},
        {"<a>x<  \r\n", false, "Missing data after \"<\" in element a"},
        {"<a>x</a", false, "Missing \">\" in close tag of element a"},
        {"<>", false, "Missing element name"},
        {"<", false, "Missing element name"},
        {"<a/>junk<", false, "Missing element name"},
        {"<?xml version=\"1.0\"?>", false, "No root element found in xml"},
        {"", false, "No root element found in xml"},
        {"just text", false, "No root element found in xml"},
        {"<a/><b/>", true, "More than one root element found in xml"},
        {"<?xml version=\"1.0\"?><?xml version=\"1.0\"?><a/>", true,
         "More than one xml declaration found in xml"},
        {"<!--c--><?xml version=\"1.0\"?><a/>", true, "Xml declaration must be first element"},
        {"<!DOCTYPE a><!DOCTYPE a><a/>", true, "More than one doctype declaration found in root"},
        {"<a/><!DOCTYPE a>", true, "Doctype declaration found after root element"},
        {"<![CDATA[x]]><a/>", true, "No CDATA allowed in root"},
        // Without the warnings these all load.
        {"<a/><b/>", false, "(none)"},
        {"<!--c--><?xml version=\"1.0\"?><a/><!DOCTYPE a><![CDATA[x]]>", false, "(none)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseError(c.text, c.warnings), c.error) << c.text;
}

TEST(XmlParser, ValuesTextAndChildren) {
    TUtf8XmlDocument doc;
    doc.ReadFromString("<a>text</A>"); // close tags compare ignoring case
    EXPECT_EQ(doc.Root()->ValueDirect(), "text");

    doc.ReadFromString("<a> x </a>");
    EXPECT_EQ(doc.Root()->ValueDirect(), " x ");

    doc.ReadFromString("<a>\r\n  <b/>\r\n</a>");
    EXPECT_EQ(doc.Root()->ValueDirect(), "");
    ASSERT_EQ(doc.Root()->NodeCount(), 1);

    doc.ReadFromString("<a>t<b/>u</a>");
    TUtf8XmlNode* a = doc.Root();
    EXPECT_EQ(a->ValueDirect(), "t");
    ASSERT_EQ(a->NodeCount(), 2);
    EXPECT_EQ(a->Nodes(0)->Name(), "b");
    EXPECT_EQ(a->Nodes(1)->ElementType(), xeCharData);
    EXPECT_EQ(a->Nodes(1)->ValueDirect(), "u");

    // A CR after the last child element trims trailing line ends and blanks (not tabs).
    doc.ReadFromString("<a><b/>u \t\r\n <c/>v\r\n</a>");
    a = doc.Root();
    ASSERT_EQ(a->NodeCount(), 4);
    EXPECT_EQ(a->Nodes(1)->ValueDirect(), "u \t");
    EXPECT_EQ(a->Nodes(3)->ValueDirect(), "v");

    doc.ReadFromString("<r><b/><b /><c x='1' y = \"2\"/></r>");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(doc.Root()->Nodes(i)->Name(), "b");
        EXPECT_TRUE(doc.Root()->Nodes(i)->IsEmpty());
    }
    EXPECT_EQ(doc.Root()->Nodes(2)->AttributeByName("x"), "1");
    EXPECT_EQ(doc.Root()->Nodes(2)->AttributeByName("y"), "2");

    // Values and attributes stay escaped as written.
    doc.ReadFromString("<r a=\"x&amp;y\">1 &lt; 2</r>");
    EXPECT_EQ(doc.Root()->ValueDirect(), "1 &lt; 2");
    EXPECT_EQ(doc.Root()->AttributePair(0), "a=\"x&amp;y\"");
    EXPECT_EQ(doc.Root()->AttributeByName("a"), "x&y");

    // A ">" inside a quoted attribute does not end the tag.
    doc.ReadFromString("<r a=\"1>2\"/>");
    EXPECT_EQ(doc.Root()->AttributeByName("a"), "1>2");
}

TEST(XmlParser, SpecialNodes) {
    TUtf8XmlDocument doc;
    doc.ReadFromString("<!--top--><!doctype x><r><!--in--><![CDATA[a<b]]><?pi x?></r>");
    TUtf8XmlNode* list = doc.RootNodeList();
    ASSERT_EQ(list->NodeCount(), 3);
    EXPECT_EQ(list->Nodes(0)->Name(), "Comment");
    EXPECT_EQ(list->Nodes(0)->ValueDirect(), "top");
    EXPECT_EQ(list->Nodes(1)->ElementType(), xeExclam); // lower-case doctype
    EXPECT_EQ(list->Nodes(1)->Name(), "Special");
    EXPECT_EQ(list->Nodes(1)->ValueDirect(), "doctype x");
    TUtf8XmlNode* r = doc.Root();
    ASSERT_EQ(r->NodeCount(), 3);
    EXPECT_EQ(r->Nodes(0)->ElementType(), xeComment);
    EXPECT_EQ(r->Nodes(1)->Name(), "CData");
    EXPECT_EQ(r->Nodes(1)->ValueDirect(), "a<b");
    EXPECT_EQ(r->Nodes(2)->ElementType(), xeQuestion);
    EXPECT_EQ(r->Nodes(2)->ValueDirect(), "pi x");

    doc.SetDropCommentsOnParse(true);
    doc.ReadFromString("<!--top--><r><!--in--><b/></r>");
    EXPECT_EQ(doc.RootNodeList()->Nodes(0)->ElementType(), xeComment); // root level stays
    ASSERT_EQ(doc.Root()->NodeCount(), 1);
    EXPECT_EQ(doc.Root()->Nodes(0)->Name(), "b");
}

TEST(XmlParser, DoctypeAndSubset) {
    TUtf8XmlDocument doc;
    doc.ReadFromString(
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD\"\r\n \"x.dtd\" [\n"
        "  <!ATTLIST a b CDATA #IMPLIED>\n  %pe;\n  <!ENTITY Amp 'v'>\n  <!--c-->\n]>"
        "<html/>");
    TUtf8XmlNode* dtd = doc.RootNodeList()->Nodes(0);
    EXPECT_EQ(dtd->ElementType(), xeDoctype);
    EXPECT_EQ(dtd->Name(), "html");
    EXPECT_EQ(dtd->ValueDirect(), "PUBLIC \"-//W3C//DTD\" \"x.dtd\"");
    ASSERT_EQ(dtd->NodeCount(), 4);
    EXPECT_EQ(dtd->Nodes(0)->ElementType(), xeAttList);
    EXPECT_EQ(dtd->Nodes(0)->Name(), "a");
    EXPECT_EQ(dtd->Nodes(0)->ValueDirect(), "b\r\nCDATA\r\n#IMPLIED");
    EXPECT_EQ(dtd->Nodes(1)->ElementType(), xeCharData); // the parameter entity, as written
    EXPECT_EQ(dtd->Nodes(1)->ValueDirect(), "%pe;");
    EXPECT_EQ(dtd->Nodes(2)->ElementType(), xeEntity);
    EXPECT_EQ(dtd->Nodes(3)->ElementType(), xeComment);
    EXPECT_EQ(doc.Root()->Name(), "html");
    EXPECT_EQ(doc.ResolveEntity("Amp"), "v");
    EXPECT_EQ(doc.ResolveEntity("amp"), ""); // names compare exactly

    // A DOCTYPE right after its keyword keeps its first byte.
    doc.ReadFromString("<!DOCTYPE>x<r/>");
    EXPECT_EQ(doc.RootNodeList()->Nodes(0)->Name(), "DTD");
    EXPECT_EQ(doc.Root()->Name(), "r");
}

TEST(XmlParser, RootLevelTextIsDroppedAndDeclarationRead) {
    TUtf8XmlDocument doc;
    doc.ReadFromString("  junk <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?> more <r/> tail");
    TUtf8XmlNode* list = doc.RootNodeList();
    ASSERT_EQ(list->NodeCount(), 2);
    EXPECT_EQ(list->Nodes(0)->ElementType(), xeDeclaration);
    EXPECT_EQ(list->Nodes(0)->Name(), "xml");
    EXPECT_EQ(doc.EncodingString(), "ISO-8859-1");
    EXPECT_EQ(doc.VersionString(), "1.0");
}

TEST(XmlParser, NoInputMakesItLoop) {
    // Four-byte characters and stray lead bytes right before "<" in every position.
    const std::string texts[] = {
        "<a>\xF0\x9F\x98\x80<b/>\xF0\x9F\x98\x80</a>",
        "<a>\xE3<b/>\xC3<c/>\xF0</a>",
        "<a \xF0=\"\xF0\"\xF0>\xF0\x9F<b\xF0/></a\xF0>",
        "\xF0<a/>",
        "<a>\xF0\x9F\x98",
    };
    for (const std::string& text : texts) {
        TUtf8XmlDocument doc;
        try {
            doc.ReadFromString(text);
        } catch (const EFilerError&) {
        }
        TUtf8XmlDocument loaded;
        try {
            TxmUTF8StringStream s("\xEF\xBB\xBF" + text);
            loaded.LoadFromStream(s);
        } catch (const EFilerError&) {
        }
    }
    TUtf8XmlDocument doc;
    doc.ReadFromString("<a>\xF0\x9F\x98\x80<b/>\xE3</a>");
    EXPECT_EQ(doc.Root()->ValueDirect(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(doc.Root()->Nodes(0)->Name(), "b");
    EXPECT_EQ(doc.Root()->Nodes(1)->ValueDirect(), "\xE3");
}

TEST(XmlParser, NulIsData) {
    TUtf8XmlDocument doc;
    doc.ReadFromString("<a>x\0y</a>"s);
    EXPECT_EQ(doc.Root()->ValueDirect(), "x\0y"s);
    auto loaded = Load("\xEF\xBB\xBF<a>x\0y</a>"s);
    EXPECT_EQ(loaded->Root()->ValueDirect(), "x\0y"s);
    try {
        Load("\xEF\xBB\xBF<a>x\0"s);
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Missing close tag in element a");
    }
}

TEST(XmlParser, NestingDepthIsLimited) {
    const auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "<a>";
        for (int i = 0; i < depth; ++i)
            text += "</a>";
        return text;
    };
    TUtf8XmlDocument doc;
    doc.ReadFromString(nested(TXmlParser::kMaxDepth));
    try {
        doc.ReadFromString(nested(TXmlParser::kMaxDepth + 2));
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Elements nested too deeply in element a");
    }
    try {
        doc.ReadFromString("<!DOCTYPE x [" + std::string(20000, '<') );
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Missing element name");
    }
}

TEST(XmlParser, EventsAndAbort) {
    TUtf8XmlDocument doc;
    std::vector<std::string> log;
    doc.OnNodeNew = [&](TUtf8XmlDocument&, TUtf8XmlNode* n) { log.push_back("new " + std::string(n->Name())); };
    doc.OnNodeLoaded = [&](TUtf8XmlDocument&, TUtf8XmlNode* n) { log.push_back("done " + std::string(n->Name())); };
    std::vector<int64_t> progress;
    doc.OnProgress = [&](TUtf8XmlDocument&, int64_t p) { progress.push_back(p); };
    doc.ReadFromString("<r><a/><b>x</b></r>");
    EXPECT_EQ(log, (std::vector<std::string>{"new r", "new a", "done a", "new b", "done b",
                                              "done r"}));
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 19);

    // A handler stops the parse after the node in hand: no error, no checks.
    log.clear();
    doc.OnNodeNew = [&](TUtf8XmlDocument& d, TUtf8XmlNode* n) {
        log.push_back("new " + std::string(n->Name()));
        if (n->Name() == "a")
            d.SetAbortParsing(true);
    };
    doc.ReadFromString("<r><a><x/></a><b/></r><second/>");
    EXPECT_EQ(log, (std::vector<std::string>{"new r", "new a"}));
    EXPECT_TRUE(doc.AbortParsing());
    ASSERT_EQ(doc.RootNodeList()->NodeCount(), 1);
    EXPECT_EQ(doc.Root()->NodeCount(), 1);
    doc.OnNodeNew = nullptr;
    doc.ReadFromString("<r/>"); // each parse starts unaborted
    EXPECT_FALSE(doc.AbortParsing());

    // Aborting inside a DTD subset ends it too.
    doc.OnNodeNew = [](TUtf8XmlDocument& d, TUtf8XmlNode* n) {
        if (n->ElementType() == xeEntity)
            d.SetAbortParsing(true);
    };
    doc.ReadFromString("<!DOCTYPE r [<!ENTITY a 'b'><!ENTITY c 'd'>]><r/>");
    EXPECT_TRUE(doc.AbortParsing());
}

TEST(XmlParser, ErrorKeepsWhatWasRead) {
    TUtf8XmlDocument doc;
    EXPECT_THROW(doc.ReadFromString("<r><a>1</a><b>"), EFilerError);
    ASSERT_NE(doc.Root(), nullptr);
    EXPECT_EQ(doc.Root()->NodeCount(), 2);
    EXPECT_EQ(doc.Root()->Nodes(0)->ValueDirect(), "1");
}

TEST(XmlParser, NodeReadsOneNodeFromAStream) {
    TUtf8XmlDocument doc;
    TxmUTF8StringStream stream("<a>1</a> <b/>");
    TUtf8XmlNode node(&doc);
    node.ReadFromStream(stream);
    EXPECT_EQ(node.Name(), "a");
    EXPECT_EQ(stream.Position(), 8);
    node.ReadFromStream(stream);
    EXPECT_EQ(node.Name(), "b");
    EXPECT_EQ(stream.Position(), 13);
}

// Only the target "xml" with a version that has a value, before the root
// element, makes a declaration and only "xml-stylesheet" a style sheet; every
// other instruction reads and writes back as it was written.
TEST(XmlParser, ProcessingInstructionTargets) {
    struct TCase {
        std::string Instruction;
        TXmlElementType Type;
        std::string Written;
    };
    const TCase cases[] = {
        {"<?xml-model href=\"schema.rng\"?>", xeQuestion, "<?xml-model href=\"schema.rng\"?>"},
        {"<?xmlfoo bar?>", xeQuestion, "<?xmlfoo bar?>"},
        {"<?xml-stylesheetx a?>", xeQuestion, "<?xml-stylesheetx a?>"},
        {"<?xml-stylesheet href=\"a.xsl\"?>", xeStylesheet, "<?xml-stylesheet href=\"a.xsl\"?>"},
        {"<?xml version=\"1.0\"?>", xeDeclaration, "<?xml version=\"1.0\"?>"},
        {"<!--c--><?xml version=\"1.0\"?>", xeDeclaration, "<?xml version=\"1.0\"?>"},
        {"<?XML version=\"1.0\"?>", xeQuestion, "<?XML version=\"1.0\"?>"},
        {"<?Xml This is a test ?>", xeQuestion, "<?Xml This is a test ?>"},
        {"<?xml This is a test ?>", xeQuestion, "<?xml This is a test ?>"},
        {"<?xml?>", xeQuestion, "<?xml?>"},
        {"<?xml version=\"\"?>", xeQuestion, "<?xml version=\"\"?>"},
        {"<?xml version=\"1.0\" a=\"?>\"?>", xeDeclaration, "<?xml version=\"1.0\" a=\"?>\"?>"},
    };
    for (const TCase& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(c.Instruction + "<r/>");
        const TUtf8XmlNode* list = doc.RootNodeList();
        const TUtf8XmlNode* instruction = list->Nodes(list->NodeCount() - 2);
        ASSERT_NE(instruction, nullptr) << c.Instruction;
        EXPECT_EQ(instruction->ElementType(), c.Type) << c.Instruction;
        const std::string written = doc.WriteToString();
        EXPECT_EQ(written.substr(written.size() - c.Written.size() - 9), c.Written + "\n<r></r>\n");
    }
    // Inside an element or after the root element no instruction is a declaration:
    // each keeps its target and text, and the saved text reloads as the same.
    for (const char* text : {"<r><?XML This is a test ?></r>", "<r><?xml version=\"1.0\"?></r>",
                             "<r></r>\n<?xml version=\"1.0\"?>", "<r>t<?xML a ?>u</r>"}) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(text);
        TUtf8XmlNodeList found;
        doc.RootNodeList()->FindNodes("Special", found);
        ASSERT_EQ(found.Count(), 1) << text;
        EXPECT_EQ(found.Items(0)->ElementType(), xeQuestion) << text;
        const std::string written = doc.WriteToString();
        EXPECT_EQ(written, std::string(text) + "\n") << text;
        TUtf8XmlDocument again;
        again.ReadFromString(written);
        EXPECT_EQ(again.WriteToString(), written);
    }
}

// An empty internal subset loads like none; a parameter-entity reference in a
// subset is kept as written.
TEST(XmlParser, InternalSubsets) {
    for (const char* subset : {"[]", "[ ]", "[\n]", "[\r\n\t]"}) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(std::string("<!DOCTYPE a SYSTEM \"a.dtd\" ") + subset + "><a><b/></a>");
        TUtf8XmlNode* dtd = doc.RootNodeList()->Nodes(0);
        EXPECT_EQ(dtd->NodeCount(), 0) << subset;
        ASSERT_NE(doc.Root(), nullptr) << subset;
        EXPECT_EQ(doc.Root()->NodeCount(), 1) << subset;
        EXPECT_EQ(doc.WriteToString(), "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a><b/></a>\n");
    }
    TUtf8XmlDocument doc;
    doc.ReadFromString("<!DOCTYPE d [<!ENTITY % pe \"<!ENTITY e 'x'>\"> %pe; %other;]><d/>");
    doc.SetXmlFormat(xfReadable);
    const std::string written = doc.WriteToString();
    EXPECT_EQ(written,
              "<!DOCTYPE d  [\r\n"
              "  <!ENTITY % pe\r\n\"<!ENTITY e 'x'>\">\r\n"
              "%pe;\r\n"
              "%other;\r\n"
              "]>\r\n"
              "<d></d>\r\n");
    TUtf8XmlDocument again;
    again.ReadFromString(written);
    again.SetXmlFormat(xfReadable);
    EXPECT_EQ(again.WriteToString(), written);
}
