#include "xml/WideXmlDocument.h"

#include "xml/XmlErrors.h"
#include "xml/XmlStreams.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(WideXmlDocument, EveryNodeIsWide) {
    TWideXmlDocument doc;
    doc.ReadFromString(u"<?xml version=\"1.0\"?><!--c--><Root a=\"x\"><b/>t<c/></Root>");
    EXPECT_NE(doc.RootNodeList(), nullptr);
    for (int i = 0; i < doc.RootNodeList()->NodeCount(); ++i)
        EXPECT_NE(dynamic_cast<TWideXmlNode*>(doc.RootNodeList()->TUtf8XmlNode::Nodes(i)), nullptr);
    TWideXmlNode* root = doc.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name(), u"Root");
    EXPECT_EQ(root->AttributeByName(u"a"), u"x");
    EXPECT_NE(root->Nodes(1), nullptr); // char data, also wide
    EXPECT_EQ(root->NodeNew(u"d")->Document(), &doc);
    EXPECT_EQ(doc.StyleSheetNode()->Document(), &doc);
}

TEST(WideXmlDocument, CreateNameAndWriteToString) {
    TWideXmlDocument doc(u"Root");
    EXPECT_EQ(doc.WriteToString16(), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root></Root>\n");
    EXPECT_EQ(doc.ExternalEncoding(), seUTF8);
    doc.SetExternalEncoding(seUTF16LE);
    doc.ReadFromString(u"<Root a=\"x\"/>");
    EXPECT_EQ(doc.ExternalEncoding(), seUTF16LE); // string loads keep it
    EXPECT_EQ(doc.Root()->AttributeByName(u"a"), u"x");
}

TEST(WideXmlDocument, StringProperties) {
    TWideXmlDocument doc(u"r");
    doc.SetCommentString(u"\U0001F600 \u00E9");
    EXPECT_EQ(doc.TUtf8XmlDocument::CommentString(), "\xF0\x9F\x98\x80 \xC3\xA9");
    EXPECT_EQ(doc.CommentString(), u"\U0001F600 \u00E9");
    doc.SetEncodingString(u"UTF-8");
    EXPECT_EQ(doc.EncodingString(), u"UTF-8");
    doc.SetVersionString(u"1.1");
    EXPECT_EQ(doc.VersionString(), u"1.1");
    doc.SetIndentString(u"\t");
    EXPECT_EQ(doc.IndentString16(), u"\t");
}

TEST(WideXmlDocument, ReadFromUtf8StringNeedsTheEncodingAttribute) {
    TWideXmlDocument doc(u"keep");
    for (const char* text : {"<?xml version=\"1.0\" encoding='UTF-8'?><r/>",
                             "<?xml version=\"1.0\" encoding=\"utf-8\"?><r/>", "<r/>"}) {
        try {
            doc.ReadFromUTF8String(text);
            FAIL() << text;
        } catch (const EXmlError& e) {
            EXPECT_STREQ(e.what(), "Encoding attribute of \"UTF-8\" required in ?xml tag");
        }
        EXPECT_EQ(doc.Root()->Name(), u"keep"); // nothing parsed
    }
    // Beyond the first 80 characters it is not found either.
    const std::string late = "<!--" + std::string(80, 'x') + "--><?xml encoding=\"UTF-8\"?><r/>";
    EXPECT_THROW(doc.ReadFromUTF8String(late), EXmlError);
    doc.ReadFromUTF8String("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\xA9</r>");
    EXPECT_EQ(doc.Root()->ValueAsString(), u"\u00E9");
}

TEST(WideXmlDocument, EventsSeeWideNodes) {
    TWideXmlDocument doc;
    std::u16string names;
    doc.SetOnNodeNew([&](TWideXmlDocument& sender, TWideXmlNode* node) {
        EXPECT_EQ(&sender, &doc);
        names += node->Name() + u";";
    });
    int loaded = 0;
    doc.SetOnNodeLoaded([&](TWideXmlDocument&, TWideXmlNode*) { ++loaded; });
    doc.ReadFromString(u"<a><b/></a>");
    EXPECT_EQ(names, u"a;b;");
    EXPECT_EQ(loaded, 2);
    doc.SetOnNodeCompare([](TWideXmlDocument&, TWideXmlNode* x, TWideXmlNode* y, void*) {
        return -x->Name().compare(y->Name()); // descending
    });
    doc.ReadFromString(u"<r><a/><c/><b/></r>");
    doc.Root()->SortChildNodes();
    EXPECT_EQ(doc.Root()->Nodes(0)->Name(), u"c");
    EXPECT_EQ(doc.Root()->Nodes(2)->Name(), u"a");
    doc.SetOnNodeNew(nullptr);
    EXPECT_FALSE(doc.OnNodeNew);
}

TEST(WideXmlDocument, LoadsWhatItSavesInUtf16) {
    TWideXmlDocument doc(u"Root");
    doc.SetXmlFormat(xfReadable);
    doc.Root()->NodeNew(u"Item")->SetValueAsString(u"\u00E9\U0001F600");
    doc.SetEncodingString(u"UTF-16");
    for (TStringEncodingType encoding : {seUTF16LE, seUTF16BE}) {
        doc.SetExternalEncoding(encoding);
        TxmUTF8StringStream bytes;
        doc.SaveToStream(bytes);
        TWideXmlDocument again;
        TxmUTF8StringStream in(bytes.DataString());
        again.LoadFromStream(in);
        EXPECT_EQ(again.ExternalEncoding(), encoding);
        EXPECT_EQ(again.Root()->Nodes(0)->ValueAsString(), u"\u00E9\U0001F600");
    }
}
