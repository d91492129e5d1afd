#include "engine/SupportedProperties.h"

#include <gtest/gtest.h>

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
