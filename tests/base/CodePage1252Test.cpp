#include "base/CodePage1252.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(CodePage1252, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf16ToCp1252(Cp1252ToUtf16(all)), all);
}

TEST(CodePage1252, HighRangeAndUnmappable) {
    EXPECT_EQ(Cp1252ToUtf16("\x80\x9F\xE9"), u"\u20AC\u0178\u00E9");
    EXPECT_EQ(Utf16ToCp1252(u"\u20AC\u4E2D"), "\x80?");
}
