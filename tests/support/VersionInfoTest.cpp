#include "support/VersionInfo.h"

#include "support/Version.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvex;

namespace {

class VersionInfoTest : public ::testing::Test {
protected:
    void TearDown() override { SetVersionBlockReaderForTesting(nullptr); }
};

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

} // namespace

TEST_F(VersionInfoTest, BuiltInVersionComesFromTheProject) {
    SetVersionBlockReaderForTesting(nullptr);
    const std::string major = std::to_string(ORVEX_VERSION_MAJOR);
    const std::string minor = std::to_string(ORVEX_VERSION_MINOR);
    EXPECT_EQ(GetVersionString(true), Ascii(major + "." + minor));
    EXPECT_EQ(GetVersionString(false), Ascii(major + "." + minor + "." + std::to_string(ORVEX_VERSION_PATCH) + "." +
                                             std::to_string(ORVEX_VERSION_BUILD)));
}

TEST_F(VersionInfoTest, ShortAndLongFormsUseTheFileVersionOnly) {
    SetVersionBlockReaderForTesting(
        [](const std::u16string&) { return MakeVersionBlock(0x00010002, 0x00030004, 0x00090009, 0x00090009); });
    EXPECT_EQ(GetVersionString(true), u"1.2");
    EXPECT_EQ(GetVersionString(false), u"1.2.3.4");
    SetVersionBlockReaderForTesting(
        [](const std::u16string&) { return MakeVersionBlock(0xFFFF0000, 0x0000FFFF, 0, 0); });
    EXPECT_EQ(GetVersionString(false), u"65535.0.0.65535");
}

TEST_F(VersionInfoTest, NoVersionInformationIsUnknownAndLoadedOnce) {
    int loads = 0;
    SetVersionBlockReaderForTesting([&loads](const std::u16string&) {
        ++loads;
        return std::vector<uint8_t>();
    });
    EXPECT_EQ(GetVersionString(true), u"Unknown");
    EXPECT_EQ(GetVersionString(false), u"Unknown");
    EXPECT_EQ(GetVersionString(false, kVersionAutomatic), u"Unknown");
    EXPECT_EQ(loads, 1);
    // Another selector loads again.
    EXPECT_EQ(GetVersionString(false, kVersionOfProgram), u"Unknown");
    EXPECT_EQ(loads, 2);
}

TEST_F(VersionInfoTest, MalformedBlocksAreUnknown) {
    for (std::vector<uint8_t> block : {std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>(24, 0)}) {
        SetVersionBlockReaderForTesting([block](const std::u16string&) { return block; });
        EXPECT_EQ(GetVersionString(true), u"Unknown");
    }
}

TEST_F(VersionInfoTest, CacheHandsOutTheBlock) {
    const std::vector<uint8_t> block = MakeVersionBlock(0x00050006, 0x00070008, 0, 0);
    SetVersionBlockReaderForTesting([&block](const std::u16string&) { return block; });
    std::vector<uint8_t> buffer;
    GetVersionInfoCached(kVersionAutomatic, buffer);
    EXPECT_EQ(buffer, block);
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(QueryFileVersion(buffer, ms, ls));
    EXPECT_EQ(ms, 0x00050006u);
    EXPECT_EQ(ls, 0x00070008u);
    EXPECT_TRUE(LoadVersionInfo(buffer, kVersionOfModule));
    EXPECT_EQ(buffer.size(), 24u);
}
