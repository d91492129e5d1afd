#include "platform/MachineCommit.h"

#include "MachineTestSupport.h"
#include "platform/MachineStorage.h"
#include "platform/MetabaseValues.h"
#include "platform/Pop3Admin.h"

#include <csignal>
#include <sys/wait.h>

namespace orvex::testing {
namespace {

std::string Text(const TOleVariant& value) {
    if (value.IsArray()) {
        std::string items = "[";
        for (const TOleVariant& item : value.AsArray()) items += Text(item) + "|";
        return items + "]";
    }
    if (value.IsObject()) {
        const auto* ipsec = dynamic_cast<const TIPSecurityObject*>(value.AsObject().get());
        if (!ipsec) return "<object>";
        std::string text = ipsec->GrantByDefault ? "grant" : "deny";
        for (const auto* list : {&ipsec->IPDeny, &ipsec->IPGrant, &ipsec->DomainDeny, &ipsec->DomainGrant}) {
            text += ";";
            for (const std::u16string& item : *list) text += Utf16ToUtf8(item) + ",";
        }
        return text;
    }
    return Utf16ToUtf8(value.ToText());
}

void DumpKey(const TMetaObject& key, std::string& out) {
    out += "key " + Utf16ToUtf8(key.Path()) + " " + Utf16ToUtf8(key.ClassName()) + "\n";
    for (const auto& [id, value] : key.Properties()) out += "  " + Utf16ToUtf8(id) + "=" + Text(value) + "\n";
    for (const auto& child : key.Children()) DumpKey(*child, out);
}

// Every key and value of the machine a fresh process opens, as text lines.
std::string DumpOfMachine(std::u16string_view name) {
    const std::shared_ptr<TEmulatedMachine> machine = OpenMachine(name);
    const TMachineFacts& facts = machine->Facts();
    std::string out = "computer " + Utf16ToUtf8(facts.ComputerName) + "\n";
    for (const std::u16string& address : facts.IPv4Addresses) out += "address " + Utf16ToUtf8(address) + "\n";
    for (const TRegistryValue& value : facts.Registry)
        out += "registry " + Utf16ToUtf8(value.Key + u"\\" + value.Name) + "=" + Text(value.Value) + "\n";
    if (const TMetabase* metabase = machine->Metabase()) DumpKey(metabase->Root(), out);
    if (const TPop3State* pop3 = machine->Pop3()) {
        out += "pop3 " + std::to_string(pop3->LoggingLevel) + " " + Utf16ToUtf8(pop3->MailRoot) + " " +
               std::to_string(pop3->ConfirmAddUser) + " " + std::to_string(pop3->ThreadCountPerCPU) + " " +
               std::to_string(pop3->Port) + " " + std::to_string(pop3->SPARequired) + " " +
               std::to_string(pop3->CurrentAuthMethod) + " " + std::to_string(pop3->MinPasswordLength) + "\n";
        for (const TPop3AuthMethod& method : pop3->AuthMethods)
            out += "method " + Utf16ToUtf8(method.Name) + " " + Utf16ToUtf8(method.ID) + "\n";
        for (const std::u16string& smtp : pop3->SmtpDomains) out += "smtp " + Utf16ToUtf8(smtp) + "\n";
        for (const TPop3Domain& domain : pop3->Domains) {
            out += "domain " + Utf16ToUtf8(domain.Name) + " " + std::to_string(domain.Lock) + "\n";
            for (const TPop3Mailbox& mailbox : domain.Mailboxes)
                out += "  mailbox " + Utf16ToUtf8(mailbox.Name) + " " + std::to_string(mailbox.Lock) +
                       (mailbox.HasPassword ? " password" : "") + "\n";
        }
    }
    return out;
}

// Where a forked child kills itself: the step and its count.
TCommitStep gKillStep = TCommitStep::csDone;
size_t gKillCount = 0;

void KillAtStep(TCommitStep step, size_t count) {
    if (step == gKillStep && count == gKillCount) ::raise(SIGKILL);
}

// One operation that changes two sites, creates a third and adds a POP3 domain:
// five files (three site files, Metabase.xml, Pop3.xml).
void ChangeTheMachine() {
    TMachineOperation operation;
    for (const char16_t* site : {u"IIS://localhost/W3SVC/1", u"IIS://localhost/W3SVC/2"}) {
        const TOleVariant key = Bind(site);
        key.Call(u"Put", u"ServerComment", u"Changed");
        key.Call(u"SetInfo");
    }
    const TOleVariant created = Bind(u"IIS://localhost/W3SVC").Call(u"Create", u"IIsWebServer", u"9");
    created.Call(u"Put", u"ServerComment", u"Created");
    created.Call(u"SetInfo");
    CreateP3Config().Property(u"Domains").Call(u"Add", u"new.example.org");
    operation.Commit();
}
constexpr size_t kFilesChanged = 5;

class MachineCommit : public TMachinesFolderTest {
protected:
    void SetUp() override {
        TMachinesFolderTest::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});
        CloseMachines();
        std::filesystem::copy(Machine(), Folder() / "old", std::filesystem::copy_options::recursive);
    }
    void TearDown() override {
        WatchCommitSteps(nullptr);
        CloseMachines();
        TMachinesFolderTest::TearDown();
    }

    std::filesystem::path Machine() const { return Folder() / "localhost"; }

    void PutOldMachineBack() {
        std::filesystem::remove_all(Machine());
        std::filesystem::copy(Folder() / "old", Machine(), std::filesystem::copy_options::recursive);
    }

    // The dump of the machine as a fresh process opens it.
    std::string DumpInFreshProcess() {
        const std::filesystem::path dump = Folder() / "dump.txt";
        std::filesystem::remove(dump);
        EXPECT_TRUE(InChild([&] {
            WatchCommitSteps(nullptr);
            CloseMachines();
            std::ofstream(dump, std::ios::binary) << DumpOfMachine(u"localhost");
            return true;
        }));
        return Read(dump);
    }

    // The names in the machine folder and its Sites folder that are neither
    // machine files nor folders: temporaries and records left behind.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const std::filesystem::path& folder : {Machine(), Machine() / "Sites"})
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                const std::string name = entry.path().filename().string();
                if (name.find(".tmp-") != std::string::npos || name.starts_with("Commit")) names.push_back(name);
            }
        return names;
    }
};

// A process killed at any step of a commit leaves a machine that a fresh process
// opens all old (before the record is on disk) or all new (once it is), with
// nothing of the commit left behind.
TEST_F(MachineCommit, KilledAtAnyStepTheMachineReopensAllOldOrAllNew) {
    const std::string oldDump = DumpInFreshProcess();
    ASSERT_TRUE(InChild([] {
        ChangeTheMachine();
        return true;
    }));
    const std::string newDump = DumpInFreshProcess();
    ASSERT_NE(newDump.find("ServerComment=Created"), std::string::npos);
    ASSERT_NE(newDump.find("domain new.example.org"), std::string::npos);
    ASSERT_NE(oldDump, newDump);

    struct TKill { TCommitStep Step; size_t Count; bool New; };
    std::vector<TKill> kills;
    for (size_t k = 1; k <= kFilesChanged; ++k) kills.push_back({TCommitStep::csTemporary, k, false});
    kills.push_back({TCommitStep::csRecord, 0, true});
    for (size_t k = 1; k <= kFilesChanged; ++k) kills.push_back({TCommitStep::csRename, k, true});
    kills.push_back({TCommitStep::csDone, 0, true});
    for (const TKill& kill : kills) {
        SCOPED_TRACE("step " + std::to_string(int(kill.Step)) + " count " + std::to_string(kill.Count));
        PutOldMachineBack();
        gKillStep = kill.Step;
        gKillCount = kill.Count;
        const pid_t child = ::fork();
        if (child == 0) {
            WatchCommitSteps(KillAtStep);
            try {
                ChangeTheMachine();
            } catch (...) {
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the step was never reached";
        const std::string dump = DumpInFreshProcess();
        EXPECT_TRUE(dump == (kill.New ? newDump : oldDump))
            << (dump == oldDump ? "all old" : dump == newDump ? "all new" : "part old, part new");
        EXPECT_EQ(Leftovers(), std::vector<std::string>());
    }
}

// A record that cannot be trusted is named and left as it is, and so is every
// machine file: nothing is guessed.
TEST_F(MachineCommit, ADamagedRecordIsNamedAndNothingIsTouched) {
    const std::string site = Read(Machine() / "Sites" / "1.xml");
    const std::string temporary = "Sites/1.xml.tmp-1-2", head = "Orvex machine commit\n";
    const std::string line2 = "line 2 is not a temporary file and the file it replaces";
    const struct {
        std::string Record, Why;
    } rows[] = {
        {"", "it does not start with \"Orvex machine commit\""},
        {head + temporary + "\tSites/1.xml\n", "it does not end with \"end\""},
        {head + temporary + "\tSites/1.xml\nend", "its last line is cut off"},
        {head + "Sites/2.xml.tmp-1-2\tSites/1.xml\nend\n", line2},
        {head + "Sites/1.xml\tSites/1.xml\nend\n", line2},
        {head + "../x.tmp-1-2\t../x\nend\n", line2},
        {head + temporary + "\nend\n", line2},
    };
    std::ofstream(Machine() / temporary, std::ios::binary) << "<Site name=\"1\"/>";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Record);
        CloseMachines();
        std::ofstream(Machine() / "Commit.txt", std::ios::binary) << row.Record;
        EXPECT_EQ(MessageOf<EMachineError>([] { OpenMachine(u"localhost"); }),
                  "Machine file \"" + (Machine() / "Commit.txt").string() + "\" is damaged: " + row.Why);
        EXPECT_EQ(Read(Machine() / "Commit.txt"), row.Record);
        EXPECT_EQ(Read(Machine() / "Sites" / "1.xml"), site);
        EXPECT_TRUE(std::filesystem::exists(Machine() / temporary));
    }
}

// The machine folder moved away while an operation wrote its files: before the
// record the commit fails with the one line that says so and the moved folder
// keeps its old files; once the record is there, every file goes into the moved
// folder, which is the one held locked, and the commit succeeds.
TEST_F(MachineCommit, AFolderMovedDuringTheCommitGetsAllFilesOrNone) {
    static std::filesystem::path from, to;
    static TCommitStep moveAt;
    from = Machine();
    to = Folder() / "elsewhere";
    for (const TCommitStep step : {TCommitStep::csTemporary, TCommitStep::csRecord}) {
        SCOPED_TRACE(int(step));
        CloseMachines();
        std::filesystem::remove_all(to);
        PutOldMachineBack();
        moveAt = step;
        WatchCommitSteps([](TCommitStep reached, size_t count) {
            if (reached == moveAt && count <= 1) std::filesystem::rename(from, to);
        });
        const std::string error = MessageOf<EMachineFilesError>(ChangeTheMachine);
        WatchCommitSteps(nullptr);
        std::filesystem::rename(to, from);
        CloseMachines();
        const bool beforeRecord = step == TCommitStep::csTemporary;
        EXPECT_EQ(error, beforeRecord ? "Machine folder \"" + Machine().string() +
                                            "\" is missing: it was removed or moved while the program ran"
                                      : "");
        EXPECT_EQ(Bind(u"IIS://localhost/W3SVC/1").Call(u"Get", u"ServerComment").AsText(),
                  beforeRecord ? u"Default Web Site" : u"Changed");
        EXPECT_EQ(std::filesystem::exists(Machine() / "Sites" / "9.xml"), !beforeRecord);
        EXPECT_EQ(Leftovers(), std::vector<std::string>());
    }
}

} // namespace
} // namespace orvex::testing
