#include "base/NumberText.h"

#include <clocale>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace orvex {
namespace {

TEST(NumberTextTest, Hexadecimal) {
    EXPECT_EQ(HexToText(1008), u"3f0");
    EXPECT_EQ(HexToText(0x800401E4u), u"800401e4");
    EXPECT_EQ(HexToText(0), u"0");
    EXPECT_EQ(HexToText(0xFFFFFFFFu), u"ffffffff");
}

TEST(NumberTextTest, DecimalUnderAnyLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(IntToText(1234567), u"1234567");
    EXPECT_EQ(IntToText(std::numeric_limits<int64_t>::min()), u"-9223372036854775808");
    EXPECT_EQ(IntToText(std::numeric_limits<uint64_t>::max()), u"18446744073709551615");
    EXPECT_EQ(IntToText(std::numeric_limits<int32_t>::min()), u"-2147483648");
    EXPECT_EQ(IntToText(uint16_t{65535}), u"65535");
    EXPECT_EQ(IntToText(0), u"0");
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
} // namespace orvex
