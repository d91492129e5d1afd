#include "engine/Pop3Restore.h"

#include "RestoreFixture.h"
#include "engine/BackupDocument.h"
#include "platform/MachineStorage.h"

#include <gtest/gtest.h>

#include <set>

namespace orvex {
namespace {

using test::Prop;
using test::TRestoreFixture;
using Lines = std::vector<std::string>;

std::string Pop(const std::string& path, const std::string& inner) {
    return "<SubDir path=\"" + path + "\" className=\"Pop3Svc\">" + inner + "</SubDir>";
}
std::string Lock(const std::string& value) { return Prop("Lock", "INTEGER", value); }

// The backed-up POP3 service with the given domains.
std::string PopBackup(const std::string& domains, const std::string& authName = "Active Directory Integrated") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root><Machines><Machine backupName=\"B\" machineName=\"src\" "
           "path=\"w3svc\" className=\"IIsWebService\">" +
           Pop("Pop3 Service",
               Prop("LoggingLevel", "INTEGER", "3") + Prop("MailRoot", "STRING", "D:\\Mail") +
                   Prop("ConfirmAddUser", "INTEGER", "1") +
                   Pop("Service", Prop("ThreadCountPerCPU", "INTEGER", "8") + Prop("Port", "INTEGER", "995") +
                                      Prop("SPARequired", "INTEGER", "1")) +
                   Pop("CurrentAuthMethod", Prop("Name", "STRING", authName) + Prop("ID", "STRING", "{x}")) +
                   Pop("Domains", domains)) +
           "</Machine></Machines></Root>";
}

class Pop3RestoreTest : public TRestoreFixture {
protected:
    std::unique_ptr<TWideXmlDocument> Document;
    std::unique_ptr<test::TMemoryTree> Tree;

    void SetUp() override {
        TRestoreFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});
    }
    void Load(const std::string& xml) {
        WriteBackupFile(xml);
        Document = LoadBackupDocument();
        Tree = test::BuildRestoreTree(*Document);
    }
    test::TMemoryTreeNode& Node(std::u16string_view path = {}) {
        return Tree->Node(u"B", path.empty() ? u"Pop3 Service" : u"Pop3 Service/" + std::u16string(path));
    }
    void Restore() {
        const TWideXmlNode* machine = FindMachineElement(MachinesElement(*Document), u"B");
        RestorePopDirectory(u"localhost", u"IIS6", *FindSubDirElement(*machine, u"Pop3 Service"), Node());
    }
    TPop3State State() {
        CloseMachines();
        return *OpenMachine(u"localhost")->Pop3();
    }
    const TPop3Domain* Domain(const TPop3State& state, std::u16string_view name) {
        for (const auto& d : state.Domains)
            if (d.Name == name) return &d;
        return nullptr;
    }
    const TPop3Mailbox* Mailbox(const TPop3State& state, std::u16string_view domain, std::u16string_view name) {
        if (const TPop3Domain* d = Domain(state, domain))
            for (const auto& m : d->Mailboxes)
                if (m.Name == name) return &m;
        return nullptr;
    }
    std::string Stamp() { return MachineStamp(Folder.File("machines") / "localhost"); }
};

TEST_F(Pop3RestoreTest, RestoresSettingsMethodDomainsAndMailboxes) {
    Load(PopBackup(Pop("example.com", Lock("1") + Pop("Users", Pop("alice", Lock("1")) + Pop("carol", Lock("1")))) +
                   Pop("new.example.org", Lock("1") + Pop("Users", Pop("dave", Lock("0")))),
                   "active directory INTEGRATED"));
    Restore();
    TPop3State state = State();
    EXPECT_EQ(state.LoggingLevel, 3);
    EXPECT_EQ(state.MailRoot, u"D:\\Mail");
    EXPECT_EQ(state.ConfirmAddUser, 1);
    EXPECT_EQ(state.ThreadCountPerCPU, 8);
    EXPECT_EQ(state.Port, 995);
    EXPECT_EQ(state.SPARequired, 1);
    EXPECT_EQ(state.CurrentAuthMethod, 2);
    EXPECT_EQ(Domain(state, u"example.com")->Lock, 1);
    EXPECT_EQ(Mailbox(state, u"example.com", u"alice")->Lock, 1);
    ASSERT_NE(Mailbox(state, u"example.com", u"carol"), nullptr);
    EXPECT_TRUE(Mailbox(state, u"example.com", u"carol")->HasPassword);
    EXPECT_EQ(Mailbox(state, u"example.com", u"carol")->Lock, 1);
    EXPECT_EQ(Domain(state, u"new.example.org")->Lock, 1);
    EXPECT_TRUE(Mailbox(state, u"new.example.org", u"dave")->HasPassword);
    EXPECT_EQ(Mailbox(state, u"example.com", u"bob")->Lock, 1);  // not in the backup: untouched

    EXPECT_EQ(Sink.AllLines(),
              (Lines{"Restore directory: \\Pop3 Service", "  Restore property: LoggingLevel=3",
                     "  Restore property: MailRoot=D:\\Mail", "  Restore property: ConfirmAddUser=1",
                     "Restore directory: \\Pop3 Service\\Service", "  Restore property: ThreadCountPerCPU=8",
                     "  Restore property: Port=995", "  Restore property: SPARequired=1",
                     "Restore directory: \\Pop3 Service\\CurrentAuthMethod",
                     "  Restore property: Name=active directory INTEGRATED",
                     "Restore directory: \\Pop3 Service\\Domains",
                     "Restore directory: \\Pop3 Service\\Domains\\example.com", "  Restore property: Lock=1",
                     "Restore directory: \\Pop3 Service\\Domains\\example.com\\Users",
                     "Restore directory: \\Pop3 Service\\Domains\\example.com\\Users\\alice",
                     "  Restore property: Lock=1",
                     "Restore directory: \\Pop3 Service\\Domains\\example.com\\Users\\carol",
                     "Mailbox carol was created with a random password. Set its password before it is used!",
                     "  Restore property: Lock=1", "Restore directory: \\Pop3 Service\\Domains\\new.example.org",
                     "  Restore property: Lock=1",
                     "Restore directory: \\Pop3 Service\\Domains\\new.example.org\\Users",
                     "Restore directory: \\Pop3 Service\\Domains\\new.example.org\\Users\\dave",
                     "Mailbox dave was created with a random password. Set its password before it is used!",
                     "  Restore property: Lock=0"}));
    EXPECT_EQ(Black().size(), 2u);
    EXPECT_EQ(Sink.InfoLog.size(), 2u);  // the warnings; no password anywhere
    EXPECT_EQ(Red(), Lines{});
}

TEST_F(Pop3RestoreTest, EqualValuesAreLoggedButNotWritten) {
    Load(PopBackup(""));
    Node().Check(false, false);
    Node().Check(true, false, false);
    auto& service = Node(u"Service");
    service.Check(true, true);
    auto& domains = Node(u"Domains");
    domains.Check(true, false);
    // The backup's service values equal the machine's.
    MakeMachine(u"localhost", [](TMachineState& s) {
        s.Pop3->ThreadCountPerCPU = 8;
        s.Pop3->Port = 995;
        s.Pop3->SPARequired = 1;
    });
    std::string before = Stamp();
    Restore();
    EXPECT_EQ(Stamp(), before);
    EXPECT_EQ(Sink.AllLines(), (Lines{"Restore directory: \\Pop3 Service", "Restore directory: \\Pop3 Service\\Service",
                                      "  Restore property: ThreadCountPerCPU=8", "  Restore property: Port=995",
                                      "  Restore property: SPARequired=1", "Restore directory: \\Pop3 Service\\Domains"}));
}

TEST_F(Pop3RestoreTest, UnselectedPropertiesAreNeitherLoggedNorWritten) {
    Load(PopBackup(Pop("example.com", Lock("1") + Pop("Users", Pop("alice", Lock("1"))))));
    Node().Check(true, false, false);
    Node(u"Service").Check(true, false);
    Node(u"CurrentAuthMethod").Check(false, true);
    Node(u"Domains/example.com").Check(true, false);
    Node(u"Domains/example.com/Users/alice").Check(true, false);
    std::string before = Stamp();
    Restore();
    EXPECT_EQ(Stamp(), before);
    EXPECT_EQ(Sink.AllLines(), (Lines{"Restore directory: \\Pop3 Service", "Restore directory: \\Pop3 Service\\Domains",
                                      "Restore directory: \\Pop3 Service\\Domains\\example.com",
                                      "Restore directory: \\Pop3 Service\\Domains\\example.com\\Users",
                                      "Restore directory: \\Pop3 Service\\Domains\\example.com\\Users\\alice"}));
}

TEST_F(Pop3RestoreTest, DomainLookupFailures) {
    struct Row {
        std::string Faults;
        std::string Domain;
        std::string Red;
    };
    const Row rows[] = {
        {"", "relay.example.com",
         "RestorePopDomain: Path=\\Pop3 Service\\Domains\\relay.example.com Problem: Domain relay.example.com registered "
         "for SMTP, not POP3"},
        {"Pop3|Domains.Item|example.com|0x80070005\n", "example.com",
         "RestorePopDomain: Path=\\Pop3 Service\\Domains\\example.com OleError=80070005 Message=Access is denied."},
        {"Pop3|Domains.Item|example.com|0x1234\n", "example.com",
         "RestorePopDomain: Path=\\Pop3 Service\\Domains\\example.com OleError=1234 Message=Unspecified error"},
        {"Pop3|Domains.Add|new.example.org|0x80070005\n", "new.example.org",
         "RestorePopDomain: Path=\\Pop3 Service\\Domains\\new.example.org Error=Access is denied."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Domain);
        MakeMachine(u"localhost", [](TMachineState&) {});
        PlantFaults("localhost", row.Faults);
        Sink.Lines.clear();
        Load(PopBackup(Pop(row.Domain, Lock("1") + Pop("Users", Pop("zed", Lock("1"))))));
        Node().Check(true, false, false);
        Restore();
        EXPECT_EQ(Red(), Lines{row.Red});
        EXPECT_FALSE(Logged("Restore directory: \\Pop3 Service\\Domains\\" + row.Domain + "\\Users"));
    }
}

TEST_F(Pop3RestoreTest, MailboxFallsBackToAddWithoutPassword) {
    MakeMachine(u"localhost", [](TMachineState& s) { s.Pop3->MinPasswordLength = 100; });
    Load(PopBackup(Pop("example.com", Lock("0") + Pop("Users", Pop("carol", Lock("1"))))));
    Restore();
    TPop3State state = State();
    const TPop3Mailbox* carol = Mailbox(state, u"example.com", u"carol");
    ASSERT_NE(carol, nullptr);
    EXPECT_FALSE(carol->HasPassword);
    EXPECT_EQ(carol->Lock, 1);
    EXPECT_EQ(Black(), Lines{});
    EXPECT_EQ(Red(), Lines{});
}

TEST_F(Pop3RestoreTest, MailboxThatCannotBeAddedIsLogged) {
    PlantFaults("localhost", "Pop3|Users.AddEx|carol|0x80070005\nPop3|Users.Add|carol|0x80070005\n");
    Load(PopBackup(Pop("example.com", Lock("0") + Pop("Users", Pop("carol", Lock("1")) + Pop("alice", Lock("1"))))));
    Restore();
    EXPECT_EQ(Red(), Lines{"RestorePopUser: Path=\\Pop3 Service\\Domains\\example.com\\Users\\carol Error=Access is "
                           "denied."});
    TPop3State state = State();
    EXPECT_EQ(Mailbox(state, u"example.com", u"alice")->Lock, 1);
}

TEST_F(Pop3RestoreTest, ServiceNotReachable) {
    struct Row {
        std::u16string Machine;
        std::string Red;
    };
    MakeMachine(u"nopop", [](TMachineState& s) { s.Pop3.reset(); });
    const Row rows[] = {
        {u"localhost", "POP3 service not installed on this computer"},
        {u"nopop", "POP3 service not installed on remote computer"},
        {u"nosuchhost", "POP3 service not connected. Error=" + Utf16ToUtf8(OleErrorMessage(hr::ServerUnavailable))},
    };
    MakeMachine(u"localhost", [](TMachineState& s) { s.Pop3.reset(); });
    Load(PopBackup(""));
    const TWideXmlNode* machine = FindMachineElement(MachinesElement(*Document), u"B");
    for (const auto& row : rows) {
        if (row.Machine != u"localhost") MakeMachine(u"localhost", [](TMachineState&) {});
        Sink.Lines.clear();
        RestorePopDirectory(row.Machine, u"IIS6", *FindSubDirElement(*machine, u"Pop3 Service"), Node());
        EXPECT_EQ(Sink.AllLines(), (Lines{"Restore directory: \\Pop3 Service", row.Red}));
        EXPECT_EQ(Sink.Lines.back().Colour, clLogRed);
    }
}

TEST_F(Pop3RestoreTest, UnknownAuthMethodAndFailingSettings) {
    PlantFaults("localhost", "Pop3|Config.MailRoot||0x80070005\nPop3|Service.Port||0x80070005\n");
    Load(PopBackup("", "Kerberos"));
    Restore();
    TPop3State state = State();
    EXPECT_EQ(state.LoggingLevel, 3);
    EXPECT_EQ(state.ConfirmAddUser, 1);
    EXPECT_EQ(state.SPARequired, 1);
    EXPECT_EQ(state.CurrentAuthMethod, 1);
    EXPECT_EQ(Red(), (Lines{"RestorePopDirectory: Property MailRoot at w3svc/Pop3 Service not restored. Errorr: Access "
                            "is denied.",
                            "Property Port at w3svc/Pop3 Service/Service not restored. Errorr: Access is denied.",
                            "Problem in RestorePopAuthMethods: Path=\\Pop3 Service\\CurrentAuthMethod Problem: "
                            "Authmethod Kerberos not found"}));
}

TEST_F(Pop3RestoreTest, UnknownTypeIsRefusedBeforeTheGreenLine) {
    struct Row {
        std::string Good;
        std::string Bad;
        std::string Green;  // the line that must not appear
        std::string Red;
    };
    const std::string auth = "Active Directory Integrated";
    const Row rows[] = {
        {Prop("LoggingLevel", "INTEGER", "3"), Prop("LoggingLevel", "integer", "3"), "  Restore property: LoggingLevel=3",
         "RestorePopDirectory: Property LoggingLevel at w3svc/Pop3 Service not restored. Errorr: Unknown property "
         "type integer"},
        {Prop("MailRoot", "STRING", "D:\\Mail"), Prop("MailRoot", "string", "D:\\Mail"),
         "  Restore property: MailRoot=D:\\Mail",
         "RestorePopDirectory: Property MailRoot at w3svc/Pop3 Service not restored. Errorr: Unknown property type "
         "string"},
        {Prop("Port", "INTEGER", "995"), Prop("Port", "", "995"), "  Restore property: Port=995",
         "Property Port at w3svc/Pop3 Service/Service not restored. Errorr: Unknown property type "},
        {Prop("Name", "STRING", auth), Prop("Name", "TEXT", auth), "  Restore property: Name=" + auth,
         "RestoreDirectory: Path=\\Pop3 Service\\CurrentAuthMethod Error=Unknown property type TEXT"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Bad);
        MakeMachine(u"localhost", [](TMachineState&) {});
        CloseMachines();
        TPop3State before = State();
        Sink.Lines.clear();
        std::string xml = PopBackup("");
        size_t at = xml.find(row.Good);
        ASSERT_NE(at, std::string::npos);
        Load(xml.replace(at, row.Good.size(), row.Bad));
        Restore();
        EXPECT_EQ(Red(), Lines{row.Red});
        auto green = Green();
        EXPECT_EQ(std::find(green.begin(), green.end(), row.Green), green.end());
        TPop3State after = State();
        EXPECT_EQ(after.LoggingLevel, row.Bad.find("LoggingLevel") != std::string::npos ? before.LoggingLevel : 3);
        EXPECT_EQ(after.MailRoot, row.Bad.find("MailRoot") != std::string::npos ? before.MailRoot : u"D:\\Mail");
        EXPECT_EQ(after.Port, row.Bad.find("Port") != std::string::npos ? before.Port : 995);
    }
}

// A mail root with a "." or ".." step is refused with a red line before its green
// one, and the settings beside it are restored; ".." inside a folder name is no step.
TEST_F(Pop3RestoreTest, MailRootWithDotStepsIsRefused) {
    const std::string good = Prop("MailRoot", "STRING", "D:\\Mail");
    for (const std::string root : {"C:\\..\\..\\Windows", "D:\\Mail\\.", "..", "D:/Mail/../x", "D:\\Mail..\\x"}) {
        SCOPED_TRACE(root);
        const bool refused = root.find("Mail..") == std::string::npos;
        MakeMachine(u"localhost", [](TMachineState&) {});
        const std::u16string before = State().MailRoot;
        Sink.Lines.clear();
        std::string xml = PopBackup("");
        xml.replace(xml.find(good), good.size(), Prop("MailRoot", "STRING", root));
        Load(xml);
        Restore();
        const TPop3State after = State();
        EXPECT_EQ(after.LoggingLevel, 3);
        if (refused) {
            EXPECT_EQ(Red(), Lines{"RestorePopDirectory: Property MailRoot at w3svc/Pop3 Service not restored. Errorr: "
                                   "the mail root holds a \".\" or \"..\" step, which would reach a folder outside "
                                   "its place"});
            const auto green = Green();
            EXPECT_EQ(std::find(green.begin(), green.end(), "  Restore property: MailRoot=" + root), green.end());
            EXPECT_EQ(after.MailRoot, before);
        } else {
            EXPECT_EQ(Red(), Lines{});
            EXPECT_EQ(after.MailRoot, Utf8ToUtf16(root));
        }
    }
}

TEST(RandomMailboxPasswordTest, SixteenCharactersDifferentEachTime) {
    std::set<std::u16string> seen;
    for (int i = 0; i < 50; ++i) {
        std::u16string password = RandomMailboxPassword();
        EXPECT_EQ(password.size(), 16u);
        seen.insert(password);
    }
    EXPECT_EQ(seen.size(), 50u);
}

} // namespace
} // namespace orvex
