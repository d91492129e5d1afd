#include "xml/UTF8StringUtils.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(Utf8Characters, LengthsCountMalformedBytesAsOneCharacter) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" "\xC3" "b";
    EXPECT_EQ(UTF8Length(text), 6); // a, é, €, 😀, stray lead, b
    EXPECT_EQ(UTF8CharLength(text.data() + 1, text.data() + text.size()), 2);
    EXPECT_EQ(UTF8CharLength(text.data() + 3, text.data() + text.size()), 3);
    EXPECT_EQ(UTF8CharLength(text.data() + 6, text.data() + text.size()), 4);
    EXPECT_EQ(UTF8CharLength(text.data() + 10, text.data() + text.size()), 1);
    EXPECT_EQ(UTF8CharLength(nullptr, nullptr), 0);
    // A lead at the very end cannot read past the text.
    const std::string cut = "\xE2\x82";
    EXPECT_EQ(UTF8CharLength(cut.data(), cut.data() + cut.size()), 1);
}

TEST(Utf8Characters, CopyByCharacterPositions) {
    const std::string text = "a\xC3\xA9" "bc";
    EXPECT_EQ(UTF8Copy(text, 2, 2), "\xC3\xA9" "b");
    EXPECT_EQ(UTF8Copy(text, 3, 10), "bc");  // end runs past: the rest
    EXPECT_EQ(UTF8Copy(text, 5, 1), "");     // start beyond the text
    EXPECT_EQ(UTF8Copy(text, 1, 0), "");
    EXPECT_EQ(UTF8SkipChars(text.data(), 5, 4), text.data() + 5);
    EXPECT_EQ(UTF8SkipChars(text.data(), 5, 5), nullptr); // more characters than the budget
    EXPECT_EQ(UTF8SkipChars(nullptr, 5, 1), nullptr);
}

TEST(Utf8Characters, TrimsControlsAndBlanks) {
    EXPECT_EQ(UTF8Trim("\x01 \tab c\r\n\x1F"), "ab c");
    EXPECT_EQ(Utf8TrimBlanks("\x01 ab \x01"), "\x01 ab \x01");
    EXPECT_EQ(Utf8TrimBlanks(" \t\r\nab c \n"), "ab c");
    EXPECT_EQ(Utf8RemoveBlanks(" a\tb\r\nc "), "abc");
}

TEST(ByteStrings, PositionsReplacementAndMatching) {
    EXPECT_EQ(xmPos("b", "abc"), 2);
    EXPECT_EQ(xmPos("abcd", "abc"), 0);
    EXPECT_EQ(xmPos("x", "abc"), 0);
    EXPECT_EQ(Utf8StringReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(Utf8StringReplaceAll("AaA", "a", "x"), "AxA");
    EXPECT_TRUE(Utf8MatchAt("ab", "xAB", 2));
    EXPECT_FALSE(Utf8MatchAt("abc", "xab", 2));
    EXPECT_FALSE(Utf8MatchAt("\xC3\xA9", "\xC3\x89", 1)); // only ASCII letters ignore case
    EXPECT_EQ(IntToUtf8(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(Int64ToUtf8(int64_t(1) << 40), "1099511627776");
}

TEST(ByteStrings, LineBreaksAfterEveryWidthBytes) {
    const std::string text(100, 'x');
    EXPECT_EQ(Utf8InsertLineBreaks(text, "|", 76),
              "|" + std::string(76, 'x') + "|" + std::string(24, 'x') + "|");
    EXPECT_EQ(Utf8InsertLineBreaks("", "|", 76), "|");
    EXPECT_EQ(Utf8InsertLineBreaks("abc", "", 76), "abc");
    EXPECT_EQ(Utf8InsertLineBreaks("abc", "|", 0), "abc");
    EXPECT_EQ(Utf8InsertLineBreaks("ab", "|", 1), "|a|b|"); // never two at the end
    EXPECT_EQ(Utf8InsertLineBreaks(std::string(76, 'y'), "|", 76), "|" + std::string(76, 'y') + "|");
}

TEST(EscapingAndQuoting, EscapesEachCharacterOnce) {
    EXPECT_EQ(Utf8EscapeText("a&b<c"), "a&amp;b&lt;c");
    EXPECT_EQ(Utf8EscapeText("&amp;"), "&amp;amp;");
    EXPECT_EQ(Utf8EscapeText("'\">"), "&apos;&quot;&gt;");
}

TEST(EscapingAndQuoting, ResolvesPredefinedAndCharacterReferences) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"&#65;&#x42;&amp;", "AB&"},
        {"&lt;&gt;&apos;&quot;", "<>'\""},
        {"&#65535;", "&#65535;"},            // not an XML character
        {"&#70000;", "\xF0\x91\x85\xB0"},    // U+11170 resolves
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&#0;", "&#0;"},
        {"&#xD800;", "&#xD800;"},
        {"&#x110000;", "&#x110000;"},
        {"&#;&#x;&#-1;&#12a;", "&#;&#x;&#-1;&#12a;"},
        {"&foo;", "&foo;"},
        {"&AMP;", "&AMP;"},                  // entity names are case-sensitive
        {"a & b", "a & b"},
        {"a&b;&amp;", "a&b;&"},
        {"x&amp", "x&amp"},
        {"&#9;&#xA;", "\t\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ResolveEntities(c.in), c.out) << c.in;
}

TEST(EscapingAndQuoting, QuotesAndUnquotes) {
    EXPECT_EQ(Utf8QuoteText("x"), "\"x\"");
    EXPECT_EQ(Utf8QuoteText("a\"b'c"), "'a\"b''c'");
    EXPECT_EQ(xmQuotedStr("a\"b", '"'), "\"a\"\"b\"");
    EXPECT_EQ(Utf8UnquoteText("'x''y'"), "x'y");
    EXPECT_EQ(Utf8UnquoteText("\"\""), "");
    EXPECT_EQ(Utf8UnquoteText("'"), "'");
    EXPECT_EQ(Utf8UnquoteText("\"abc"), "ab");  // no closing quote: last byte dropped
    EXPECT_EQ(Utf8UnquoteText("abc"), "abc");
    EXPECT_EQ(xmExtractQuotedStr("x'", '\''), "");
    for (const std::string text : {"", "plain", "a\"b", "it's", "\"'\""})
        EXPECT_EQ(Utf8UnquoteText(Utf8QuoteText(text)), text) << text;
}

TEST(Conversions, Utf16AndUtf8UseStandardSequences) {
    EXPECT_EQ(UnicodeToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUnicode("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(Utf8ToUnicode("\xED\xA0\xBD\xED\xB8\x80"), u"\U0001F600"); // halves written apart
    EXPECT_EQ(Utf8ToUnicode("a\xC3" "b"), u"a\uFFFDb");                  // malformed keeps the rest
    EXPECT_EQ(Utf8ToUnicode("ab\xE2"), u"ab\uFFFD");
    EXPECT_EQ(UnicodeToUtf8(u""), "");
}

TEST(Conversions, AnsiIsCodePage1252) {
    EXPECT_EQ(AnsiToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9"); // € é
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC\xC3\xA9"), "\x80\xE9");
    EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD"), "?");
}

TEST(Conversions, CompareTextIgnoresCaseBeyondAscii) {
    EXPECT_EQ(Utf8CompareText("ROOT", "root"), 0);
    EXPECT_EQ(Utf8CompareText("\xC3\x84rger", "\xC3\xA4RGER"), 0);
    EXPECT_LT(Utf8CompareText("Alpha", "beta"), 0);
    EXPECT_GT(Utf8CompareText("Gamma", "beta"), 0);
}
