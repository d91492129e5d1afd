#include "xml/XmlValueConversions.h"

#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace orvex;

namespace {

template <typename TError, typename TCall>
std::string ErrorText(TCall call) {
    try {
        call();
    } catch (const TError& e) {
        return e.what();
    }
    return "<no error>";
}

// Runs the conversions with LC_ALL German, where printf-family code writes "3,5".
class ValueConversions : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const char* saved = std::setlocale(LC_ALL, nullptr);
        FSaved = saved ? saved : "C";
        ASSERT_NE(std::setlocale(LC_ALL, GetParam()), nullptr);
    }
    void TearDown() override { std::setlocale(LC_ALL, FSaved.c_str()); }

private:
    std::string FSaved;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Locales, ValueConversions, ::testing::Values("C", "de_DE.UTF-8"));

TEST_P(ValueConversions, FloatToTextWithSignificantDigits) {
    const struct {
        double value;
        int digits;
        bool scientific;
        const char* text;
    } cases[] = {
        {0, 6, true, "0"},           {0.5, 6, true, ".5"},         {0.1, 6, true, ".1"},
        {0.05, 6, true, ".05"},      {0.005, 6, true, "5E-3"},     {1.5e-7, 6, true, "1.5E-7"},
        {-2.5, 6, true, "-2.5"},     {12.5, 6, true, "12.5"},      {100, 6, true, "100"},
        {123.456, 6, true, "123.456"}, {1234567, 6, true, "1234570"},
        {999999.7, 6, true, "1000000"}, {1e7, 6, true, "10000000"}, {1e8, 6, true, "1.00000E8"},
        {1e9, 6, true, "1.00000E9"}, {1e9, 6, false, "1000000000"}, {2.5, 1, true, "2"},
        {3.5, 1, true, "4"},         {3.5, 6, true, "3.5"},        {-0.25, 9, true, "-.25"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FloatToUtf8Significant(c.digits, c.scientific, c.value), c.text) << c.value;
}

TEST_P(ValueConversions, FloatToTextRefusesBadInput) {
    EXPECT_EQ(ErrorText<EXmlError>([] { FloatToUtf8Significant(0, true, 1); }),
              "Significant digits out of range");
    EXPECT_EQ(ErrorText<EXmlError>([] { FloatToUtf8Significant(10, true, 1); }),
              "Significant digits out of range");
    for (double bad : {std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(ErrorText<EXmlError>([&] { FloatToUtf8Significant(6, true, bad); }),
                  "Cannot convert value to float");
}

TEST_P(ValueConversions, TextToNumbers) {
    double d = 0;
    EXPECT_TRUE(TryUtf8ToFloat("3,5", d));
    EXPECT_EQ(d, 3.5);
    EXPECT_TRUE(TryUtf8ToFloat("  1.00000E9", d));
    EXPECT_EQ(d, 1e9);
    EXPECT_TRUE(TryUtf8ToFloat("-.5", d));
    EXPECT_EQ(d, -0.5);
    EXPECT_TRUE(TryUtf8ToFloat("+2", d));
    EXPECT_EQ(d, 2);
    for (const char* bad : {"", "abc", "1.5x", "1.5 ", "nan", "inf", "1e999", "+-1", "--1"})
        EXPECT_FALSE(TryUtf8ToFloat(bad, d)) << bad;
    EXPECT_EQ(ErrorText<EXmlError>([] { Utf8ToFloat("x"); }), "Cannot convert value to float");

    int32_t i = 0;
    EXPECT_TRUE(TryUtf8ToInt32(" -2147483648", i));
    EXPECT_EQ(i, std::numeric_limits<int32_t>::min());
    EXPECT_TRUE(TryUtf8ToInt32("$00FF", i));
    EXPECT_EQ(i, 255);
    EXPECT_TRUE(TryUtf8ToInt32("$FFFFFFFF", i));
    EXPECT_EQ(i, -1);
    EXPECT_TRUE(TryUtf8ToInt32("0x10", i));
    EXPECT_EQ(i, 16);
    for (const char* bad : {"", "2147483648", "1.0", "12 ", "$", "0x", "- 1", "1e3"})
        EXPECT_FALSE(TryUtf8ToInt32(bad, i)) << bad;
    int64_t l = 0;
    EXPECT_TRUE(TryUtf8ToInt64("1099511627776", l));
    EXPECT_EQ(l, int64_t(1) << 40);
    EXPECT_EQ(ErrorText<EXmlError>([] { Utf8ToInt32("12a"); }), "'12a' is not a valid integer value");
}

TEST_P(ValueConversions, Booleans) {
    for (const char* yes : {"yes", "Y", "1", "true", "TRUE", "t"})
        EXPECT_TRUE(Utf8ToBool(yes)) << yes;
    for (const char* no : {"no", "0", "F", "false", "n"})
        EXPECT_FALSE(Utf8ToBool(no)) << no;
    for (const char* bad : {"", "x", " true"})
        EXPECT_EQ(ErrorText<EXmlError>([&] { Utf8ToBool(bad); }), "Cannot convert value to bool");
    EXPECT_EQ(BoolToUtf8(true), "true");
    EXPECT_EQ(BoolToUtf8(false), "false");
}

TEST_P(ValueConversions, DatesByFixedPositions) {
    const TDateTime date = EncodeDateTime(2024, 2, 29, 0, 0, 0, 0);
    EXPECT_EQ(DateTimeToIsoDate(true, date), "2024-02-29"); // no time: date alone, even with bias
    const TDateTime stamp = EncodeDateTime(2024, 2, 29, 13, 5, 9, 7);
    EXPECT_EQ(DateTimeToIsoDate(false, stamp), "2024-02-29T13:05:09.007Z");
    EXPECT_EQ(IsoDateToDateTime("2024-02-29T13:05:09.007Z", false), stamp);
    EXPECT_EQ(IsoDateToDateTime("2024-02-29T13:05:", false), EncodeDateTime(2024, 2, 29, 13, 5, 0, 0));
    EXPECT_EQ(IsoDateToDateTime("2024-02-29T13:05", false), date); // 16 characters: no time
    EXPECT_EQ(IsoDateToDateTime("1899-12-30", false), 0.0);
    EXPECT_EQ(IsoDateToDateTime("1899-12-29T18:00:00", false), -0.25); // before the epoch
    EXPECT_EQ(DateTimeToIsoDate(false, -0.25), "1899-12-29T18:00:00.000Z");
    EXPECT_EQ(DecodeDateTime(EncodeDateTime(1850, 6, 1, 12, 0, 0, 0)).Year, 1850);
    EXPECT_EQ(DateTimeToIsoDate(false, EncodeDateTime(1850, 6, 1, 12, 0, 0, 0)),
              "1850-06-01T12:00:00.000Z");
    for (const char* bad : {"", "2024", "2024-13-01", "2024-02-30", "xxxx-01-01",
                            "2024-01-01T25:00:00", "2024-01-01Txx:00:00"})
        EXPECT_EQ(IsoDateToDateTimeDef(bad, false, -1.0), -1.0) << bad;
    EXPECT_THROW(IsoDateToDateTime("2024-02-30", false), EXmlError);
    EXPECT_EQ(DateTimeToIsoDate(false, EncodeDateTime(9999, 12, 31, 23, 59, 59, 999)),
              "9999-12-31T23:59:59.999Z");
    EXPECT_EQ(DateTimeToIsoDate(false, EncodeDateTime(1, 1, 1, 0, 0, 0, 0)), "0001-01-01");
    for (double bad : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()})
        EXPECT_EQ(ErrorText<EXmlError>([&] { DateTimeToIsoDate(false, bad); }),
                  "Date and time value out of range");
}

TEST_P(ValueConversions, DatesWithTheLocalBias) {
    const TDateTime stamp = EncodeDateTime(2024, 1, 2, 10, 0, 0, 0);
    const double bias = GetTimeZoneBias() / 1440.0;
    // "+02:00" means two hours ahead of UTC: 08:00 UTC, then shifted to local time.
    EXPECT_DOUBLE_EQ(IsoDateToDateTime("2024-01-02T10:00:00.000+02:00", true),
                     stamp - 2 / 24.0 - bias);
    EXPECT_DOUBLE_EQ(IsoDateToDateTime("2024-01-02T10:00:00.000+02:00", false), stamp);
}

TEST(BinaryText, Base64RoundTripsAndPads) {
    const struct {
        const char* bytes;
        const char* text;
    } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeBase64(c.bytes), c.text);
        std::string back(std::string_view(c.bytes).size(), '\0');
        DecodeBase64(c.text, back.data(), back.size());
        EXPECT_EQ(back, c.bytes);
    }
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<char>(i);
    std::string back(256, '\0');
    DecodeBase64(EncodeBase64(all), back.data(), back.size());
    EXPECT_EQ(back, all);
    DecodeBinHex(EncodeBinHex(all), back.data(), back.size());
    EXPECT_EQ(back, all);
    EXPECT_EQ(EncodeBinHex("\x01\xAB"), "01AB");
}

TEST(BinaryText, RefusesShortOrForeignText) {
    char buffer[8];
    EXPECT_EQ(ErrorText<EFilerError>([&] { DecodeBase64("Zg==", buffer, 4); }),
              "Missing data in binary stream");
    EXPECT_EQ(ErrorText<EFilerError>([&] { DecodeBinHex("0A0", buffer, 2); }),
              "Missing data in binary stream");
    for (const char* bad : {"Zm9*", "Z=9v", "Zm 9"})
        EXPECT_EQ(ErrorText<EFilerError>([&] { DecodeBase64(bad, buffer, 3); }),
                  "Illegal character in binary stream")
            << bad;
    EXPECT_EQ(ErrorText<EFilerError>([&] { DecodeBinHex("0G", buffer, 1); }),
              "Illegal character in binary stream");
    DecodeBinHex("ab", buffer, 1); // lower case is fine
    EXPECT_EQ(static_cast<unsigned char>(buffer[0]), 0xAB);
}
