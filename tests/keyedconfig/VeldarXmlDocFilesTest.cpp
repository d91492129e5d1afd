#include "keyedconfig/VeldarXmlDoc.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "KeyedTestFiles.h"
#include "RaisedText.h"

namespace orvex {
namespace {
using fake::RaisedText;
using fake::ReadBytes;
using fake::WriteBytes;

constexpr std::string_view kSample =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Cfg><A x=\"1\"/><B>text</B></Cfg>\n";

class VeldarXmlDocFilesTest : public ::testing::Test {
public:
    VeldarXmlDocFilesTest() : file(folder.File("cfg.xml")) { WriteBytes(file, kSample); }

    std::unique_ptr<TVeldarXmlDoc> Loaded() {
        auto doc = std::make_unique<TVeldarXmlDoc>(file, u"Cfg", u"", u"context");
        EXPECT_TRUE(doc->LoadFile()) << Utf16ToUtf8(doc->LastError());
        return doc;
    }

    fake::TTempFolder folder;
    std::u16string file;
};

TEST_F(VeldarXmlDocFilesTest, LoadAndSaveRoundTrip) {
    auto doc = Loaded();
    EXPECT_TRUE(doc->FileLoaded());
    EXPECT_TRUE(doc->XmlOK());
    EXPECT_EQ(doc->ContentBeforeChanges(), kSample);
    EXPECT_FALSE(doc->HasChangedOnDisk());
    EXPECT_TRUE(doc->SaveFile());
    EXPECT_EQ(ReadBytes(file), kSample);

    ASSERT_TRUE(doc->ZNodeAttrSave(nullptr, {u"C", u"@name", u"new"}, cxNone, int32_t{7}, u"v", true));
    EXPECT_TRUE(doc->SaveFile());
    const std::string saved =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Cfg><A x=\"1\"/><B>text</B><C name=\"new\" v=\"7\"/></Cfg>\n";
    EXPECT_EQ(ReadBytes(file), saved);
    EXPECT_EQ(doc->ContentBeforeChanges(), saved);
    EXPECT_EQ(fake::FileCount(folder.Path()), 1); // no temporary file left

    TVeldarXmlDoc again(file, u"Cfg", u"", u"context");
    ASSERT_TRUE(again.LoadFile());
    EXPECT_EQ(again.ZNodeAttr(nullptr, {u"C", u"@name", u"new"}, cxNone, int32_t{0}, u"v"),
              TVeldarVariant(int32_t{7}));
}

// A file whose bytes are not all text in its encoding still loads, with a warning.
TEST_F(VeldarXmlDocFilesTest, LostCharactersBecomeAWarning) {
    WriteBytes(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Cfg><B>caf\xE9</B></Cfg>\n");
    auto doc = Loaded();
    ASSERT_EQ(doc->Warnings().size(), 1u);
    EXPECT_EQ(doc->Warnings()[0],
              u"Characters lost reading the file: some of its bytes are no text in its encoding");
    doc->ClearWarnings();
    WriteBytes(file, kSample);
    ASSERT_TRUE(doc->LoadFile());
    EXPECT_TRUE(doc->Warnings().empty());
}

TEST_F(VeldarXmlDocFilesTest, LoadFailuresLeaveReasons) {
    struct Row {
        std::string_view content; // empty: no file at all
        std::u16string_view error;
    };
    const Row rows[] = {
        {"", u"Unable to load file: \r\nReason: File not found"},
        {"<?xml version=\"1.0\"?><Other/>",
         u"Unable to load file: \r\nReason: Validation failed\r\nInvalid root node found. Root node name is "
         u"\"Other\" but should be \"Cfg\"."},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(Utf16ToUtf8(file));
        if (!row.content.empty())
            WriteBytes(file, row.content);
        TVeldarXmlDoc doc(file, u"Cfg", u"", u"context");
        EXPECT_FALSE(doc.LoadFile());
        EXPECT_FALSE(doc.FileLoaded());
        EXPECT_EQ(doc.LastError(), row.error);
        EXPECT_EQ(RaisedText([&] { doc.SaveFile(); }), u"KX Error: SaveFile not allowed unless LoadFile used first");
    }
    WriteBytes(file, "<Cfg><A></Cfg>\n");
    TVeldarXmlDoc broken(file, u"Cfg", u"", u"context");
    EXPECT_FALSE(broken.LoadFile());
    EXPECT_EQ(broken.LastError().rfind(u"Unable to load file: \r\nReason: ", 0), 0u);
    EXPECT_GT(broken.LastError().size(), std::u16string_view(u"Unable to load file: \r\nReason: ").size());
}

TEST_F(VeldarXmlDocFilesTest, ParentFileOperationsAreRefused) {
    TVeldarXmlDoc doc(file, u"Cfg", u"", u"context");
    EXPECT_EQ(RaisedText([&] { doc.LoadFromFile(file); }),
              u"KX Error: \"LoadFromFile\" cannot be used with class  TVeldarXmlDocument. Use \"LoadFile\" instead.");
    EXPECT_EQ(RaisedText([&] { doc.SaveToFile(file); }),
              u"KX Error: \"SaveToFile\" cannot be used with class  TVeldarXmlDocument. Use \"SaveFile\" instead.");
}

TEST_F(VeldarXmlDocFilesTest, FailedSaveKeepsTheFile) {
    auto doc = Loaded();
    doc->Root()->SetName(u"Wrong");
    EXPECT_FALSE(doc->SaveFile());
    EXPECT_EQ(doc->LastError(), u"Unable to save file: \r\nReason: Validation failed\r\nInvalid root node found. "
                                u"Root node name is \"Wrong\" but should be \"Cfg\".");
    EXPECT_EQ(ReadBytes(file), kSample);

    // The folder goes away: the write fails, nothing is left behind.
    doc->Root()->SetName(u"Cfg");
    const std::string moved = folder.Path() + "/moved";
    const std::filesystem::path sub = std::filesystem::path(folder.Path()) / "sub";
    std::filesystem::create_directory(sub);
    const std::u16string inner = Utf8ToUtf16((sub / "cfg.xml").string());
    WriteBytes(inner, kSample);
    TVeldarXmlDoc innerDoc(inner, u"Cfg", u"", u"context");
    ASSERT_TRUE(innerDoc.LoadFile());
    std::filesystem::rename(sub, moved);
    EXPECT_FALSE(innerDoc.SaveFile());
    EXPECT_EQ(innerDoc.LastError().rfind(u"Unable to save file: \r\nReason: Cannot create file ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(sub));
    EXPECT_EQ(ReadBytes(Utf8ToUtf16(moved + "/cfg.xml")), kSample);
}

TEST_F(VeldarXmlDocFilesTest, UpdateCycleWritesAndGuards) {
    auto doc = Loaded();
    bool reloaded = true;
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    EXPECT_FALSE(reloaded);
    EXPECT_TRUE(doc->UpdateInProgress());
    EXPECT_EQ(RaisedText([&] { doc->BeginUpdate(reloaded); }),
              u"KX Error: Invalid use of BeginUpdate - BeginUpdate has already been called.");
    EXPECT_EQ(RaisedText([&] { doc->LoadFile(); }),
              u"KX Error: Invalid use of LoadFile - because BeginUpdate has been called and EndUpdate or "
              u"CancelUpdate has not.");
    EXPECT_EQ(RaisedText([&] { doc->SaveFile(); }),
              u"KX Error: Invalid use of SaveFile - because BeginUpdate has been called and EndUpdate or "
              u"CancelUpdate has not.");
    EXPECT_TRUE(doc->FileLoaded()); // the refused load changed nothing
    doc->Root()->Nodes(0)->SetAttributeByName(u"x", u"2");
    ASSERT_TRUE(doc->EndUpdate());
    EXPECT_FALSE(doc->UpdateInProgress());
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Cfg><A x=\"2\"/><B>text</B></Cfg>\n";
    EXPECT_EQ(ReadBytes(file), expected);
    EXPECT_EQ(doc->ContentBeforeChanges(), expected);
    EXPECT_EQ(fake::FileCount(folder.Path()), 1);

    EXPECT_EQ(RaisedText([&] { doc->EndUpdate(); }),
              u"KX Error: Invalid use of EndUpdate - BeginUpdate must be called first.");
    EXPECT_EQ(RaisedText([&] { doc->CancelUpdate(); }),
              u"KX Error: Invalid use of CancelUpdate - BeginUpdate must be called first.");

    doc->Root()->Nodes(0)->SetAttributeByName(u"x", u"3");
    EXPECT_EQ(RaisedText([&] { doc->BeginUpdate(reloaded); }),
              u"KX Error: Changes to document content are not allowed before calling BeginUpdate");
}

TEST_F(VeldarXmlDocFilesTest, CancelAndFailedEndReturnToTheSnapshot) {
    auto doc = Loaded();
    bool reloaded = false;
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    ASSERT_NE(doc->ZNode(nullptr, {u"Extra"}, cxNone, true), nullptr);
    doc->CancelUpdate();
    EXPECT_EQ(doc->LastNode(), nullptr); // not left pointing into the discarded tree
    EXPECT_EQ(doc->TUtf8XmlDocument::WriteToString(), kSample);
    EXPECT_FALSE(doc->UpdateInProgress());

    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    doc->Root()->SetName(u"Wrong");
    EXPECT_FALSE(doc->EndUpdate());
    EXPECT_EQ(doc->LastError(), u"Unable to EndUpdate for file: \r\nReason: Validation failed\r\nInvalid root "
                                u"node found. Root node name is \"Wrong\" but should be \"Cfg\".");
    EXPECT_EQ(doc->TUtf8XmlDocument::WriteToString(), kSample);
    EXPECT_EQ(ReadBytes(file), kSample);
    EXPECT_FALSE(doc->UpdateInProgress());
    // The file was released: another update can hold it.
    TVeldarXmlDoc other(file, u"Cfg", u"", u"context");
    ASSERT_TRUE(other.LoadFile());
    EXPECT_TRUE(other.BeginUpdate(reloaded));
    other.CancelUpdate();
}

TEST_F(VeldarXmlDocFilesTest, FailedWriteAtEndUpdateRestoresAndReleases) {
    const std::filesystem::path sub = std::filesystem::path(folder.Path()) / "sub";
    std::filesystem::create_directory(sub);
    const std::u16string inner = Utf8ToUtf16((sub / "cfg.xml").string());
    WriteBytes(inner, kSample);
    TVeldarXmlDoc doc(inner, u"Cfg", u"", u"context");
    ASSERT_TRUE(doc.LoadFile());
    bool reloaded = false;
    ASSERT_TRUE(doc.BeginUpdate(reloaded));
    doc.Root()->NodeNew(u"Extra");
    const std::string moved = folder.Path() + "/moved";
    std::filesystem::rename(sub, moved);
    EXPECT_FALSE(doc.EndUpdate());
    EXPECT_EQ(doc.LastError().rfind(u"Unable to EndUpdate for file: \r\nReason: Cannot create file ", 0), 0u);
    EXPECT_FALSE(doc.UpdateInProgress());
    EXPECT_EQ(doc.TUtf8XmlDocument::WriteToString(), kSample);
    EXPECT_EQ(ReadBytes(Utf8ToUtf16(moved + "/cfg.xml")), kSample);
    int error = 0;
    TSharedFile writer = TSharedFile::Open(Utf8ToUtf16(moved + "/cfg.xml"), faWrite, 0,
                                           TFileDisposition::fdOpenExisting, error);
    EXPECT_TRUE(writer.IsOpen()) << error;
}

// Runs body in a child process and returns its exit status.
template <class TBody>
int InChildProcess(TBody body) {
    const pid_t child = ::fork();
    if (child == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(VeldarXmlDocFilesTest, SecondProcessChangeIsReloadedAtBeginUpdate) {
    auto doc = Loaded();
    // Written at once after our load, usually within the same clock tick.
    const int written = InChildProcess([this] {
        TVeldarXmlDoc other(file, u"Cfg", u"", u"context");
        if (!other.LoadFile())
            return 1;
        other.Root()->Nodes(0)->SetAttributeByName(u"x", u"child");
        return other.SaveFile() ? 0 : 2;
    });
    ASSERT_EQ(written, 0);
    EXPECT_TRUE(doc->HasChangedOnDisk());
    bool reloaded = false;
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    EXPECT_TRUE(reloaded);
    EXPECT_EQ(doc->Root()->Nodes(0)->AttributeByName(u"x"), u"child");
    doc->Root()->Nodes(0)->SetAttributeByName(u"y", u"parent");
    ASSERT_TRUE(doc->EndUpdate());
    EXPECT_EQ(ReadBytes(file),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Cfg><A x=\"child\" y=\"parent\"/><B>text</B></Cfg>\n");
}

TEST_F(VeldarXmlDocFilesTest, HeldFileRefusesOtherWritersButNotReaders) {
    auto doc = Loaded();
    bool reloaded = false;
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    const int outcome = InChildProcess([this] {
        TVeldarXmlDoc other(file, u"Cfg", u"", u"context");
        if (!other.LoadFile())
            return 1; // reading must still work
        bool childReloaded = false;
        if (other.BeginUpdate(childReloaded))
            return 2;
        if (other.LastError().rfind(u"Unable to BeginUpdate file: \r\nReason: ", 0) != 0)
            return 3;
        other.Root()->NodeNew(u"Intruder");
        if (other.SaveFile())
            return 4;
        return other.LastError().rfind(u"Unable to save file: \r\nReason: ", 0) == 0 ? 0 : 5;
    });
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(ReadBytes(file), kSample);
    doc->CancelUpdate();
    const int after = InChildProcess([this] {
        TVeldarXmlDoc other(file, u"Cfg", u"", u"context");
        bool childReloaded = false;
        return other.LoadFile() && other.BeginUpdate(childReloaded) && other.EndUpdate() ? 0 : 1;
    });
    EXPECT_EQ(after, 0);
}

TEST_F(VeldarXmlDocFilesTest, BeginUpdateOnMissingFileFails) {
    TVeldarXmlDoc doc(folder.File("none.xml"), u"Cfg", u"", u"context");
    EXPECT_FALSE(doc.LoadFile());
    bool reloaded = true;
    EXPECT_FALSE(doc.BeginUpdate(reloaded));
    EXPECT_FALSE(reloaded);
    EXPECT_FALSE(doc.UpdateInProgress());
    EXPECT_EQ(doc.LastError().rfind(u"Unable to BeginUpdate file: \r\nReason: ", 0), 0u);
}

TEST_F(VeldarXmlDocFilesTest, DestroyingDuringAnUpdateReleasesTheFile) {
    {
        auto doc = Loaded();
        bool reloaded = false;
        ASSERT_TRUE(doc->BeginUpdate(reloaded));
    }
    int error = 0;
    TSharedFile writer = TSharedFile::Open(file, faWrite, 0, TFileDisposition::fdOpenExisting, error);
    EXPECT_TRUE(writer.IsOpen()) << error;
}

TEST_F(VeldarXmlDocFilesTest, ReportsBeyondThePathLimitFailTheFileWithoutRaising) {
    const std::string name(300, 'N');
    const std::string deep = "<" + name + "><" + name + "><" + name + "><" + name + ">";
    const std::string close = "</" + name + "></" + name + "></" + name + "></" + name + ">";
    WriteBytes(file, "<Cfg>" + deep + "<Extra/>" + close + "</Cfg>");
    TVeldarXmlDoc doc(file, u"Cfg", u"", u"context");
    std::u16string error;
    ASSERT_TRUE(doc.SetXsdSummary(u"<S contextSupported=\"false\" deleteEmptyNodes=\"false\"><Cfg>" +
                                      Utf8ToUtf16(deep + close) + u"</Cfg></S>",
                                  error))
        << Utf16ToUtf8(error);
    EXPECT_FALSE(doc.LoadFile());
    EXPECT_NE(doc.LastError().find(u"Method \"XPathOfNode\" reports: XPathOfNode too long: "), std::u16string::npos);
    EXPECT_EQ(doc.LastError().rfind(u"Unable to load file: \r\nReason: ", 0), 0u);
}

TEST_F(VeldarXmlDocFilesTest, EmptyNodesGoWhenTheSummaryAsksForIt) {
    auto doc = Loaded();
    std::u16string error;
    ASSERT_TRUE(doc->SetXsdSummary(u"", false, true, error)) << Utf16ToUtf8(error);
    doc->Root()->NodeNew(u"Empty");
    EXPECT_TRUE(doc->SaveFile());
    EXPECT_EQ(ReadBytes(file), kSample);
}

} // namespace
} // namespace orvex
