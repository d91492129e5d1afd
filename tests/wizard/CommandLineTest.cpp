// The unattended backup as cron runs it: the real program, started offscreen from a
// folder of its own (a link to the built executable, so config.ini, the info log
// and bare "-f" names stay in the test's folder) against emulated machines there.

#include "../base/ChildProcess.h"
#include "../base/XServerStandIn.h"
#include "base/SafePath.h"
#include "../engine/TempFolder.h"
#include "support/HostInfo.h"

#include <QDate>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <grp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvex::test {
namespace {

using namespace std::string_literals;

const std::string kHead = CrLfLines({R"(<?xml version="1.0" encoding="UTF-8"?>)", "<Root>", "  <Machines>"});
const std::string kTail = CrLfLines({"  </Machines>", "</Root>"});
// What the line naming a wrong argument says after it.
const std::string kAccepted =
    "; accepted are the switches /backup, /q and /o (beginning with \"/\" or \"-\", in any case) and the options -n "
    "NAME, -m MACHINE and -f FILE (written exactly so)";

// A Machine element in the file's own layout, so that a rewrite keeps it byte for byte.
std::string StubMachine(const std::string& name) {
    return CrLfLines({"    <Machine backupName=\"" + name +
                          R"(" machineName="web2" path="w3svc" className="IIsWebService">)",
                      R"(      <Property id="KeyType" type="STRING" value="IIsWebService" Inherit="False"/>)",
                      "    </Machine>"});
}

std::string Today() { return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString(); }

class TCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(File("machines"));
        LinkProgram(ORVEX_EXECUTABLE, "orvex");
    }

    std::filesystem::path File(const std::string& name) const { return FTemp.File(name); }
    std::string Path(const std::string& name) const { return File(name).string(); }

    // Puts the built executable into the test's folder as name.
    void LinkProgram(const char* executable, const std::string& name) {
        std::error_code error;
        std::filesystem::create_hard_link(executable, File(name), error);
        if (error)
            std::filesystem::copy_file(executable, File(name));
    }

    // The test's environment: its machines, offscreen, then Environment.
    QProcessEnvironment ProgramEnvironment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ORVEX_MACHINES"), QString::fromStdString(Path("machines")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const auto& [name, value] : Environment)
            value.isEmpty() ? environment.remove(name) : environment.insert(name, value);
        return environment;
    }

    // Starts the program (or another, such as a shell) in the test's environment.
    void Start(QProcess& process, const std::vector<std::string>& arguments, const std::function<void()>& inChild = {},
               const std::string& program = {}) {
        process.setProcessEnvironment(ProgramEnvironment());
        process.setChildProcessModifier(inChild ? inChild : [] {});
        QStringList list;
        for (const std::string& argument : arguments)
            list << QString::fromStdString(argument);
        process.start(QString::fromStdString(program.empty() ? Path("orvex") : program), list);
    }

    // Starts the build of the program that stops itself at the install step named
    // step, in the test's environment, and waits until it has stopped there: its
    // process id, or 0 after a failure when it ended before.
    pid_t StartStoppingAt(const std::string& step, const std::vector<std::string>& arguments) {
        if (!std::filesystem::exists(File("orvex-stopping")))
            LinkProgram(ORVEX_STOPPING_EXECUTABLE, "orvex-stopping");
        QProcessEnvironment environment = ProgramEnvironment();
        environment.insert(QStringLiteral("ORVEX_STOP_AT_STEP"), QString::fromStdString(step));
        std::vector<std::string> argv = {Path("orvex-stopping")}, envp;
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        for (const QString& variable : environment.toStringList())
            envp.push_back(variable.toStdString());
        const auto pointers = [](std::vector<std::string>& texts) {
            std::vector<char*> list;
            for (std::string& text : texts)
                list.push_back(text.data());
            list.push_back(nullptr);
            return list;
        };
        pid_t program = 0;
        if (const int error = ::posix_spawn(&program, argv[0].c_str(), nullptr, nullptr, pointers(argv).data(),
                                            pointers(envp).data())) {
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(error);
            return 0;
        }
        int status = 0;
        if (::waitpid(program, &status, WUNTRACED) == program && WIFSTOPPED(status))
            return program;
        ADD_FAILURE() << "it ended before it stopped at the step, with status " << status;
        return 0;
    }

    // The exit status, or -1 when the program did not end by itself in time.
    int Run(const std::vector<std::string>& arguments, int milliseconds = 120'000,
            const std::function<void()>& inChild = {}, const std::string& program = {}) {
        QProcess process;
        Start(process, arguments, inChild, program);
        const bool finished = process.waitForFinished(milliseconds);
        if (!finished) {
            process.kill();
            process.waitForFinished();
        }
        Output = process.readAllStandardOutput().toStdString();
        Errors = process.readAllStandardError().toStdString();
        if (!finished)
            return -1;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << Errors;
        return process.exitCode();
    }

    // Every file and folder under the test's folder but the info log, as paths
    // relative to it: what a run made.
    std::set<std::string> Entries() const {
        std::set<std::string> entries;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(FTemp.Path()))
            if (!entry.path().filename().string().starts_with("orvex.info."))
                entries.insert(std::filesystem::relative(entry.path(), FTemp.Path()).string());
        return entries;
    }

    // What the last run printed.
    std::string Output, Errors;

    // The last run printed line as its error, and logged it.
    void ExpectReported(const std::string& line) {
        EXPECT_EQ(Errors, line + "\n");
        EXPECT_NE(InfoLog().find("\t" + line + "\r\n"), std::string::npos) << InfoLog();
    }

    // Today's info log beside the program as UTF-8 (without its mark); "" when none.
    std::string InfoLog() const {
        const std::string bytes = ReadBytes(File("orvex.info." + Today().substr(2) + ".log"));
        return bytes.size() < 2 ? "" : QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                                                          static_cast<qsizetype>(bytes.size() / 2 - 1))
                                           .toStdString();
    }

    // Set for the program after the defaults; an empty value removes the variable.
    std::vector<std::pair<QString, QString>> Environment;
    TTempFolder FTemp;
};

TEST_F(TCommandLineTest, CleanBackupsBesideTheProgramAndWithOptions) {
    const std::string config = "[main]\nBackupMetaFileName=" + Path("Elsewhere.xml") + "\n";
    WriteBytes(File("config.ini"), config);
    ASSERT_EQ(Run({"/backup", "-f", "backup.xml", "/q"}), 0) << InfoLog();
    const std::string backup = ReadBytes(File("backup.xml"));
    EXPECT_TRUE(backup.starts_with(kHead + "    <Machine backupName=\"" + Utf16ToUtf8(GetComputerNameString()) +
                                   R"(Sites" machineName="" path="w3svc" className="IIsWebService">)" "\r\n"))
        << backup.substr(0, 300);
    EXPECT_TRUE(backup.ends_with("    </Machine>\r\n" + kTail));
    EXPECT_NE(backup.find(R"(siteName="Default Web Site")"), std::string::npos);
    for (size_t at = backup.find('\n'); at != std::string::npos; at = backup.find('\n', at + 1))
        ASSERT_EQ(backup[at - 1], '\r') << "bare line feed at " << at;
    EXPECT_EQ(InfoLog(), "");
    EXPECT_EQ(Output + Errors, "");
    EXPECT_EQ(ReadBytes(File("config.ini")), config);

    // The last "-n" counts, with its first marker; Qt's own options are Qt's.
    const std::string before = Today();
    ASSERT_EQ(Run({"/BACKUP", "-n", "First", "-m", "localhost", "-style", "fusion", "-f", Path("Sites.xml"), "-n",
                   "Night(~today~)(~today~)", "-platform", "offscreen", "-Q"}),
              0);
    const std::string named = ReadBytes(File("Sites.xml"));
    const auto machine = [](const std::string& date) {
        return "\r\n    <Machine backupName=\"Night" + date + "(~today~)\" machineName=\"localhost\" path=\"w3svc\"";
    };
    EXPECT_TRUE(named.find(machine(before)) == kHead.size() - 2 || named.find(machine(Today())) == kHead.size() - 2);
    EXPECT_EQ(named.find("<Machine ", kHead.size() + 6), std::string::npos);
}

TEST_F(TCommandLineTest, OverwriteReplacesTheBackupAndWithoutItNothingChanges) {
    const std::string original = kHead + StubMachine("A") + StubMachine("B") + StubMachine("C") + kTail;
    WriteBytes(File("Sites.xml"), original);
    // What a killed run left goes even when this run saves nothing.
    const pid_t gone = testing::GonePid();
    const std::filesystem::path leftover = File("Sites.xml.tmp-" + std::to_string(gone) + "-7");
    WriteBytes(leftover, original.substr(0, 100));
    // Another program's of the same pattern is none of ours.
    const std::filesystem::path draft = File("report.odt.tmp-" + std::to_string(gone) + "-1");
    WriteBytes(draft, "draft");
    EXPECT_EQ(Run({"/backup", "-n", "b", "-f", Path("Sites.xml"), "/q"}), 1);
    EXPECT_EQ(ReadBytes(File("Sites.xml")), original);
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_NE(InfoLog().find("\tWARNING during backup of : Answered No, as nobody can answer in an unattended run: "
                             "A backup named b already exists. Are you sure you want to overwrite it?\r\n"),
              std::string::npos)
        << InfoLog();

    // The old element goes, the new one is the last; the others stay as they were.
    EXPECT_EQ(Run({"/backup", "-n", "b", "-f", Path("Sites.xml"), "/q", "-o"}), 0) << InfoLog();
    const std::string replaced = ReadBytes(File("Sites.xml"));
    const std::string before = kHead + StubMachine("A") + StubMachine("C");
    ASSERT_TRUE(replaced.starts_with(before + R"(    <Machine backupName="b" machineName="" )"));
    EXPECT_TRUE(replaced.ends_with("    </Machine>\r\n" + kTail));
    EXPECT_GT(replaced.size(), before.size() + 10'000);
    EXPECT_EQ(ReadBytes(draft), "draft");
}

// A commit record left in a machine folder renames files of that machine only:
// one that names any other file (also through a link), or whose temporary beyond a
// link is another user's, is damaged, and nothing is renamed.
TEST_F(TCommandLineTest, CommitRecordNamingAFileOutsideItsMachineRenamesNothing) {
    ASSERT_EQ(Run({"/backup", "-f", Path("First.xml"), "/q"}), 0);
    std::filesystem::create_directories(File("V"));
    const std::string data = Path("V/data.txt"), site = Path("V/x.xml"), record = Path("machines/localhost/Commit.txt");
    const std::filesystem::path sites = File("machines/localhost/Sites");
    const std::pair<std::string, std::string> files[] = {
        {data, "data"}, {data + ".tmp-99999-1", "EVIL"}, {site, "site"}, {site + ".tmp-99999-1", "EVIL"}};
    for (const auto& [file, bytes] : files)
        WriteBytes(file, bytes);
    const bool root = ::geteuid() == 0;  // only root can give a file away
    if (root) {
        const uid_t other = testing::OtherUser();
        ASSERT_EQ(::chown((site + ".tmp-99999-1").c_str(), other, other), 0);
    }
    const std::string head = "Orvex machine commit\n",
                      notAFile = "Machine file \"" + record + "\" is damaged: line 2 is not a temporary file and the file it replaces";
    const struct {
        std::filesystem::path Link;
        std::string Record, Error;
    } rows[] = {
        {"", head + data + ".tmp-99999-1\t" + data + "\nend\n", notAFile},
        {File("machines/localhost/notes"), head + "notes.tmp-99999-1\tnotes\nend\n", notAFile},
        {sites, head + "Sites/x.xml.tmp-99999-1\tSites/x.xml\nend\n",
         "Machine file \"" + site + ".tmp-99999-1\" is not changed: \"" + site +
             ".tmp-99999-1\" belongs to nobody: run Orvex as nobody, or give it to root"},
    };
    for (const auto& row : rows) {  // each row's link stays: the next ones name other files
        SCOPED_TRACE(row.Record);
        if (row.Link == sites && !root)
            continue;
        if (row.Link == sites)
            std::filesystem::remove_all(sites);
        if (!row.Link.empty())
            std::filesystem::create_symlink(row.Link == sites ? File("V") : File("V/data.txt"), row.Link);
        WriteBytes(record, row.Record);
        std::filesystem::remove(File("Sites.xml"));
        EXPECT_EQ(Run({"/backup", "-n", "X", "-f", Path("Sites.xml"), "/q"}), 1);
        EXPECT_NE(Errors.find(row.Error), std::string::npos) << Errors;
        for (const auto& [file, bytes] : files)
            EXPECT_EQ(ReadBytes(file), bytes) << file;
        EXPECT_EQ(ReadBytes(record), row.Record);
    }
}

// A machine folder of another user is never read nor changed, so its links never
// lead a change of ours into our files: its record is not finished, and the
// refusal names the folder, its owner and the remedy, whether a link leads to a
// file of ours in a shared folder or to our backup whose killed save left its
// temporary.
TEST_F(TCommandLineTest, AnotherUsersMachineFolderNeverLeadsAChangeIntoOurFiles) {
    ASSERT_EQ(Run({"/backup", "-f", Path("First.xml"), "/q"}), 0);
    const std::filesystem::path evil = File("machines/evil"), link = evil / "Metabase.xml";
    std::filesystem::copy(File("machines/localhost"), evil, std::filesystem::copy_options::recursive);
    std::filesystem::remove(link);
    if (!GiveToOtherUser(evil))
        GTEST_SKIP() << "needs root, to give a machine folder to another user";
    std::filesystem::create_directories(File("shared"));
    std::filesystem::permissions(File("shared"), std::filesystem::perms(01777));
    std::filesystem::create_directories(File("backups"));
    const std::string dead = std::to_string(testing::GonePid());
    const std::pair<std::string, std::string> ours[] = {
        {"shared/root.xml", "ours"}, {"backups/root.xml", ReadBytes(File("First.xml"))},
        {"backups/root.xml.tmp-" + dead + "-3", "<?xml version=\"1.0\"?><Root><Mach"}};
    for (const auto& [file, bytes] : ours)
        WriteBytes(File(file), bytes);
    const struct {
        std::filesystem::path Target;  // of the link, made by the other user
        std::string Planted;           // a temporary that user put beside it
    } rows[] = {
        {File("shared/root.xml"), "shared/root.xml.tmp-" + dead + "-1"},
        {"../../backups/root.xml", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Target);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(row.Target, link);
        if (!row.Planted.empty())
            WriteBytes(File(row.Planted), "theirs");
        const std::string record = "Orvex machine commit\nMetabase.xml.tmp-" + dead +
                                   (row.Planted.empty() ? "-3" : "-1") + "\tMetabase.xml\nend\n";
        WriteBytes(evil / "Commit.txt", record);
        ASSERT_TRUE(GiveToOtherUser(evil) && GiveToOtherUser(File("shared/root.xml.tmp-" + dead + "-1")));
        EXPECT_EQ(Run({"/backup", "-n", "X", "-m", "evil", "-f", Path("b.xml"), "/o", "/q"}), 1);
        EXPECT_NE(Errors.find("BackupMachine: Machine folder \"" + evil.string() + "\" is not read: \"" +
                              evil.string() + "\" belongs to nobody: run Orvex as nobody, or give it to root"),
                  std::string::npos)
            << Errors;
        for (const auto& [file, bytes] : ours)
            EXPECT_EQ(ReadBytes(File(file)), bytes) << file;
        EXPECT_EQ(ReadBytes(evil / "Commit.txt"), record);
    }
}

// Runs the program as user (in group, besides its own) from a forked child.
std::function<void()> AsUser(uid_t user, gid_t group) {
    return [user, group] {
        if (::setgroups(1, &group) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0)
            ::_exit(3);
    };
}

// A run reaches only what belongs to root or to the user Orvex runs as: a
// machines folder of another user takes no local machine, a machine folder shared
// through its group is read and changed by its owner only, and the removal of an
// install's leftover never enters another user's folder moved into it. Each
// refusal names the folder, its owner and the remedy, before anything changes.
TEST_F(TCommandLineTest, AFolderOfAnotherUserIsNeverChanged) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give folders to other users";
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const uid_t owner = testing::OtherUser(), member = owner - 1;
    const gid_t group = 4242;
    const std::filesystem::path machines = File("machines"), theirs = File("theirs"), team = machines / "team";
    // The team's machine with a change left to finish: Pop3.xml's temporary and its record.
    std::filesystem::copy(machines / "localhost", team, std::filesystem::copy_options::recursive);
    std::filesystem::remove_all(machines / "localhost");
    const std::string gone = std::to_string(testing::GonePid()), temporary = "Pop3.xml.tmp-" + gone + "-1";
    WriteBytes(team / temporary, "<Pop3/>");
    WriteBytes(team / "Commit.txt", "Orvex machine commit\n" + temporary + "\tPop3.xml\nend\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(team))
        ASSERT_EQ(::lchown(entry.path().c_str(), owner, group), 0);
    ASSERT_EQ(::chown(team.c_str(), owner, group), 0);
    ASSERT_EQ(::chmod(team.c_str(), 02775), 0);
    // Another user's leftover with an empty mark in their machines folder, and one of
    // ours with the mark in ours, each holding a third user's shared folder.
    for (const auto& [folder, mark] : {std::pair{theirs, ""}, {machines, "Orvex is installing the local machine"}}) {
        const std::filesystem::path leftover = folder / ("localhost.tmp-" + gone + "-1");
        std::filesystem::create_directories(leftover / "third");
        WriteBytes(leftover / ("Install.tmp-" + gone + "-1"), mark);
        WriteBytes(leftover / "third" / "file", "theirs");
        for (const auto& path : {leftover / "third", leftover / "third" / "file"})
            ASSERT_EQ(::lchown(path.c_str(), member - 1, member - 1), 0);
        std::filesystem::permissions(leftover / "third", std::filesystem::perms(01777));
    }
    ASSERT_TRUE(GiveToOtherUser(theirs));
    std::filesystem::permissions(machines, std::filesystem::perms(01777));
    std::filesystem::create_directory(File("out"));
    std::filesystem::permissions(File("out"), std::filesystem::perms::all);
    const auto ours = FilesBelow(machines, true), others = FilesBelow(theirs, true);
    const struct {
        const char* Case;
        std::filesystem::path Machines;
        std::string Machine;
        std::function<void()> As;
        std::string Error;
    } rows[] = {
        {"our own leftover", machines, "localhost", {}, ""},
        {"a machines folder of another user", theirs, "localhost", {},
         "Machine folder \"" + (theirs / "localhost").string() + "\" is not read: \"" + theirs.string() +
             "\" belongs to nobody: run Orvex as nobody, or give it to root"},
        {"a group's member", machines, "team", AsUser(member, group),
         "Machine folder \"" + team.string() + "\" is not read: \"" + team.string() +
             "\" belongs to nobody: run Orvex as nobody, or give it to user " + std::to_string(member)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        Environment = {{QStringLiteral("ORVEX_MACHINES"), QString::fromStdString(row.Machines.string())}};
        EXPECT_EQ(Run({"/backup", "-n", "X", "-m", row.Machine, "-f", Path("out/" + row.Machine + ".xml"), "/o", "/q"},
                      120'000, row.As),
                  row.Error.empty() ? 0 : 1);
        EXPECT_NE(Errors.find(row.Error), std::string::npos) << Errors;
    }
    // Only our leftover's mark went, and our local machine came.
    auto after = FilesBelow(machines, true), expected = ours;
    EXPECT_EQ(after.erase("localhost"), 1u);
    std::erase_if(after, [](const auto& entry) { return entry.first.starts_with("localhost/"); });
    expected.erase("localhost.tmp-" + gone + "-1/Install.tmp-" + gone + "-1");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(FilesBelow(theirs, true), others);
}

// Root and any other user reach a machine and write a backup file only through
// folders, links and files of root or their own, from "/" on: another user's
// folder above the machines folder, machine folder, site file link, backup file
// link or backup file (writable by all, in a sticky folder) refuses the run before
// anything is read or written, naming the step, its owner and the remedy; a save
// leaves another user's stale temporary beside it.
TEST_F(TCommandLineTest, OnlyRootsOrOurOwnLeadToAMachineOrABackupFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give files to other users";
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const uid_t nobody = testing::OtherUser(), other = nobody - 1;  // other is neither of the two who run below
    const std::string gone = std::to_string(testing::GonePid());
    const auto give = [](const std::filesystem::path& path, uid_t user) { ASSERT_TRUE(GiveTo(path, user)) << path; };
    for (const uid_t runner : {uid_t(0), nobody}) {
        const std::string as = runner == 0 ? "root" : "nobody";
        SCOPED_TRACE("as " + as);
        const std::filesystem::path ours = File(as), theirs = File(as + "-theirs"), share = File(as + "-share"),
                                    machines = ours / "machines", secret = ours / "private" / "secret.xml",
                                    backup = ours / "private" / "backup.xml", evil = machines / "evil";
        for (const auto& folder : {ours / "private", machines})
            std::filesystem::create_directories(folder);
        for (const char* machine : {"localhost", "evil"})
            std::filesystem::copy(File("machines/localhost"), machines / machine,
                                  std::filesystem::copy_options::recursive);
        std::filesystem::copy_file(evil / "Sites" / "2.xml", secret);
        WriteBytes(backup, ReadBytes(File("First.xml")));
        std::filesystem::create_directories(theirs);
        std::filesystem::create_directory_symlink(machines, theirs / "machines");
        std::filesystem::create_directory(share);
        for (const std::string& name : {"mine.xml.tmp-" + gone + "-1", "mine.xml.tmp-" + gone + "-2"})
            WriteBytes(share / name, "stale");
        std::filesystem::create_symlink(backup, share / "nightly.xml");
        WriteBytes(share / "theirs.xml", ReadBytes(File("First.xml")));
        std::filesystem::permissions(share / "theirs.xml", std::filesystem::perms(0666));
        give(share / "theirs.xml", other);
        give(ours, runner);
        std::filesystem::permissions(ours / "private", std::filesystem::perms::owner_all);
        give(theirs, other);
        give(share / ("mine.xml.tmp-" + gone + "-1"), other);
        give(share / "nightly.xml", other);
        give(share / ("mine.xml.tmp-" + gone + "-2"), runner);
        std::filesystem::permissions(share, std::filesystem::perms(01777));
        const auto refusal = [&](const std::filesystem::path& step) {
            return "\"" + step.string() + "\" belongs to user " + std::to_string(other) + ": run Orvex as user " +
                   std::to_string(other) + ", or give it to " + as;
        };
        const struct {
            const char* Case;
            std::function<void()> Plant;
            std::filesystem::path Machines;
            std::vector<std::string> Arguments;
            std::string Error;  // "": the run is clean
        } rows[] = {
            {"a machines folder reached through another user's folder", {}, theirs / "machines",
             {"-f", (ours / "out.xml").string()},
             "Machine folder \"" + (theirs / "machines" / "localhost").string() + "\" is not read: " + refusal(theirs)},
            {"another user's machine folder", [&] { give(evil, other); }, machines,
             {"-m", "evil", "-f", (ours / "out.xml").string()},
             "Machine folder \"" + evil.string() + "\" is not read: " + refusal(evil)},
            {"another user's link to our site file in our machine",
             [&] {
                 give(evil, runner);
                 std::filesystem::remove(evil / "Sites" / "2.xml");
                 std::filesystem::create_symlink(secret, evil / "Sites" / "2.xml");
                 give(evil / "Sites" / "2.xml", other);
             },
             machines, {"-m", "evil", "-f", (ours / "out.xml").string()},
             "Machine folder \"" + evil.string() + "\" is not read: " + refusal(evil / "Sites" / "2.xml")},
            {"another user's link to our backup file", {}, machines,
             {"-n", "Nightly", "-f", (share / "nightly.xml").string()},
             "Cannot create file \"" + (share / "nightly.xml").string() + "\". " + refusal(share / "nightly.xml")},
            {"another user's backup file", {}, machines, {"-n", "Nightly", "-f", (share / "theirs.xml").string()},
             "Cannot create file \"" + (share / "theirs.xml").string() + "\". " + refusal(share / "theirs.xml")},
            {"another user's stale temporary beside our backup file", {}, machines,
             {"-f", (share / "mine.xml").string()}, ""},
        };
        for (const auto& row : rows) {
            SCOPED_TRACE(row.Case);
            if (row.Plant)
                row.Plant();
            const auto before = FilesBelow(ours, true);
            Environment = {{QStringLiteral("ORVEX_MACHINES"), QString::fromStdString(row.Machines.string())}};
            std::vector<std::string> arguments = {"/backup", "/o", "/q"};
            arguments.insert(arguments.begin() + 1, row.Arguments.begin(), row.Arguments.end());
            EXPECT_EQ(Run(arguments, 120'000, runner == 0 ? std::function<void()>() : AsUser(runner, runner)),
                      row.Error.empty() ? 0 : 1)
                << Errors;
            EXPECT_NE(Errors.find(row.Error), std::string::npos) << Errors;
            if (!row.Error.empty()) {
                EXPECT_TRUE(FilesBelow(ours, true) == before) << "a refused run changed a file of ours";
            }
        }
        EXPECT_TRUE(std::filesystem::exists(share / ("mine.xml.tmp-" + gone + "-1")));
        EXPECT_FALSE(std::filesystem::exists(share / ("mine.xml.tmp-" + gone + "-2")));
        for (const auto& file : {backup, share / "theirs.xml"})
            EXPECT_EQ(ReadBytes(file), ReadBytes(File("First.xml"))) << file;
    }
}

// Each failed run ends by itself with status 1 and an info-log line, and leaves the
// file as it was (or absent).
TEST_F(TCommandLineTest, FailedRunsEndWithStatusOneAndLeaveTheFileAsItWas) {
    const std::string backup = kHead + StubMachine("Kept") + kTail;
    const auto limitFileSize = [] {
        // Room for info-log lines, not for a backup.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    struct TCase {
        const char* Name;
        std::optional<std::string> Bytes;
        std::vector<std::string> Options;
        std::string LogLine;
        std::function<void()> InChild = {};
    };
    const std::vector<TCase> cases = {
        {"truncated file", backup.substr(0, 150), {}, "\tEXCEPTION during backup of : XML problem; "},
        {"not a backup file", CrLfLines({"<Config>", "  <Machines/>", "</Config>"}), {},
         "\tEXCEPTION during backup of : XML problem; The backup file's root element is Config, not Root\r\n"},
        {"existing name", backup, {"-n", "KEPT"}, "A backup named KEPT already exists."},
        {"save fails", backup, {"-n", "New"},
         "\tEXCEPTION during backup of : XML problem; Cannot create file \"" + Path("Sites.xml") +
             "\". File too large",
         limitFileSize},
        {"slash in the name", backup, {"-n", "Sites/(~today~)"},
         "\tERROR during backup of : The backup name \"Sites/" + Today() + "\" cannot be used: "},
        {"double at in the name", std::nullopt, {"-n", "a@@b"}, "The backup name \"a@@b\" cannot be used: "},
        {"blank name", std::nullopt, {"-n", " "}, "\tERROR during backup of : A backup needs a name.\r\n"},
        {"missing folder", std::nullopt, {"-f", Path("missing/Sites.xml")},
         "\tEXCEPTION during backup of : Cannot create file \"" + Path("missing/Sites.xml") + "\""},
    };
    // The local machine is made on first use, a write the size limit would stop.
    ASSERT_EQ(Run({"/backup", "-f", Path("First.xml"), "/q"}), 0);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(File("Sites.xml"));
        std::filesystem::remove(File("orvex.info." + Today().substr(2) + ".log"));
        if (c.Bytes)
            WriteBytes(File("Sites.xml"), *c.Bytes);
        std::vector<std::string> arguments = {"/backup", "-f", Path("Sites.xml")};
        arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
        arguments.push_back("/q");
        EXPECT_EQ(Run(arguments, 120'000, c.InChild), 1);
        EXPECT_EQ(std::filesystem::exists(File("Sites.xml")), c.Bytes.has_value());
        EXPECT_EQ(ReadBytes(File("Sites.xml")), c.Bytes.value_or(""));
        EXPECT_NE(InfoLog().find(c.LogLine), std::string::npos) << InfoLog();
    }

    // An unknown machine is saved without content.
    EXPECT_EQ(Run({"/backup", "-m", "nosuch", "-f", Path("Sites.xml"), "/q"}), 1);
    EXPECT_NE(InfoLog().find("\tEXCEPTION during backup of nosuch: Call GetObject EOleSysError error! Path=\\; "
                             "errornum=-2147023174; errortext="),
              std::string::npos)
        << InfoLog();
}

TEST_F(TCommandLineTest, MessagesOfAnUnattendedRunGoToTheInfoLog) {
    WriteBytes(File("Orvex_GUI_Text.xml"), "<PelluxToolsSoftwareTolkara><Other>");
    EXPECT_EQ(Run({"/backup", "-f", Path("Sites.xml"), "/q"}), 0);
    EXPECT_NE(InfoLog().find("\tNot shown in an unattended run: The GUI-text catalogue \"" +
                             Path("Orvex_GUI_Text.xml") + "\" cannot be read: "),
              std::string::npos)
        << InfoLog();
}

// A display without a window manager is opened by every name the X library reads
// for it, a protocol before it too; X alone is chosen, so that nothing runs
// offscreen instead.
TEST_F(TCommandLineTest, DisplayWithoutWindowManagerStillRunsTheBackup) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "no Xvfb";
    QProcess server;
    server.start(QStringLiteral("Xvfb"), QStringList{"-displayfd", "1", "-listen", "tcp"});
    while (server.waitForStarted() && !server.canReadLine() && server.waitForReadyRead(10'000)) {
    }
    const std::string number = QString::fromLatin1(server.readLine()).trimmed().toStdString();
    ASSERT_FALSE(number.empty());
    // The session bus library of the X platform keeps a buffer to the end.
    WriteBytes(File("lsan.supp"), "leak:libdbus-1.so\n");
    for (const std::string name : {":", "unix:", "unix/:", "unix/web2:", "localhost:", "127.0.0.1:", "[::1]:",
                                    "tcp/localhost:", "inet/127.0.0.1:", "inet6/[::1]:"}) {
        SCOPED_TRACE(name);
        Environment = {{"DISPLAY", QString::fromStdString(name + number + ".0")},
                       {"QT_QPA_PLATFORM", "xcb"},
                       {"LSAN_OPTIONS", QString::fromStdString("suppressions=" + Path("lsan.supp"))}};
        std::filesystem::remove(File("Sites.xml"));
        EXPECT_EQ(Run({"/backup", "-f", Path("Sites.xml"), "/q"}), 0) << Errors;
        EXPECT_TRUE(std::filesystem::exists(File("Sites.xml")));
    }
    server.terminate();
    server.waitForFinished();
}

// Without a display, offscreen as the caller chose, or with a display that cannot
// be opened (a DISPLAY left in a crontab), only "/backup" with "/q" runs: anything
// else would wait for a user who cannot come. It ends at once, naming the display
// and what it did not know. A clean unattended run prints nothing, also where
// cron sets no runtime folder.
TEST_F(TCommandLineTest, WithoutDisplayOnlyTheUnattendedBackupRuns) {
    const std::string nothing = ", and only /backup with /q runs without one: nothing was done.";
    const std::pair<std::vector<std::string>, std::string> waiting[] = {  // the arguments, the unknown ones
        {{"/q"}, ""},
        {{}, ""},
        {{"/backup"}, ""},
        {{"/q", "-f", "backup.xml"}, ""},
        {{"-BACKUP", "-f", "backup.xml", "/o"}, ""},
        {{"/bakup", "-f", "backup.xml", "/q"}, " Unknown command-line argument \"/bakup\""},
        {{"-platform", "offscreen", "/q", "backup.xml", "-x"},
         " Unknown command-line arguments \"backup.xml\", \"-x\""},
    };
    const struct {
        std::vector<std::pair<QString, QString>> Environment;
        std::string Display;
    } environments[] = {
        {{{"QT_QPA_PLATFORM", {}}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}, {"XDG_RUNTIME_DIR", {}}}, "There is no display"},
        {{{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", ":999"}}, "There is no display"},
        {{{"QT_QPA_PLATFORM", {}}, {"DISPLAY", ":999"}, {"WAYLAND_DISPLAY", {}}}, "The display \":999\" cannot be opened"},
        {{{"QT_QPA_PLATFORM", {}}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", "wayland-999"}},
         "The display \"wayland-999\" cannot be opened"},
    };
    for (const auto& environment : environments) {
        Environment = environment.Environment;
        const std::set<std::string> before = Entries();
        for (const auto& [arguments, unknown] : waiting) {
            SCOPED_TRACE((arguments.empty() ? "no arguments" : arguments[0]) + ", " + environment.Display);
            EXPECT_EQ(Run(arguments), 2);
            // "-platform offscreen" chooses no display.
            const std::string display = arguments.empty() || arguments[0] != "-platform" ? environment.Display
                                                                                         : "There is no display";
            EXPECT_EQ(Errors, display + nothing + unknown + (unknown.empty() ? "" : kAccepted) + "\n");
            EXPECT_EQ(Output, "");
            EXPECT_EQ(Entries(), before);
            EXPECT_EQ(InfoLog(), "");
        }
        std::filesystem::remove(File("backup.xml"));
        ASSERT_EQ(Run({"/backup", "-f", "backup.xml", "/q"}), 0) << Errors;
        EXPECT_EQ(Output + Errors, "");
        EXPECT_EQ(InfoLog(), "");
        EXPECT_TRUE(std::filesystem::exists(File("backup.xml")));
    }
}

// A display that takes the connection and never answers (a stopped X server) is
// one that cannot be opened: the unattended backup runs offscreen, a GUI start
// ends naming it, and so does a start where the caller chose the X platform and
// nothing else usable (Wayland without a Wayland display); offscreen among the
// caller's platforms is tried.
TEST_F(TCommandLineTest, ADisplayThatNeverAnswersIsOneThatCannotBeOpened) {
    // Its socket, in the abstract namespace under a free display number, takes
    // connections into its queue.
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string display;
    for (int number = 900; display.empty() && number < 1000; ++number) {
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path + 1, path.size());
        if (::bind(server, reinterpret_cast<const sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size())) == 0)
            display = ":" + std::to_string(number);
    }
    ASSERT_TRUE(!display.empty() && ::listen(server, 64) == 0);
    const QString named = QString::fromStdString(display);
    const std::string opened = "The display \"" + display +
                               "\" cannot be opened, and only /backup with /q runs without one: nothing was done.\n",
                      silent = "The display \"" + display + "\" does not answer: nothing was done.\n";
    const struct {
        QString Display, Chosen;  // DISPLAY, QT_QPA_PLATFORM
        std::vector<std::string> Arguments;
        std::string Errors;  // none where the backup is written
    } rows[] = {
        {named, {}, {}, opened},
        {named, {}, {"/backup", "-f", "a.xml", "/q"}, ""},
        {{}, {}, {"/backup", "-f", "b.xml", "/q", "-display", display}, ""},
        {named, {}, {"-platform", "xcb"}, silent},
        {named, "xcb", {"/backup", "-f", "c.xml", "/q"}, silent},
        {named, "xcb;offscreen", {"/backup", "-f", "d.xml", "/q"}, ""},
        {named, {}, {"/backup", "-f", "e.xml", "/q", "-platform", "xcb;offscreen"}, ""},
        {named, "xcb;offscreen", {}, opened},
        {named, "wayland;xcb", {"/backup", "-f", "f.xml", "/q"}, silent},
        {named, {}, {"-platform", "wayland;xcb"}, silent},
    };
    // All at once: each waits out the probe's deadline.
    std::vector<std::unique_ptr<QProcess>> programs;
    for (const auto& row : rows) {
        Environment = {{"DISPLAY", row.Display}, {"QT_QPA_PLATFORM", row.Chosen}, {"WAYLAND_DISPLAY", {}}};
        Start(*programs.emplace_back(std::make_unique<QProcess>()), row.Arguments);
    }
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        QProcess& program = *programs[i];
        SCOPED_TRACE(::testing::PrintToString(row.Arguments) + " " + row.Chosen.toStdString());
        ASSERT_TRUE(program.waitForFinished(60'000));
        const std::string printed =
            program.readAllStandardOutput().toStdString() + program.readAllStandardError().toStdString();
        EXPECT_EQ(program.exitCode(), row.Errors.empty() ? 0 : 2) << printed;
        EXPECT_EQ(printed, row.Errors);
        if (row.Errors.empty()) {
            EXPECT_TRUE(std::filesystem::exists(File(row.Arguments[2])));
        }
    }
    ::close(server);
}

// An unattended run waits on no display of another user, whose server may finish
// the connection setup and then never answer: it goes on offscreen, or ends at once
// naming the display and its owner where the caller chose X alone. Root and nobody
// each run it against another user's server, on a local socket and on TCP.
TEST_F(TCommandLineTest, AnUnattendedRunTakesNoDisplayOfAnotherUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to serve displays as other users";
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const uid_t nobody = testing::OtherUser();
    const struct {
        const char* Address;  // the server's; "": a local socket
        std::string Name;     // the display's, before its number
        QString Chosen;       // QT_QPA_PLATFORM
    } rows[] = {{"", ":", {}}, {"127.0.0.1", "127.0.0.1:", {}}, {"::ffff:127.0.0.1", "tcp/localhost:", {}},
                {"::1", "inet6/[::1]:", {}}, {"", ":", "xcb"}};
    for (const auto& [runner, server] : {std::pair{uid_t(0), nobody}, {nobody, nobody - 1}}) {
        const std::string as = UserName(runner), owner = UserName(server);
        std::filesystem::create_directory(File(as));
        ASSERT_TRUE(GiveTo(File(as), runner));
        for (const auto& row : rows) {
            const testing::TXServerStandIn standIn(server, row.Address);
            ASSERT_NE(standIn.Display(), 0);
            const std::string display = row.Name + std::to_string(standIn.Display()),
                              file = Path(as + "/" + std::to_string(&row - rows) + ".xml");
            SCOPED_TRACE(display + " " + row.Chosen.toStdString() + " served by " + owner + " to " + as);
            Environment = {{"DISPLAY", QString::fromStdString(display)}, {"QT_QPA_PLATFORM", row.Chosen}};
            const std::string refused = row.Chosen.isEmpty() ? "" : "The display \"" + display + "\" belongs to " +
                                        owner + ": run Orvex as " + owner + ", or give it to " + as +
                                        ": nothing was done.\n";
            EXPECT_EQ(Run({"/backup", "-n", "X", "-f", file, "/q"}, 60'000, runner ? AsUser(runner, runner) : nullptr),
                      refused.empty() ? 0 : 2);
            EXPECT_EQ(Output + Errors, refused);
            EXPECT_EQ(std::filesystem::exists(file), refused.empty());
        }
    }
}

// A platform the caller chose that cannot start ends the program with Qt's own
// reason (Qt aborts: a shell reports the status).
TEST_F(TCommandLineTest, AChosenPlatformThatCannotStartNamesQtsReason) {
    const std::pair<std::vector<std::string>, QString> rows[] = {{{"-platform", "xcb"}, {}}, {{}, "xcb"}};
    for (const auto& [arguments, chosen] : rows) {
        SCOPED_TRACE(chosen.isEmpty() ? "-platform" : "QT_QPA_PLATFORM");
        Environment = {{"QT_QPA_PLATFORM", chosen}, {"DISPLAY", ":999"}, {"WAYLAND_DISPLAY", {}}};
        std::vector<std::string> shell = {"-c", "\"$0\" \"$@\"", Path("orvex")};
        shell.insert(shell.end(), arguments.begin(), arguments.end());
        const auto noCore = [] {
            const rlimit none{0, 0};
            ::setrlimit(RLIMIT_CORE, &none);
        };
        EXPECT_NE(Run(shell, 120'000, noCore, "/bin/sh"), 0);
        EXPECT_NE(Errors.find("qt.qpa.xcb: could not connect to display :999\n"), std::string::npos) << Errors;
    }
}

// Orvex's options and their values are read as typed and are never Qt's; Qt's
// own options may stand anywhere, and "-display" also where there is no display.
TEST_F(TCommandLineTest, OptionValuesAreNeverQtsOptions) {
    Environment = {{"QT_QPA_PLATFORM", {}}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}};
    const std::string computer = Utf16ToUtf8(GetComputerNameString()) + "Sites";
    const struct {
        std::vector<std::string> Arguments;
        std::string File, Name;
    } rows[] = {
        {{"/backup", "-n", "-style", "-f", "out.xml", "/q"}, "out.xml", "-style"},
        {{"/backup", "-n", "-reverse", "-f", "r.xml", "/q"}, "r.xml", "-reverse"},
        {{"/backup", "-f", "x.xml", "/q", "-display", ":0"}, "x.xml", computer},
        {{"-display", ":0", "-style", "fusion", "/backup", "-f", "-platform", "/q"}, "-platform", computer},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.File);
        EXPECT_EQ(Run(row.Arguments), 0) << Errors;
        EXPECT_EQ(Output + Errors, "");
        EXPECT_NE(ReadBytes(File(row.File)).find("<Machine backupName=\"" + row.Name + "\" "), std::string::npos);
    }
}

// A typo on the command line, or an option without its value, ends the run
// before anything is made: no backup under the default name, into the default
// file or into a file named like a switch.
TEST_F(TCommandLineTest, UnknownArgumentsEndTheRunBeforeAnythingIsMade) {
    const std::set<std::string> before = Entries();
    const bool slashQ = std::filesystem::exists("/q");
    const std::pair<std::vector<std::string>, std::string> cases[] = {  // the arguments, what is wrong
        {{"/backup", "-N", "Nightly", "-F", "wanted.xml", "/q"}, "Unknown command-line arguments \"-N\", \"Nightly\", "
                                                                 "\"-F\", \"wanted.xml\""},
        {{"/backup", "-n", "Nightly", "wanted.xml", "/q"}, "Unknown command-line argument \"wanted.xml\""},
        {{"/backup", "-f", "wanted.xml", "/quiet"}, "Unknown command-line argument \"/quiet\""},
        {{"-backup", "/q", "--o", "-f", "wanted.xml"}, "Unknown command-line argument \"--o\""},
        {{"/backup", "/q", ""}, "Unknown command-line argument \"\""},
        {{"/backup", "/q", "/f", "wanted.xml"}, "Unknown command-line arguments \"/f\", \"wanted.xml\""},
        {{"/backup", "/q", "x\ny\x1B[2J\"\\\u202E"}, "Unknown command-line argument \"x\\ny\\x1B[2J\\\"\\\\\\u202E\""},
        {{"/backup", "-n", "Nightly", "/q", "-f"}, "Command-line option \"-f\" has no value"},
        {{"/backup", "-n", "Nightly", "-f", "/q"}, "Command-line option \"-f\" has no value"},
        {{"/backup", "-f", "wanted.xml", "/q", "-n"}, "Command-line option \"-n\" has no value"},
        {{"/backup", "-m", "-O", "/q", "-f", "wanted.xml"}, "Command-line option \"-m\" has no value"},
        {{"/backup", "-n", "Nightly", "-f", "-m", "big", "/q"}, "Command-line option \"-f\" has no value"},
        {{"/backup", "-f", "-n", "x", "/q"}, "Command-line option \"-f\" has no value"},
    };
    for (const auto& [arguments, wrong] : cases) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(Run(arguments), 1);
        ExpectReported(wrong + kAccepted);
        EXPECT_EQ(Output, "");
        EXPECT_EQ(Entries(), before);
        EXPECT_EQ(std::filesystem::exists("/q"), slashQ);
        std::filesystem::remove(File("orvex.info." + Today().substr(2) + ".log"));
    }
}

// An argument that is not UTF-8 would reach the program changed: it ends the run,
// named byte for byte, and nothing is written.
TEST_F(TCommandLineTest, AnArgumentThatIsNoUtf8EndsTheRun) {
    const std::string backup = kHead + StubMachine("Nightly") + kTail;
    WriteBytes(File("caf\xC3\xA9.xml"), backup);
    const std::set<std::string> before = Entries();
    EXPECT_EQ(Run({"-c", "exec \"$0\" /backup -n Nightly -f \"$(printf 'caf\\351.xml')\" /o /q", Path("orvex")}, 120'000,
                  {}, "/bin/sh"),
              1);
    ExpectReported("Command-line argument \"caf\\xE9.xml\" is not UTF-8 text: nothing was done.");
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(ReadBytes(File("caf\xC3\xA9.xml")), backup);
}

// A value from outside (an option's value, ORVEX_MACHINES) that holds control,
// line-breaking or reordering characters is shown escaped on its one line, on
// standard error and in the info log.
TEST_F(TCommandLineTest, ValuesFromOutsideAreEscapedOnTheirLine) {
    const struct {
        std::vector<std::string> Options;
        std::string Machines, Escaped;
    } rows[] = {
        {{"-m", "x\nFAKE: backup OK"}, "", "\"x\\nFAKE: backup OK\" is not a machine name"},
        {{"-m", "x\x1B[2J\u202E"}, "", "\"x\\x1B[2J\\u202E\" is not a machine name"},
        {{"-n", "a/\r\nFAKE"}, "", "The backup name \"a/\\r\\nFAKE\" cannot be used"},
        {{"-f", Path("missing\u0085/b.xml")}, "", "missing\\x85/b.xml\". No such file or directory"},
        {{}, "typo\u2028FAKE", "The machines folder \"typo\\u2028FAKE\" named by ORVEX_MACHINES does not exist"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Escaped);
        std::filesystem::remove(File("orvex.info." + Today().substr(2) + ".log"));
        Environment = {{"ORVEX_MACHINES", row.Machines.empty() ? QString::fromStdString(Path("machines"))
                                                               : QString::fromStdString(row.Machines)}};
        std::vector<std::string> arguments = {"/backup", "-f", "b.xml", "/q"};
        arguments.insert(arguments.begin() + 3, row.Options.begin(), row.Options.end());
        EXPECT_EQ(Run(arguments), 1);
        EXPECT_NE(Errors.find(row.Escaped), std::string::npos) << Errors;
        EXPECT_EQ(std::count(Errors.begin(), Errors.end(), '\n'), 1) << Errors;
        const std::string log = InfoLog();
        EXPECT_NE(log.find(row.Escaped), std::string::npos) << log;
        EXPECT_EQ(log.find_first_of("\n\x1B"), log.size() - 1) << log;
    }
}

// A mistyped ORVEX_MACHINES is named in an error; nothing is made there, and the
// backup file is not touched.
TEST_F(TCommandLineTest, MachinesFolderThatIsNoFolderIsAnError) {
    const std::string backup = kHead + StubMachine("Nightly") + kTail;
    WriteBytes(File("Sites.xml"), backup);
    WriteBytes(File("plain.txt"), "plain");
    const std::pair<std::string, std::string> cases[] = {
        {Path("typo/machines"), "does not exist"}, {Path("machinez"), "does not exist"}, {Path("plain.txt"), "is not a folder"}};
    const std::set<std::string> before = Entries();
    for (const auto& [folder, problem] : cases) {
        SCOPED_TRACE(folder);
        Environment = {{"ORVEX_MACHINES", QString::fromStdString(folder)}};
        for (const char* file : {"Sites.xml", "New.xml"}) {
            EXPECT_EQ(Run({"/backup", "-n", "Nightly", "-f", Path(file), "/o", "/q"}), 1);
            ExpectReported("ERROR during backup of : BackupMachine: The machines folder \"" + folder +
                           "\" named by ORVEX_MACHINES " + problem + "; nothing was backed up");
            EXPECT_EQ(Entries(), before);
            EXPECT_EQ(ReadBytes(File("Sites.xml")), backup);
            EXPECT_EQ(ReadBytes(File("plain.txt")), "plain");
        }
    }
}

// A machine name the platform refuses, or a file that cannot hold a backup, is
// refused before the file is touched; a missing file is not made.
TEST_F(TCommandLineTest, RefusedMachineOrFileLeavesTheFileAsItWas) {
    const std::string backup = kHead + StubMachine("Nightly") + kTail;
    const std::string pipe = Path("pipe.xml");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    struct TCase {
        std::string Machine, File, Refusal, Shown = Machine;
    };
    std::vector<TCase> cases;
    for (const std::string& machine : {"../x"s, ".."s, "/etc"s, std::string(5000, 'w')})
        cases.push_back({machine, "", "\"" + machine + "\" is not a machine name"});
    cases.push_back({"web\x01two", "", "\"web\\x01two\" is not a machine name", "web\\x01two"});
    cases.push_back({"localhost", "/dev/full", "Cannot create file \"/dev/full\". It is a character device, not a regular file"});
    cases.push_back({"localhost", pipe, "Cannot create file \"" + pipe + "\". It is a pipe, not a regular file"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Refusal.substr(0, 60));
        for (const bool exists : {true, false}) {
            std::filesystem::remove(File("Sites.xml"));
            if (exists)
                WriteBytes(File("Sites.xml"), backup);
            const std::string file = c.File.empty() ? Path("Sites.xml") : c.File;
            EXPECT_EQ(Run({"/backup", "-m", c.Machine, "-n", "Nightly", "-f", file, "/o", "/q"}), 1);
            EXPECT_EQ(Errors, "ERROR during backup of " + c.Shown + ": BackupMachine: " + c.Refusal +
                                  "; nothing was backed up\n");
            EXPECT_EQ(std::filesystem::exists(File("Sites.xml")), exists);
            EXPECT_EQ(ReadBytes(File("Sites.xml")), exists ? backup : "");
        }
    }
    EXPECT_EQ(std::filesystem::status(pipe).type(), std::filesystem::file_type::fifo);
}

// A machine file that is no regular file, or a record or fault list past its
// bound, ends the run at once with one line naming it and what it is: a pipe never
// blocks the open, a device is never read, a huge record is never loaded.
TEST_F(TCommandLineTest, AMachineFileThatCannotBeReadEndsTheRunNamingIt) {
    ASSERT_EQ(Run({"/backup", "-f", Path("First.xml"), "/q"}), 0);
    const std::filesystem::path machine = File("machines/pipes");
    const std::string pipe = "cannot be read: it is a pipe, not a regular file";
    const auto sparse = [](const std::filesystem::path& file) {
        std::ofstream(file, std::ios::binary) << "Orvex machine commit\n";
        std::filesystem::resize_file(file, 100ull << 30);
    };
    const auto lines = [](const std::filesystem::path& file) {
        std::ofstream out(file, std::ios::binary);
        out << "Orvex machine commit\n";
        for (int i = 0; i < 10'000'000; ++i)
            out << "x\n";
        out << "end\n";
    };
    const struct {
        const char* File;
        std::function<void(const std::filesystem::path&)> Make;
        std::string Why;
    } rows[] = {
        {"Machine.xml", {}, pipe},
        {"Metabase.xml", {}, pipe},
        {"Sites/1.xml", {}, pipe},
        {"Pop3.xml", {}, pipe},
        {"Faults.txt", {}, pipe},
        {"Faults.txt", [](const auto& file) { std::filesystem::create_symlink("/dev/zero", file); },
         "cannot be read: it is a character device, not a regular file"},
        {"Commit.txt", sparse, "is damaged: it is larger than 16777216 bytes"},
        {"Commit.txt", lines, "is damaged: it is larger than 16777216 bytes"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.File + row.Why);
        std::filesystem::remove_all(machine);
        std::filesystem::copy(File("machines/localhost"), machine, std::filesystem::copy_options::recursive);
        std::filesystem::remove(machine / row.File);
        if (row.Make)
            row.Make(machine / row.File);
        else
            ASSERT_EQ(::mkfifo((machine / row.File).c_str(), 0600), 0);
        EXPECT_EQ(Run({"/backup", "-n", "X", "-m", "pipes", "-f", Path("Pipes.xml"), "/o", "/q"}, 30'000), 1);
        EXPECT_NE(Errors.find("Machine file \"" + (machine / row.File).string() + "\" " + row.Why), std::string::npos)
            << Errors;
    }
}

// A machine whose Sites folder is a link to a shared folder: opening it removes
// nothing there, not even temporaries of its site files whose process is gone
// (another machine's record may list them), nor a living program's, other
// programs' files of the same pattern or other users'. A machine of another user
// whose link leads to our folder is not read at all.
TEST_F(TCommandLineTest, OpeningAMachineLeavesOtherProgramsTemporariesBeyondALink) {
    ASSERT_EQ(Run({"/backup", "-f", Path("First.xml"), "/q"}), 0);
    const std::filesystem::path sites = File("machines/localhost/Sites"), shared = File("shared");
    std::filesystem::copy(File("machines/localhost"), File("machines/evil"), std::filesystem::copy_options::recursive);
    std::filesystem::rename(sites, shared);
    std::filesystem::create_directory_symlink(shared, sites);
    const std::string dead = std::to_string(testing::GonePid()), live = std::to_string(::getpid());
    const bool root = ::geteuid() == 0;
    const std::string files[] = {"report.odt.tmp-" + dead + "-1", "upload.bin.tmp-" + live + "-7",
                                 "1.xml.tmp-" + dead + "-1", "2.xml.tmp-" + live + "-7",
                                 "root.xml.tmp-" + dead + "-1"};  // given to another user below
    for (const std::string& file : files)
        WriteBytes(shared / file, "x");
    if (root) {
        ASSERT_TRUE(GiveToOtherUser(shared / files[4]));
    }
    ASSERT_EQ(Run({"/backup", "-n", "X", "-f", Path("Sites.xml"), "/q"}), 0) << Errors;
    for (const std::string& file : files)
        EXPECT_TRUE(std::filesystem::exists(shared / file)) << file;
    if (!root)
        return;
    const std::filesystem::path evilSites = File("machines/evil/Sites");
    std::filesystem::remove_all(evilSites);
    std::filesystem::create_directory_symlink(shared, evilSites);
    ASSERT_TRUE(GiveToOtherUser(File("machines/evil")));
    const std::string backup = "root.xml.tmp-" + live + "-3";
    WriteBytes(shared / backup, "x");
    EXPECT_EQ(Run({"/backup", "-n", "X", "-m", "evil", "-f", Path("Evil.xml"), "/q"}), 1) << Errors;
    EXPECT_NE(Errors.find("\" belongs to nobody: run Orvex as nobody, or give it to root"), std::string::npos) << Errors;
    EXPECT_TRUE(std::filesystem::exists(shared / backup));
}

// A first run killed at any step of the local machine's install leaves no
// machine, which the next run installs, or the whole one. A folder that an earlier
// version left half installed (it installed in place) is named and left as it is.
TEST_F(TCommandLineTest, AFirstRunKilledWhileItInstallsTheLocalMachineLeavesNoneOrAWholeOne) {
    const std::filesystem::path machines = File("machines"), local = machines / "localhost";
    const auto machineFiles = [&] { return FilesBelow(machines, true); };
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const auto whole = machineFiles();
    const auto holds = [](const std::filesystem::path& folder, const std::string& start) {
        return std::any_of(std::filesystem::directory_iterator(folder), {}, [&](const auto& entry) {
            return entry.path().filename().string().starts_with(start);
        });
    };
    // What the killed run left in the machines folder.
    const auto left = [&]() -> std::string {
        if (holds(machines, "localhost.tmp-"))
            return "a temporary folder";
        if (std::filesystem::is_empty(local))
            return "an empty folder";
        if (!std::filesystem::exists(local / "Machine.xml"))
            return "part of a machine";
        return holds(local, "Install.tmp-") ? "the machine and the mark" : "the machine";
    };
    const struct {
        const char* Step;
        const char* Left;
    } rows[] = {
        {"folder", "an empty folder"},       {"temporary folder", "a temporary folder"},
        {"marked", "a temporary folder"},    {"drives", "a temporary folder"},
        {"files", "a temporary folder"},     {"durable", "a temporary folder"},
        {"renamed", "the machine and the mark"}, {"done", "the machine"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Step);
        std::filesystem::remove_all(local);
        const pid_t program = StartStoppingAt(row.Step, {"/backup", "-f", "Killed.xml", "-o", "/q"});
        if (program <= 0)
            continue;
        ::kill(program, SIGKILL);
        int status = 0;
        ::waitpid(program, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_EQ(left(), row.Left);
        EXPECT_EQ(Run({"/backup", "-f", "Next.xml", "-o", "/q"}), 0) << Errors;
        EXPECT_EQ(machineFiles(), whole);
    }
    for (const char* file : {"Machine.xml", "Pop3.xml"})
        std::filesystem::remove(local / file);
    const auto halfInstalled = machineFiles();
    EXPECT_EQ(Run({"/backup", "-f", "Next.xml", "-o", "/q"}), 1);
    EXPECT_NE(Errors.find("errortext=Machine file \"" + (local / "Machine.xml").string() +
                          "\" is missing: installing the local machine was interrupted, or the file was removed; "
                          "move the folder \"" + local.string() +
                          "\" away and run again to install the local machine anew\n"),
              std::string::npos)
        << Errors;
    EXPECT_EQ(machineFiles(), halfInstalled);
}

// The folder of exactly the machine's name is the machine; another user's case
// variant beside it never stands in for it. Without it, one variant is taken
// (and refused where it is another user's) and two are refused, naming both.
TEST_F(TCommandLineTest, TheExactMachineNameWinsOverACaseVariant) {
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const std::filesystem::path machines = File("machines");
    std::filesystem::permissions(machines, std::filesystem::perms(01777));
    const std::filesystem::path variant = machines / "LocalHost", site = variant / "Sites" / "1.xml";
    std::filesystem::copy(machines / "localhost", variant, std::filesystem::copy_options::recursive);
    std::string bytes = ReadBytes(site);
    bytes.replace(bytes.find("Default Web Site"), 16, "Their Web Site");
    WriteBytes(site, bytes);
    const bool theirs = GiveToOtherUser(variant);  // needs root
    struct TRow {
        const char* Case;
        const char* Local;  // what localhost is renamed to
        std::string Holds, Lacks, Error;
    };
    const TRow rows[] = {
        {"the exact name beside a variant", "localhost", "Default Web Site", "Their Web Site", ""},
        theirs ? TRow{"one variant, another user's", "elsewhere", "", "<Machine ",
                      "Machine folder \"" + variant.string() + "\" is not read: \"" + variant.string() +
                          "\" belongs to nobody: run Orvex as nobody, or give it to root"}
               : TRow{"one variant", "elsewhere", "Their Web Site", "Default Web Site", ""},
        {"two variants", "LOCALHOST", "", "<Machine ",
         "Machine name \"localhost\" matches the folders \"LOCALHOST\" and \"LocalHost\" in \"" + machines.string() +
             "\", which differ only in case: rename all but one"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        std::filesystem::rename(machines / "localhost", machines / row.Local);
        std::filesystem::remove(File("Case.xml"));
        EXPECT_EQ(Run({"/backup", "-n", "X", "-f", "Case.xml", "/q"}), row.Error.empty() ? 0 : 1) << Errors;
        const std::string backup = ReadBytes(File("Case.xml"));
        EXPECT_NE(backup.find(row.Holds), std::string::npos);
        EXPECT_EQ(backup.find(row.Lacks), std::string::npos);
        EXPECT_NE(Errors.find(row.Error), std::string::npos) << Errors;
        std::filesystem::rename(machines / row.Local, machines / "localhost");
    }
}

// A machine whose name is that of an install's temporary folder is a machine like
// any other: the first run, which installs the local machine, backs it up and
// leaves it as it was.
TEST_F(TCommandLineTest, AMachineNamedLikeAnInstallsTemporaryFolderIsKept) {
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const std::string name = "localhost.tmp-" + std::to_string(testing::GonePid()) + "-1";
    std::filesystem::rename(File("machines/localhost"), File("machines/" + name));
    const auto before = FilesBelow(File("machines/" + name), true);
    EXPECT_EQ(Run({"/backup", "-m", name, "-f", "Named.xml", "/o", "/q"}), 0) << Errors;
    EXPECT_EQ(FilesBelow(File("machines/" + name), true), before);
    EXPECT_TRUE(std::filesystem::exists(File("machines/localhost/Machine.xml")));
}

// The local machine installs whole where its folder is a link to an empty folder
// (built beside that folder and renamed over it) and where it is an empty mount
// point (in place), also one that holds only a new file system's empty
// lost+found: the machine is the one a plain folder gets.
TEST_F(TCommandLineTest, TheLocalMachineInstallsThroughALinkAndIntoAMountPoint) {
    ASSERT_EQ(Run({"/backup", "-f", "First.xml", "/q"}), 0) << Errors;
    const std::filesystem::path local = File("machines/localhost"), disk = File("disk");
    const auto whole = FilesBelow(local, true);
    const auto bindDisk = [local, disk] { return testing::MountPrivately(disk.c_str(), local.c_str()); };
    const struct {
        const char* Case;
        bool Linked;
        std::function<bool()> InChild;
        bool LostFound = false;
    } rows[] = {{"a link to an empty folder", true, {}},
                {"an empty mount point", false, bindDisk},
                {"a mount point holding an empty lost+found", false, bindDisk, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        std::filesystem::remove_all(local);
        std::filesystem::remove_all(disk);
        std::filesystem::create_directory(disk);
        if (row.LostFound)
            std::filesystem::create_directory(disk / "lost+found");
        if (row.Linked) {
            std::filesystem::create_directory_symlink("../disk", local);
        } else {
            std::filesystem::create_directory(local);
            if (!testing::InChild(row.InChild)) {
                std::printf("skipped: no private mount namespace here\n");
                continue;
            }
        }
        const auto inChild = [&row] {
            if (row.InChild && !row.InChild())
                ::_exit(3);
        };
        EXPECT_EQ(Run({"/backup", "-f", "Next.xml", "/o", "/q"}, 120'000, inChild), 0) << Errors;
        auto installed = FilesBelow(disk, true);
        if (row.LostFound) {
            EXPECT_EQ(installed.extract("lost+found").mapped(), "<folder>");
        }
        EXPECT_EQ(installed, whole);
        EXPECT_EQ(std::filesystem::is_symlink(local), row.Linked);
    }
}

// The build puts the user manual beside the program and nothing of its own.
TEST(ProgramFolderTest, HoldsTheShippedManualAndNoBuildBookkeeping) {
    const std::filesystem::path folder = std::filesystem::path(ORVEX_EXECUTABLE).parent_path();
    EXPECT_EQ(ReadBytes(folder / "Orvex_Manual.html"),
              ReadBytes(std::filesystem::path(ORVEX_TEST_DATA) / ".." / ".." / "resources" / "Orvex_Manual.html"));
    EXPECT_FALSE(std::filesystem::exists(folder / "__"));
}

} // namespace
} // namespace orvex::test
