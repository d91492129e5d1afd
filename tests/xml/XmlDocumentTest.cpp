#include "xml/XmlDocument.h"

#include "FullStream.h"
#include "xml/XmlErrors.h"
#include "xml/XmlNode.h"
#include "xml/XmlStreams.h"

#include <algorithm>
#include <cstring>
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

// Bytes behind a stream that is no memory stream, as a file is: loads read it a
// block at a time.
class TByteStream : public TStream {
public:
    explicit TByteStream(std::string bytes) : FBytes(std::move(bytes)) {}
    int64_t Read(void* buffer, int64_t count) override {
        const auto n = std::clamp<int64_t>(static_cast<int64_t>(FBytes.size()) - FPosition, 0, count);
        std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(n));
        FPosition += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        FPosition = origin == soBeginning ? offset
                    : origin == soCurrent ? FPosition + offset
                                          : static_cast<int64_t>(FBytes.size()) + offset;
        return FPosition;
    }

private:
    std::string FBytes;
    int64_t FPosition = 0;
};

// Loads bytes both ways a load can go: in place from memory and block by block.
void LoadBothWays(TUtf8XmlDocument& inPlace, TUtf8XmlDocument& streamed, const std::string& bytes) {
    LoadBytes(inPlace, bytes);
    TByteStream stream(bytes);
    streamed.LoadFromStream(stream);
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

// Without a mark or a declaration the bytes decide: UTF-8 when all of them are
// well-formed UTF-8 (even when the first non-ASCII byte comes late), else code
// page 1252 as before. A declaration still decides where there is one.
TEST(XmlDocument, EncodingOfUnmarkedInputWithoutDeclaration) {
    const std::string late = "<r>\xC3\xA9" + std::string(100000, 'x') + "\xE9</r>";
    struct Case {
        std::string bytes;
        TStringEncodingType encoding;
        std::string value;
    };
    const Case cases[] = {
        {"<r>Gr\xC3\xBC\xC3\x9F" "e</r>", seUTF8, "Gr\xC3\xBC\xC3\x9F" "e"},
        {"<r>\xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\xAA\xE0\xB8\x94\xE0\xB8\xB5</r>", seUTF8,
         "\xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\xAA\xE0\xB8\x94\xE0\xB8\xB5"},
        {"<!-- x --><r a=\"\xE4\xB8\xAD\"/>", seUTF8, ""},
        {"<r>\xE9</r>", seAnsi, "\xC3\xA9"},
        {"<r>ascii</r>", seUTF8, "ascii"}, // ASCII is UTF-8 too, and saves so
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xC3\xA9</r>", seAnsi, "\xC3\x83\xC2\xA9"},
        {late, seAnsi, "\xC3\x83\xC2\xA9" + std::string(100000, 'x') + "\xC3\xA9"},
    };
    for (const Case& c : cases) {
        TUtf8XmlDocument inPlace, streamed;
        LoadBothWays(inPlace, streamed, c.bytes);
        for (TUtf8XmlDocument* doc : {&inPlace, &streamed}) {
            EXPECT_EQ(doc->ExternalEncoding(), c.encoding) << c.bytes.substr(0, 40);
            EXPECT_EQ(doc->Root()->ValueDirect(), c.value) << c.bytes.substr(0, 40);
        }
    }
}

// A document many blocks long, with every kind of token lying across block
// edges, reads the same from memory, block by block and from a string, in every
// encoding it can be saved in.
TEST(XmlDocument, LoadsBlockByBlockAsFromMemory) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r [<!ENTITY e \"v\">]>\n<r>";
    uint32_t seed = 7;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const std::string pieces[] = {"\xC3\xA9", "\xE2\x82\xAC", "x", "&amp;", " ", "\r\n"};
    while (text.size() < 400000) {
        std::string run;
        for (uint32_t i = next(300); i > 0; --i)
            run += pieces[next(6)];
        switch (next(5)) {
        case 0: text += "<a k=\"" + run + "\" j='1'/>"; break;
        case 1: text += "<!--" + run + "-->"; break;
        case 2: text += "<b>" + run + "<c/>" + run + "</b>"; break;
        case 3: text += "<![CDATA[" + run + "]]><?pi " + run + "?>"; break;
        default: text += "<d " + std::string(next(90000) + 1, 'n') + "=\"\"></d>"; break;
        }
    }
    text += "</r>\n";
    // Where two long texts part, for a readable failure.
    const auto parting = [](const std::string& a, const std::string& b) {
        const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
        return at.first == a.end() && at.second == b.end() ? std::string("none")
                                                           : std::to_string(at.first - a.begin());
    };
    TUtf8XmlDocument model;
    model.ReadFromString(text);
    for (TStringEncodingType encoding : {seUTF8, seUTF16LE, seUTF16BE, seAnsi}) {
        model.SetEncodingString(encoding == seAnsi ? "windows-1252" : "UTF-8");
        const std::string expected = model.WriteToString();
        model.SetExternalEncoding(encoding);
        const std::string saved = SaveBytes(model);
        TUtf8XmlDocument inPlace, streamed;
        LoadBothWays(inPlace, streamed, saved);
        std::string declared = expected;
        if (encoding == seUTF16LE || encoding == seUTF16BE)
            declared.replace(declared.find("UTF-8"), 5, "UTF-16");
        EXPECT_EQ(parting(inPlace.WriteToString(), declared), "none") << encoding;
        EXPECT_EQ(parting(streamed.WriteToString(), declared), "none") << encoding;
        EXPECT_EQ(streamed.ExternalEncoding(), encoding);
    }
}

// Bytes that are no text in the input's encoding are reported once.
TEST(XmlDocument, UnicodeLossOnLoadIsReported) {
    struct Case {
        std::string bytes;
        int reports;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\"?><r>\xC3\xA9</r>", 0},
        {"<?xml version=\"1.0\"?><r>\xE9 and \xFF</r>", 1},
        {"\xEF\xBB\xBF<r a=\"\xC3\">\xE9</r>", 1},
        {"\xFF\xFE<\x00r\x00/\x00>\x00\x20"s, 1}, // half a UTF-16 unit at the end
        {"<r>\xE9</r>", 0},                            // 1252 holds every byte
    };
    for (const Case& c : cases) {
        TUtf8XmlDocument inPlace, streamed;
        int reports = 0;
        for (TUtf8XmlDocument* doc : {&inPlace, &streamed})
            doc->OnUnicodeLoss = [&reports](TUtf8XmlDocument& d) {
                ++reports;
                EXPECT_NE(d.CodecStream(), nullptr);
            };
        LoadBothWays(inPlace, streamed, c.bytes);
        EXPECT_EQ(reports, 2 * c.reports) << testing::PrintToString(c.bytes);
        EXPECT_EQ(inPlace.CodecStream(), nullptr);
    }
}

// Saved in UTF-8 or UTF-16, the declaration names what the file is in; another
// encoding keeps the name it has.
TEST(XmlDocument, SavedDeclarationNamesTheEncoding) {
    struct Case {
        std::string declaration;
        TStringEncodingType encoding;
        std::string written;
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", seUTF8, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
        {"<?xml version=\"1.0\" encoding='utf-8'?>", seUTF8, "<?xml version=\"1.0\" encoding='utf-8'?>"},
        {"<?xml version=\"1.0\" encoding='UTF-8'?>", seUTF16BE, "<?xml version=\"1.0\" encoding='UTF-16'?>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>", seUTF16LE, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>"},
        {"<?xml version=\"1.0\"?>", seUTF16LE, "<?xml version=\"1.0\"?>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", seAnsi, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
    };
    for (const Case& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(c.declaration + "<r/>");
        doc.SetExternalEncoding(c.encoding);
        TUtf8XmlDocument saved;
        LoadBytes(saved, SaveBytes(doc));
        EXPECT_EQ(saved.WriteToString(), c.written + "\n<r></r>\n") << c.declaration;
        EXPECT_EQ(doc.WriteToString(), c.declaration + "\n<r></r>\n"); // the tree keeps its name
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
        // The file declares what it is written in; the tree it came from is unchanged.
        std::string declared = text;
        if (c.encoding != seUTF8)
            declared.replace(declared.find("UTF-8"), 5, "UTF-16");
        EXPECT_EQ(again.WriteToString(), declared) << c.encoding;
        EXPECT_EQ(doc.WriteToString(), text);
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
    // A failure after much of the text went out (a save streams into its
    // temporary file) still leaves the file as it was.
    for (int i = 0; i < 20000; ++i)
        doc.Root()->NodeNew("child")->SetValueAsString("some text to fill the blocks");
    doc.Root()->NodeNew("last")->SetElementType(static_cast<TXmlElementType>(99));
    EXPECT_THROW(doc.SaveToFile(U16(file.string())), EFilerError);
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

// Resolution never raises on a well-formed document: an attribute without a
// value stays, and an entity whose text is no XML by itself stays a reference.
TEST(XmlDocument, ResolveEntityReferencesLeavesWhatItCannotExpand) {
    struct Case {
        std::string text;
        std::string resolved;
    };
    const Case cases[] = {
        {"<r k a='&e;'/>", "<r k a=\"x\"></r>"},
        {"<r =v>&e;</r>", "<r =v>&e;</r>"},
        {"<!DOCTYPE r [<!ENTITY m \"&#60;foo></foo>\">]><r>&m;</r>", "<r>&m;</r>"},
        {"<!DOCTYPE r [<!ENTITY m \"<foo/&#62;\">]><r>a&m;b</r>", "<r>a&m;b</r>"},
        {"<!DOCTYPE r [<!ENTITY m \"<b>x</b>\">]><r>&m;</r>", "<r><b>x</b></r>"},
    };
    for (const Case& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(c.text.starts_with("<!") ? c.text
                                                    : "<!DOCTYPE r [<!ENTITY e \"x\">]>" + c.text);
        doc.ResolveEntityReferences();
        EXPECT_EQ(doc.Root()->WriteToString(), c.resolved) << c.text;
    }
}

// Nodes a parse made live in its pages, which they keep alive: taken out of a
// document, moved into another or changed, they stay whole when the document that
// parsed them is gone or loads anew.
TEST(XmlDocument, ParsedNodesOutliveTheirDocument) {
    std::string text = "<r>";
    for (int i = 0; i < 3000; ++i)
        text += "<item id=\"" + std::to_string(i) + "\" long=\"a value longer than any inline text\">" +
                std::string(static_cast<size_t>(i % 40), 'v') + "</item>";
    text += "</r>";
    auto first = std::make_unique<TUtf8XmlDocument>();
    first->ReadFromString(text);
    TUtf8XmlNode* root = first->Root();
    std::unique_ptr<TUtf8XmlNode> taken = root->NodeExtract(root->Nodes(10));
    TUtf8XmlDocument second;
    second.ReadFromString("<s/>");
    ASSERT_EQ(second.Root()->NodeAdd(root->NodeExtract(root->Nodes(2000))), 0);
    root->Nodes(2000)->SetAttributeByName("long", "changed, and longer than before");
    const std::string kept = root->Nodes(2000)->WriteToString();
    root->NodeDelete(5);
    first->ReadFromString("<other/>"); // the old tree goes, but for what was taken out
    first.reset();

    EXPECT_EQ(taken->AttributeByName("id"), "10");
    EXPECT_EQ(taken->ValueDirect(), "vvvvvvvvvv");
    // Writing reads the layout through the document, which is gone: the node has none.
    EXPECT_EQ(taken->Document(), nullptr);
    EXPECT_EQ(taken->WriteToString(), "<item id=\"10\" long=\"a value longer than any inline text\">vvvvvvvvvv</item>");
    TUtf8XmlNode* moved = second.Root()->Nodes(0);
    moved->NodeAdd(std::move(taken));
    EXPECT_EQ(second.Root()->WriteToString(),
              "<s><item id=\"2001\" long=\"a value longer than any inline text\">v"
                  "<item id=\"10\" long=\"a value longer than any inline text\">vvvvvvvvvv</item></item></s>");
    EXPECT_EQ(kept, "<item id=\"2002\" long=\"changed, and longer than before\">vv</item>");
}
