#include "engine/WebBackup.h"

#include "BackupFixture.h"
#include "base/CaseFold.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "platform/OleVariant.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <map>

namespace orvex {
namespace {

using test::TBackupFixture;

std::string Ole(int32_t code) { return Utf16ToUtf8(OleErrorMessage(code)); }

void SetMajorVersion(TMachineState& state, std::optional<TOleVariant> value) {
    auto& registry = state.Facts.Registry;
    std::erase_if(registry, [](const TRegistryValue& v) { return v.Name == u"MajorVersion"; });
    if (value) registry.push_back({u"Software\\Microsoft\\InetStp", u"MajorVersion", *value});
}

class WebBackupTest : public TBackupFixture {
protected:
    void SetUp() override {
        TBackupFixture::SetUp();
        EnsureBackupFile();
    }

    // The part of the file from the line holding start to the line holding end.
    std::string Block(const std::string& start, const std::string& end) {
        std::string bytes = FileBytes();
        size_t from = bytes.rfind('\n', bytes.find(start)) + 1;
        size_t to = bytes.find("\r\n", bytes.find(end, from)) + 2;
        return bytes.substr(from, to - from);
    }

    std::unique_ptr<TWideXmlDocument> Reload() { return LoadBackupDocument(); }
    TWideXmlNode* Machine(TWideXmlDocument& document, std::u16string_view name) {
        return FindMachineElement(MachinesElement(document), name);
    }
    std::vector<std::string> RedLines() const { return Sink.LinesIn(clLogRed); }
};

TEST_F(WebBackupTest, DefaultMachineBacksUpCleanly) {
    EXPECT_TRUE(BackupMachine(u"WEBSRV1Sites", u"localhost"));
    EXPECT_FALSE(BackupErrorFlag());
    EXPECT_TRUE(Sink.InfoLog.empty());
    // The certificate warning is red but neither an error nor a log-file line.
    EXPECT_EQ(RedLines(), (std::vector<std::string>{"Warning: You should backup your certificate file manually!",
                                                    "Path=\\Intranet\\SecureBindings"}));
    EXPECT_TRUE(Sink.LinesIn(clLogBlack).empty());
    auto lines = Sink.AllLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Process Sub Directory: Path=\\");
    EXPECT_EQ(lines.back(), "Process Service Extensions...");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Process Sub Directory: Path=\\Default Web Site\\ROOT\\images"),
              lines.end());

    std::string bytes = FileBytes();
    EXPECT_EQ(bytes.find("Xq7!vR2p#Lm9"), std::string::npos);  // secret values stay out
    EXPECT_EQ(bytes.find("Pool#Secret1"), std::string::npos);
    EXPECT_NE(bytes.find(R"(<Property id="AnonymousUserPass" type="STRING" value="" Inherit="False"/>)"), std::string::npos);
    EXPECT_NE(bytes.find(R"(<SubDir path="1" className="IIsWebServer" siteName="Default Web Site">)"), std::string::npos);
    EXPECT_NE(bytes.find(R"(<Property id="WAMUserName" type="UNSUPPORTED" value="" Inherit="True"/>)"), std::string::npos);
    EXPECT_EQ(bytes.find(R"(type="STRING" value="" Inherit="True")"), std::string::npos);

    // The POP3 subtree and the service extensions, as they stand at the end of the file.
    EXPECT_EQ(Block("<SubDir path=\"Pop3 Service\"", "</Machine>"),
              test::ReadBytes(std::filesystem::path(ORVEX_TEST_DATA) / "engine" / "DefaultMachinePop3AndExtensions.xml"));

    // The saved file reads back and writes out unchanged.
    auto document = Reload();
    SaveBackupDocument(*document);
    EXPECT_EQ(FileBytes(), bytes);
}

TEST_F(WebBackupTest, ReplacingAnExistingBackup) {
    ASSERT_TRUE(BackupMachine(u"First", u""));
    ASSERT_TRUE(BackupMachine(u"Second", u""));
    std::string before = FileBytes();

    // No: the file stays byte for byte.
    Host.Answer = false;
    EXPECT_FALSE(BackupMachine(u"FIRST", u"localhost"));
    EXPECT_EQ(FileBytes(), before);
    ASSERT_EQ(Host.Questions.size(), 1u);
    EXPECT_EQ(Host.Questions[0],
              u"A backup named FIRST already exists. Are you sure you want to overwrite it?\r\n\r\nYes or No?");

    // Yes: the old element goes, the new one is last.
    Host.Answer = true;
    EXPECT_TRUE(BackupMachine(u"FIRST", u"localhost"));
    EXPECT_EQ(Host.Questions.size(), 2u);
    auto document = Reload();
    TWideXmlNode& machines = MachinesElement(*document);
    ASSERT_EQ(machines.NodeCount(), 2);
    EXPECT_EQ(machines.Nodes(0)->AttributeByName(u"backupName"), u"Second");
    EXPECT_EQ(machines.Nodes(1)->AttributeByName(u"backupName"), u"FIRST");
    EXPECT_EQ(machines.Nodes(1)->AttributeByName(u"machineName"), u"localhost");

    // "/o": replaced without a question.
    Host.Answer = false;
    Host.Switches = {u"/o"};
    EXPECT_TRUE(BackupMachine(u"second", u""));
    EXPECT_EQ(Host.Questions.size(), 2u);
    document = Reload();
    TWideXmlNode& again = MachinesElement(*document);
    ASSERT_EQ(again.NodeCount(), 2);
    EXPECT_EQ(again.Nodes(0)->AttributeByName(u"backupName"), u"FIRST");
    EXPECT_EQ(again.Nodes(1)->AttributeByName(u"backupName"), u"second");
    EXPECT_FALSE(BackupErrorFlag());
}

TEST_F(WebBackupTest, UnreadableFilesAreLeftAsTheyWere) {
    struct Row {
        std::string Content;
        bool Exists;
    };
    const Row rows[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root/>\r\n", true},          // no Machines element
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root>\r\n  <Machines>", true},  // truncated
        {"<Root><Machines></Root>", true},                                           // malformed
        {"<Config>\r\n  <Machines/>\r\n</Config>\r\n", true},                            // another kind of file
        {"", true},
        {"", false},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(File);
        if (row.Exists) test::WriteBytes(File, row.Content);
        InitLog();
        Sink.InfoLog.clear();
        EXPECT_FALSE(BackupMachine(u"B", u"localhost")) << row.Content;
        EXPECT_TRUE(BackupErrorFlag());
        auto red = RedLines();
        ASSERT_EQ(red.size(), 1u) << row.Content;
        EXPECT_EQ(red[0].rfind("XML problem; ", 0), 0u) << red[0];
        ASSERT_EQ(Sink.InfoLog.size(), 1u);
        EXPECT_EQ(Utf16ToUtf8(Sink.InfoLog[0]), "EXCEPTION during backup of web1: " + red[0]);
        EXPECT_EQ(std::filesystem::exists(File), row.Exists);
        if (row.Exists) {
            EXPECT_EQ(FileBytes(), row.Content);
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder.Path()), {}), row.Exists ? 2 : 1);
    }
}

TEST_F(WebBackupTest, FileKeepsItsEncoding) {
    std::u16string skeleton = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Root>\r\n  <Machines/>\r\n</Root>\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : skeleton) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    test::WriteBytes(File, bytes);
    MakeMachine(u"localhost", [](TMachineState& state) { state.Metabase.reset(); });
    EXPECT_TRUE(BackupMachine(u"B", u""));
    std::string saved = FileBytes();
    EXPECT_EQ(saved.substr(0, 4), std::string("\xFF\xFE<\0", 4));
    auto document = Reload();
    EXPECT_NE(Machine(*document, u"B"), nullptr);
}

TEST_F(WebBackupTest, UnsupportedEncodingLeavesTheFile) {
    std::u16string skeleton = u"<?xml version=\"1.0\" encoding=\"UCS-4\"?>\r\n<Root>\r\n  <Machines/>\r\n</Root>\r\n";
    std::string bytes("\xFF\xFE\0\0", 4);
    for (char16_t c : skeleton) bytes += {static_cast<char>(c), '\0', '\0', '\0'};
    test::WriteBytes(File, bytes);
    EXPECT_FALSE(BackupMachine(u"B", u""));
    EXPECT_EQ(FileBytes(), bytes);
    EXPECT_EQ(RedLines(), std::vector<std::string>{"XML problem; Unsupported string encoding"});
    EXPECT_TRUE(BackupErrorFlag());
}

TEST_F(WebBackupTest, UnreadablePropertyAttributesAreSkippedSilently) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    PlantFaults("localhost", "Call|W3SVC/1|GetPropertyAttribObj|0x80004005\n");
    EXPECT_TRUE(BackupMachine(u"B", u""));
    auto document = Reload();
    TWideXmlNode* site = FindSubDirElement(*Machine(*document, u"B"), u"1");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->NodeIndexByName(u"Property"), -1);
    EXPECT_NE(FindSubDirElement(*site, u"ROOT"), nullptr);
    EXPECT_EQ(RedLines().size(), 2u);  // only the certificate warning of site 2
    EXPECT_FALSE(BackupErrorFlag());
}

TEST_F(WebBackupTest, MissingMachinesElementIsNamed) {
    test::WriteBytes(File, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root/>\r\n");
    EXPECT_FALSE(BackupMachine(u"B", u""));
    EXPECT_EQ(RedLines(), std::vector<std::string>{"XML problem; The backup file has no Machines element"});
}

TEST_F(WebBackupTest, ReadOnlyFolderLeavesTheFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    std::string before = FileBytes();
    std::filesystem::permissions(Folder.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    bool result = BackupMachine(u"B", u"");
    std::filesystem::permissions(Folder.Path(), std::filesystem::perms::owner_all);
    EXPECT_FALSE(result);
    EXPECT_EQ(FileBytes(), before);
    ASSERT_EQ(RedLines().size(), 3u);  // the two certificate lines, then the failure
    EXPECT_EQ(RedLines()[2].rfind("XML problem; ", 0), 0u);
}

// A backup that cannot read the web service never takes the place of a good
// backup of the same name, with "/o" or after a Yes: the old one stays byte for
// byte. A new name still gets its (empty) backup.
TEST_F(WebBackupTest, AnUnreadableMachineNeverReplacesAGoodBackup) {
    MakeMachine(u"WEB2", [](TMachineState&) {});
    struct TRow {
        const char* Case;
        std::u16string Machine;
        std::function<void(const std::filesystem::path& machines)> Break;
    } rows[] = {
        {"damaged machine", u"WEB2",
         [](const std::filesystem::path& m) { test::WriteBytes(m / "WEB2" / "Metabase.xml", "<Metabase>"); }},
        {"mistyped name", u"WEB3", [](const std::filesystem::path&) {}},
        {"no IIS 6 metabase", u"WEB2",
         [](const std::filesystem::path& m) { std::filesystem::remove(m / "WEB2" / "Metabase.xml"); }},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Case);
        MakeMachine(u"WEB2", [](TMachineState&) {});
        test::WriteBytes(File, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root><Machines/></Root>\r\n");
        ASSERT_TRUE(BackupMachine(u"Nightly", u"WEB2"));
        const std::string good = FileBytes();
        row.Break(Folder.File("machines"));
        CloseMachines();
        const std::string kept = "BackupMachine: the web service of machine \"" + Utf16ToUtf8(row.Machine) +
                                 "\" could not be read; the backup \"Nightly\" in the file is kept as it was";
        for (bool overwriteSwitch : {true, false}) {
            Sink.Lines.clear();
            Host.Switches = overwriteSwitch ? std::vector<std::u16string>{u"/o"} : std::vector<std::u16string>{};
            Host.Answer = true;
            EXPECT_FALSE(BackupMachine(u"nightly", row.Machine));
            EXPECT_EQ(FileBytes(), good);
            ASSERT_FALSE(RedLines().empty());
            EXPECT_EQ(RedLines().back(), kept);
        }
        EXPECT_TRUE(BackupMachine(u"Fresh", row.Machine));
        auto document = Reload();
        ASSERT_NE(Machine(*document, u"Fresh"), nullptr);
        EXPECT_EQ(FindSubDirElement(*Machine(*document, u"Fresh"), u"1"), nullptr);
        EXPECT_NE(FindSubDirElement(*Machine(*document, u"Nightly"), u"1"), nullptr);
    }
}

// A backup file without write permission is not replaced: the backup is refused
// before the machine is read, with the library's own text, and leaves the file,
// mode and all.
TEST_F(WebBackupTest, ReadOnlyBackupFileIsNotReplaced) {
    const std::string before = FileBytes();
    std::filesystem::permissions(File, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    EXPECT_FALSE(BackupMachine(u"B", u""));
    EXPECT_EQ(RedLines().back(),
              "BackupMachine: Cannot create file \"" + File.string() + "\". Permission denied; nothing was backed up");
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(std::filesystem::status(File).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::group_read | std::filesystem::perms::others_read);
}

// What the metabase holds but an XML file cannot (control characters, a lone
// surrogate) never reaches the file: the item is left out with a red line, and
// the file stays readable by any XML reader. TAB and line breaks stay.
TEST_F(WebBackupTest, TextsTheFileCannotHoldAreLeftOut) {
    MakeMachine(u"localhost", [](TMachineState& state) {
        TMetaObject& site = *state.Metabase->Find(u"W3SVC/1");
        site.SetValue(u"ServerComment", std::u16string(u"Bell\u0007Site"));
        site.SetValue(u"DefaultLogonDomain", std::u16string(u"tab\tand\r\nbreak"));
        site.SetValue(u"HttpCustomHeaders", TextArray({u"ok", std::u16string(u"half ") + char16_t(0xD83D)}));
        site.AddChild(u"bad\u0001key", u"IIsWebDirectory");
    });
    EXPECT_TRUE(BackupMachine(u"B", u""));
    const std::string bytes = FileBytes();
    for (unsigned char c : bytes) EXPECT_TRUE(c >= 0x20 || c == '\t' || c == '\r' || c == '\n') << int(c);
    EXPECT_EQ(bytes.find("\xED\xA0\xBD"), std::string::npos);  // the half of a surrogate pair
    EXPECT_NE(bytes.find("value=\"tab\tand\r\nbreak\""), std::string::npos);
    auto document = Reload();
    TWideXmlNode* site = FindSubDirElement(*Machine(*document, u"B"), u"1");
    ASSERT_NE(site, nullptr);
    EXPECT_FALSE(site->HasAttribute(u"siteName"));
    const std::string holds = " holds the character ";
    const std::string tail = ", which cannot be written to the backup file";
    auto red = RedLines();
    for (const std::string& line : std::vector<std::string>{
             "Call Get ServerComment error! Path=w3svc/1; errortext=The comment" + holds + "U+0007 at position 5" + tail,
             "Call WriteData error! Path=\\ PropertyName=ServerComment PropertyType=String",
             "Call WriteData error! Path=\\ PropertyName=HttpCustomHeaders PropertyType=List",
             "Path=w3svc/1; errortext=The name bad\u0001key" + holds + "U+0001 at position 4" + tail})
        EXPECT_NE(std::find(red.begin(), red.end(), line), red.end()) << line;
}

// A machine of many sites is read on several threads; the file and the log are
// what one thread makes, failures included. A planted fault that never fires keeps
// the walk on one thread.
TEST_F(WebBackupTest, ManySitesReadOnThreadsAsOnOne) {
    TMachineState state = BuildLargeMachineState(ComputerName(), 70, 2);
    TMetabase& metabase = *state.Metabase;
    metabase.Find(u"W3SVC/5")->SetValue(u"ServerComment", std::u16string(u"Bell\u0007Site"));
    metabase.Find(u"W3SVC/20/ROOT")->AddChild(u"bad\u0001key", u"IIsWebDirectory");
    metabase.Find(u"W3SVC/40/ROOT/dir1")
        ->SetValue(u"HttpCustomHeaders", TextArray({std::u16string(1, char16_t(0xD800))}));
    metabase.Find(u"W3SVC/69")->SetValue(u"SecureBindings", TextArray({u"10.0.0.1:443:"}));
    metabase.Find(u"W3SVC/69")->SetValue(u"SSLStoreName", std::u16string(u"MY"));
    CreateMachine(u"localhost", state);
    struct TRun {
        std::string File;
        std::vector<std::pair<std::u16string, TColor>> Lines;
        std::vector<std::u16string> InfoLog;
        bool Errors;
    };
    auto run = [&](const char* fileName) {
        SetBackupFileName(Folder.File16(fileName));
        EnsureBackupFile();
        InitLog();
        Sink.InfoLog.clear();
        EXPECT_TRUE(BackupMachine(u"Big", u""));
        TRun result{test::ReadBytes(Folder.File(fileName)), {}, Sink.InfoLog, BackupErrorFlag()};
        for (const auto& line : Sink.Lines)
            result.Lines.emplace_back(line.Text, line.Colour);
        return result;
    };
    const TRun threads = run("Threads.xml");
    PlantFaults("localhost", "Get|W3SVC/9999|ServerComment|0x80070005\n");
    const TRun one = run("One.xml");
    EXPECT_EQ(threads.File, one.File);
    EXPECT_EQ(threads.Lines, one.Lines);
    EXPECT_EQ(threads.InfoLog, one.InfoLog);
    EXPECT_TRUE(threads.Errors && one.Errors);
    EXPECT_EQ(threads.InfoLog.size(), 4u);
    EXPECT_NE(threads.File.find("siteName=\"Site 70\""), std::string::npos);
    EXPECT_NE(threads.File.find("path=\"dir2\""), threads.File.rfind("path=\"dir2\""));
}

// A key backed up into an element that already held properties updates the first
// element of each id, in whatever case, in place and appends the others: each id
// then reads as in a fresh element, and none is there twice.
TEST_F(WebBackupTest, BackupIntoAnElementThatHeldPropertiesUpdatesThemInPlace) {
    auto document = NewBackupDocument();
    TWideXmlNode& fresh = *document->Root()->NodeNew(u"SubDir");
    TWideXmlNode& held = *document->Root()->NodeNew(u"SubDir");
    for (std::u16string id : {u"serverbindings", u"SERVERCOMMENT", u"ServerComment", u"NotAProperty"}) {
        TWideXmlNode& element = *held.NodeNew(u"Property");
        element.AttributeAdd(u"id", id);
        element.AttributeAdd(u"type", u"LIST");
        element.AttributeAdd(u"value", u"old");
        element.NodeNew(u"Item")->AttributeAdd(u"value", u"old item");
    }
    ASSERT_TRUE(BackupDirectory(u"localhost", u"W3SVC/1", fresh, false));
    ASSERT_TRUE(BackupDirectory(u"localhost", u"W3SVC/1", held, false));
    // The first element of each id or path (ignoring case), all of it but its id.
    auto firsts = [](const TWideXmlNode& node) {
        std::map<std::u16string, std::u16string> contents;
        for (int i = 0; i < node.NodeCount(); ++i) {
            const TWideXmlNode& e = *node.Nodes(i);
            std::u16string text = e.Name() + u"|" + e.AttributeByName(u"type") + u"|" + e.AttributeByName(u"value") +
                                  u"|" + e.AttributeByName(u"Inherit");
            for (int j = 0; j < e.NodeCount(); ++j) text += u"|" + e.Nodes(j)->AttributeByName(u"value");
            contents.try_emplace(CaseFoldedKey(e.AttributeByName(u"id") + e.AttributeByName(u"path")), text);
        }
        return contents;
    };
    auto expected = firsts(fresh), got = firsts(held);
    EXPECT_EQ(got.erase(u"notaproperty"), 1u);
    EXPECT_EQ(got, expected);
    EXPECT_GT(expected.size(), 20u);
    EXPECT_EQ(held.NodeCount(), fresh.NodeCount() + 2);
    EXPECT_EQ(held.Nodes(1)->AttributeByName(u"value"), u"Default Web Site");
    EXPECT_EQ(held.Nodes(2)->NodeCount(), 1);  // the second of its id stays as it was
}

TEST_F(WebBackupTest, MachineWithoutIis6Provider) {
    MakeMachine(u"localhost", [](TMachineState& state) { state.Metabase.reset(); });
    EXPECT_TRUE(BackupMachine(u"B", u"localhost"));
    EXPECT_TRUE(BackupErrorFlag());
    EXPECT_EQ(RedLines()[0], "Call GetObject EOleSysError error on localhost! The cause could be the use of IIS7 "
                             "without IIS6 compatibility tools. Path=\\; errornum=-2147221020; errortext=" +
                                 Ole(hr::MkSyntax));
    // The POP3 step still runs; the extension list cannot be bound either, so its
    // subtree is not created.
    EXPECT_EQ(RedLines()[1], "Call GetObject EOleSysError error on localhost! The cause could be the use of IIS7 "
                             "without IIS6 compatibility tools. Path=node; errornum=-2147221020; errortext=" +
                                 Ole(hr::MkSyntax));
    EXPECT_EQ(RedLines().size(), 2u);
    auto document = Reload();
    TWideXmlNode* machine = Machine(*document, u"B");
    ASSERT_NE(machine, nullptr);
    ASSERT_EQ(machine->NodeCount(), 1);
    EXPECT_EQ(machine->Nodes(0)->AttributeByName(u"path"), u"Pop3 Service");
}

TEST_F(WebBackupTest, UnknownRemoteMachine) {
    EXPECT_TRUE(BackupMachine(u"B", u"nosuch"));
    std::string message = Ole(hr::ServerUnavailable);
    EXPECT_EQ(RedLines(),
              (std::vector<std::string>{
                  "Call GetObject EOleSysError error! Path=\\; errornum=-2147023174; errortext=" + message,
                  "Call GetObject EOleSysError error! Path=node; errornum=-2147023174; errortext=" + message}));
    EXPECT_EQ(Sink.LinesIn(clLogBlack), std::vector<std::string>{"POP3 service not connected. Error=" + message});
}

TEST_F(WebBackupTest, FixtureMachines) {
    std::filesystem::copy(std::filesystem::path(ORVEX_TEST_DATA) / "machines", Folder.File("machines"),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    CloseMachines();

    EXPECT_TRUE(BackupMachine(u"Web2Sites", u"WEB2"));
    EXPECT_EQ(Sink.LinesIn(clLogBlack), std::vector<std::string>{"POP3 service not installed on remote computer"});
    EXPECT_FALSE(BackupErrorFlag());
    auto document = Reload();
    TWideXmlNode* web2 = Machine(*document, u"web2sites");
    ASSERT_NE(web2, nullptr);
    EXPECT_EQ(web2->AttributeByName(u"machineName"), u"WEB2");
    TWideXmlNode* shop = FindSubDirElement(*web2, u"3");
    ASSERT_NE(shop, nullptr);
    EXPECT_EQ(shop->AttributeByName(u"siteName"), u"Shop");
    EXPECT_EQ(FindSubDirElement(*web2, u"Pop3 Service"), nullptr);
    EXPECT_NE(FindSubDirElement(*web2, u"Service Extensions"), nullptr);  // the local IIS is version 6

    InitLog();
    EXPECT_TRUE(BackupMachine(u"Iis7", u"IIS7HOST"));
    EXPECT_EQ(RedLines().front(), "Call GetObject EOleSysError error on IIS7HOST! The cause could be the use of IIS7 "
                                  "without IIS6 compatibility tools. Path=\\; errornum=-2147221020; errortext=" +
                                      Ole(hr::MkSyntax));
    EXPECT_EQ(Sink.LinesIn(clLogBlack), std::vector<std::string>{"POP3 service not installed on remote computer"});
    document = Reload();
    EXPECT_EQ(MachinesElement(*document).NodeCount(), 2);
}

TEST_F(WebBackupTest, SiteListWithoutRecursion) {
    auto document = NewBackupDocument();
    TWideXmlNode* service = document->Root();
    service->SetName(u"Machine");
    service->AttributeAdd(u"path", u"w3svc");
    BackupSubDirectories(u"localhost", u"w3svc", *service, false);
    std::vector<std::u16string> sites;
    for (int i = 0; i < service->NodeCount(); ++i) {
        TWideXmlNode* child = service->Nodes(i);
        EXPECT_EQ(child->NodeCount(), 0);
        if (child->AttributeByName(u"className") == u"IIsWebServer")
            sites.push_back(child->AttributeByName(u"path") + u"=" + child->AttributeByName(u"siteName"));
    }
    EXPECT_EQ(sites, (std::vector<std::u16string>{u"1=Default Web Site", u"2=Intranet"}));
    EXPECT_TRUE(Sink.Lines.empty());
    BackupSubDirectories(u"localhost", u"w3svc/no such key", *service, true);  // not a container: nothing
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(WebBackupTest, SiteWithUnreadableCommentIsStillListed) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    PlantFaults("localhost", "Get|W3SVC/1|ServerComment|0x80070005\n");
    auto document = NewBackupDocument();
    TWideXmlNode* service = document->Root();
    service->SetName(u"Machine");
    service->AttributeAdd(u"path", u"w3svc");
    EXPECT_TRUE(BackupSubDirectories(u"localhost", u"w3svc", *service, false));
    std::vector<std::u16string> sites;
    for (int i = 0; i < service->NodeCount(); ++i) {
        TWideXmlNode* child = service->Nodes(i);
        if (child->AttributeByName(u"className") == u"IIsWebServer")
            sites.push_back(child->AttributeByName(u"path") + u"=" + child->AttributeByName(u"siteName"));
    }
    EXPECT_EQ(sites, (std::vector<std::u16string>{u"1=", u"2=Intranet"}));
    EXPECT_FALSE(FindSubDirElement(*service, u"1")->HasAttribute(u"siteName"));
    // Not a clean run: the backup could not read everything.
    EXPECT_EQ(RedLines(), std::vector<std::string>{"Call Get ServerComment error! Path=w3svc/1; errortext=" +
                                                   Ole(hr::E_ACCESSDENIED)});
    EXPECT_TRUE(BackupErrorFlag());
}

TEST_F(WebBackupTest, ListingReportsAPathThatCannotBeOpened) {
    auto document = NewBackupDocument();
    TWideXmlNode* service = document->Root();
    EXPECT_FALSE(BackupSubDirectories(u"localhost", u"w3svc/no such key", *service, false));
    EXPECT_EQ(service->NodeCount(), 0);
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(WebBackupTest, FailuresPerObjectAndProperty) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    PlantFaults("localhost", "Bind|W3SVC/2||0x80070005\n"
                             "Bind|Schema/IIsWebDirectory||0x80070005\n"
                             "Bind|Schema/ServerSize||0x80070005\n"
                             "Get|W3SVC/1|ServerBindings|0x80070005\n"
                             "Enum|W3SVC/Filters||0x80070005\n");
    EXPECT_TRUE(BackupMachine(u"B", u""));
    EXPECT_TRUE(BackupErrorFlag());
    std::string denied = Ole(hr::E_ACCESSDENIED);
    EXPECT_EQ(RedLines(),
              (std::vector<std::string>{
                  "PropertyObjPath=Schema/ServerSize; errortext=" + denied,  // the web service
                  "Call WriteData error! Path=\\Default Web Site PropertyName=ServerBindings PropertyType=List",
                  "PropertyObjPath=Schema/ServerSize; errortext=" + denied,  // site 1
                  "Unable to GetObject for machine name ! Schema Path=Schema/IIsWebDirectory; errortext=" + denied,
                  // site 2 binds neither for its siteName nor for its own backup
                  "Call Get ServerComment error! Path=w3svc/2; errortext=" + denied,
                  "Call GetObject EOleSysError error! Path=\\; errornum=-2147024891; errortext=" + denied,
              }));
    EXPECT_EQ(Sink.InfoLog.size(), 6u);
    auto document = Reload();
    TWideXmlNode* machine = Machine(*document, u"B");
    TWideXmlNode* filters = FindSubDirElement(*machine, u"Filters");
    ASSERT_NE(filters, nullptr);
    EXPECT_EQ(FindSubDirElement(*filters, u"Compression"), nullptr);  // not listed, not logged
    TWideXmlNode* site1 = FindSubDirElement(*machine, u"1");
    EXPECT_EQ(site1->WriteToString().find(u"\"ServerBindings\""), std::u16string::npos);
    EXPECT_EQ(site1->WriteToString().find(u"\"ServerSize\""), std::u16string::npos);
    EXPECT_NE(site1->WriteToString().find(u"\"ServerAutoStart\""), std::u16string::npos);
    TWideXmlNode* images = FindSubDirElement(*FindSubDirElement(*site1, u"ROOT"), u"images");
    EXPECT_EQ(images->NodeCount(), 0);
    TWideXmlNode* site2 = FindSubDirElement(*machine, u"2");
    EXPECT_FALSE(site2->HasAttribute(u"siteName"));
    EXPECT_EQ(site2->NodeCount(), 0);
}

TEST_F(WebBackupTest, FailedCertificateCheckNamesThePropertyType) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    PlantFaults("localhost", "Get|W3SVC/2|SecureBindings|0x80070005\n");
    EXPECT_TRUE(BackupMachine(u"B", u""));
    EXPECT_EQ(RedLines(), std::vector<std::string>{
                              "Call WriteData error! Path=\\Intranet PropertyName=SecureBindings PropertyType=List"});
}

TEST_F(WebBackupTest, ExtensionStepFollowsTheLocalIisVersion) {
    struct Row {
        std::optional<TOleVariant> Version;
        bool Expected;
        std::vector<std::string> Red;
    };
    const Row rows[] = {
        {TOleVariant(int32_t(6)), true, {}},
        {TOleVariant(int32_t(7)), true, {}},
        {TOleVariant(int32_t(5)), false, {}},
        {TOleVariant(int32_t(4)), false, {}},
        {TOleVariant(int32_t(0)), false, {}},
        {std::nullopt, false, {"Failed to get data for 'MajorVersion'"}},
        {TOleVariant(u"6"), false, {"Invalid data type for 'MajorVersion'"}},
    };
    for (const auto& row : rows) {
        MakeMachine(u"localhost", [&](TMachineState& state) {
            SetMajorVersion(state, row.Version);
            state.Facts.Registry.push_back({u"Software\\Microsoft\\InetStp", u"Other", TOleVariant(int32_t(1))});
            // Keeps the run short: only the extension step matters.
            TMetaObject* service = state.Metabase->Find(u"W3SVC");
            while (!service->Children().empty()) service->RemoveChild(*service->Children().front());
            state.Pop3.reset();
        });
        std::filesystem::remove(File);
        EnsureBackupFile();
        InitLog();
        EXPECT_TRUE(BackupMachine(u"B", u""));
        auto lines = Sink.AllLines();
        bool ran = std::find(lines.begin(), lines.end(), "Process Service Extensions...") != lines.end();
        EXPECT_EQ(ran, row.Expected);
        EXPECT_EQ(RedLines(), row.Red);
        EXPECT_EQ(BackupErrorFlag(), !row.Red.empty());
        auto document = Reload();
        EXPECT_EQ(FindSubDirElement(*Machine(*document, u"B"), u"Service Extensions") != nullptr, row.Expected);
    }
}

TEST_F(WebBackupTest, MissingRegistryKeyIsAnError) {
    MakeMachine(u"localhost", [](TMachineState& state) {
        state.Facts.Registry.clear();
        state.Metabase.reset();
        state.Pop3.reset();
    });
    EXPECT_TRUE(BackupMachine(u"B", u""));
    EXPECT_EQ(RedLines().back(), "Unable to open registry path: Software\\Microsoft\\InetStp");
    EXPECT_EQ(Utf16ToUtf8(Sink.InfoLog.back()),
              "ERROR during backup of web1: Unable to open registry path: Software\\Microsoft\\InetStp");
}

class ServiceExtensionsTest : public test::TMachineElementFixture {
protected:
    void UseList(std::vector<std::u16string> entries) {
        MakeMachine(u"localhost", [&](TMachineState& state) {
            state.Metabase->Find(u"W3SVC")->SetValue(u"WebSvcExtRestrictionList", TextArray(entries));
        });
    }
    // The element's XML text with a line end, as it stands in the file.
    std::string Xml(TWideXmlNode& node) { return Utf16ToUtf8(node.WriteToString()) + "\r\n"; }
};

TEST_F(ServiceExtensionsTest, EntriesGroupByDescription) {
    UseList({u"0,*.dll", u"1,C:\\a.dll,0,G1,Desc", u"0,C:\\b.dll,1,G2,DESC", u"1,C:\\c.dll,1,G3,Other,extra",
             u"1,C:\\a.dll,1,G4,desc", u"1,,1,G5", u""});
    BackupServiceExtensions(u"", u"w3svc", *Machine);
    ASSERT_EQ(Machine->NodeCount(), 1);
    EXPECT_EQ(Xml(*Machine->Nodes(0)),
              test::CrLfLines({
                  R"(      <SubDir path="Service Extensions" className="ServiceExtensions">)",
                  R"(        <SubDir path="Desc" className="ServiceExtensions">)",
                  R"(          <Property id="GroupID" type="STRING" value="G4" Inherit="False"/>)",
                  R"(          <SubDir path="C:\a.dll" className="ServiceExtensions">)",
                  R"(            <Property id="AllowDenyFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(            <Property id="DeletableFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(          </SubDir>)",
                  R"(          <SubDir path="C:\b.dll" className="ServiceExtensions">)",
                  R"(            <Property id="AllowDenyFlag" type="BOOLEAN" value="False" Inherit="False"/>)",
                  R"(            <Property id="DeletableFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(          </SubDir>)",
                  R"(        </SubDir>)",
                  R"(        <SubDir path="Other" className="ServiceExtensions">)",
                  R"(          <Property id="GroupID" type="STRING" value="G3" Inherit="False"/>)",
                  R"(          <SubDir path="C:\c.dll" className="ServiceExtensions">)",
                  R"(            <Property id="AllowDenyFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(            <Property id="DeletableFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(          </SubDir>)",
                  R"(        </SubDir>)",
                  R"(      </SubDir>)",
              }));
    EXPECT_FALSE(BackupErrorFlag());
}

TEST_F(ServiceExtensionsTest, DescriptionNamedLikeAFileIsItsOwnGroup) {
    UseList({u"1,C:\\a.dll,0,G1,Desc", u"0,C:\\b.dll,1,G2,C:\\a.dll"});
    BackupServiceExtensions(u"", u"w3svc", *Machine);
    ASSERT_EQ(Machine->NodeCount(), 1);
    EXPECT_EQ(Xml(*Machine->Nodes(0)),
              test::CrLfLines({
                  R"(      <SubDir path="Service Extensions" className="ServiceExtensions">)",
                  R"(        <SubDir path="Desc" className="ServiceExtensions">)",
                  R"(          <Property id="GroupID" type="STRING" value="G1" Inherit="False"/>)",
                  R"(          <SubDir path="C:\a.dll" className="ServiceExtensions">)",
                  R"(            <Property id="AllowDenyFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(            <Property id="DeletableFlag" type="BOOLEAN" value="False" Inherit="False"/>)",
                  R"(          </SubDir>)",
                  R"(        </SubDir>)",
                  R"(        <SubDir path="C:\a.dll" className="ServiceExtensions">)",
                  R"(          <Property id="GroupID" type="STRING" value="G2" Inherit="False"/>)",
                  R"(          <SubDir path="C:\b.dll" className="ServiceExtensions">)",
                  R"(            <Property id="AllowDenyFlag" type="BOOLEAN" value="False" Inherit="False"/>)",
                  R"(            <Property id="DeletableFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(          </SubDir>)",
                  R"(        </SubDir>)",
                  R"(      </SubDir>)",
              }));
}

// GroupID is found through an index of its description (its speed is measured in
// bench/): one element, the last entry's group, every file under it.
TEST_F(ServiceExtensionsTest, ManyFilesOfOneDescriptionShareOneElement) {
    const int count = 40000;
    std::vector<std::u16string> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(u"1,C:\\f" + Utf8ToUtf16(std::to_string(i)) + u".dll,0,G" + Utf8ToUtf16(std::to_string(i)) +
                          u",Desc");
    UseList(entries);
    BackupServiceExtensions(u"", u"w3svc", *Machine);
    TWideXmlNode* desc = FindSubDirElement(*FindSubDirElement(*Machine, u"Service Extensions"), u"Desc");
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->NodeCount(), count + 1);
    EXPECT_EQ(desc->Nodes(0)->AttributeByName(u"value"), u"G39999");
}

TEST_F(ServiceExtensionsTest, OnlyTheMachinesOwnSubtreeIsReused) {
    UseList({u"1,C:\\a.dll,0,G1,Desc"});
    TWideXmlNode& site = AppendSubDirElement(*Machine, u"1", u"IIsWebServer");
    TWideXmlNode& nested = AppendSubDirElement(site, u"Service Extensions", u"ServiceExtensions");
    TWideXmlNode& other = AppendSubDirElement(*Machine, u"Service Extensions", u"IIsWebVirtualDir");
    BackupServiceExtensions(u"", u"w3svc", *Machine);
    EXPECT_EQ(nested.NodeCount(), 0);
    EXPECT_EQ(other.NodeCount(), 0);
    ASSERT_EQ(Machine->NodeCount(), 3);
    TWideXmlNode* own = Machine->Nodes(2);
    EXPECT_EQ(own->AttributeByName(u"className"), u"ServiceExtensions");
    EXPECT_EQ(own->NodeCount(), 1);
    // A second run reuses the subtree and its elements.
    BackupServiceExtensions(u"", u"w3svc", *Machine);
    EXPECT_EQ(Machine->NodeCount(), 3);
    EXPECT_EQ(own->NodeCount(), 1);
    EXPECT_EQ(own->Nodes(0)->NodeCount(), 2);
}

TEST_F(ServiceExtensionsTest, UnreadableListIsLoggedAndSkipped) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    PlantFaults("localhost", "Get|W3SVC|WebSvcExtRestrictionList|0x80070005\n");
    BackupServiceExtensions(u"", u"w3svc", *Machine);
    EXPECT_EQ(Machine->NodeCount(), 0);
    EXPECT_EQ(Sink.LinesIn(clLogRed),
              std::vector<std::string>{"Call GetObject EOleSysError error! Path=node; errornum=-2147024891; errortext=" +
                                       Ole(hr::E_ACCESSDENIED)});
}

} // namespace
} // namespace orvex
