#include "engine/PropertyText.h"

#include "base/NumberText.h"
#include "base/Utf.h"

#include <clocale>
#include <gtest/gtest.h>

namespace orvex {
namespace {

using Pieces = std::vector<std::u16string>;

TEST(PropertyTextTest, BooleanForms) {
    EXPECT_EQ(BoolToText(true), u"True");
    EXPECT_EQ(BoolToText(false), u"False");
    for (auto text : {u"True", u"true", u"TRUE", u"tRuE"}) EXPECT_TRUE(IsTrueText(text));
    for (auto text : {u"", u"1", u"yes", u"True ", u" True", u"Tru", u"False"}) EXPECT_FALSE(IsTrueText(text));
}

TEST(PropertyTextTest, NextTokenTakesTextBeforeTheDelimiter) {
    std::u16string source = u"a;;b";
    EXPECT_EQ(NextToken(source, u';'), u"a");
    EXPECT_EQ(source, u";b");
    EXPECT_EQ(NextToken(source, u';'), u"");
    EXPECT_EQ(source, u"b");
    EXPECT_EQ(NextToken(source, u';'), u"b");
    EXPECT_EQ(source, u"");
    EXPECT_EQ(NextToken(source, u';'), u"");
    EXPECT_EQ(source, u"");
}

TEST(PropertyTextTest, IntegerFormsAreLocaleFree) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(IntToText(1000), u"1000");
    EXPECT_EQ(IntToText(-2147483647 - 1), u"-2147483648");
    EXPECT_EQ(IntToText(2147483647), u"2147483647");
    EXPECT_EQ(TextToInteger(u"1000"), 1000);
    EXPECT_EQ(TextToInteger(u"+7"), 7);
    EXPECT_EQ(TextToInteger(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(TextToInteger(u"2147483647"), 2147483647);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(PropertyTextTest, NonIntegerTextRaisesWithItsText) {
    for (auto text : {u"", u"x", u"1.5", u"1 000", u" 1", u"1 ", u"2147483648", u"-2147483649", u"+-1", u"-", u"0x10",
                      u"１"}) {
        try {
            TextToInteger(text);
            ADD_FAILURE() << Utf16ToUtf8(text);
        } catch (const EPropertyValueError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + Utf16ToUtf8(text) + "' is not a valid integer value");
        }
    }
}

TEST(PropertyTextTest, BinaryTextEndsEveryElementWithABlank) {
    EXPECT_EQ(BinaryToText({}), u"");
    EXPECT_EQ(BinaryToText({u"1", u"2", u"3"}), u"1 2 3 ");
    EXPECT_EQ(BinaryToText({u"0", u"255"}), u"0 255 ");
    EXPECT_EQ(BinaryToText({u""}), u" ");
}

TEST(PropertyTextTest, BinaryTextCutsAtBlanks) {
    struct Row {
        std::u16string Text;
        Pieces Expected;
    };
    const Row rows[] = {
        {u"", {}},
        {u"0 255 ", {u"0", u"255"}},
        {u"1  2", {u"1", u"", u"2"}},
        {u"x", {u"x"}},
        {u" ", {u""}},
        {u"  ", {u"", u""}},
        {u" a", {u"", u"a"}},
    };
    for (const auto& row : rows) EXPECT_EQ(TextToBinary(row.Text), row.Expected) << Utf16ToUtf8(row.Text);
}

TEST(PropertyTextTest, BinaryKeepsEveryElementBeyond256) {
    Pieces elements;
    for (int i = 0; i < 600; ++i) elements.push_back(std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
    auto text = BinaryToText(elements);
    EXPECT_EQ(TextToBinary(text), elements);
}

TEST(PropertyTextTest, ExpandSzDropsOnlyControlCharacters) {
    // DEL is no control character for XML: it stays.
    EXPECT_EQ(FilterExpandSzText(u"say \"hi\"\t\r\n caf\u00e9"), u"say \"hi\" caf\u00e9");
    EXPECT_EQ(FilterExpandSzText(u"%SystemRoot%\\x \u4e2d'&<>"), u"%SystemRoot%\\x \u4e2d'&<>");
    EXPECT_EQ(FilterExpandSzText(std::u16string(u"a\u001b\u0000b\u007f\u0080\u009f\u00a0", 9)), u"ab\u007f\u00a0");
    EXPECT_EQ(FilterExpandSzText(u"\U0001F600"), u"\U0001F600");
    EXPECT_EQ(FilterExpandSzText(u""), u"");
}

// One character among plain ones, wherever the quick pass's blocks begin or end,
// is named at its position; the characters at the edges of the plain range pass.
TEST(PropertyTextTest, XmlTextProblemAtEveryPosition) {
    struct Row {
        char16_t C;
        const char* Named;  // nullptr: no problem
        TLineControls Lines = TLineControls::lcAllowed;
    };
    const Row rows[] = {
        {0x20, nullptr},    {0xD7FF, nullptr},  {0xE000, nullptr},  {0xFFFD, nullptr}, {0x09, nullptr},
        {0x0A, "U+000A", TLineControls::lcRefused}, {0x00, "U+0000"},   {0x1F, "U+001F"},  {0xD800, "U+D800"},
        {0xDFFF, "U+DFFF"}, {0xFFFE, "U+FFFE"}, {0xFFFF, "U+FFFF"},
    };
    for (const Row& row : rows)
        for (size_t size : {1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 64, 65})
            for (size_t at : {size_t(0), size / 2, size - 1}) {
                std::u16string text(size, u'a');
                text[at] = row.C;
                const std::string expected = row.Named ? std::string("the character ") + row.Named + " at position " +
                                                             std::to_string(at + 1) +
                                                             ", which cannot be written to the backup file"
                                                       : "";
                EXPECT_EQ(Utf16ToUtf8(XmlTextProblem(text, row.Lines)), expected) << size << " " << at;
            }
    EXPECT_EQ(XmlTextProblem(std::u16string(20, u'a') + u"\U0001F600", TLineControls::lcRefused), u"");  // a pair
}

TEST(PropertyTextTest, IPSecurityTextRoundTrip) {
    struct Row {
        TIPSecurityText Value;
        std::u16string Text;
    };
    const Row rows[] = {
        {{true, {u"10.0.0.1, 255.255.255.255"}}, u"GrantByDefault=True;10.0.0.1, 255.255.255.255;"},
        {{false, {}}, u"GrantByDefault=False;"},
        {{true, {u"a", u"b"}}, u"GrantByDefault=True;a;b;"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IPSecurityToText(row.Value), row.Text);
        auto back = TextToIPSecurity(row.Text);
        EXPECT_EQ(back.GrantByDefault, row.Value.GrantByDefault);
        EXPECT_EQ(back.Entries, row.Value.Entries);
    }
}

TEST(PropertyTextTest, IPSecurityTextReadsLeniently) {
    auto a = TextToIPSecurity(u"GrantByDefault=true;;a;;b");
    EXPECT_TRUE(a.GrantByDefault);
    EXPECT_EQ(a.Entries, (Pieces{u"a", u"b"}));
    auto b = TextToIPSecurity(u"True;x;");  // no "=": the whole first piece is the flag
    EXPECT_TRUE(b.GrantByDefault);
    EXPECT_EQ(b.Entries, (Pieces{u"x"}));
    auto c = TextToIPSecurity(u"");
    EXPECT_FALSE(c.GrantByDefault);
    EXPECT_TRUE(c.Entries.empty());
    EXPECT_FALSE(TextToIPSecurity(u"GrantByDefault=False").GrantByDefault);
}

} // namespace
} // namespace orvex
