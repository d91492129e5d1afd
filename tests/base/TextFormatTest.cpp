#include "base/TextFormat.h"

#include <clocale>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

using namespace orvex;

TEST(FormatTolerant, FillsPlaceholdersInOrderAndNeverThrows) {
    const std::u16string name = u"Default Web Site";
    const struct {
        const char16_t* format;
        std::vector<TFormatValue> values;
        const char16_t* expected;
    } cases[] = {
        {u"Web site: %s (identifier = %s) exists!",
         {name, u"1"},
         u"Web site: Default Web Site (identifier = 1) exists!"},
        {u"%d paths have been fixed!", {42}, u"42 paths have been fixed!"},
        {u"%S and %D", {u"upper", 7}, u"upper and 7"},
        // A file beside the executable may hold fewer or more placeholders.
        {u"backup %s of %s", {u"x"}, u"backup x of "},
        {u"%s", {}, u""},
        {u"no placeholder", {u"extra", 3}, u"no placeholder"},
        // The kind of the value does not have to match the letter.
        {u"%s items", {12}, u"12 items"},
        {u"count %d", {u"twelve"}, u"count twelve"},
        {u"100%% done, %s", {u"ok"}, u"100% done, ok"},
        {u"%x %5d %", {u"a", u"b"}, u"%x %5d %"},
        {u"%%s", {u"a"}, u"%s"},
        {u"", {u"a"}, u""},
        // A value is put in as it stands, never formatted again.
        {u"%s|%s", {u"%s", u"b"}, u"%s|b"},
        {u"line\r\n%s\u25A3", {u"\u6C49\u8BED"}, u"line\r\n\u6C49\u8BED\u25A3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(
            std::string(c.format, c.format + std::char_traits<char16_t>::length(c.format)).c_str());
        EXPECT_EQ(FormatTolerant(c.format, c.values), c.expected);
    }
}

TEST(FormatTolerant, IntegersAreDecimalUnderAnyLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(FormatTolerant(u"%d %d %d", {1234567, -5, std::numeric_limits<int64_t>::min()}),
              u"1234567 -5 -9223372036854775808");
    EXPECT_EQ(FormatTolerant(u"%d %d", {std::numeric_limits<uint64_t>::max(), 0u}),
              u"18446744073709551615 0");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatTolerant, MissingValuesCanStayVisible) {
    const struct {
        const char16_t* format;
        std::vector<TFormatValue> values;
        const char16_t* expected;
    } cases[] = {
        {u"%s and %s", {u"one"}, u"one and %s"},
        {u"%d of %S", {}, u"%d of %S"},
        {u"%s", {u"a", u"b"}, u"a"},
        {u"100%% %s %", {}, u"100% %s %"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTolerant(c.format, c.values, TMissingValue::StaysVisible), c.expected);
}

TEST(FormatTolerant, Utf8FaceCopiesBytesAsTheyStand) {
    EXPECT_EQ(FormatTolerant("Illegal character in node name \"%s\"", {"a\xFF\xC3"}),
              "Illegal character in node name \"a\xFF\xC3\"");
    EXPECT_EQ(FormatTolerant("%s|%s|%%|%x", {"\xE6\xB1\x89"}), "\xE6\xB1\x89||%|%x");
    EXPECT_EQ(FormatTolerant("%s|%s", {"x"}, TMissingValue::StaysVisible), "x|%s");
    EXPECT_EQ(FormatTolerant("%s", {"%s", "b"}), "%s");
}
