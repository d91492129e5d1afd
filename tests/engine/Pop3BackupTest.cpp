#include "engine/Pop3Backup.h"

#include "BackupFixture.h"
#include "engine/BackupPaths.h"
#include "platform/OleVariant.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::TBackupFixture;

std::string Ole(int32_t code) { return Utf16ToUtf8(OleErrorMessage(code)); }

class Pop3BackupTest : public test::TMachineElementFixture {
protected:
    void SetUp() override {
        TMachineElementFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});
    }

    // "path" attributes of the SubDir elements in document order, "/"-joined paths.
    std::vector<std::string> Paths() {
        std::vector<std::string> out;
        Collect(*Machine, out);
        return out;
    }
    void Collect(TWideXmlNode& node, std::vector<std::string>& out) {
        for (int i = 0; i < node.NodeCount(); ++i) {
            TWideXmlNode* child = node.Nodes(i);
            if (child->Name() == u"SubDir") {
                out.push_back(Utf16ToUtf8(GetXmlNodeADsPathOnly(*child)));
                Collect(*child, out);
            } else if (child->Name() == u"Property") {
                out.push_back(Utf16ToUtf8(GetXmlNodeADsPathOnly(*child) + u"@" + child->AttributeByName(u"id")));
            }
        }
    }
};

TEST_F(Pop3BackupTest, UnreachableServiceIsABlackNote) {
    struct Row {
        std::u16string Machine;
        std::u16string WithoutPop3;  // a machine made without the service
        std::string Faults;          // planted on the local machine
        std::string Note;
    };
    const Row rows[] = {
        {u"", u"localhost", "", "POP3 service not installed on this computer"},
        {u"web2", u"web2", "", "POP3 service not installed on remote computer"},
        {u"nosuch", u"", "", "POP3 service not connected. Error=" + Ole(hr::ServerUnavailable)},
        {u"", u"", "Pop3|Config.Create||0x80004005\n", "POP3 service not connected. Error=" + Ole(hr::E_FAIL)},
        {u"localhost", u"", "Pop3|Config.MachineName||0x80070005|5\n",
         "POP3 service not connected. Error=" + Ole(hr::E_ACCESSDENIED)},
    };
    for (const auto& row : rows) {
        MakeMachine(u"localhost", [](TMachineState&) {});
        if (!row.WithoutPop3.empty()) MakeMachine(row.WithoutPop3, [](TMachineState& state) { state.Pop3.reset(); });
        if (!row.Faults.empty()) PlantFaults("localhost", row.Faults);
        InitLog();
        BackupPopDirectory(row.Machine, *Machine);
        EXPECT_EQ(Machine->NodeCount(), 0);
        EXPECT_EQ(Sink.AllLines(), std::vector<std::string>{row.Note});
        EXPECT_EQ(Sink.Lines[0].Colour, clLogBlack);
        EXPECT_FALSE(BackupErrorFlag());
        EXPECT_TRUE(Sink.InfoLog.empty());
    }
}

TEST_F(Pop3BackupTest, ElementOrderAndLogLines) {
    MakeMachine(u"localhost", [](TMachineState& state) {
        state.Pop3->Domains.resize(1);
        state.Pop3->Domains[0].Mailboxes.resize(1);
    });
    BackupPopDirectory(u"", *Machine);
    EXPECT_EQ(Paths(), (std::vector<std::string>{
                           "w3svc/Pop3 Service",
                           "w3svc/Pop3 Service/@LoggingLevel",
                           "w3svc/Pop3 Service/@MailRoot",
                           "w3svc/Pop3 Service/@ConfirmAddUser",
                           "w3svc/Pop3 Service/Service",
                           "w3svc/Pop3 Service/Service/@ThreadCountPerCPU",
                           "w3svc/Pop3 Service/Service/@Port",
                           "w3svc/Pop3 Service/Service/@SPARequired",
                           "w3svc/Pop3 Service/CurrentAuthMethod",
                           "w3svc/Pop3 Service/CurrentAuthMethod/@Name",
                           "w3svc/Pop3 Service/CurrentAuthMethod/@ID",
                           "w3svc/Pop3 Service/Domains",
                           "w3svc/Pop3 Service/Domains/example.com",
                           "w3svc/Pop3 Service/Domains/example.com/@Lock",
                           "w3svc/Pop3 Service/Domains/example.com/Users",
                           "w3svc/Pop3 Service/Domains/example.com/Users/alice",
                           "w3svc/Pop3 Service/Domains/example.com/Users/alice/@Lock",
                       }));
    EXPECT_EQ(Sink.AllLines(), (std::vector<std::string>{
                                   "Process Sub Directory: Path=\\Pop3 Service",
                                   "Process Sub Directory: Path=\\Pop3 Service\\Service",
                                   "Process Sub Directory: Path=\\Pop3 Service\\CurrentAuthMethod",
                                   "Process Sub Directory: Path=\\Pop3 Service\\Domains",
                                   "Process Sub Directory: Path=\\Pop3 Service\\Domains\\example.com",
                                   "Process Sub Directory: Path=\\Pop3 Service\\Domains\\example.com\\Users",
                                   "Process Sub Directory: Path=\\Pop3 Service\\Domains\\example.com\\Users\\alice",
                               }));
    EXPECT_EQ(Sink.LinesIn(clLogBlue).size(), 7u);
}

TEST_F(Pop3BackupTest, FailuresLeaveOutWhatFollows) {
    struct Row {
        std::string Fault;
        std::string Red;
        std::vector<std::string> Missing, Present;
    };
    std::string failed = Ole(hr::E_FAIL);
    const Row rows[] = {
        {"Pop3|AuthMethods.CurrentAuthMethod||0x80004005", "Authentication not backed up. Error: " + failed,
         {"w3svc/Pop3 Service/CurrentAuthMethod"},
         {"w3svc/Pop3 Service/Domains/example.com/Users/bob/@Lock"}},
        {"Pop3|AuthMethod.ID||0x80004005", "Authentication not backed up. Error: " + failed,
         {"w3svc/Pop3 Service/CurrentAuthMethod/@ID"},
         {"w3svc/Pop3 Service/CurrentAuthMethod/@Name", "w3svc/Pop3 Service/Domains/lists.example.com/Users"}},
        {"Pop3|Service.Port||0x80004005", failed,
         {"w3svc/Pop3 Service/Service/@Port", "w3svc/Pop3 Service/CurrentAuthMethod", "w3svc/Pop3 Service/Domains"},
         {"w3svc/Pop3 Service/Service/@ThreadCountPerCPU"}},
        {"Pop3|User.Lock|bob|0x80004005", failed,
         {"w3svc/Pop3 Service/Domains/example.com/Users/bob/@Lock", "w3svc/Pop3 Service/Domains/example.com/Users/postmaster",
          "w3svc/Pop3 Service/Domains/lists.example.com"},
         {"w3svc/Pop3 Service/Domains/example.com/Users/alice/@Lock", "w3svc/Pop3 Service/Domains/example.com/Users/bob"}},
    };
    for (const auto& row : rows) {
        MakeMachine(u"localhost", [](TMachineState&) {});
        PlantFaults("localhost", row.Fault + "\n");
        InitLog();
        Sink.InfoLog.clear();
        Machine->NodesClear();
        BackupPopDirectory(u"", *Machine);
        EXPECT_EQ(Sink.LinesIn(clLogRed), std::vector<std::string>{row.Red}) << row.Fault;
        EXPECT_TRUE(BackupErrorFlag());
        ASSERT_EQ(Sink.InfoLog.size(), 1u);
        EXPECT_EQ(Utf16ToUtf8(Sink.InfoLog[0]), "EXCEPTION during backup of web1: " + row.Red);
        auto paths = Paths();
        for (const auto& p : row.Missing) EXPECT_EQ(std::find(paths.begin(), paths.end(), p), paths.end()) << p;
        for (const auto& p : row.Present) EXPECT_NE(std::find(paths.begin(), paths.end(), p), paths.end()) << p;
    }
}

TEST(WriteVariantPropertyTest, TypeFollowsTheValueKind) {
    auto document = NewBackupDocument();
    TWideXmlNode& node = *document->Root();
    node.SetName(u"SubDir");
    WriteVariantProperty(node, u"Port", TOleVariant(int32_t(110)));
    WriteVariantProperty(node, u"MailRoot", TOleVariant(u"C:\\mail"));
    WriteVariantProperty(node, u"Flag", TOleVariant(true));
    WriteVariantProperty(node, u"List", TextArray({u"a"}));
    WriteVariantProperty(node, u"None", TOleVariant());
    const char16_t* expected[][2] = {{u"INTEGER", u"110"}, {u"STRING", u"C:\\mail"}, {u"BOOLEAN", u"True"},
                                     {u"UNSUPPORTED", u""}, {u"UNSUPPORTED", u""}};
    ASSERT_EQ(node.NodeCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(node.Nodes(i)->AttributeByName(u"type"), expected[i][0]);
        EXPECT_EQ(node.Nodes(i)->AttributeByName(u"value"), expected[i][1]);
        EXPECT_EQ(node.Nodes(i)->AttributeByName(u"Inherit"), u"False");
    }
}

} // namespace
} // namespace orvex
