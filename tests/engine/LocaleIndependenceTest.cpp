// Our own files must not depend on the user's locale: a backup, a restore and the
// edits of a backup file give the same bytes under C, German and Turkish. The
// library compares names under the locale it finds at its first comparison, so
// each locale runs in a process of its own: this test starts its own binary once
// per locale, which does the work in that locale, and compares what the runs wrote.

#include "RestoreFixture.h"
#include "base/AsciiText.h"
#include "engine/BackupDocument.h"
#include "engine/BackupFileEdits.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <locale.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace orvex {
namespace {

using test::TRestoreFixture;
namespace fs = std::filesystem;

// Set in the runs this test starts: the folder that receives what a run wrote.
constexpr const char* kRunFolderVariable = "ORVEX_LOCALE_RUN_FOLDER";

// The first group of every match of pattern in upper case.
std::string UpperCaseMatches(const std::string& text, const std::regex& pattern) {
    std::string out;
    size_t done = 0;
    const std::sregex_iterator end;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != end; ++it) {
        const auto& name = (*it)[1];
        out.append(text, done, static_cast<size_t>(name.first - text.begin()) - done);
        for (char c : name.str()) out += AsciiUpper(c);
        done = static_cast<size_t>(name.second - text.begin());
    }
    return out.append(text, done);
}

// Our element and attribute names in upper case: still the names we look for,
// but Turkish case rules (I is not the capital of i) would miss them.
std::string UpperCaseNames(const std::string& xml) {
    static const std::regex elements("</?(Root|Machines|Machine|SubDir|Property|Item)[\\s/>]");
    static const std::regex attributes(
        " (backupName|machineName|path|className|siteName|id|type|value|Inherit)=");
    return UpperCaseMatches(UpperCaseMatches(xml, elements), attributes);
}

// Starts this test's binary for this test alone, under locale and with out as its
// run folder, its output going to log; gives the wait status.
int RunThisTestIn(const std::string& locale, const fs::path& out, const fs::path& log) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    std::string self = fs::read_symlink("/proc/self/exe").string();
    char* argv[] = {self.data(), filter.data(), nullptr};
    std::vector<std::string> variables{"LC_ALL=" + locale, std::string(kRunFolderVariable) + "=" + out.string()};
    for (char** v = environ; *v; ++v)
        if (std::strncmp(*v, "LC_", 3) != 0 && std::strncmp(*v, "LANG", 4) != 0) variables.emplace_back(*v);
    std::vector<char*> envp;
    for (auto& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (spawned == 0) ::waitpid(child, &status, 0);
    return status;
}

class LocaleIndependenceTest : public TRestoreFixture {
protected:
    // One run, in the locale the process was started with, as the wizard's
    // process sets it up; the files it writes go into out.
    void Run(const fs::path& out) {
        ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
        MakeMachine(u"localhost", [](TMachineState&) {});
        EnsureBackupFile();
        ASSERT_TRUE(BackupMachine(u"Before", u"localhost"));
        test::WriteBytes(out / "1-backup.xml", FileBytes());

        auto tree = TreeOfFile();
        WriteBackupFile(UpperCaseNames(FileBytes()));
        ResetCachedBackupDocument();
        MakeMachine(u"localhost", [](TMachineState& state) {
            TMetaObject& w3 = *state.Metabase->Find(u"W3SVC");
            while (!w3.Children().empty()) w3.RemoveChild(*w3.Children().front());
        });
        RestoreMachine(u"localhost", u"IIS6", *tree);
        fs::copy(Folder.File("machines"), out / "2-restored-machines", fs::copy_options::recursive);

        EXPECT_TRUE(UpdateProperty(u"Before", u"w3svc/1/ROOT", u"Path", u"STRING", u"D:\\Dizin\\\u0130\u0131"));
        EXPECT_TRUE(DeleteProperty(u"Before", u"w3svc/1", u"ServerComment"));
        EXPECT_TRUE(RewriteValuesByKey({{u"Before/1@@ServerBindings", u"", u":8080:"}}).has_value());
        EXPECT_TRUE(DeleteXmlNode(u"Before", u"w3svc/1/ROOT/images"));
        ASSERT_TRUE(BackupMachine(u"After", u"localhost"));
        test::WriteBytes(out / "3-edited.xml", FileBytes());
        std::string log;
        for (const std::string& line : Sink.AllLines()) log += line + "\n";
        test::WriteBytes(out / "4-log.txt", log);
    }
};

TEST_F(LocaleIndependenceTest, BackupRestoreAndEditsWriteTheSameFilesUnderEveryLocale) {
    if (const char* runFolder = std::getenv(kRunFolderVariable)) {
        Run(runFolder);
        return;
    }
    const std::vector<std::string> locales = {"C", "de_DE.UTF-8", "tr_TR.UTF-8"};
    for (const std::string& name : locales) {
        const locale_t locale = newlocale(LC_ALL_MASK, name.c_str(), nullptr);
        if (!locale)
            GTEST_SKIP() << "The locale " << name << " is not installed; scripts/ensure-deps.sh generates it (as root)";
        freelocale(locale);
    }

    std::map<std::string, std::map<std::string, std::string>> written;
    for (const std::string& name : locales) {
        const fs::path out = Folder.File("run-" + name), log = Folder.File("run-" + name + ".log");
        fs::create_directories(out);
        const int status = RunThisTestIn(name, out, log);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the run under " << name << " failed:\n" << test::ReadBytes(log);
        written[name] = test::FilesBelow(out);
    }
    ASSERT_GT(written["C"].size(), 4u);
    for (const std::string& name : locales) EXPECT_TRUE(written[name] == written["C"]) << name;
}

} // namespace
} // namespace orvex
