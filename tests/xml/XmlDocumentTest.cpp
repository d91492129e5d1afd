#include "xml/XmlDocument.h"

#include "FullStream.h"
#include "xml/XmlErrors.h"
#include "xml/XmlNode.h"
#include "xml/XmlStreams.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

using namespace orvex;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Spit(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string SaveBytes(TUtf8XmlDocument& doc) {
    TxmUTF8StringStream out;
    doc.SaveToStream(out);
    return out.DataString();
}

void LoadBytes(TUtf8XmlDocument& doc, const std::string& bytes) {
    TxmUTF8StringStream in(bytes);
    doc.LoadFromStream(in);
}

class XmlDocumentFiles : public testing::Test {
protected:
    void SetUp() override {
        FFolder = fs::path(testing::TempDir()) /
                  ("orvex_doc_" + std::to_string(::getpid()) + "_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(FFolder);
        fs::create_directories(FFolder);
    }
    void TearDown() override { fs::remove_all(FFolder); }
    fs::path FFolder;
};

} // namespace

TEST(XmlDocument, DefaultsAndClear) {
    TUtf8XmlDocument doc;
    EXPECT_EQ(doc.ExternalEncoding(), seUTF8);
    EXPECT_EQ(doc.XmlFormat(), xfCompact);
    EXPECT_TRUE(doc.WriteOnDefault());
    EXPECT_EQ(doc.BinaryEncoding(), xbeBase64);
    EXPECT_EQ(doc.IndentString(), "  ");
    EXPECT_FALSE(doc.DropCommentsOnParse());
    EXPECT_FALSE(doc.UseFullNodes());
    EXPECT_FALSE(doc.UseLocalBias());
    EXPECT_TRUE(doc.FloatAllowScientific());
    EXPECT_EQ(doc.FloatSignificantDigits(), 6);
    EXPECT_FALSE(doc.ParserWarnings());
    EXPECT_TRUE(doc.Utf8Encoded());

    doc.SetXmlFormat(xfReadable);
    doc.SetExternalEncoding(seUTF16LE);
    doc.SetParserWarnings(true);
    doc.OnNodeNew = [](TUtf8XmlDocument&, TUtf8XmlNode*) {};
    doc.OnProgress = [](TUtf8XmlDocument&, int64_t) {};
    doc.Clear();
    EXPECT_EQ(doc.XmlFormat(), xfCompact); // settings must be made after Clear
    EXPECT_EQ(doc.ExternalEncoding(), seUTF8);
    EXPECT_TRUE(doc.ParserWarnings());     // kept
    EXPECT_FALSE(doc.OnNodeNew);
    EXPECT_TRUE(doc.OnProgress);           // kept
    EXPECT_TRUE(doc.IsEmpty());
    EXPECT_EQ(doc.RootNodeList()->NodeCount(), 2);
}

TEST(XmlDocument, DeclarationCommentAndStyleSheetProperties) {
    TUtf8XmlDocument doc("Root");
    EXPECT_EQ(doc.EncodingString(), "UTF-8");
    EXPECT_EQ(doc.VersionString(), "1.0");
    EXPECT_EQ(doc.CommentString(), "");
    EXPECT_EQ(doc.RootNodeList()->NodeCount(), 2); // reading adds nothing

    doc.SetCommentString("a<b");
    EXPECT_EQ(doc.RootNodeList()->Nodes(1)->ElementType(), xeComment);
    EXPECT_EQ(doc.CommentString(), "a<b");
    TUtf8XmlNode* sheet = doc.StyleSheetNode();
    EXPECT_EQ(doc.RootNodeList()->Nodes(1), sheet);
    EXPECT_EQ(doc.StyleSheetNode(), sheet);
    sheet->AttributeAdd("href", "s.xsl");
    doc.SetEncodingString("ISO-8859-1");
    EXPECT_EQ(doc.WriteToString(),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<?xml-stylesheet href=\"s.xsl\"?>\n"
              "<!--a&lt;b-->\n<Root></Root>\n");

    TUtf8XmlDocument bare;
    bare.ReadFromString("<r/>");
    bare.SetVersionString("");
    EXPECT_EQ(bare.RootNodeList()->NodeCount(), 1);
    bare.SetEncodingString("UTF-8");
    EXPECT_EQ(bare.WriteToString(), "<?xml encoding=\"UTF-8\"?>\n<r></r>\n");
    bare.SetVersionString("1.0");
    EXPECT_EQ(bare.WriteToString(), "<?xml encoding=\"UTF-8\" version=\"1.0\"?>\n<r></r>\n");
}

TEST(XmlDocument, AssignCopiesTreeAndSomeSettings) {
    TUtf8XmlDocument source;
    source.ReadFromString("<r a=\"1\"><b>x</b></r>");
    source.SetParserWarnings(true);
    source.SetXmlFormat(xfReadable);
    source.SetFloatSignificantDigits(3);
    source.SetIndentString("\t");
    TUtf8XmlDocument copy;
    copy.Assign(source);
    EXPECT_TRUE(copy.ParserWarnings());
    EXPECT_EQ(copy.XmlFormat(), xfReadable);
    EXPECT_EQ(copy.IndentString(), "\t");
    EXPECT_EQ(copy.FloatSignificantDigits(), 6);
    EXPECT_EQ(copy.WriteToString(), source.WriteToString());
    EXPECT_EQ(copy.Root()->Nodes(0)->Document(), &copy);
    source.Root()->SetName("changed");
    EXPECT_EQ(copy.Root()->Name(), "r");

    TUtf8XmlDocument fromNode;
    fromNode.Assign(*source.RootNodeList());
    EXPECT_EQ(fromNode.Root()->Name(), "changed");
    EXPECT_EQ(fromNode.Root()->Document(), &fromNode);
    fromNode.CopyFrom(nullptr);
    EXPECT_EQ(fromNode.Root()->Name(), "changed");
}

TEST(XmlDocument, EncodingDetectionOnLoad) {
    struct Case {
        std::string bytes;
        TStringEncodingType encoding;
        std::string value; // of the root element, as UTF-8
    };
    const Case cases[] = {
        // No mark, "<?xm": ANSI until the declaration switches to UTF-8.
        {"<?xml version=\"1.0\"?><r>\xC3\xA9</r>", seUTF8, "\xC3\xA9"},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><r>\xC3\xA9</r>", seUTF8, "\xC3\xA9"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xE9\x80</r>", seAnsi,
         "\xC3\xA9\xE2\x82\xAC"},
        // Non-ASCII before the declaration is read as 1252, the rest as UTF-8.
        {"<!--\xE9--><?xml version=\"1.0\"?><r>\xC3\xA9</r>", seUTF8, "\xC3\xA9"},
        // No row matches: ANSI, and without a declaration it stays so.
        {"<r>\xE9</r>", seAnsi, "\xC3\xA9"},
        {"\xEF\xBB\xBF<r>\xC3\xA9</r>", seUTF8, "\xC3\xA9"},
        // A mark is evidence: the declaration does not switch anything.
        {"\xFF\xFE<\x00r\x00>\x00\xE9\x00<\x00/\x00r\x00>\x00"s, seUTF16LE, "\xC3\xA9"},
        {"\xFF\xFE<\x00?\x00x\x00m\x00l\x00?\x00>\x00<\x00r\x00>\x00\xE9\x00<\x00/\x00r\x00>\x00"s,
         seUTF16LE, "\xC3\xA9"},
        {"<\x00?\x00x\x00m\x00l\x00?\x00>\x00<\x00r\x00/\x00>\x00"s, seUTF16LE, ""},
        {"\x00<\x00?\x00x\x00m\x00l\x00?\x00>\x00<\x00r\x00/\x00>"s, seUTF16BE, ""},
    };
    for (const Case& c : cases) {
        TUtf8XmlDocument doc;
        doc.SetExternalEncoding(seUCS4LE);
        LoadBytes(doc, c.bytes);
        EXPECT_EQ(doc.ExternalEncoding(), c.encoding) << testing::PrintToString(c.bytes);
        EXPECT_EQ(doc.Root()->ValueDirect(), c.value) << testing::PrintToString(c.bytes);
    }
    for (const std::string& cut : {"\xEF\xBB"s, "\xEF"s, "\xEF\xBB\xBF"s}) {
        TUtf8XmlDocument doc;
        try {
            LoadBytes(doc, cut);
            FAIL() << testing::PrintToString(cut);
        } catch (const EFilerError& e) {
            EXPECT_STREQ(e.what(), "No root element found in xml");
        }
    }
    const std::string unsupported[] = {""s, "<"s, "\x00\x00\x00<"s, "\x4C\x6F\xA7\x94"s,
                                       "\xFF\xFE\x00\x00"s};
    for (const std::string& bytes : unsupported) {
        TUtf8XmlDocument doc;
        try {
            LoadBytes(doc, bytes);
            FAIL() << testing::PrintToString(bytes);
        } catch (const EStreamError& e) {
            EXPECT_STREQ(e.what(), "Unsupported string encoding");
        }
        EXPECT_EQ(doc.ExternalEncoding(), seUTF8); // unchanged by a failed load
    }
}

TEST(XmlDocument, StringLoadsDoNoDetection) {
    TUtf8XmlDocument doc;
    doc.SetExternalEncoding(seUTF16BE);
    doc.ReadFromString("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xC3\xA9</r>");
    EXPECT_EQ(doc.ExternalEncoding(), seUTF16BE);
    EXPECT_EQ(doc.Root()->ValueDirect(), "\xC3\xA9");
    doc.ReadFromString("\xEF\xBB\xBF<r/>"); // a mark is text at root level
    EXPECT_EQ(doc.Root()->Name(), "r");
    TxmUTF8StringStream stream("<r>\xE9</r>");
    doc.ParseStream(stream);
    EXPECT_EQ(doc.Root()->ValueDirect(), "\xE9");
}

TEST(XmlDocument, RoundTripsInEveryEncoding) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<Root a=\"\xC3\xA9&amp;\">\r\n"
        "  <Item>\xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD</Item>\r\n"
        "  <!--\xC3\xBC-->\r\n"
        "</Root>\r\n";
    struct Case {
        TStringEncodingType encoding;
        std::string head; // first bytes of the saved file
    };
    const Case cases[] = {
        {seUTF8, "<?xml"},
        {seUTF16LE, "\xFF\xFE<\x00"s},
        {seUTF16BE, "\xFE\xFF\x00<"s},
    };
    for (const Case& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(text);
        doc.SetXmlFormat(xfReadable);
        doc.SetExternalEncoding(c.encoding);
        const std::string saved = SaveBytes(doc);
        EXPECT_EQ(saved.substr(0, c.head.size()), c.head);
        TUtf8XmlDocument again;
        LoadBytes(again, saved);
        EXPECT_EQ(again.ExternalEncoding(), c.encoding);
        again.SetXmlFormat(xfReadable);
        EXPECT_EQ(again.WriteToString(), text) << c.encoding;
        EXPECT_EQ(SaveBytes(again), saved); // written back in the encoding it was read in
    }
    // ANSI keeps what 1252 holds; the rest becomes "?".
    TUtf8XmlDocument doc;
    doc.ReadFromString("<?xml version=\"1.0\" encoding=\"windows-1252\"?><r a=\"\xC3\xA9\">"
                       "\xE2\x82\xAC\xF0\x9F\x98\x80</r>");
    doc.SetExternalEncoding(seAnsi);
    const std::string saved = SaveBytes(doc);
    EXPECT_EQ(saved, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<r a=\"\xE9\">\x80?</r>\n");
    TUtf8XmlDocument again;
    LoadBytes(again, saved);
    EXPECT_EQ(again.ExternalEncoding(), seAnsi);
    EXPECT_EQ(again.Root()->ValueDirect(), "\xE2\x82\xAC?");
    EXPECT_EQ(SaveBytes(again), saved);
}

TEST(XmlDocument, ShortWriteIsAnError) {
    for (TStringEncodingType encoding : {seUTF8, seUTF16LE}) {
        TUtf8XmlDocument doc("Root");
        doc.SetExternalEncoding(encoding);
        test::TFullStream full(10);
        try {
            doc.SaveToStream(full);
            FAIL() << encoding;
        } catch (const EStreamError& e) {
            EXPECT_STREQ(e.what(), "Cannot write to output stream");
        }
    }
}

TEST(XmlDocument, UnwritableEncodingRaises) {
    TUtf8XmlDocument doc("r");
    doc.SetExternalEncoding(seEBCDIC);
    TxmUTF8StringStream out;
    try {
        doc.SaveToStream(out);
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Unsupported string encoding");
    }
    EXPECT_EQ(out.DataString(), "");
}

TEST_F(XmlDocumentFiles, SaveAndLoadFile) {
    const fs::path file = FFolder / "backup.xml";
    TUtf8XmlDocument doc("Root");
    doc.SetXmlFormat(xfReadable);
    doc.Root()->NodeNew("Machines")->AttributeAdd("n", "\xC3\xA9");
    doc.SaveToFile(U16(file.string()));
    EXPECT_EQ(Slurp(file), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root>\r\n"
                           "  <Machines n=\"\xC3\xA9\"/>\r\n</Root>\r\n");
    TUtf8XmlDocument loaded;
    loaded.LoadFromFile(U16(file.string()));
    EXPECT_EQ(loaded.Root()->Nodes(0)->AttributeByName("n"), "\xC3\xA9");
    EXPECT_EQ(loaded.ExternalEncoding(), seUTF8);

    doc.SetExternalEncoding(seUTF16LE);
    doc.SaveToFile(U16(file.string()));
    EXPECT_EQ(Slurp(file).substr(0, 4), "\xFF\xFE<\x00"s);
    loaded.LoadFromFile(U16(file.string()));
    EXPECT_EQ(loaded.ExternalEncoding(), seUTF16LE);
    EXPECT_EQ(std::distance(fs::directory_iterator(FFolder), {}), 1); // no temporary left
}

TEST_F(XmlDocumentFiles, FailedSaveLeavesTheFileAlone) {
    const fs::path file = FFolder / "keep.xml";
    Spit(file, "original bytes");
    TUtf8XmlDocument doc("r");
    doc.SetExternalEncoding(seUCS4LE); // fails while producing the bytes
    EXPECT_THROW(doc.SaveToFile(U16(file.string())), EStreamError);
    EXPECT_EQ(Slurp(file), "original bytes");

    doc.SetExternalEncoding(seUTF8);
    const fs::path missing = FFolder / "gone" / "x.xml";
    try {
        doc.SaveToFile(U16(missing.string()));
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create file \"" + missing.string() + "\". No such file or directory");
    }
    // A file where the folder should be.
    const fs::path underFile = file / "x.xml";
    EXPECT_THROW(doc.SaveToFile(U16(underFile.string())), EStreamError);
    EXPECT_EQ(Slurp(file), "original bytes");
    EXPECT_EQ(std::distance(fs::directory_iterator(FFolder), {}), 1);
}

TEST_F(XmlDocumentFiles, LoadErrors) {
    TUtf8XmlDocument doc;
    const fs::path missing = FFolder / "none.xml";
    try {
        doc.LoadFromFile(U16(missing.string()));
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + missing.string() + "\". No such file or directory");
    }
    const fs::path truncated = FFolder / "t.xml";
    Spit(truncated, "<?xml version=\"1.0\"?>\r\n<Root>\r\n  <Machines>");
    try {
        doc.LoadFromFile(U16(truncated.string()));
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Missing close tag in element Machines");
    }
}

TEST(XmlDocument, ResolveEntityReferencesFromTheDoctype) {
    TUtf8XmlDocument doc;
    doc.ReadFromString("<!DOCTYPE r [<!ENTITY who \"World\">]><r a=\"Hello &who;\"/>");
    doc.ResolveEntityReferences();
    EXPECT_EQ(doc.Root()->AttributeByName("a"), "Hello World");
}
