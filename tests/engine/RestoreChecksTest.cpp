#include "engine/RestoreChecks.h"

#include "RestoreFixture.h"
#include "engine/IIsBinding.h"
#include "engine/WebRestore.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::TRestoreFixture;
using Lines = std::vector<std::string>;

std::string Crafted(const std::string& name) { return test::ReadBytes(std::string(ORVEX_TEST_DATA) + "/engine/" + name); }

std::string Refused(const std::string& display, const std::string& reason) {
    return "Restore refused: Path=" + display + " Error=" + reason + "; it is not restored, nor anything below it";
}

class RestoreChecksTest : public TRestoreFixture {
protected:
    void SetUp() override {
        TRestoreFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState& state) {
            // A site whose key is a name, not a number.
            TMetaObject& shop = state.Metabase->Find(u"W3SVC")->AddChild(u"shop", u"IIsWebServer");
            shop.SetValue(u"KeyType", std::u16string(u"IIsWebServer"));
            shop.SetValue(u"ServerComment", std::u16string(u"Shop"));
        });
    }
    TOleVariant Get(std::u16string_view path, std::u16string_view id) {
        return GetIIsObject(u"localhost", path).Call(u"Get", id);
    }
    bool Exists(std::u16string_view path) { return IIsObjectExists(u"localhost", path); }
    // Index of the first line equal to text, or the line count.
    size_t LineOf(const std::string& text) const {
        auto all = Sink.AllLines();
        return static_cast<size_t>(std::find(all.begin(), all.end(), text) - all.begin());
    }
};

// Every element whose path would reach a key outside its place is refused with
// its subtree, each with a red line, before anything is written; the rest of the
// restore goes on.
TEST_F(RestoreChecksTest, PathsOutsideTheirPlaceAreRefused) {
    std::string file = Crafted("PathsOutsideTheirPlace.xml");
    file.replace(file.find("NUL-HERE"), 8, std::string("a\0b", 3));  // a NUL cannot be shown in the file's text
    WriteBackupFile(file);
    SetSiteConflictMode(scmOverwrite);
    auto tree = TreeOfFile();
    RestoreMachine(u"localhost", u"IIS6", *tree);

    const std::string outside = "would reach a key outside its place";
    EXPECT_EQ(Red(), (Lines{
                         Refused("\\Default Web Site\\ROOT\\..", "the key name \"..\" " + outside),
                         Refused("\\Default Web Site\\ROOT\\.", "the key name \".\" " + outside),
                         Refused("\\Default Web Site\\ROOT\\../../2/ROOT",
                                 "the key name \"../../2/ROOT\" holds \"/\", which " + outside),
                         Refused("\\Default Web Site\\ROOT\\..\\..\\2",
                                 "the key name \"..\\..\\2\" holds \"\\\", which " + outside),
                         Refused("\\Default Web Site\\ROOT\\", "the key name is empty"),
                         Refused(std::string("\\Default Web Site\\ROOT\\a\0b", 26),
                                 "the key name \"a\\x00b\" holds a NUL character"),
                         Refused("\\Default Web Site\\ROOT\\kept\\..", "the key name \"..\" " + outside),
                         Refused("\\2", "the element stands on the web site key \"2\" but is of class "
                                        "IIsWebVirtualDir, not IIsWebServer: it would slip past the site check"),
                         Refused("\\shop", "the element stands on the web site key \"shop\" but is of class "
                                           "IIsWebDirectory, not IIsWebServer: it would slip past the site check"),
                     }));
    // Refused before the first write.
    EXPECT_LT(LineOf("Found 1 sites in selected list."), LineOf("Restore directory: \\"));
    EXPECT_EQ(Sink.AllLines()[1].rfind("Restore refused: ", 0), 0u);

    EXPECT_TRUE(Exists(u"W3SVC/1/ROOT/kept"));
    EXPECT_EQ(Get(u"W3SVC/1/ROOT/kept", u"Path"), TOleVariant(u"C:\\Inetpub\\kept"));
    EXPECT_EQ(Get(u"W3SVC/AppPools/CraftedPool", u"AppPoolQueueLength"), TOleVariant(int32_t(1234)));
    for (std::u16string_view key : {u"W3SVC/1/ROOT/..", u"W3SVC/1/ROOT/.", u"W3SVC/1/ROOT/kept/.."})
        EXPECT_FALSE(Exists(key)) << Utf16ToUtf8(key);
    EXPECT_EQ(Get(u"W3SVC/2", u"ServerComment"), TOleVariant(u"Intranet"));
    EXPECT_EQ(Get(u"W3SVC/shop", u"ServerComment"), TOleVariant(u"Shop"));
    EXPECT_EQ(Get(u"W3SVC/1/ROOT", u"Path"), TOleVariant(u"C:\\Inetpub\\wwwroot"));
}

// The checked backup is the one restored, whatever its name: of "T" and "t" the
// second when it is checked. Two elements of one key are both refused.
TEST_F(RestoreChecksTest, DuplicateKeysRestoreTheCheckedOneOrNone) {
    WriteBackupFile(Crafted("DuplicateKeys.xml"));
    SetSiteConflictMode(scmOverwrite);
    for (auto [backup, timeout] : {std::pair{u"t", 222}, {u"T", 111}}) {
        auto tree = TreeOfFile();
        for (const auto& top : tree->Tops) top->Check(top->Text() == backup, top->Text() == backup);
        RestoreMachine(u"localhost", u"IIS6", *tree);
        EXPECT_EQ(Get(u"W3SVC/1", u"ConnectionTimeout"), TOleVariant(int32_t(timeout))) << Utf16ToUtf8(backup);
    }
    EXPECT_EQ(Red(), Lines{});

    auto tree = TreeOfFile();
    for (const auto& top : tree->Tops) top->Check(top->Text() == u"Twins", top->Text() == u"Twins");
    RestoreMachine(u"localhost", u"IIS6", *tree);
    const std::string twice = " elements of this backup; none of them is restored";
    EXPECT_EQ(Red(), (Lines{Refused("\\Seven A", "the path \"7\" is used by 2" + twice),
                            Refused("\\Seven A", "the path \"7\" is used by 2" + twice),
                            Refused("\\Eight\\ROOT", "the path \"ROOT\" is used by 2" + twice),
                            Refused("\\Eight\\ROOT", "the path \"root\" is used by 2" + twice)}));
    EXPECT_TRUE(Logged("Found 1 sites in selected list."));
    EXPECT_FALSE(Exists(u"W3SVC/7"));
    EXPECT_EQ(Get(u"W3SVC/8", u"ServerComment"), TOleVariant(u"Eight"));
    EXPECT_FALSE(Exists(u"W3SVC/8/ROOT"));
}

// The tree shows the file as it was loaded; a restore from a file that changed
// since (another backup now stands in the checked one's place) writes nothing.
TEST_F(RestoreChecksTest, ABackupThatMovedInTheFileIsNotGuessed) {
    WriteBackupFile(Crafted("DuplicateKeys.xml"));
    auto tree = TreeOfFile();
    for (const auto& top : tree->Tops) top->Check(top->Text() == u"Twins", top->Text() == u"Twins");
    std::string file = Crafted("DuplicateKeys.xml");
    size_t first = file.find("    <Machine backupName=\"T\"");
    file.erase(first, file.find("    <Machine backupName=\"t\"") - first);
    WriteBackupFile(file);
    RestoreMachine(u"localhost", u"IIS6", *tree);
    EXPECT_EQ(Red(), Lines{"RestoreMachine: The backup file changed since it was loaded: backup Twins is no longer "
                           "where the tree shows it"});
    EXPECT_FALSE(Exists(u"W3SVC/8"));
}

// A site that gets a new number keeps AppRoot values with "." or ".." steps as
// they were; the restore refuses them, one red line each, and writes the rest.
TEST_F(RestoreChecksTest, AppRootWithDotStepsIsNeitherRewrittenNorRestored) {
    WriteBackupFile(Crafted("AppRootSteps.xml"));
    auto tree = TreeOfFile();
    RestoreMachine(u"localhost", u"IIS6", *tree);  // "Shop" is not the destination's site 1: it becomes site 3
    const std::string bytes = FileBytes();
    EXPECT_NE(bytes.find("value=\"/LM/W3SVC/3/ROOT\""), std::string::npos);
    EXPECT_NE(bytes.find("value=\"/LM/W3SVC/1/../2/ROOT\""), std::string::npos);
    EXPECT_NE(bytes.find("value=\"/lm/w3svc/1/ROOT/./legacy\""), std::string::npos);
    const std::string error = " Error:the application root holds a \".\" or \"..\" step, which would reach a key "
                              "outside its place";
    EXPECT_EQ(Red(), (Lines{"Problem in RestoreProperty: path=\\Shop\\ROOT\\app name=AppRoot type=STRING "
                            "value=/LM/W3SVC/1/../2/ROOT" + error,
                            "Problem in RestoreProperty: path=\\Shop\\ROOT\\legacy name=AppRoot type=STRING "
                            "value=/lm/w3svc/1/ROOT/./legacy" + error}));
    EXPECT_EQ(Get(u"W3SVC/3/ROOT", u"AppRoot"), TOleVariant(u"/LM/W3SVC/3/ROOT"));
    EXPECT_EQ(Get(u"W3SVC/3/ROOT/app", u"AppFriendlyName"), TOleVariant(u"app"));
    EXPECT_NE(Get(u"W3SVC/3/ROOT/app", u"AppRoot"), TOleVariant(u"/LM/W3SVC/1/../2/ROOT"));
}

TEST(RestoreChecks, DotSteps) {
    for (std::u16string_view path : {u"..", u"/LM/W3SVC/1/..", u"/LM/./W3SVC", u"a\\..\\b", u"./x"})
        EXPECT_TRUE(HasDotSteps(path)) << Utf16ToUtf8(path);
    for (std::u16string_view path : {u"", u"/LM/W3SVC/1/ROOT", u"/LM/W3SVC/1/...", u"/a.b/.c/d."})
        EXPECT_FALSE(HasDotSteps(path)) << Utf16ToUtf8(path);
}

} // namespace
} // namespace orvex
