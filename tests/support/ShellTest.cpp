#include "support/Shell.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <thread>

using namespace orvex;
using namespace orvex::testing;

namespace {

// An xdg-open on PATH that marks each target it opens with "<target>.opened".
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(temp_.Path("xdg-open"), "#!/bin/sh\n: > \"$1.opened\"\n");
        chmod(temp_.Path("xdg-open").c_str(), 0755);
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        setenv("PATH", temp_.Path("").c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

    bool Opened(const std::string& name) const {
        for (int i = 0; i < 300; ++i) {
            if (FileExists(temp_.Path(name + ".opened")))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    TTempFolder temp_;
    std::string savedPath_;
};

} // namespace

TEST_F(ShellTest, OpenInAnyCaseStartsTheHandler) {
    EXPECT_TRUE(ShellOpen(temp_.Path16("manual.pdf")));
    EXPECT_TRUE(Opened("manual.pdf"));
    EXPECT_TRUE(ShellExecuteVerb(u"OPEN", temp_.Path16("two words.pdf")));
    EXPECT_TRUE(Opened("two words.pdf"));
}

TEST_F(ShellTest, UnknownVerbsAndEmptyNamesStartNothing) {
    int started = 0;
    ShellOpenHook = [&started](std::u16string_view) { return ++started > 0; };
    EXPECT_FALSE(ShellExecuteVerb(u"print", temp_.Path16("a.pdf")));
    EXPECT_FALSE(ShellExecuteVerb(u"opened", temp_.Path16("a.pdf")));
    EXPECT_FALSE(ShellExecuteVerb(u"", temp_.Path16("a.pdf")));
    EXPECT_FALSE(ShellOpen(u""));
    ShellOpenHook = nullptr;
    EXPECT_EQ(started, 0);
}

TEST_F(ShellTest, TheHookStandsInForTheDesktopAndSeesOnlyOpenVerbs) {
    std::vector<std::u16string> opened;
    ShellOpenHook = [&opened](std::u16string_view target) {
        opened.emplace_back(target);
        return target != u"refused";
    };
    EXPECT_TRUE(ShellOpen(temp_.Path16("manual.html")));
    EXPECT_FALSE(ShellOpen(u"refused"));
    EXPECT_FALSE(ShellExecuteVerb(u"print", u"a.pdf"));
    ShellOpenHook = nullptr;
    EXPECT_EQ(opened, (std::vector<std::u16string>{temp_.Path16("manual.html"), u"refused"}));
}
