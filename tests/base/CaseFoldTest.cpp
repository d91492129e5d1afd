#include "base/CaseFold.h"
#include "base/Utf.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace orvex;

TEST(CaseFold, FoldsSimpleMappings) {
    const struct {
        char32_t in, out;
    } cases[] = {
        {U'A', U'a'},         {U'z', U'z'},         {U'@', U'@'},
        {U'\u00C9', U'\u00E9'}, // É
        {U'\u00DF', U'\u00DF'}, // ß has only a full folding
        {U'\u1E9E', U'\u00DF'}, // capital sharp s
        {U'\u0130', U'\u0130'}, // dotted I has no simple folding
        {U'\u03A3', U'\u03C3'}, {U'\u03C2', U'\u03C3'}, // final sigma
        {U'\u00B5', U'\u03BC'}, {U'\u212A', U'k'},       // micro, Kelvin
        {U'\u0100', U'\u0101'}, {U'\u0101', U'\u0101'},   // alternating block
        {U'\u0416', U'\u0436'}, {U'\U00010400', U'\U00010428'}, // Cyrillic, Deseret
        {U'\u13F8', U'\u13F0'}, // Cherokee small letters fold to capitals
    };
    for (const auto& c : cases)
        EXPECT_EQ(FoldCase(c.in), c.out) << std::hex << uint32_t(c.in);
}

TEST(CaseFold, ComparesIgnoringCaseInBothEncodings) {
    const struct {
        std::u16string a, b;
        int sign;
    } cases[] = {
        {u"ROOT", u"root", 0},
        {u"Stra\u00DFe", u"STRA\u00DFE", 0},
        {u"\u00C4pfel", u"\u00E4PFEL", 0},
        {u"\U00010400x", u"\U00010428X", 0},
        {u"abc", u"abd", -1},
        {u"ab", u"abc", -1},
        {u"b", u"A", 1},
        {u"", u"", 0},
        {u"\u00E9", u"f", 1}, // code point order after folding
        // ASCII first, then the rest from the first other character on.
        {u"x\u212A", u"XK", 0},   // the Kelvin sign folds to k
        {u"k", u"\u212A", 0},
        {u"[", u"a", -1},          // 'A'..'Z' fold down, so '[' sorts before them
        {u"Z", u"[", 1},
        {u"ab\u00E9", u"AB", 1},
        {u"AB", u"ab\u00C9x", -1},
        {u"w3svc/\U00010400", u"W3SVC/\U00010428", 0},
        {u"a\xD800", u"A\xD800", 0},  // a lone surrogate as it is
        {u"a\xD800", u"a\xD801", -1},
    };
    for (const auto& c : cases) {
        const int utf16 = CompareTextIgnoreCase(c.a, c.b);
        const int utf8 = CompareUtf8IgnoreCase(Utf16ToUtf8(c.a), Utf16ToUtf8(c.b));
        EXPECT_EQ((utf16 > 0) - (utf16 < 0), c.sign);
        EXPECT_EQ((utf8 > 0) - (utf8 < 0), c.sign);
    }
    EXPECT_EQ(CompareUtf8IgnoreCase("ROOT", "root"), 0);
    EXPECT_EQ(CompareUtf8IgnoreCase("Machines", "MACHINEZ"), -1);
    EXPECT_EQ(CompareUtf8IgnoreCase("ab", "a"), 1);
    EXPECT_EQ(CompareUtf8IgnoreCase("x\xC3\x84pfel", "X\xC3\xA4PFEL"), 0); // Äpfel
    EXPECT_EQ(CompareUtf8IgnoreCase("x\xC3\xA9", "xf"), 1);
    EXPECT_EQ(CompareUtf8IgnoreCase("a", "a\xC3\xA9"), -1);
}

TEST(CaseFold, DoesNotDependOnTheProcessLocale) {
    const char* saved = std::setlocale(LC_ALL, nullptr);
    const std::string restore = saved ? saved : "C";
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(CompareUtf8IgnoreCase("I", "i"), 0);
    EXPECT_EQ(CompareTextIgnoreCase(u"\u00D6L", u"\u00F6l"), 0);
    std::setlocale(LC_ALL, restore.c_str());
}

TEST(CaseFold, FoldedKeysMatchWhatCompareCallsEqual) {
    EXPECT_EQ(CaseFoldedKey(u"ServerBindings"), CaseFoldedKey(u"SERVERBINDINGS"));
    EXPECT_EQ(CaseFoldedKey(u"\u00c9tat"), CaseFoldedKey(u"\u00e9TAT"));
    EXPECT_NE(CaseFoldedKey(u"a"), CaseFoldedKey(u"b"));
    EXPECT_EQ(CaseFoldedKey(u"\U00010400"),
              CaseFoldedKey(u"\U00010428")); // Deseret, beyond the BMP
    EXPECT_EQ(CaseFoldedKey(std::u16string(1, u'\xD800')), std::u16string(1, u'\xD800'));
}
