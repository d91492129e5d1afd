// Small documents of the kinds found in the wild (style-sheet and xml-model
// instructions, DOCTYPEs with empty subsets and parameter entities, UTF-8 without
// a declaration in Thai, Chinese and German): each loads, saves and loads again
// as the same tree, in UTF-8 and in both UTF-16 forms, and libxml2 reads every
// saved file as well-formed.

#include "xml/XmlDocument.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace orvex;

namespace {

const std::filesystem::path kFolder = std::filesystem::path(ORVEX_TEST_DATA) / "xml" / "realworld";

// The tree as text: every root-level node but the declaration, whose encoding
// names the file it came from.
std::string TreeText(TUtf8XmlDocument& doc) {
    doc.SetXmlFormat(xfCompact);
    std::string text;
    for (int i = 0; i < doc.RootNodeList()->NodeCount(); ++i) {
        TUtf8XmlNode* node = doc.RootNodeList()->Nodes(i);
        if (node->ElementType() != xeDeclaration)
            text += node->WriteToString() + "\n";
    }
    return text;
}

// Saved as loaded, in the compact layout: the readable one indents the children
// of mixed content, which changes its text.
std::string Saved(TUtf8XmlDocument& doc, TStringEncodingType encoding) {
    doc.SetExternalEncoding(encoding);
    TxmUTF8StringStream out;
    doc.SaveToStream(out);
    return out.DataString();
}

void CollectError(void* errors, xmlErrorPtr error) {
    if (error && error->level >= XML_ERR_ERROR)
        static_cast<std::string*>(errors)->append(error->message ? error->message : "?");
}

// What libxml2 finds wrong with bytes; empty when they are well-formed XML.
std::string Libxml2Errors(const std::string& bytes) {
    std::string errors;
    xmlSetStructuredErrorFunc(&errors, CollectError);
    xmlDocPtr parsed = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), "saved.xml", nullptr,
                                     XML_PARSE_NONET);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    if (!parsed && errors.empty())
        errors = "not parsed";
    xmlFreeDoc(parsed);
    return errors;
}

std::vector<std::filesystem::path> Documents() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(kFolder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(RealWorldDocuments, LoadSaveAndReloadAsTheSameWellFormedTree) {
    EXPECT_NE(Libxml2Errors("<a><b></a>"), ""); // the check itself

    const std::vector<std::filesystem::path> files = Documents();
    ASSERT_GE(files.size(), 9u);
    for (const std::filesystem::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        TUtf8XmlDocument original;
        original.LoadFromFile(file.u16string());
        EXPECT_EQ(original.ExternalEncoding(), seUTF8);
        const std::string tree = TreeText(original);
        for (TStringEncodingType encoding : {seUTF8, seUTF16LE, seUTF16BE}) {
            const std::string bytes = Saved(original, encoding);
            EXPECT_EQ(Libxml2Errors(bytes), "") << "encoding " << encoding;
            TUtf8XmlDocument reloaded;
            TxmUTF8StringStream in(bytes);
            reloaded.LoadFromStream(in);
            EXPECT_EQ(reloaded.ExternalEncoding(), encoding);
            EXPECT_EQ(TreeText(reloaded), tree) << "encoding " << encoding;
        }
    }
}

// What the fixed faults were about, seen in the loaded trees.
TEST(RealWorldDocuments, KeepWhatTheyHold) {
    const auto load = [](const char* name) {
        auto doc = std::make_unique<TUtf8XmlDocument>();
        doc->LoadFromFile((kFolder / name).u16string());
        return doc;
    };
    auto tei = load("tei-letter.xml");
    EXPECT_EQ(tei->RootNodeList()->Nodes(1)->ElementType(), xeQuestion);
    EXPECT_EQ(tei->Root()->Name(), "TEI");

    auto docbook = load("docbook-entities.xml");
    const TUtf8XmlNode* subset = docbook->RootNodeList()->Nodes(1);
    ASSERT_EQ(subset->ElementType(), xeDoctype);
    std::string references;
    for (int i = 0; i < subset->NodeCount(); ++i)
        if (subset->Nodes(i)->ElementType() == xeCharData)
            references += subset->Nodes(i)->ValueDirect();
    EXPECT_EQ(references, "%versions;%chapters;");

    auto german = load("german-addresses-no-declaration.xml");
    EXPECT_EQ(german->Root()->Nodes(0)->NodeByName("Straße")->ValueAsString(), "Königsallee 92a");
    auto thai = load("thai-news-no-declaration.xml");
    EXPECT_EQ(thai->Root()->Name(), "ข่าว");
}
