#include "engine/Collectors.h"

#include "RestoreFixture.h"
#include "engine/BackupDocument.h"
#include "platform/MachineFacts.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::Prop;
using test::TRestoreFixture;
using Texts = std::vector<std::u16string>;

TEST(ExtractPathFromValueTest, FieldHoldingTheFirstDrivePath) {
    struct Row {
        std::u16string Value;
        std::u16string Path;
        int Start, End;
    };
    const Row rows[] = {
        {u"C:\\Inetpub\\wwwroot", u"C:\\Inetpub\\wwwroot", 1, 18},
        {u"1,D:\\web\\logs,x", u"D:\\web\\logs", 3, 13},
        {u".asp,C:\\asp.dll,5,GET", u"C:\\asp.dll", 6, 15},
        {u"404,*,FILE,C:\\e.htm", u"C:\\e.htm", 12, 19},
        {u"x C:\\a,E:\\b", u"x C:\\a", 1, 6},
        {u"C:\\", u"C:\\", 1, 3},
        {u",:\\", u":\\", 2, 3},
        {u"C:/not", u"", 0, 0},
        {u"no drive", u"", 0, 0},
        {u"", u"", 0, 0},
    };
    for (const auto& row : rows) {
        TExtractedPath path = ExtractPathFromValue(row.Value);
        EXPECT_EQ(path.Path, row.Path) << Utf16ToUtf8(row.Value);
        EXPECT_EQ(path.Start, row.Start) << Utf16ToUtf8(row.Value);
        EXPECT_EQ(path.End, row.End) << Utf16ToUtf8(row.Value);
    }
}

const std::string CollectorFixture =
    "<Root><Machines><Machine backupName=\"Other\"/><Machine backupName=\"B\" path=\"w3svc\" className=\"IIsWebService\">" +
    Prop("LogFileDirectory", "STRING", "C:\\nowhere") +
    "<SubDir path=\"1\" className=\"IIsWebServer\" siteName=\"One\">" + Prop("LogFileDirectory", "EXPANDSZ", "C:\\Present") +
    "<Property id=\"ServerBindings\" type=\"LIST\" value=\"\" Inherit=\"False\"><Item value=\":80:\"/><Item "
    "value=\"10.0.0.5:80:\"/><Item value=\"10.0.0.6:443:www\"/><Item value=\"noport\"/></Property>" +
    Prop("SecureBindings", "UNSUPPORTED", "10.9.9.9:443:") +
    "<SubDir path=\"ROOT\" className=\"IIsWebVirtualDir\">" + Prop("Path", "STRING", "C:\\Present\\file.htm") +
    "<SubDir path=\"a\" className=\"IIsWebVirtualDir\"><SubDir path=\"b\" className=\"IIsWebVirtualDir\">" +
    Prop("Path", "STRING", "D:\\missing\\deep") +
    Prop("ServerBindings", "LIST", "") +
    "<Property id=\"ScriptMaps\" type=\"LIST\" value=\"\" Inherit=\"False\"><Item value=\".asp,Q:\\asp.dll,5\"/></Property>"
    "</SubDir></SubDir></SubDir></SubDir>"
    "<SubDir path=\"2\" className=\"IIsWebServer\" siteName=\"Two\">" + Prop("Path", "STRING", "C:\\missing2") +
    Prop("SecureBindings", "LIST", "") + "</SubDir>"
    "<SubDir path=\"AppPools\" className=\"IIsApplicationPools\">" + Prop("Path", "STRING", "C:\\missing3") +
    "<Property id=\"ServerBindings\" type=\"LIST\" value=\"\" Inherit=\"False\"><Item value=\"10.7.7.7:80:\"/></Property>"
    "</SubDir></Machine></Machines></Root>";

class CollectorsTest : public TRestoreFixture {
protected:
    std::unique_ptr<test::TMemoryTree> Tree;
    void SetUp() override {
        TRestoreFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});
        CreateDriveFolder(Folder.File("machines") / "localhost", u"C:\\Present");
        CreateDriveFile(Folder.File("machines") / "localhost", u"C:\\Present\\file.htm");
        WriteBackupFile(CollectorFixture);
        Tree = TreeOfFile();
        Tree->Node(u"Other").Check(false, false);
    }
};

TEST_F(CollectorsTest, NonexistentPathsOfCheckedSites) {
    Texts list{u"kept"};
    GetNonexistPath(list, *Tree, true);
    EXPECT_EQ(list, (Texts{u"kept", u"B/1/ROOT/a/b@@Path=D:\\missing\\deep",
                           u"B/1/ROOT/a/b@@ScriptMaps@@Item=.asp,Q:\\asp.dll,5", u"B/2@@Path=C:\\missing2"}));
    // An unchecked site is never visited, whatever is below it.
    Tree->Node(u"B", u"2").Check(false, false, false);
    Tree->Node(u"B", u"1/ROOT").Check(false, false);
    list.clear();
    GetNonexistPath(list, *Tree, true);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(CollectorsTest, BindingAddressesOfTopLevelNodes) {
    Texts list;
    GetAllIP(list, *Tree, true);
    EXPECT_EQ(list, (Texts{u"B/1@@ServerBindings=10.0.0.5:80:", u"B/1@@ServerBindings=10.0.0.6:443:www",
                           u"B/AppPools@@ServerBindings=10.7.7.7:80:"}));
    Tree->Node(u"B", u"1").Check(false, false, false);
    list.clear();
    GetAllIP(list, *Tree, true);
    EXPECT_EQ(list, Texts{u"B/AppPools@@ServerBindings=10.7.7.7:80:"});
    list.clear();
    GetAllIP(list, *Tree, false);
    EXPECT_EQ(list.size(), 3u);
}

TEST_F(CollectorsTest, NoSelectedBackupCollectsNothing) {
    Tree->Node(u"B").Check(false, false, false);
    Texts list;
    GetNonexistPath(list, *Tree, true);
    GetAllIP(list, *Tree, false);
    EXPECT_TRUE(list.empty());
}

TEST_F(CollectorsTest, FailuresKeepWhatWasGathered) {
    WriteBackupFile("<Root><Machines><Machine backupName=\"B\"><SubDir path=\"1\" className=\"IIsWebServer\">" +
                    Prop("Path", "STRING", "C:\\gone") + "<Odd value=\"C:\\odd\"/>" +
                    Prop("ServerBindings", "LIST", "") + "</SubDir><SubDir path=\"2\" className=\"IIsWebServer\">" +
                    Prop("ServerBindings", "STRING", "1.2.3.4:80:") + "</SubDir></Machine></Machines></Root>");
    Tree = TreeOfFile();
    Texts list;
    GetNonexistPath(list, *Tree, true);
    EXPECT_EQ(list, Texts{u"B/1@@Path=C:\\gone"});
    ASSERT_EQ(Red().size(), 1u);
    EXPECT_EQ(Red()[0], "GetNonexistPath: Unknown type. type=Odd");
    list.clear();
    GetAllIP(list, *Tree, true);
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(Red().size(), 2u);
    EXPECT_EQ(Red()[1].rfind("GetAllIP: ", 0), 0u);
    WriteBackupFile("<Root><Machines>");
    GetAllIP(list, *Tree, true);
    EXPECT_EQ(Red().size(), 3u);
}

// Each site's element is looked up through a map of the machine's children (its
// speed is measured in bench/): the first element of a path is the one found.
TEST_F(CollectorsTest, ManySitesEachFindTheFirstElementOfTheirPath) {
    const int count = 20000;
    std::string sites;
    for (int i = 1; i <= count; ++i) {
        std::string id = std::to_string(i);
        sites += "<SubDir path=\"" + id + "\" className=\"IIsWebServer\" siteName=\"S" + id + "\">" +
                 Prop("ServerBindings", "LIST", "") + "</SubDir>";
    }
    WriteBackupFile("<Root><Machines><Machine backupName=\"B\" path=\"w3svc\" className=\"IIsWebService\">" +
                    sites + "<SubDir path=\"20000\" className=\"IIsWebServer\"><Property id=\"ServerBindings\" "
                            "type=\"LIST\" value=\"\" Inherit=\"False\"><Item value=\"10.0.0.9:80:\"/></Property>"
                            "</SubDir></Machine></Machines></Root>");
    Tree = TreeOfFile();
    // The last site's element is the first of its path, so the duplicate adds nothing.
    Tree->Node(u"B").Add(u"late", u"20000", u"IIsWebServer");
    Texts list;
    GetAllIP(list, *Tree, false);
    EXPECT_TRUE(list.empty());
}

} // namespace
} // namespace orvex
