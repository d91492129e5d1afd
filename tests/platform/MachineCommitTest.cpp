#include "platform/MachineCommit.h"

#include "../base/FailingFolderSync.h"
#include "../base/OtherUser.h"
#include "MachineTestSupport.h"
#include "platform/MachineStorage.h"
#include "platform/MetabaseValues.h"
#include "platform/Pop3Admin.h"

#include <atomic>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

// The names read from folders by the code under test: the binary is linked with
// -Wl,--wrap=readdir.
static std::atomic<size_t> gNamesRead{0};
extern "C" dirent* __real_readdir(DIR* folder);
extern "C" dirent* __wrap_readdir(DIR* folder) {
    ++gNamesRead;
    return __real_readdir(folder);
}

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

    // The error that calls the machine's record damaged, for why.
    std::string Damaged(const std::string& why) const {
        const std::string record = (Machine() / "Commit.txt").string();
        return "Machine file \"" + record + "\" is damaged: " + why + "; check the machine's files, then remove \"" +
               record + "\" to open the machine as its files stand";
    }

    // Opens the machine as the next run does, doing what each error that calls its
    // record damaged says, until it opens: the errors whose advice was followed.
    std::vector<std::string> OpenFollowingAdvice() {
        const std::string advice = "; check the machine's files, then remove \"";
        std::vector<std::string> followed;
        for (;;) {
            CloseMachines();
            const std::string error = MessageOf<EMachineError>([] { OpenMachine(u"localhost"); });
            const size_t remove = error.find(advice);
            if (error.empty() || remove == std::string::npos || followed.size() == 3) {
                EXPECT_EQ(error, "");
                return followed;
            }
            followed.push_back(error);
            const size_t from = remove + advice.size();
            std::filesystem::remove(error.substr(from, error.find('"', from) - from));
        }
    }

    // The error of finishing the machine's commit, as the next run does ("" for none).
    std::string Recover() const {
        const TFileHandle handle(::open(Machine().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        return MessageOf<EMachineError>([&] { RecoverMachineFolder(Machine(), handle.Get()); });
    }

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
        ASSERT_TRUE(KilledInChild([] {
            WatchCommitSteps(KillAtStep);
            ChangeTheMachine();
        })) << "the step was never reached";
        const std::string dump = DumpInFreshProcess();
        EXPECT_TRUE(dump == (kill.New ? newDump : oldDump))
            << (dump == oldDump ? "all old" : dump == newDump ? "all new" : "part old, part new");
        EXPECT_EQ(Leftovers(), std::vector<std::string>());
    }
}

// A record that cannot be trusted is named and left as it is, and so is every
// machine file: nothing is guessed, every line is checked before the first rename.
// A record names the files a machine consists of only: one that names any other
// file, however it is written, is damaged; so is one whose temporary is no regular
// file. A temporary of another user, also beyond a link, is refused.
TEST_F(MachineCommit, ADamagedRecordIsNamedAndNothingIsTouched) {
    const std::string site = Read(Machine() / "Sites" / "1.xml");
    const std::string temporary = "Sites/1.xml.tmp-1-2", head = "Orvex machine commit\n";
    const std::string line2 = "line 2 is not a temporary file and the file it replaces";
    const std::string identity = "line 2 does not end with the inode, size and modification time of its temporary file";
    const std::string outside = (Folder() / "data.txt").string();
    std::ofstream(outside, std::ios::binary) << "data";
    std::ofstream(outside + ".tmp-1-2", std::ios::binary) << "replaced";
    std::filesystem::create_directories(Machine() / "drives");
    std::filesystem::create_symlink(outside, Machine() / "Sites" / "1.xml.tmp-1-3");
    std::filesystem::create_directory(Machine() / "Sites" / "1.xml.tmp-1-4");
    struct TRow {
        std::string Record, Why;
        std::string Error = {};  // when it is no damaged record
    };
    std::vector<TRow> rows = {
        {"", "it does not start with \"Orvex machine commit\""},
        {head + temporary + "\tSites/1.xml\n", "it does not end with \"end\""},
        {head + temporary + "\tSites/1.xml\nend", "its last line is cut off"},
        {head + "Sites/2.xml.tmp-1-2\tSites/1.xml\nend\n", line2},
        {head + "Sites/1.xml\tSites/1.xml\nend\n", line2},
        {head + "../x.tmp-1-2\t../x\nend\n", line2},
        {head + temporary + "\nend\n", line2},
        {head + outside + ".tmp-1-2\t" + outside + "\nend\n", line2},
        {head + "../data.txt.tmp-1-2\t../data.txt\nend\n", line2},
        {head + "Sites/../../data.txt.tmp-1-2\tSites/../../data.txt\nend\n", line2},
        {head + "drives/x.tmp-1-2\tdrives/x\nend\n", line2},
        {head + "Commit.txt.tmp-1-2\tCommit.txt\nend\n", line2},
        {head + temporary + "\tSites/1.xml\nnotes.tmp-1-2\tnotes\nend\n",
         "line 3 is not a temporary file and the file it replaces"},
        {head + temporary + "\tSites/1.xml\t12x\nend\n", identity},
        {head + temporary + "\tSites/1.xml\t12\t3\nend\n", identity},
        {head + temporary + "\tSites/1.xml\t12\t3\t4x\nend\n", identity},
        {head + temporary + "\tSites/1.xml\t12\t3\t4\t5\nend\n", identity},
        {head + "Sites/1.xml.tmp-1-3\tSites/1.xml\nend\n", "line 2 names a temporary file that is a link"},
        {head + "Sites/1.xml.tmp-1-4\tSites/1.xml\nend\n", "line 2 names a temporary file that is not a regular file"},
    };
    for (const char* name : {"notes", "Faults.txt", "Sites/x.txt", "Sites/%41.xml", "Sites/.xml", "Sites/a.b.xml"})
        rows.push_back({head + name + ".tmp-1-2\t" + name + "\nend\n", line2});
    // Only root can give a file away; Pop3.xml links to a file of ours beside it.
    if (::geteuid() == 0) {
        const std::filesystem::path kept = Folder() / "kept.xml";
        std::filesystem::rename(Machine() / "Pop3.xml", kept);
        std::filesystem::create_symlink(kept, Machine() / "Pop3.xml");
        std::ofstream(kept.string() + ".tmp-1-2", std::ios::binary) << "replaced";
        ASSERT_EQ(::chown((kept.string() + ".tmp-1-2").c_str(), OtherUser(), OtherUser()), 0);
        rows.push_back({head + "Pop3.xml.tmp-1-2\tPop3.xml\nend\n", "",
                        "Machine file \"" + kept.string() + ".tmp-1-2\" is not changed: \"" + kept.string() +
                            ".tmp-1-2\" belongs to nobody: run Orvex as nobody, or give it to root"});
    }
    std::ofstream(Machine() / temporary, std::ios::binary) << "<Site name=\"1\"/>";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Record);
        CloseMachines();
        std::ofstream(Machine() / "Commit.txt", std::ios::binary) << row.Record;
        EXPECT_EQ(MessageOf<EMachineError>([] { OpenMachine(u"localhost"); }),
                  row.Error.empty() ? Damaged(row.Why) : row.Error);
        EXPECT_EQ(Read(Machine() / "Commit.txt"), row.Record);
        EXPECT_EQ(Read(Machine() / "Sites" / "1.xml"), site);
        EXPECT_TRUE(std::filesystem::exists(Machine() / temporary));
        EXPECT_EQ(Read(outside), "data");
        EXPECT_EQ(Read(outside + ".tmp-1-2"), "replaced");
    }
}

// A linked machine file is followed to its end without /proc: through a chain of
// links or a relative one, also where a record of the version before names it by
// the absolute path its link leads to. A link that leads nowhere or in a circle is
// named, and so is an absolute path no link leads to; nothing is renamed then.
TEST_F(MachineCommit, ARecordFollowsLinksToTheirEnd) {
    using std::filesystem::path;
    const path pop3 = Machine() / "Pop3.xml", kept = Folder() / "kept" / "Pop3.xml", hop = Folder() / "hop.xml";
    const path temporary = kept.string() + ".tmp-1-2";
    std::filesystem::create_directories(kept.parent_path());
    const std::string head = "Orvex machine commit\n", relative = head + "Pop3.xml.tmp-1-2\tPop3.xml\nend\n";
    const auto absolute = [&](const path& file) { return head + file.string() + ".tmp-1-2\t" + file.string() + "\nend\n"; };
    const std::string cannotFollow = "Machine file \"" + pop3.string() + "\" is a link that cannot be followed: ";
    const struct {
        std::vector<std::pair<path, path>> Links;
        std::string Record, Error;
        uid_t Owner = ::geteuid();
    } rows[] = {
        {{{pop3, kept}}, absolute(kept), ""},
        {{{pop3, "../kept/Pop3.xml"}}, relative, ""},
        {{{pop3, hop}, {hop, "kept/Pop3.xml"}}, relative, ""},
        {{{pop3, hop}, {hop, "kept/Pop3.xml"}}, absolute(kept), ""},
        // Another user's file is not replaced, also through a link of ours.
        {{{pop3, kept}}, relative,
         "Machine file \"" + pop3.string() + "\" is not changed: \"" + kept.string() +
             "\" belongs to nobody: run Orvex as nobody, or give it to root",
         OtherUser()},
        {{{pop3, kept}}, absolute(hop), Damaged("line 2 is not a temporary file and the file it replaces")},
        {{{pop3, Folder() / "missing.xml"}}, relative, cannotFollow + "No such file or directory"},
        {{{pop3, hop}, {hop, pop3}}, relative, cannotFollow + "Too many levels of symbolic links"},
    };
    // A child of its own mount namespace can hide /proc (as root, where allowed).
    const auto hideProc = [] {
        return MountPrivately("none", "/proc", "tmpfs", 0) && !std::filesystem::exists("/proc/self");
    };
    const bool canHideProc = InChild(hideProc);
    for (const bool withoutProc : {false, true})
        for (const auto& row : rows) {
            SCOPED_TRACE((withoutProc ? "without /proc: " : "") + row.Record + row.Error);
            if ((withoutProc && !canHideProc) || (row.Owner != ::geteuid() && ::geteuid() != 0))
                continue;
            for (const path& file : {pop3, hop, kept, temporary})
                std::filesystem::remove(file);
            std::ofstream(kept, std::ios::binary) << "old";
            std::ofstream(temporary, std::ios::binary) << "new";
            for (const path& file : {kept, temporary})
                ASSERT_EQ(::chown(file.c_str(), row.Owner, row.Owner), 0);
            for (const auto& [link, to] : row.Links)
                std::filesystem::create_symlink(to, link);
            std::ofstream(Machine() / "Commit.txt", std::ios::binary) << row.Record;
            if (withoutProc)
                EXPECT_TRUE(InChild([&] { return hideProc() && Recover() == row.Error; }));
            else
                EXPECT_EQ(Recover(), row.Error);
            const bool finished = row.Error.empty();
            EXPECT_EQ(Read(kept), finished ? "new" : "old");
            EXPECT_EQ(std::filesystem::exists(temporary), !finished);
            EXPECT_EQ(Read(Machine() / "Commit.txt"), finished ? "" : row.Record);
            EXPECT_TRUE(std::filesystem::is_symlink(pop3));
        }
}

// Only temporaries of the machine's own files (and of its record) are a change
// left unfinished, and only those whose process is gone are cleared: other files
// of the same pattern stay, and so does a living process's temporary.
TEST_F(MachineCommit, OnlyTemporariesOfTheMachinesFilesAreCleared) {
    const std::string gone = std::to_string(GonePid()), living = "1";
    const struct {
        const char* File;
        const std::string& Process;
        bool Machines, Cleared;
    } rows[] = {
        {"notes", gone, false, false},      {"Faults.txt", gone, false, false}, {"Sites/x.txt", gone, false, false},
        {"Pop3.xml", gone, true, true},     {"Commit.txt", gone, true, true},   {"Sites/1.xml", gone, true, true},
        {"Sites/%0041.xml", gone, true, true}, {"Pop3.xml", living, true, false},
    };
    for (const auto& row : rows) {
        const std::string name = std::string(row.File) + ".tmp-" + row.Process + "-2";
        SCOPED_TRACE(name);
        CloseMachines();
        std::ofstream(Machine() / name, std::ios::binary) << "x";
        EXPECT_EQ(HasUnfinishedCommit(Machine()), row.Machines);
        OpenMachine(u"localhost");
        EXPECT_EQ(std::filesystem::exists(Machine() / name), !row.Cleared);
        std::filesystem::remove(Machine() / name);
    }
}

// Two machines whose Sites link to one shared folder: a commit of one killed once
// its record is on disk is finished whole when the other machine was opened first,
// which leaves the temporaries beyond its link alone. A temporary lost all the
// same is named, and nothing is renamed.
TEST_F(MachineCommit, AKilledCommitInASharedSitesFolderIsFinishedWholeOrNamed) {
    const std::filesystem::path shared = Folder() / "shared";
    MakeMachine(u"web2", [](TMachineState&) {});
    std::filesystem::rename(Machine() / "Sites", shared);
    for (const std::filesystem::path& machine : {Machine(), Folder() / "web2"}) {
        std::filesystem::remove_all(machine / "Sites");
        std::filesystem::create_directory_symlink("../shared", machine / "Sites");
    }
    std::filesystem::remove_all(Folder() / "old");
    const auto keepLinks = std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks;
    std::filesystem::copy(Machine(), Folder() / "old", keepLinks);
    std::filesystem::copy(shared, Folder() / "old-shared", std::filesystem::copy_options::recursive);
    ASSERT_TRUE(InChild([] {
        ChangeTheMachine();
        return true;
    }));
    const std::string newDump = DumpInFreshProcess();
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost ? "a temporary lost" : "the other machine opened first");
        std::filesystem::remove_all(Machine());
        std::filesystem::remove_all(shared);
        std::filesystem::copy(Folder() / "old", Machine(), keepLinks);
        std::filesystem::copy(Folder() / "old-shared", shared, std::filesystem::copy_options::recursive);
        const auto oldSite = Read(shared / "1.xml");
        gKillStep = TCommitStep::csRecord;
        gKillCount = 0;
        ASSERT_TRUE(KilledInChild([] {
            WatchCommitSteps(KillAtStep);
            ChangeTheMachine();
        }));
        EXPECT_TRUE(InChild([] {
            OpenMachine(u"web2");
            return true;
        }));
        std::string temporary;
        for (const auto& entry : std::filesystem::directory_iterator(shared))
            if (entry.path().filename().string().starts_with("1.xml.tmp-"))
                temporary = entry.path().string();
        ASSERT_FALSE(temporary.empty()) << "opening web2 removed the temporary of localhost's record";
        if (lost) {
            std::filesystem::remove(temporary);
            const std::string record = Read(Machine() / "Commit.txt");
            EXPECT_EQ(MessageOf<EMachineError>([] { OpenMachine(u"localhost"); }),
                      Damaged("line 2 names a temporary file that is lost: \"" + temporary + "\" is gone, and \"" +
                              (Machine() / "Sites/1.xml").string() + "\" is not the file it held"));
            EXPECT_EQ(Read(Machine() / "Commit.txt"), record);
            EXPECT_EQ(Read(shared / "1.xml"), oldSite);
        } else {
            EXPECT_EQ(DumpInFreshProcess(), newDump);
        }
        CloseMachines();
    }
}

// A folder sync that fails is a failed write. Before the record is known to be on
// disk the machine stays all old; after it, the record is kept and the next open
// finishes the commit: all new. Nothing of the commit is left either way.
TEST_F(MachineCommit, AFailedFolderSyncFailsTheCommit) {
    static std::optional<test::TFailingFolderSyncs> failing;
    const std::string oldDump = DumpInFreshProcess();
    for (const bool afterRecord : {false, true}) {
        SCOPED_TRACE(afterRecord ? "after the record" : "before the record");
        CloseMachines();
        PutOldMachineBack();
        if (afterRecord)
            WatchCommitSteps([](TCommitStep step, size_t) {
                if (step == TCommitStep::csRecord) failing.emplace();
            });
        else
            failing.emplace();
        const std::string error = MessageOf<EMachineFilesError>(ChangeTheMachine);
        failing.reset();
        WatchCommitSteps(nullptr);
        const std::string file = (Machine() / (afterRecord ? "Metabase.xml" : "Commit.txt")).string();
        EXPECT_EQ(error, "Cannot create file \"" + file + "\". Input/output error");
        const std::string dump = DumpInFreshProcess();
        EXPECT_EQ(dump == oldDump, !afterRecord);
        EXPECT_EQ(dump.find("ServerComment=Created") != std::string::npos, afterRecord);
        EXPECT_EQ(Leftovers(), std::vector<std::string>());
    }
}

// A record's lines are checked once, before the first rename: a line whose
// temporary was gone then (the process that wrote the record renamed it) is never
// renamed, whatever appears under its name afterwards. In a commit that is not
// recovered, a temporary gone before its rename is a failure, not a file renamed.
TEST_F(MachineCommit, ATemporaryGoneAtTheCheckIsNeverRenamed) {
    static std::filesystem::path temporary;
    temporary = Machine() / ("Pop3.xml.tmp-" + std::to_string(GonePid()) + "-1");
    const std::string pop3 = Read(Machine() / "Pop3.xml");
    std::ofstream(Machine() / "Commit.txt", std::ios::binary)
        << "Orvex machine commit\n" << temporary.filename().string() << "\tPop3.xml\nend\n";
    WatchCommitSteps([](TCommitStep step, size_t) {
        if (step == TCommitStep::csChecked) std::ofstream(temporary, std::ios::binary) << "planted";
    });
    OpenMachine(u"localhost");
    EXPECT_EQ(Read(Machine() / "Pop3.xml"), pop3);
    EXPECT_EQ(Leftovers(), std::vector<std::string>());

    CloseMachines();
    WatchCommitSteps([](TCommitStep step, size_t) {
        if (step != TCommitStep::csRecord) return;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temporary.parent_path()))
            if (entry.path().filename().string().find(".tmp-") != std::string::npos) std::filesystem::remove(entry);
    });
    const std::string error = MessageOf<EMachineFilesError>(ChangeTheMachine);
    EXPECT_TRUE(error.starts_with("Cannot create file \"" + Machine().string() + "/") &&
                error.ends_with(". No such file or directory"))
        << error;
}

// A temporary that is gone was renamed over its file only while that file is the
// one it was: the same inode, size and modification time, as far as its line
// tells (a line of an earlier version carries the inode alone, or nothing). Else
// it is lost, also where the inode was handed to a file written since, and the
// error says what to do; doing it opens the machine as its files stand.
TEST_F(MachineCommit, ATemporaryIsKnownByItsInodeSizeAndTime) {
    const std::filesystem::path pop3 = Machine() / "Pop3.xml", other = Machine() / "Pop3.xml.other";
    const std::string bytes = Read(pop3), name = "Pop3.xml.tmp-" + std::to_string(GonePid()) + "-1";
    const std::filesystem::path temporary = Machine() / name;
    const std::string lost = Damaged("line 2 names a temporary file that is lost: \"" + temporary.string() +
                                     "\" is gone, and \"" + pop3.string() + "\" is not the file it held");
    // What became of the file once the temporary was renamed over it.
    enum TAfter { aKept, aGrown, aTouched, aReplaced };
    const struct {
        size_t Fields;
        TAfter After;
        bool Lost;
    } rows[] = {
        {5, aKept, false}, {5, aGrown, true},     {5, aTouched, true}, {5, aReplaced, true},
        {3, aGrown, false}, {3, aReplaced, true}, {2, aReplaced, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.Fields) + " fields, after " + std::to_string(int(row.After)));
        CloseMachines();
        std::ofstream(temporary, std::ios::binary) << bytes;
        struct stat written {};
        ASSERT_EQ(::stat(temporary.c_str(), &written), 0);
        const std::string fields[] = {
            name, "Pop3.xml", std::to_string(written.st_ino), std::to_string(written.st_size),
            std::to_string(written.st_mtim.tv_sec * 1'000'000'000LL + written.st_mtim.tv_nsec)};
        std::string record = "Orvex machine commit\n";
        for (size_t i = 0; i < row.Fields; ++i)
            record += fields[i] + (i + 1 < row.Fields ? "\t" : "\n");
        std::ofstream(Machine() / "Commit.txt", std::ios::binary) << record << "end\n";
        std::filesystem::rename(temporary, pop3);
        timespec times[2] = {{0, UTIME_OMIT}, written.st_mtim};
        if (row.After == aGrown)
            std::ofstream(pop3, std::ios::binary | std::ios::app) << "\n";
        if (row.After == aTouched)
            ++times[1].tv_sec;
        ASSERT_EQ(::utimensat(AT_FDCWD, pop3.c_str(), times, 0), 0);
        if (row.After == aReplaced) {
            std::ofstream(other, std::ios::binary) << bytes;
            std::filesystem::rename(other, pop3);
        }
        const std::string standing = Read(pop3);
        EXPECT_EQ(OpenFollowingAdvice(), row.Lost ? std::vector{lost} : std::vector<std::string>());
        EXPECT_EQ(Read(pop3), standing);
        EXPECT_EQ(Leftovers(), std::vector<std::string>());
    }
}

// A record of the version before naming many linked machine files by where their
// links lead is finished with each folder read a few times, not once per line.
TEST_F(MachineCommit, ARecordOfManyLinkedFilesReadsEachFolderAFewTimes) {
    constexpr size_t kLinks = 500;
    const std::filesystem::path kept = Folder() / "kept";
    std::filesystem::create_directory(kept);
    std::string record = "Orvex machine commit\n";
    for (size_t i = 0; i < kLinks; ++i) {
        const std::string site = std::to_string(1000 + i) + ".xml", file = (kept / site).string();
        std::ofstream(file, std::ios::binary) << "old";
        std::ofstream(file + ".tmp-1-2", std::ios::binary) << "new";
        std::filesystem::create_symlink(file, Machine() / "Sites" / site);
        record += file + ".tmp-1-2\t" + file + "\n";
    }
    std::ofstream(Machine() / "Commit.txt", std::ios::binary) << record << "end\n";
    gNamesRead = 0;
    EXPECT_EQ(Recover(), "");
    EXPECT_LT(gNamesRead.load(), 4 * kLinks);  // the folders read hold about kLinks names each
    size_t renamed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kept))
        renamed += Read(entry.path()) == "new";
    EXPECT_EQ(renamed, kLinks);
    EXPECT_FALSE(std::filesystem::exists(Machine() / "Commit.txt"));
}

// A commit of more files than the process may hold open at once waits for its
// oldest temporaries as it goes, and puts every file in place.
TEST_F(MachineCommit, ACommitOfMoreFilesThanHandlesPutsEveryFileInPlace) {
    constexpr int kSites = 100;
    EXPECT_TRUE(InChild([] {
        const rlimit handles{64, 64};
        if (::setrlimit(RLIMIT_NOFILE, &handles) != 0)
            return false;
        CreateMachine(u"many", BuildLargeMachineState(u"many", kSites, 1));
        return true;
    }));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder() / "many" / "Sites"), {}), kSites);
    EXPECT_FALSE(HasUnfinishedCommit(Folder() / "many"));
}

// A machine file that is a link keeps it: the file it links to gets the new
// contents, also when the commit is finished by the next open.
TEST_F(MachineCommit, AMachineFileThatIsALinkStaysALink) {
    const std::filesystem::path pop3 = Machine() / "Pop3.xml", kept = Folder() / "kept" / "Pop3.xml";
    std::filesystem::create_directories(kept.parent_path());
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "finished by the next open" : "finished at once");
        CloseMachines();
        PutOldMachineBack();
        std::filesystem::copy_file(pop3, kept, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove(pop3);
        std::filesystem::create_symlink(kept, pop3);
        EXPECT_EQ(InChild([&] {
                      if (killed) {
                          gKillStep = TCommitStep::csRecord;
                          gKillCount = 0;
                          WatchCommitSteps(KillAtStep);
                      }
                      ChangeTheMachine();
                      return true;
                  }),
                  !killed);
        EXPECT_NE(DumpInFreshProcess().find("domain new.example.org"), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_symlink(pop3));
        EXPECT_NE(Read(kept).find("new.example.org"), std::string::npos);
        EXPECT_EQ(Leftovers(), std::vector<std::string>());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kept.parent_path()), {}), 1);
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
