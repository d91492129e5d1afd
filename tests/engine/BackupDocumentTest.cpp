#include "engine/BackupDocument.h"

#include "../base/ChildProcess.h"
#include "TempFolder.h"
#include "base/Utf.h"
#include "engine/EngineState.h"
#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace orvex {
namespace {

using test::CrLfLines;
using test::ReadBytes;
using test::WriteBytes;

const std::string Skeleton = CrLfLines({
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
    "<Root>",
    "  <Machines/>",
    "</Root>",
});

class BackupDocumentTest : public ::testing::Test {
protected:
    test::TTempFolder Folder;
    std::filesystem::path File = Folder.File("Metabase.xml");

    void SetUp() override {
        SetBackupFileName(Folder.File16("Metabase.xml"));
        ResetCachedBackupDocument();
    }
    void TearDown() override {
        ResetCachedBackupDocument();
        SetBackupFileName(u"");
    }
};

TEST_F(BackupDocumentTest, EnsureBackupFileWritesTheSkeleton) {
    EnsureBackupFile();
    EXPECT_EQ(ReadBytes(File), Skeleton);
}

TEST_F(BackupDocumentTest, EnsureBackupFileLeavesAnyExistingFile) {
    for (std::string content : {std::string(), std::string("<Root><Machines>"), std::string("not xml at all")}) {
        WriteBytes(File, content);
        EnsureBackupFile();
        EXPECT_EQ(ReadBytes(File), content);
    }
}

TEST_F(BackupDocumentTest, NonAsciiFileName) {
    SetBackupFileName(Folder.File16("M\xC3\xA9tabase \xE4\xB8\xAD.xml"));
    EnsureBackupFile();
    std::filesystem::path file = Folder.File("M\xC3\xA9tabase \xE4\xB8\xAD.xml");
    EXPECT_EQ(ReadBytes(file), Skeleton);
    WriteBytes(file, "kept");
    EnsureBackupFile();
    EXPECT_EQ(ReadBytes(file), "kept");
}

TEST_F(BackupDocumentTest, EnsureBackupFileInMissingFolderRaisesAndLeavesNothing) {
    SetBackupFileName(Folder.File16("no/such/folder/Metabase.xml"));
    EXPECT_THROW(EnsureBackupFile(), std::exception);
    EXPECT_FALSE(std::filesystem::exists(Folder.File("no")));
}

// A backup file that outgrows the memory left is named, never just that memory
// ran out.
TEST_F(BackupDocumentTest, AFileBeyondTheMemoryLeftIsNamed) {
    WriteBytes(File, "<Root><Machines/><!--" + std::string(64 << 20, 'x') + "--></Root>");
    EXPECT_TRUE(testing::InChild([&] {
        if (!testing::LimitMemoryToRoomFor(96 << 20))
            return true;
        try {
            LoadBackupDocument();
        } catch (const EStreamError& e) {
            return e.what() == "Cannot read file \"" + File.string() + "\": there is not enough memory to read it";
        }
        return false;
    }));
}

TEST_F(BackupDocumentTest, SavedDocumentRoundTripsByteForByte) {
    EnsureBackupFile();
    auto document = LoadBackupDocument();
    TWideXmlNode& machines = MachinesElement(*document);
    TWideXmlNode* machine = machines.NodeNew(u"Machine");
    machine->AttributeAdd(u"backupName", u"A \"quoted\" & <odd> 'name' \u00e9");
    AppendSubDirElement(*machine, u"1", u"IIsWebServer");
    SaveBackupDocument(*document);
    std::string saved = ReadBytes(File);
    EXPECT_EQ(saved, CrLfLines({
                         R"(<?xml version="1.0" encoding="UTF-8"?>)",
                         "<Root>",
                         "  <Machines>",
                         "    <Machine backupName=\"A &quot;quoted&quot; &amp; &lt;odd&gt; &apos;name&apos; \xC3\xA9\">",
                         R"(      <SubDir path="1" className="IIsWebServer"/>)",
                         "    </Machine>",
                         "  </Machines>",
                         "</Root>",
                     }));
    auto again = LoadBackupDocument();
    SaveBackupDocument(*again);
    EXPECT_EQ(ReadBytes(File), saved);
    TWideXmlNode* found = FindMachineElement(MachinesElement(*again), u"a \"QUOTED\" & <odd> 'name' \u00c9");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->AttributeByName(u"backupName"), u"A \"quoted\" & <odd> 'name' \u00e9");
    EXPECT_EQ(FindMachineElement(MachinesElement(*again), u"other"), nullptr);
}

TEST_F(BackupDocumentTest, MissingMachinesElementRaises) {
    WriteBytes(File, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root/>\r\n");
    auto document = LoadBackupDocument();
    try {
        MachinesElement(*document);
        FAIL();
    } catch (const EXmlError& e) {
        EXPECT_STREQ(e.what(), "The backup file has no Machines element");
    }
    WriteBytes(File, "<Config><Machines/></Config>");
    document = LoadBackupDocument();
    EXPECT_THROW(
        {
            try {
                MachinesElement(*document);
            } catch (const EXmlError& e) {
                EXPECT_STREQ(e.what(), "The backup file's root element is Config, not Root");
                throw;
            }
        },
        EXmlError);
}

TEST_F(BackupDocumentTest, FindSubDirLooksAtDirectChildrenOnly) {
    auto document = NewBackupDocument();
    TWideXmlNode* root = document->Root();
    root->SetName(u"Machine");
    TWideXmlNode& site = AppendSubDirElement(*root, u"1", u"IIsWebServer");
    TWideXmlNode& deep = AppendSubDirElement(site, u"Service Extensions", u"ServiceExtensions");
    EXPECT_EQ(FindSubDirElement(*root, u"service extensions"), nullptr);
    EXPECT_EQ(FindSubDirElement(site, u"SERVICE EXTENSIONS", u"serviceextensions"), &deep);
    EXPECT_EQ(FindSubDirElement(site, u"Service Extensions", u"Pop3Svc"), nullptr);
    EXPECT_EQ(FindSubDirElement(*root, u"1"), &site);
}

TEST(SubDirMapTest, FirstDirectSubDirOfEachPathIgnoringCase) {
    TWideXmlDocument document(u"Machine");
    TWideXmlNode* root = document.Root();
    auto add = [](TWideXmlNode& parent, std::u16string_view name, std::u16string_view path) {
        TWideXmlNode* child = parent.NodeNew(name);
        child->AttributeAdd(u"path", path);
        return child;
    };
    TWideXmlNode* first = add(*root, u"SubDir", u"Straße");
    add(*root, u"SubDir", u"STRASSE");  // not a simple fold of the first
    TWideXmlNode* upper = root->Nodes(1);
    add(*root, u"subdir", u"straße");   // a later duplicate
    add(*root, u"Property", u"prop");
    TWideXmlNode* nested = add(*first, u"SubDir", u"inner");
    const TSubDirMap map = SubDirsOf(*root);
    const std::pair<std::u16string, TWideXmlNode*> rows[] = {
        {u"STRAßE", first}, {u"strasse", upper}, {u"prop", nullptr}, {u"inner", nullptr}, {u"", nullptr},
    };
    for (const auto& [path, expected] : rows) {
        EXPECT_EQ(FindSubDir(map, path), expected) << Utf16ToUtf8(path);
        EXPECT_EQ(FindSubDirElement(*root, path), expected) << Utf16ToUtf8(path);
    }
    EXPECT_EQ(FindSubDir(SubDirsOf(*first), u"INNER"), nested);
}

TEST_F(BackupDocumentTest, CachedDocumentFollowsTheFile) {
    EXPECT_EQ(GetCachedBackupDocument(), nullptr);
    EnsureBackupFile();
    TWideXmlDocument* cached = GetCachedBackupDocument();
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(GetCachedBackupDocument(), cached);
    EXPECT_EQ(MachinesElement(*cached).NodeCount(), 0);

    auto document = LoadBackupDocument();
    MachinesElement(*document).NodeNew(u"Machine");
    SaveBackupDocument(*document);  // resets the cache
    EXPECT_EQ(MachinesElement(*GetCachedBackupDocument()).NodeCount(), 1);

    std::filesystem::remove(File);
    LoadCachedBackupDocument();
    EXPECT_EQ(GetCachedBackupDocument(), nullptr);
}

TEST_F(BackupDocumentTest, CachedCopiesAreKeyedByTheirFile) {
    // Three files, each a backup of the same name whose number of sites tells them apart.
    auto write = [&](const std::string& name, int sites) {
        std::string text = "<Root><Machines><Machine backupName=\"Same\">";
        for (int i = 0; i < sites; ++i) text += "<SubDir path=\"" + std::to_string(i + 1) + "\"/>";
        WriteBytes(Folder.File(name), text + "</Machine></Machines></Root>");
        return Folder.File16(name);
    };
    auto sites = [](TWideXmlDocument* document) {
        return document ? FindMachineElement(MachinesElement(*document), u"Same")->NodeCount() : -1;
    };
    const std::u16string a = write("A.xml", 1), b = write("B.xml", 2), c = write("C.xml", 3);
    SetBackupFileName(b);
    EXPECT_EQ(sites(GetCachedBackupDocument(a)), 1);
    EXPECT_EQ(sites(GetCachedBackupDocument()), 2);  // BackupFileName's
    TWideXmlDocument* copyOfA = GetCachedBackupDocument(a);
    EXPECT_EQ(sites(copyOfA), 1);

    write("B.xml", 4);  // another size: read again
    EXPECT_EQ(sites(GetCachedBackupDocument(b)), 4);
    EXPECT_EQ(GetCachedBackupDocument(a), copyOfA);
    // The copies of the two files used last are kept: A and C now.
    EXPECT_EQ(sites(GetCachedBackupDocument(c)), 3);
    EXPECT_EQ(GetCachedBackupDocument(a), copyOfA);

    // Our own save forgets the copy of the file it wrote, whatever its stamp.
    SetBackupFileName(a);
    auto document = LoadBackupDocument(c);
    SaveBackupDocument(*document);
    EXPECT_EQ(sites(GetCachedBackupDocument(a)), 3);
    std::filesystem::remove(Folder.File("C.xml"));
    EXPECT_EQ(GetCachedBackupDocument(c), nullptr);
    EXPECT_EQ(GetCachedBackupDocument(u""), nullptr);
}

TEST_F(BackupDocumentTest, FailedSaveLeavesTheFileAsItWas) {
    EnsureBackupFile();
    auto document = LoadBackupDocument();
    MachinesElement(*document).NodeNew(u"Machine");
    std::filesystem::permissions(Folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    bool writable = ::access(Folder.Path().c_str(), W_OK) == 0;  // root may write anyway
    if (!writable) {
        EXPECT_THROW(SaveBackupDocument(*document), std::exception);
    }
    std::filesystem::permissions(Folder.Path(), std::filesystem::perms::owner_all);
    if (!writable) {
        EXPECT_EQ(ReadBytes(File), Skeleton);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder.Path()), {}), 1);
    }
}

} // namespace
} // namespace orvex
