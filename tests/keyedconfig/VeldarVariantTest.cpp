#include "keyedconfig/VeldarVariant.h"

#include <clocale>
#include <gtest/gtest.h>

#include "base/Utf.h"

namespace orvex {
namespace {

TEST(VeldarVariantTest, TextConversions) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    struct Row {
        std::u16string_view text;
        TVeldarVarType type;
        TVeldarVariant expected; // empty: the conversion fails
    };
    const Row rows[] = {
        {u"42", vtInteger, int32_t{42}},
        {u"-2147483648", vtInteger, int32_t{-2147483647 - 1}},
        {u"2147483648", vtInteger, {}},
        {u"$1F", vtInteger, int32_t{31}},
        {u"4.0", vtInteger, {}},
        {u"", vtInteger, {}},
        {u"9000000000", vtInt64, int64_t{9000000000}},
        {u"3.5", vtDouble, 3.5},
        {u"3,5", vtDouble, 3.5},
        {u"1e3", vtDouble, 1000.0},
        {u"x", vtDouble, {}},
        {u"TRUE", vtBoolean, true},
        {u"false", vtBoolean, false},
        {u"0", vtBoolean, false},
        {u"-1", vtBoolean, true},
        {u"yes", vtBoolean, {}},
        {u"2024-02-29", vtDate, TVeldarVariant::FromDate(45351)},
        {u"2024-02-29T12:00:00", vtDate, TVeldarVariant::FromDate(45351.5)},
        {u"29.02.2024", vtDate, {}},
        {u"any text", vtString, u"any text"},
        {u"any text", vtEmpty, u"any text"},
    };
    for (const Row& row : rows) {
        std::u16string error;
        const TVeldarVariant value = TextToVariantOfType(row.text, row.type, error);
        EXPECT_EQ(value, row.expected) << Utf16ToUtf8(row.text);
        if (row.expected.IsEmpty())
            EXPECT_EQ(error, u"Error converting value \"" + std::u16string(row.text) + u"\" to a variant type of \"" +
                                 std::u16string(VarTypeName(row.type)) + u"\"");
        else
            EXPECT_EQ(error, u"");
    }
    EXPECT_EQ(TVeldarVariant(2.5).ToText(), u"2.5");
    EXPECT_EQ(TVeldarVariant(0.1).ToText(), u"0.1");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(VeldarVariantTest, TextForms) {
    struct Row {
        TVeldarVariant value;
        std::u16string_view text, typeName;
    };
    const Row rows[] = {
        {{}, u"", u"Empty"},
        {true, u"True", u"Boolean"},
        {int32_t{-7}, u"-7", u"Integer"},
        {int64_t{1} << 40, u"1099511627776", u"Int64"},
        {1e20, u"1E20", u"Double"},
        {TVeldarVariant::FromDate(45351), u"2024-02-29", u"Date"},
        {TVeldarVariant::FromDate(45351.25), u"2024-02-29T06:00:00.000Z", u"Date"},
        {u"t", u"t", u"UnicodeString"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.value.ToText(), row.text);
        EXPECT_EQ(VarTypeName(row.value.VarType()), row.typeName);
    }
}

} // namespace
} // namespace orvex
