#include "engine/SupportedProperties.h"

#include "TempFolder.h"
#include "base/EmbeddedResources.h"
#include "base/Module.h"
#include "base/Utf.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace orvex {
namespace {

TEST(SupportedPropertyListTest, KeepsSourceOrderWithoutDuplicates) {
    TSupportedPropertyList list;
    EXPECT_TRUE(list.Add(u"KeyType"));
    EXPECT_TRUE(list.Add(u"Path"));
    EXPECT_FALSE(list.Add(u"keytype"));
    EXPECT_FALSE(list.Add(u""));
    EXPECT_TRUE(list.Add(u"AccessFlags"));
    EXPECT_EQ(list.Ids(), (std::vector<std::u16string>{u"KeyType", u"Path", u"AccessFlags"}));
    EXPECT_TRUE(list.Contains(u"PATH"));
    EXPECT_FALSE(list.Contains(u"Pat"));
    list.Clear();
    EXPECT_TRUE(list.Ids().empty());
    EXPECT_FALSE(list.Contains(u"Path"));
}

TEST(SupportedPropertyListTest, ClassOrderIsFixed) {
    EXPECT_EQ(SupportedPropertyClasses[0], u"IIsWebService");
    EXPECT_EQ(SupportedPropertyClasses[7], u"Pop3Svc");
    EXPECT_EQ(SupportedPropertyClasses[10], u"IIsApplicationPool");
    for (auto name : SupportedPropertyClasses) EXPECT_LE(name.size(), 20u);
}

} // namespace
} // namespace orvex

namespace orvex {
namespace {

std::string BuiltInList() { return std::string(*FindEmbeddedResource(u"SupportedProperty")); }

TEST(SupportedPropertyTableTest, BuiltInListCounts) {
    FillSupportedPropertyTable(BuiltInList());
    const auto& table = SupportedPropertyTable();
    ASSERT_EQ(table.size(), 11u);
    const size_t counts[] = {221, 9, 2, 22, 218, 120, 128, 8, 3, 36, 36};
    for (size_t i = 0; i < 11; ++i) {
        EXPECT_EQ(table[i].ClassName, SupportedPropertyClasses[i]);
        EXPECT_EQ(table[i].Properties.Ids().size(), counts[i]) << i;
    }
    EXPECT_EQ(table[0].Properties.Ids().front(), u"KeyType");
    EXPECT_EQ(table[0].Properties.Ids().back(), u"CalSSLReserveTimeout");
    EXPECT_EQ(table[9].Properties.Ids(), table[10].Properties.Ids());
}

TEST(SupportedPropertyTableTest, LookupsIgnoreCase) {
    FillSupportedPropertyTable(BuiltInList());
    struct Row {
        std::u16string ClassName, Id;
        bool Expected;
    };
    const Row rows[] = {
        {u"iiswebserver", u"serverbindings", true},
        {u"IIsWebServer", u"Path", false},
        {u"IIsWebVirtualDir", u"Path", true},
        {u"IIsWebVirtualDir", u"PATH", true},
        {u"Pop3Svc", u"Lock", true},
        {u"ServiceExtensions", u"GroupID", true},
        {u"IIsMimeMap", u"MimeMap", false},
        {u"", u"KeyType", false},
        {u"IIsWebService", u"", false},
    };
    for (const auto& row : rows) EXPECT_EQ(IsSupportedProperty(row.ClassName, row.Id), row.Expected);
}

TEST(SupportedPropertyTableTest, DuplicatesAndMissingClasses) {
    FillSupportedPropertyTable(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Root><iiswebserver><Property id=\"A\"/><Other id=\"b\"/>"
        "<Property id=\"a\"/><Property/><Property id=\"\"/></iiswebserver></Root>");
    const auto& table = SupportedPropertyTable();
    EXPECT_EQ(table[4].Properties.Ids(), (std::vector<std::u16string>{u"A", u"b"}));
    EXPECT_TRUE(table[0].Properties.Ids().empty());
    EXPECT_FALSE(IsSupportedProperty(u"IIsWebService", u"KeyType"));
}

TEST(SupportedPropertyTableTest, UnparsableTextLeavesTableAsItWas) {
    FillSupportedPropertyTable(BuiltInList());
    EXPECT_THROW(FillSupportedPropertyTable("<Root><IIsWebServer><Property id=\"x\""), std::exception);
    EXPECT_EQ(SupportedPropertyTable()[4].Properties.Ids().size(), 218u);
}

// The only test that plants a list file beside the executable: parallel test
// processes of this binary must not see it, and none of them reads the file.
TEST(SupportedPropertyTableTest, FileBesideExecutable) {
    if (::access(Utf16ToUtf8(ExecutableFolder()).c_str(), W_OK) != 0)
        GTEST_SKIP() << "needs to write beside the test program, which another user built";
    std::filesystem::path file(Utf16ToUtf8(ExecutableFolder() + u"SupportedProperty.xml"));
    struct TRemove {
        std::filesystem::path Path;
        ~TRemove() { std::filesystem::remove(Path); }
    } cleanup{file};

    EXPECT_EQ(InitSupportedPropertyTable(), u"");
    EXPECT_EQ(SupportedPropertyTable()[0].Properties.Ids().size(), 221u);

    test::WriteBytes(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root><Pop3Svc><Property id=\"Port\"/>"
                           "<Property id=\"PORT\"/></Pop3Svc></Root>\r\n");
    EXPECT_EQ(InitSupportedPropertyTable(), u"");
    EXPECT_EQ(SupportedPropertyTable()[7].Properties.Ids(), (std::vector<std::u16string>{u"Port"}));
    EXPECT_FALSE(IsSupportedProperty(u"IIsWebServer", u"ServerBindings"));
    TSupportedPropertyList list;
    list.Add(u"stale");
    LoadSupportedProperties(list, u"pop3svc");
    EXPECT_EQ(list.Ids(), (std::vector<std::u16string>{u"Port"}));

    test::WriteBytes(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root><Pop3Svc><Property id=\"Port\"");
    std::u16string error = InitSupportedPropertyTable();
    EXPECT_EQ(error.rfind(u"The supported-property list \"" + ExecutableFolder() + u"SupportedProperty.xml\" cannot be read: ", 0), 0u)
        << Utf16ToUtf8(error);
    EXPECT_TRUE(error.ends_with(u". The built-in list is used."));
    EXPECT_EQ(SupportedPropertyTable()[0].Properties.Ids().size(), 221u);
    EXPECT_TRUE(IsSupportedProperty(u"IIsWebServer", u"ServerBindings"));
}

} // namespace
} // namespace orvex
