#include "engine/BackupFileEdits.h"

#include "../base/OtherUser.h"
#include "RestoreFixture.h"
#include "base/SafePath.h"
#include "engine/BackupDocument.h"
#include "engine/NodeKeys.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::CrLfLines;
using test::TRestoreFixture;
using Lines = std::vector<std::string>;

// The file as the backup writes it.
const std::string Saved = CrLfLines({
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
    R"(<Root>)",
    R"(  <Machines>)",
    R"(    <Machine backupName="Default" machineName="web1" path="w3svc" className="IIsWebService">)",
    R"(      <SubDir path="1" className="IIsWebServer" siteName="Default Web Site">)",
    R"(        <Property id="ServerComment" type="STRING" value="Default Web Site" Inherit="True"/>)",
    R"(        <SubDir path="ROOT" className="IIsWebVirtualDir">)",
    R"(          <Property id="Path" type="STRING" value="C:\Inetpub\wwwroot" Inherit="False"/>)",
    R"(        </SubDir>)",
    R"(      </SubDir>)",
    R"(    </Machine>)",
    R"(  </Machines>)",
    R"(</Root>)",
});

class BackupFileEditsTest : public TRestoreFixture {
protected:
    void SetUp() override {
        TRestoreFixture::SetUp();
        WriteBackupFile(Saved);
        // A reader's cached copy must be dropped by every edit.
        ASSERT_NE(GetCachedBackupDocument(), nullptr);
    }
    std::string With(const std::string& from, const std::string& to) {
        std::string bytes = Saved;
        size_t at = bytes.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return bytes.replace(at, from.size(), to);
    }
};

TEST_F(BackupFileEditsTest, UpdateChangesAnExistingPropertyAndKeepsInherit) {
    EXPECT_TRUE(UpdateProperty(u"default", u"w3svc/1", u"servercomment", u"EXPANDSZ", u"New <site> & \"more\""));
    EXPECT_EQ(FileBytes(),
              With(R"(<Property id="ServerComment" type="STRING" value="Default Web Site" Inherit="True"/>)",
                   R"(<Property id="servercomment" type="EXPANDSZ" value="New &lt;site&gt; &amp; &quot;more&quot;" Inherit="True"/>)"));
    EXPECT_TRUE(Sink.Lines.empty());
    auto* machine = FindMachineElement(MachinesElement(*GetCachedBackupDocument()), u"Default");
    EXPECT_EQ(FindSubDirElement(*machine, u"1")->Nodes(0)->AttributeByName(u"value"), u"New <site> & \"more\"");
}

TEST_F(BackupFileEditsTest, UpdateAppendsANewPropertyAfterTheSubDirs) {
    EXPECT_TRUE(UpdateProperty(u"Default", u"w3svc/1", u"ConnectionTimeout", u"INTEGER", u"300"));
    EXPECT_EQ(FileBytes(), With("        </SubDir>\r\n      </SubDir>",
                                "        </SubDir>\r\n"
                                R"(        <Property id="ConnectionTimeout" type="INTEGER" value="300" Inherit="False"/>)"
                                "\r\n      </SubDir>"));
    EXPECT_TRUE(UpdateProperty(u"Default", u"", u"MaxConnections", u"INTEGER", u"5"));
    EXPECT_NE(FileBytes().find("    </SubDir>\r\n      <Property id=\"MaxConnections\""), std::string::npos);
}

TEST_F(BackupFileEditsTest, DeletePropertyAndNode) {
    EXPECT_TRUE(DeleteProperty(u"Default", u"w3svc/1/ROOT", u"PATH"));
    EXPECT_EQ(FileBytes(), With(">\r\n          <Property id=\"Path\" type=\"STRING\" value=\"C:\\Inetpub\\wwwroot\" "
                                "Inherit=\"False\"/>\r\n        </SubDir>",
                                "/>"));
    EXPECT_TRUE(DeleteXmlNode(u"Default", u"w3svc/1/ROOT"));
    EXPECT_EQ(FileBytes().find("ROOT"), std::string::npos);
    EXPECT_TRUE(DeleteXmlNode(u"Default", u""));  // the whole backup
    EXPECT_EQ(FileBytes(), CrLfLines({R"(<?xml version="1.0" encoding="UTF-8"?>)", "<Root>", "  <Machines/>", "</Root>"}));
}

TEST_F(BackupFileEditsTest, NothingFoundLeavesTheFileAlone) {
    struct Row {
        std::function<bool()> Edit;
        Lines Black;
    };
    const Row rows[] = {
        {[] { return DeleteXmlNode(u"Default", u"w3svc/1/gone"); }, {"Error: Can not find path=w3svc/1/gone!"}},
        {[] { return DeleteXmlNode(u"Other", u"w3svc"); }, {"Error: Can not find backupName=Other!"}},
        {[] { return UpdateProperty(u"Default", u"w3svc/9", u"X", u"STRING", u"y"); },
         {"Error: Can not find path=w3svc/9!"}},
        {[] { return DeleteProperty(u"Default", u"w3svc/1", u"NoSuchId"); }, {}},
        {[] { return DeleteProperty(u"Default", u"w3svc/1/x", u"Path"); }, {"Error: Can not find path=w3svc/1/x!"}},
    };
    for (const auto& row : rows) {
        Sink.Lines.clear();
        EXPECT_FALSE(row.Edit());
        EXPECT_EQ(FileBytes(), Saved);
        EXPECT_EQ(Black(), row.Black);
        EXPECT_EQ(Red(), Lines{});
    }
}

TEST_F(BackupFileEditsTest, BadFilesAreLoggedAndLeftByteIdentical) {
    const std::string damaged[] = {Saved.substr(0, Saved.size() / 2), "<Root><Other/></Root>", "\xFF\xFEgarbage"};
    for (const auto& bytes : damaged) {
        WriteBackupFile(bytes);
        Sink.Lines.clear();
        EXPECT_FALSE(DeleteXmlNode(u"Default", u"w3svc/1"));
        EXPECT_FALSE(UpdateProperty(u"Default", u"w3svc/1", u"X", u"STRING", u"y"));
        EXPECT_FALSE(DeleteProperty(u"Default", u"w3svc/1", u"ServerComment"));
        EXPECT_EQ(FileBytes(), bytes);
        Lines red = Red();
        ASSERT_EQ(red.size(), 3u);
        EXPECT_EQ(red[0].rfind("DeleteXmlNode: ", 0), 0u);
        EXPECT_EQ(red[1].rfind("UpdateProperty: ", 0), 0u);
        EXPECT_EQ(red[2].rfind("DeleteProperty: ", 0), 0u);
    }
    std::filesystem::remove(File);
    EXPECT_FALSE(UpdateProperty(u"Default", u"w3svc/1", u"X", u"STRING", u"y"));
    EXPECT_FALSE(std::filesystem::exists(File));
}

// A text that no XML reader gives back as it was is refused before the file is
// touched, with a line naming the character; anything XML holds goes in.
TEST_F(BackupFileEditsTest, ValuesThatDoNotReadBackAreRefused) {
    const std::string crafted = test::ReadBytes(std::string(ORVEX_TEST_DATA) + "/engine/EditValues.xml");
    WriteBackupFile(crafted);
    struct TRow {
        std::u16string Value;
        std::string Character;
    } refused[] = {
        {std::u16string(u"a\0b", 3), "U+0000 at position 2"}, {u"\u0001", "U+0001 at position 1"},
        {u"x\u001F", "U+001F at position 2"}, {u"tab\there", "U+0009 at position 4"},
        {u"line\nbreak", "U+000A at position 5"}, {u"cr\r", "U+000D at position 3"},
        {std::u16string(1, char16_t(0xD800)) + u"x", "U+D800 at position 1"},
        {u"x" + std::u16string(1, char16_t(0xDC00)), "U+DC00 at position 2"},
        {u"\uFFFE", "U+FFFE at position 1"}, {u"\uFFFF", "U+FFFF at position 1"},
    };
    for (const TRow& row : refused) {
        Sink.Lines.clear();
        EXPECT_FALSE(UpdateProperty(u"Edit", u"w3svc/1", u"ServerComment", u"STRING", row.Value)) << row.Character;
        EXPECT_EQ(Red(), Lines{"UpdateProperty: the value of property ServerComment holds the character " +
                               row.Character + ", which cannot be written to the backup file; the file is left as it was"});
        EXPECT_EQ(FileBytes(), crafted);
    }
    Sink.Lines.clear();
    EXPECT_FALSE(UpdateProperty(u"Edit", u"w3svc/1", u"Server\u0001", u"STRING", u"x"));
    EXPECT_FALSE(UpdateProperty(u"Edit", u"w3svc/1", u"ServerComment", u"STRING\u0002", u"x"));
    EXPECT_EQ(Red().size(), 2u);
    EXPECT_EQ(FileBytes(), crafted);

    for (std::u16string value : {u"del\u007F", u"caf\u00E9 \U0001F600", u"<&>\"'", u"\u0085\uFFFD"}) {
        ASSERT_TRUE(UpdateProperty(u"Edit", u"w3svc/1", u"ServerComment", u"STRING", value));
        auto document = LoadBackupDocument();
        EXPECT_EQ(FindBackupNode(*document, u"Edit", u"w3svc/1")->NodeByName(u"Property")->AttributeByName(u"value"),
                  value);
    }
}

// A backup file that a save may not replace stays as it was, mode and all,
// whatever edits it: a read-only one, and another user's that all may write.
TEST_F(BackupFileEditsTest, AFileASaveMayNotReplaceIsLeftAlone) {
    for (const auto& [owner, mode] : {std::pair{::geteuid(), 0440}, {testing::OtherUser(), 0666}}) {
        if (::chown(File.c_str(), owner, owner) != 0)
            continue;  // only root gives files away
        std::filesystem::permissions(File, std::filesystem::perms(mode));
        Sink.Lines.clear();
        EXPECT_FALSE(UpdateProperty(u"Default", u"w3svc/1", u"ServerComment", u"STRING", u"x"));
        EXPECT_FALSE(DeleteProperty(u"Default", u"w3svc/1", u"ServerComment"));
        EXPECT_FALSE(DeleteXmlNode(u"Default", u"w3svc/1"));
        EXPECT_EQ(RewriteValuesByKey({{u"Default/1/ROOT@@Path", u"", u"D:\\www"}}), std::nullopt);
        const std::string refused = "Cannot create file \"" + File.string() + "\". " +
                                    (owner == ::geteuid() ? "Permission denied" : OwnerRefusal(owner, File.string()));
        EXPECT_EQ(Red(), (Lines{"UpdateProperty: " + refused, "DeleteProperty: " + refused, "DeleteXmlNode: " + refused,
                                "RewriteValuesByKey: " + refused}));
        EXPECT_EQ(FileBytes(), Saved);
        EXPECT_EQ(std::filesystem::status(File).permissions(), std::filesystem::perms(mode));
    }
}

TEST_F(BackupFileEditsTest, RewritesByKeyInOneLoadAndOneSave) {
    const std::string path = R"(<Property id="Path" type="STRING" value="C:\Inetpub\wwwroot" Inherit="False"/>)";
    WriteBackupFile(With(path, path + "\r\n" +
                                   CrLfLines({R"(          <Property id="ScriptMaps" type="LIST" value="" Inherit="False">)",
                                              R"(            <Item value=".asp,C:\old\asp.dll,5"/>)",
                                              R"(            <Item value=".ASP,c:\OLD\asp.dll,5"/>)"}) +
                                   "          </Property>"));
    const std::string before = FileBytes();
    const std::vector<TValueRewrite> rewrites = {
        {u"Default/1/ROOT@@path", u"ignored for a property", u"D:\\web"},
        // One old value twice: the first item, then the next one holding it.
        {u"Default/1/ROOT@@ScriptMaps@@Item", u".asp,C:\\old\\asp.dll,5", u".asp,D:\\asp.dll,5"},
        {u"Default/1/ROOT@@ScriptMaps@@Item", u".asp,C:\\old\\asp.dll,5", u".asp,E:\\asp.dll,5"},
        {u"Default/1/ROOT@@ScriptMaps@@Item", u".asp,C:\\old\\asp.dll,5", u"no third item"},
        {u"Default/1/gone@@Path", u"", u"x"},
        {u"Other/1@@ServerComment", u"", u"x"},
        {u"/1@@ServerComment", u"", u"x"},
        {u"Default/1@@NoSuchId", u"", u"x"},
    };
    const auto written = RewriteValuesByKey(rewrites);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, (std::vector<bool>{true, true, true, false, false, false, false, false}));
    std::string expected = before;
    for (auto [from, to] : {std::pair<std::string, std::string>{R"(value="C:\Inetpub\wwwroot")", R"(value="D:\web")"},
                            {R"(value=".asp,C:\old\asp.dll,5")", R"(value=".asp,D:\asp.dll,5")"},
                            {R"(value=".ASP,c:\OLD\asp.dll,5")", R"(value=".asp,E:\asp.dll,5")"}})
        expected.replace(expected.find(from), from.size(), to);
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(Black(), (Lines{"Error: Can not find path=1/gone!", "Error: Can not find backupName=Other!"}));
    EXPECT_EQ(Red(), Lines{});
    auto* machine = FindMachineElement(MachinesElement(*GetCachedBackupDocument()), u"Default");
    EXPECT_EQ(FindSubDirElement(*FindSubDirElement(*machine, u"1"), u"ROOT")->Nodes(0)->AttributeByName(u"value"),
              u"D:\\web");

    // Nothing written: nothing saved, not even the layout.
    WriteBackupFile(Saved.substr(0, Saved.size() - 2));
    ASSERT_TRUE(RewriteValuesByKey({{u"Default/9@@X", u"", u"y"}}));
    EXPECT_EQ(FileBytes(), Saved.substr(0, Saved.size() - 2));

    // A new value the file cannot hold refuses the whole batch before anything is written.
    Sink.Lines.clear();
    EXPECT_FALSE(RewriteValuesByKey({{u"Default/1/ROOT@@Path", u"", u"D:\\ok"}, {u"Default/1/ROOT@@Path", u"", u"D:\\a\u0001"}}));
    EXPECT_EQ(Red().size(), 1u);
    EXPECT_EQ(FileBytes(), Saved.substr(0, Saved.size() - 2));
}

} // namespace
} // namespace orvex
