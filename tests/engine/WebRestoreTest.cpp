#include "engine/WebRestore.h"

#include "../base/ChildProcess.h"
#include "RestoreFixture.h"
#include "base/NumberText.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "engine/IIsBinding.h"
#include "engine/WebBackup.h"
#include "platform/MachineCommit.h"
#include "platform/MachineStorage.h"
#include "platform/MetabaseValues.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <thread>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvex {
namespace {

using test::Prop;
using test::TRestoreFixture;
using Lines = std::vector<std::string>;

std::string ListProp(const std::string& id, std::initializer_list<std::string> items) {
    std::string out = "<Property id=\"" + id + "\" type=\"LIST\" value=\"\" Inherit=\"False\">";
    for (const auto& item : items) out += "<Item value=\"" + item + "\"/>";
    return out + "</Property>";
}

std::string SubDir(const std::string& path, const std::string& className, const std::string& inner,
                   const std::string& siteName = "") {
    std::string site = className == "IIsWebServer" ? " siteName=\"" + siteName + "\"" : "";
    return "<SubDir path=\"" + path + "\" className=\"" + className + "\"" + site + ">" + inner + "</SubDir>";
}

std::string Machine(const std::string& name, const std::string& inner) {
    return "<Machine backupName=\"" + name + "\" machineName=\"src\" path=\"w3svc\" className=\"IIsWebService\">" +
           inner + "</Machine>";
}

std::string BackupFile(const std::string& machines) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root><Machines>" + machines + "</Machines></Root>";
}

class WebRestoreTest : public TRestoreFixture {
protected:
    void SetUp() override {
        TRestoreFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});
    }
    TOleVariant Get(std::u16string_view path, std::u16string_view id) {
        return GetIIsObject(u"localhost", path).Call(u"Get", id);
    }
    bool Exists(std::u16string_view path) { return IIsObjectExists(u"localhost", path); }
    void Restore(const test::TMemoryTree& tree) { RestoreMachine(u"localhost", u"IIS6", tree); }
};

TEST_F(WebRestoreTest, TwoCheckedBackupsOnlyWarn) {
    WriteBackupFile(BackupFile(Machine("A", "") + Machine("B", "")));
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Dialogs.Warnings, std::vector<std::u16string>{u"?MsgWarningOk.restoremachinecount"});
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(WebRestoreTest, NoCheckedBackupRestoresNothing) {
    WriteBackupFile(BackupFile(Machine("A", SubDir("9", "IIsWebServer", "", "Nine"))));
    auto tree = TreeOfFile();
    tree->Node(u"A").Check(false, false);
    Restore(*tree);
    EXPECT_EQ(Sink.AllLines(), (Lines{"Check sites......", "Found 0 sites in backup package.",
                                      "Found 2 sites in destination machine.", "  1=Default Web Site", "  2=Intranet",
                                      "Found 0 sites in selected list.", "Check sites finished.", "Restoring......"}));
    EXPECT_FALSE(Exists(u"W3SVC/9"));
}

TEST_F(WebRestoreTest, EachValueTypeReachesTheMetabase) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("9", "IIsWebServer",
                    Prop("ServerComment", "STRING", "Nine &amp; Co") + Prop("LogFileDirectory", "EXPANDSZ", "%windir%\\Logs9") +
                        Prop("SSLCertHash", "BINARY", "1 2 255 ") + Prop("ConnectionTimeout", "INTEGER", "-300") +
                        Prop("ServerAutoStart", "BOOLEAN", "false") +
                        ListProp("ServerBindings", {":81:", "10.0.0.20:82:nine"}) +
                        Prop("IPSecurity", "IPSEC", "GrantByDefault=False;10.1.1.1, 255.255.255.255;"),
                    "Nine"))));
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Red(), Lines{});
    ASSERT_TRUE(Exists(u"W3SVC/9"));
    EXPECT_EQ(Get(u"W3SVC/9", u"ServerComment"), TOleVariant(u"Nine & Co"));
    EXPECT_EQ(Get(u"W3SVC/9", u"LogFileDirectory"), TOleVariant(u"%windir%\\Logs9"));
    EXPECT_EQ(Get(u"W3SVC/9", u"SSLCertHash"), TOleVariant(std::vector<TOleVariant>{int32_t(1), int32_t(2), int32_t(255)}));
    EXPECT_EQ(Get(u"W3SVC/9", u"ConnectionTimeout"), TOleVariant(int32_t(-300)));
    EXPECT_EQ(Get(u"W3SVC/9", u"ServerAutoStart"), TOleVariant(false));
    EXPECT_EQ(Get(u"W3SVC/9", u"ServerBindings"), TextArray({u":81:", u"10.0.0.20:82:nine"}));
    TOleVariant ipsec = Get(u"W3SVC/9", u"IPSecurity");
    EXPECT_EQ(ipsec.Property(u"GrantByDefault"), TOleVariant(false));
    EXPECT_EQ(TextsOfArray(ipsec.Property(u"IPGrant")), std::vector<std::u16string>{u"10.1.1.1, 255.255.255.255"});
    EXPECT_EQ(Restored(clLogGreen), (Lines{"Restore directory: \\Nine", "  Restore property: ServerComment=Nine & Co",
                              "  Restore property: LogFileDirectory=%windir%\\Logs9",
                              "  Restore property: SSLCertHash=1 2 255 ", "  Restore property: ConnectionTimeout=-300",
                              "  Restore property: ServerAutoStart=false", "  Restore property: ServerBindings=",
                              "  Restore property: IPSecurity=GrantByDefault=False;10.1.1.1, 255.255.255.255;"}));
    EXPECT_TRUE(Logged("Restore directory: \\"));
    EXPECT_FALSE(BackupErrorFlag());
}

TEST_F(WebRestoreTest, UnknownTypesAreRefusedOthersPassedOver) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("2", "IIsWebServer",
                    Prop("ServerSize", "integer", "0") + Prop("IPSecurity", "ipsec", "GrantByDefault=True;") +
                        Prop("ServerComment", "", "") + Prop("ConnectionTimeout", "INTEGER", "x") +
                        Prop("ServerAutoStart", "unsupported", "") + Prop("NotAProperty", "STRING", "y") +
                        Prop("Path", "STRING", "C:\\not-for-a-site"),
                    "Intranet"))));
    SetSiteConflictMode(scmOverwrite);
    auto tree = TreeOfFile();
    Restore(*tree);
    const std::string prefix = "Problem in RestoreProperty: path=\\Intranet name=";
    EXPECT_EQ(Red(), (Lines{prefix + "ServerSize type=integer value=0 Error:Unknown property type integer",
                            prefix + "IPSecurity type=ipsec value=GrantByDefault=True; Error:Unknown property type ipsec",
                            prefix + "ServerComment type= value= Error:Unknown property type ",
                            prefix + "ConnectionTimeout type=INTEGER value=x Error:'x' is not a valid integer value"}));
    EXPECT_EQ(Get(u"W3SVC/2", u"ServerSize"), TOleVariant(int32_t(1)));
    EXPECT_EQ(Get(u"W3SVC/2", u"ServerComment"), TOleVariant(u"Intranet"));
    EXPECT_EQ(Get(u"W3SVC/2", u"IPSecurity").Property(u"GrantByDefault"), TOleVariant(false));
    EXPECT_EQ(Restored(clLogGreen), Lines{});
}

TEST_F(WebRestoreTest, SecurePropertyWithoutValueKeepsItsPassword) {
    WriteBackupFile(BackupFile(Machine("B", Prop("AnonymousUserPass", "STRING", "") +
                                                Prop("AnonymousUserName", "STRING", "IUSR_NEW") +
                                                Prop("WAMUserPass", "STRING", "given"))));
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Get(u"W3SVC", u"AnonymousUserPass"), TOleVariant(u"Xq7!vR2p#Lm9"));
    EXPECT_EQ(Get(u"W3SVC", u"AnonymousUserName"), TOleVariant(u"IUSR_NEW"));
    EXPECT_EQ(Get(u"W3SVC", u"WAMUserPass"), TOleVariant(u"given"));  // a value the user typed in is written
    EXPECT_EQ(Black(), Lines{"  Skip secure property: AnonymousUserPass (no value in the backup)"});
    EXPECT_FALSE(BackupErrorFlag());
}

TEST_F(WebRestoreTest, CreatesMissingObjectsAndHintsForAnOrphanDirectory) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("9", "IIsWebServer",
                    Prop("ServerComment", "STRING", "Nine") +
                        SubDir("ROOT", "IIsWebVirtualDir",
                               Prop("Path", "STRING", "C:\\Inetpub\\wwwroot") +
                                   SubDir("pics", "IIsWebDirectory", Prop("AccessFlags", "INTEGER", "1"))),
                    "Nine") +
                 SubDir("8", "IIsWebServer", SubDir("ROOT", "IIsWebVirtualDir", Prop("Path", "STRING", "C:\\x")),
                        "Eight"))));
    auto tree = TreeOfFile();
    // Site 8's own node is taken as there but not to be created: its directory cannot be.
    tree->Node(u"B", u"9/ROOT").Check(true, false, false);
    PlantFaults("localhost", "Create|W3SVC|8|0x80070005\n");
    Restore(*tree);
    EXPECT_TRUE(Exists(u"W3SVC/9/ROOT/pics"));
    EXPECT_EQ(Get(u"W3SVC/9/ROOT/pics", u"AccessFlags"), TOleVariant(int32_t(1)));
    EXPECT_NE(Get(u"W3SVC/9/ROOT", u"Path"), TOleVariant(u"C:\\Inetpub\\wwwroot"));  // its properties were not selected
    EXPECT_EQ(GetIIsObject(u"localhost", u"W3SVC/9/ROOT").Property(u"Class"), TOleVariant(u"IIsWebVirtualDir"));
    EXPECT_FALSE(Exists(u"W3SVC/8"));
    EXPECT_EQ(Red(), Lines{"Call CreateObject error! Path=\\Eight."});
    EXPECT_EQ(Black(), Lines{"Hint: Virtual path cannot be restored unless web site exists. Try restoring the complete "
                             "web site node!"});
    EXPECT_TRUE(Logged("Restore directory: \\Nine\\ROOT\\pics"));
    EXPECT_EQ(Sink.InfoLog.size(), 2u);
}

// Objects of one class whose properties come in other orders, in other cases and
// among ids their class does not support (one that another class supports at the
// same position) restore the machine the file in one order restores.
TEST_F(WebRestoreTest, PropertyOrderAndCaseDoNotChangeWhatIsRestored) {
    auto site = [](const std::string& n, const std::string& inner) {
        return SubDir(n, "IIsWebServer", inner, "Site " + n);
    };
    const std::string comment = Prop("ServerComment", "STRING", "Shared");
    const std::string timeout = Prop("ConnectionTimeout", "INTEGER", "77");
    const std::string start = Prop("ServerAutoStart", "BOOLEAN", "False");
    const std::string bindings = ListProp("ServerBindings", {":91:", ":92:"});
    const std::string root =
        SubDir("ROOT", "IIsWebVirtualDir", Prop("Path", "STRING", "C:\\www") + Prop("AccessFlags", "INTEGER", "513"));
    const std::string all = comment + timeout + start + bindings;
    const std::string ordered = site("9", all + root) + site("10", all) + site("11", all);
    const std::string shuffled =
        site("9", all + root) +
        site("10", Prop("Path", "STRING", "C:\\site") + Prop("SERVERCOMMENT", "STRING", "Shared") + bindings +
                       Prop("NotAProperty", "STRING", "x") + Prop("connectiontimeout", "INTEGER", "77") + start) +
        site("11", ListProp("serverBindings", {":91:", ":92:"}) + start + Prop("Path", "STRING", "C:\\site") + timeout +
                       Prop("servercomment", "STRING", "Shared"));
    auto restore = [&](const std::string& sites) {
        MakeMachine(u"localhost", [](TMachineState&) {});
        WriteBackupFile(BackupFile(Machine("B", sites)));
        auto tree = TreeOfFile();
        Sink.Lines.clear();
        Restore(*tree);
        EXPECT_EQ(Red(), Lines{});
        const size_t written = Restored(clLogGreen).size();
        EXPECT_TRUE(BackupMachine(u"After", u"localhost"));
        auto document = LoadBackupDocument();
        return std::pair(FindMachineElement(MachinesElement(*document), u"After")->WriteToString(), written);
    };
    const auto expected = restore(ordered);
    EXPECT_EQ(restore(shuffled), expected);
    EXPECT_EQ(expected.second, 4u + 4 * 3 + 2);  // the new keys, the sites' properties, ROOT's
}

TEST_F(WebRestoreTest, BindingAddressesAreCheckedButWritten) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("9", "IIsWebServer",
                    ListProp("ServerBindings", {":80:", "10.0.0.5:80:", "10.0.0.20:80:", "127.0.0.1:8080:"}) +
                        ListProp("SecureBindings", {"192.168.10.5:443:"}),
                    "Nine"))));
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Get(u"W3SVC/9", u"ServerBindings"), TextArray({u":80:", u"10.0.0.5:80:", u"10.0.0.20:80:", u"127.0.0.1:8080:"}));
    auto all = Sink.AllLines();
    auto from = std::find(all.begin(), all.end(), "Check IP Bindings......");
    ASSERT_NE(from, all.end());
    EXPECT_EQ(Lines(from, all.end()),
              (Lines{"Check IP Bindings......", "Check ip \"10.0.0.5\"......does not exist!",
                     "Can not find IP\"10.0.0.5\" on your machine. Remember to add it!", "Check IP \"10.0.0.20\"......ok.",
                     "Check IP \"127.0.0.1\"......ok.", "Check IP Bindings finished.",
                     "  Restore property: ServerBindings=", "Check IP Bindings......",
                     "Check IP \"192.168.10.5\"......ok.", "Check IP Bindings finished.",
                     "  Restore property: SecureBindings="}));
    EXPECT_EQ(Red(), Lines{"Check ip \"10.0.0.5\"......does not exist!"});
    EXPECT_TRUE(BackupErrorFlag());
}

TEST_F(WebRestoreTest, SkippedSitesGoByIdentifier) {
    // Two backup sites named like the destination's site 1; only site 1 is that site.
    WriteBackupFile(BackupFile(Machine("B", SubDir("1", "IIsWebServer", Prop("ServerComment", "STRING", "changed"),
                                                   "Default Web Site") +
                                                SubDir("7", "IIsWebServer", Prop("ServerComment", "STRING", "seven"),
                                                       "Default Web Site") +
                                                SubDir("8", "IIsWebServer", Prop("ServerSize", "INTEGER", "2")))));
    SetSiteConflictMode(scmSkip);
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Get(u"W3SVC/1", u"ServerComment"), TOleVariant(u"Default Web Site"));
    EXPECT_EQ(Get(u"W3SVC/7", u"ServerComment"), TOleVariant(u"seven"));
    EXPECT_EQ(Get(u"W3SVC/8", u"ServerSize"), TOleVariant(int32_t(2)));  // nameless, not skipped
    EXPECT_EQ(Black(), Lines{"skip website: Default Web Site"});
}

TEST_F(WebRestoreTest, SiteCheckFailureEndsTheRestoreInRed) {
    WriteBackupFile("<Root><Machines><Machine backupName=\"B\"");
    test::TMemoryTree tree;
    tree.AddBackup(u"B").Check(true, true);
    Restore(tree);
    ASSERT_EQ(Red().size(), 1u);
    EXPECT_EQ(Red()[0].rfind("RestoreMachine: ", 0), 0u);
    EXPECT_FALSE(Logged("Restoring......"));
    EXPECT_TRUE(BackupErrorFlag());
}

TEST_F(WebRestoreTest, FailuresCostOnlyTheirItem) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("2", "IIsWebServer",
                    Prop("ServerComment", "STRING", "renamed") + Prop("ConnectionTimeout", "INTEGER", "77") +
                        SubDir("ROOT", "IIsWebVirtualDir", Prop("Path", "STRING", "D:\\New")),
                    "Intranet"))));
    SetSiteConflictMode(scmOverwrite);
    PlantFaults("localhost", "Put|W3SVC/2|ServerComment|0x80070005\nBind|W3SVC/2/ROOT||0x80070005\n");
    auto tree = TreeOfFile();
    tree->Node(u"B", u"2").Add(u"gone", u"gone", u"IIsWebVirtualDir").Check(true, true);
    Restore(*tree);
    EXPECT_EQ(Get(u"W3SVC/2", u"ConnectionTimeout"), TOleVariant(int32_t(77)));
    // A directory that cannot be bound counts as missing, and creating it again fails.
    EXPECT_EQ(Red(), (Lines{"Problem in RestoreProperty: path=\\Intranet name=ServerComment type=STRING value=renamed "
                            "Error:" + Utf16ToUtf8(OleErrorMessage(hr::E_ACCESSDENIED)),
                            "Call CreateObject error! Path=\\Intranet\\ROOT.",
                            "RestoreDirectory: Path=\\Intranet Error=Can not find path=gone"}));
    EXPECT_EQ(Get(u"W3SVC/2", u"ServerComment"), TOleVariant(u"Intranet"));
}

TEST_F(WebRestoreTest, ServiceExtensionsAreDeletedAndAddedAgain) {
    const std::string asp = "C:\\WINDOWS\\system32\\inetsrv\\asp.dll";
    const std::string mine = "C:\\ext\\mine.dll";
    auto file = [](const std::string& path, const std::string& allow) {
        return SubDir(path, "ServiceExtensions",
                      Prop("AllowDenyFlag", "BOOLEAN", allow) + Prop("DeletableFlag", "BOOLEAN", "True"));
    };
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("Service Extensions", "ServiceExtensions",
                    SubDir("Active Server Pages", "ServiceExtensions",
                           Prop("GroupID", "STRING", "ASP") + file(asp, "False")) +
                        SubDir("Mine", "ServiceExtensions", Prop("GroupID", "STRING", "MINE") + file(mine, "true"))))));
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Restored(clLogGreen), (Lines{"Restore Service Extention: " + asp, "Restore Service Extention: " + mine}));
    auto list = TextsOfArray(Get(u"W3SVC", u"WebSvcExtRestrictionList"));
    EXPECT_NE(std::find(list.begin(), list.end(), Utf8ToUtf16("0," + asp + ",1,ASP,Active Server Pages")), list.end());
    // Only "True" exactly allows.
    EXPECT_NE(std::find(list.begin(), list.end(), Utf8ToUtf16("0," + mine + ",1,MINE,Mine")), list.end());
    EXPECT_EQ(Red(), Lines{});
}

TEST_F(WebRestoreTest, ServiceExtensionFailureIsLogged) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("Service Extensions", "ServiceExtensions",
                    SubDir("Mine", "ServiceExtensions",
                           Prop("GroupID", "STRING", "MINE") +
                               SubDir("C:\\a.dll", "ServiceExtensions",
                                      Prop("AllowDenyFlag", "BOOLEAN", "True") + Prop("DeletableFlag", "BOOLEAN", "True")) +
                               SubDir("C:\\b.dll", "ServiceExtensions",
                                      Prop("AllowDenyFlag", "BOOLEAN", "True") +
                                          Prop("DeletableFlag", "BOOLEAN", "True")))))));
    PlantFaults("localhost", "Call|W3SVC|AddExtensionFile|0x80070005\n");
    auto tree = TreeOfFile();
    Restore(*tree);
    EXPECT_EQ(Restored(clLogGreen), Lines{});
    EXPECT_EQ(Red(), Lines{"RestoreServiceExtensions: Path=\\Service Extensions Error=" +
                           Utf16ToUtf8(OleErrorMessage(hr::FileNotFound))});
}

TEST_F(WebRestoreTest, BindingCheckEndsItsLinesEvenWhenItFails) {
    WriteBackupFile(BackupFile(Machine("B", SubDir("9", "IIsWebServer", Prop("ServerBindings", "STRING", "10.0.0.5:80:"), "Nine"))));
    auto tree = TreeOfFile();
    Restore(*tree);
    auto all = Sink.AllLines();
    auto from = std::find(all.begin(), all.end(), "Check IP Bindings......");
    ASSERT_NE(from, all.end());
    EXPECT_EQ(*(from + 1), "Check IP Bindings finished.");
    EXPECT_EQ(Red(), Lines{"Problem in RestoreProperty: path=\\Nine name=ServerBindings type=STRING value=10.0.0.5:80: "
                           "Error:" + Utf16ToUtf8(OleErrorMessage(hr::TypeMismatch))});
}

TEST_F(WebRestoreTest, SkipLinesAreUsedUpAndApplyToTheTopLevelOnly) {
    WriteBackupFile(BackupFile(Machine(
        "B", SubDir("9", "IIsWebServer", SubDir("9", "IIsWebVirtualDir", Prop("Path", "STRING", "C:\\nine")), "Nine") +
                 SubDir("7", "IIsWebServer", Prop("ServerSize", "INTEGER", "2"), "Seven"))));
    auto document = LoadBackupDocument();
    auto tree = test::BuildRestoreTree(*document);
    std::vector<std::u16string> skip{u"9", u"9", u"x"};
    RestoreDirectory(u"localhost", u"IIS6", *FindMachineElement(MachinesElement(*document), u"B"), &skip,
                     tree->Node(u"B"));
    EXPECT_EQ(skip, (std::vector<std::u16string>{u"9", u"x"}));
    EXPECT_FALSE(Exists(u"W3SVC/9"));
    EXPECT_EQ(Get(u"W3SVC/7", u"ServerSize"), TOleVariant(int32_t(2)));
    skip = {u"9"};
    RestoreDirectory(u"localhost", u"IIS6", *FindSubDirElement(*FindMachineElement(MachinesElement(*document), u"B"), u"9"),
                     nullptr, tree->Node(u"B", u"9"));
    EXPECT_TRUE(Exists(u"W3SVC/9/9"));  // below the top level nothing is skipped
}

// A log sink that runs an action once, at the first line starting with a text.
class TTriggerSink : public test::TMemoryLogSink {
public:
    TTriggerSink(std::u16string start, std::function<void()> action) : FStart(std::move(start)), FAction(std::move(action)) {}
    void AppendLogLine(std::u16string_view text, TColor colour) override {
        TMemoryLogSink::AppendLogLine(text, colour);
        if (FAction && text.starts_with(FStart)) std::exchange(FAction, nullptr)();
    }

private:
    std::u16string FStart;
    std::function<void()> FAction;
};

using test::FilesBelow;

// A failure of the machine's own files ends the restore at once with one red
// line, instead of one per property; nothing is written anywhere else.
TEST_F(WebRestoreTest, TheMachinesOwnFilesFailingEndTheRestore) {
    EnsureBackupFile();
    ASSERT_TRUE(BackupMachine(u"Whole", u"localhost"));  // every property of the default machine
    SetSiteConflictMode(scmOverwrite);
    const std::filesystem::path machines = Folder.File("machines");
    const std::filesystem::path local = machines / "localhost";
    const auto before = FilesBelow(local);
    struct TRow {
        const char* Case;
        std::function<void()> Break;
        std::string Red;
    } rows[] = {
        {"read-only files",
         [&] {
             for (const auto& [name, bytes] : FilesBelow(local))
                 std::filesystem::permissions(local / name, std::filesystem::perms::owner_read);
         },
         "RestoreMachine: Cannot create file \"" + (local / "Sites" / "1.xml").string() + "\". Permission denied"},
        {"folder removed", [&] { std::filesystem::rename(local, machines / "away"); },
         "RestoreMachine: Machine folder \"" + local.string() +
             "\" is missing: it was removed or moved while the program ran"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Case);
        CloseMachines();
        TTriggerSink sink(u"  Restore property: ", row.Break);  // after the first change
        TEngineHostScope scope(&sink, &Dialogs);
        auto tree = TreeOfFile();
        RestoreMachine(u"localhost", u"IIS6", *tree);
        EXPECT_EQ(sink.LinesIn(clLogRed), Lines{row.Red});
        if (std::filesystem::exists(machines / "away")) {
            EXPECT_FALSE(std::filesystem::exists(local));  // not made again
            std::filesystem::rename(machines / "away", local);
        }
        for (const auto& [name, bytes] : FilesBelow(local)) {
            std::filesystem::permissions(local / name, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
            EXPECT_EQ(bytes, before.at(name)) << name;
        }
        EXPECT_EQ(FilesBelow(local).size(), before.size());
    }
}

// A restore into a machine folder of another user is refused before it is read,
// with one line naming it, its owner and the remedy, whether its links lead into
// our machine or not: nothing of ours or theirs is written. Its owner still
// changes it.
TEST_F(WebRestoreTest, ARestoreIntoAnotherUsersMachineIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give a machine folder to another user";
    const std::filesystem::path machines = Folder.File("machines"), local = machines / "localhost",
                                evil = machines / "evil";
    EnsureBackupFile();
    CreateMachine(u"source", BuildLargeMachineState(u"source", 5, 1));
    ASSERT_TRUE(BackupMachine(u"Five", u"source"));
    SetSiteConflictMode(scmOverwrite);
    const auto ours = FilesBelow(local);
    for (const bool linked : {true, false}) {
        SCOPED_TRACE(linked ? "linked into our machine" : "no links");
        std::filesystem::remove_all(evil);
        MakeMachine(u"evil", [](TMachineState&) {});
        if (linked)
            for (const char* name : {"Metabase.xml", "Sites"}) {
                std::filesystem::remove_all(evil / name);
                std::filesystem::create_symlink(std::filesystem::path("../localhost") / name, evil / name);
            }
        ASSERT_TRUE(test::GiveToOtherUser(evil));
        const auto theirs = FilesBelow(evil);
        CloseMachines();
        Sink.Lines.clear();
        RestoreMachine(u"evil", u"IIS6", *TreeOfFile());
        EXPECT_EQ(Red(), Lines{"RestoreMachine: Machine folder \"" + evil.string() + "\" is not read: \"" +
                               evil.string() + "\" belongs to nobody: run Orvex as nobody, or give it to root"});
        EXPECT_EQ(FilesBelow(local), ours);
        EXPECT_EQ(FilesBelow(evil), theirs);
    }
    EXPECT_TRUE(testing::InChild([] {
        CloseMachines();
        if (::setgid(testing::OtherUser()) != 0 || ::setuid(testing::OtherUser()) != 0)
            return false;
        TOleVariant site = GetIIsObject(u"evil", u"W3SVC/1");
        site.Call(u"Put", u"ServerComment", u"Theirs");
        site.Call(u"SetInfo");
        return true;
    }));
}

// The machine folder a restore writes through is the one it checked: "evil", a
// link to "prod" when the restore locks it, swapped for a folder between the lock
// and the check and back once the files are written, is refused, and "prod" keeps
// every byte. Another user's is refused before it is read.
TEST_F(WebRestoreTest, AMachineFolderSwappedBetweenLockAndCheckIsNotWritten) {
    static std::filesystem::path evil, swapped;
    const std::filesystem::path machines = Folder.File("machines"), prod = machines / "prod";
    evil = machines / "evil";
    swapped = machines / "swapped";
    EnsureBackupFile();
    CreateMachine(u"source", BuildLargeMachineState(u"source", 5, 1));
    ASSERT_TRUE(BackupMachine(u"Five", u"source"));
    SetSiteConflictMode(scmOverwrite);
    MakeMachine(u"prod", [](TMachineState&) {});
    const auto before = FilesBelow(prod);
    // Swaps the two names at the step between lock and check, and back at the
    // first file written.
    WatchCommitSteps([](TCommitStep step, size_t count) {
        if (step == TCommitStep::csLocked || (step == TCommitStep::csTemporary && count == 1))
            ::renameat2(AT_FDCWD, evil.c_str(), AT_FDCWD, swapped.c_str(), RENAME_EXCHANGE);
    });
    const bool root = ::geteuid() == 0;
    const struct {
        const char* Case;
        bool Theirs;
        std::string Refusal;
    } rows[] = {
        {"another user's", true,
         "is not read: \"" + evil.string() + "\" belongs to nobody: run Orvex as nobody, or give it to root"},
        {"ours", false, "is not changed: it was moved or replaced while it was locked"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        if (row.Theirs && !root)
            continue;
        for (const auto& path : {evil, swapped})
            std::filesystem::remove_all(path);
        std::filesystem::create_directory_symlink("prod", evil);
        std::filesystem::copy(prod, swapped, std::filesystem::copy_options::recursive);
        if (row.Theirs) {
            ASSERT_TRUE(test::GiveToOtherUser(evil) && test::GiveToOtherUser(swapped));
        }
        CloseMachines();
        Sink.Lines.clear();
        RestoreMachine(u"evil", u"IIS6", *TreeOfFile());
        EXPECT_EQ(Red(), Lines{"RestoreMachine: Machine folder \"" + evil.string() + "\" " + row.Refusal});
        EXPECT_EQ(FilesBelow(prod), before);
    }
    WatchCommitSteps(nullptr);
}

// A restore killed at any moment leaves every machine file old or new: the machine
// loads, each site as one restore or the other left it, and what the earlier,
// finished restore wrote is there.
TEST_F(WebRestoreTest, AKilledRestoreLeavesFilesThatLoad) {
    const int sites = 20;
    const std::filesystem::path local = Folder.File("machines") / "localhost";
    EnsureBackupFile();
    CreateMachine(u"localhost", BuildLargeMachineState(ComputerName(), sites, 2));
    ASSERT_TRUE(BackupMachine(u"Whole", u"localhost"));
    const std::string whole = FileBytes();
    auto version = [&](const std::string& name) {  // every path of the backup under D:\<name>
        std::string bytes = whole;
        for (size_t at = 0; (at = bytes.find("D:\\Sites\\", at)) != std::string::npos; at += name.size())
            bytes.replace(at + 3, 5, name);
        return bytes;
    };
    SetSiteConflictMode(scmOverwrite);
    // A child restores version One, then version Two, saying when each ends, and is
    // killed killAfter into the second restore (never, for the run that times it).
    auto run = [&](std::optional<std::chrono::microseconds> killAfter) {
        CreateMachine(u"localhost", BuildLargeMachineState(ComputerName(), sites, 2));
        int started[2];
        if (::pipe(started) != 0) std::abort();
        const pid_t child = ::fork();
        if (child == 0) {
            for (const char* name : {"One", "Two"}) {
                WriteBackupFile(version(name));
                RestoreMachine(u"localhost", u"IIS6", *TreeOfFile());
                (void)!::write(started[1], "s", 1);
            }
            ::_exit(0);
        }
        char byte = 0;
        (void)!::read(started[0], &byte, 1);
        const auto start = std::chrono::steady_clock::now();
        if (killAfter) {
            std::this_thread::sleep_for(*killAfter);
            ::kill(child, SIGKILL);
        } else {
            (void)!::read(started[0], &byte, 1);
        }
        const auto end = std::chrono::steady_clock::now();
        ::waitpid(child, nullptr, 0);
        ::close(started[0]);
        ::close(started[1]);
        return std::chrono::duration_cast<std::chrono::microseconds>(end - start);
    };
    const auto second = run(std::nullopt);
    // The files are written at the end: most kills fall there.
    for (double at : {0.0, 0.5, 0.8, 0.9, 0.93, 0.96, 0.98, 0.99, 1.0, 1.2}) {
        SCOPED_TRACE(at);
        run(std::chrono::microseconds(static_cast<int64_t>(at * static_cast<double>(second.count()))));
        TMachineState state;
        ASSERT_NO_THROW(state = LoadMachineState(local));
        for (int n = 1; n <= sites; ++n) {
            const TOleVariant* path = state.Metabase->Find(u"W3SVC/" + IntToText(n) + u"/ROOT")->FindValue(u"Path");
            ASSERT_NE(path, nullptr);
            const std::u16string site = u"\\Site" + IntToText(n);
            EXPECT_TRUE(path->AsText() == u"D:\\One" + site || path->AsText() == u"D:\\Two" + site)
                << Utf16ToUtf8(path->AsText());
        }
    }
}

} // namespace
} // namespace orvex
