#include "xml/UTF8StringUtils.h"

#include "FullStream.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlNode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

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

TEST(ByteStrings, ScanAndStreamWrites) {
    const char text[] = "ab\0c";
    EXPECT_EQ(xmStrScan(text, 'b'), text + 1);
    EXPECT_EQ(xmStrScan(text, 'c'), nullptr); // beyond the terminator
    EXPECT_EQ(xmStrScan(text, '\0'), nullptr);
    EXPECT_EQ(xmStrScan(nullptr, 'a'), nullptr);

    TxmUTF8StringStream stream;
    WriteUtf8ToStream(stream, "");
    EXPECT_EQ(stream.Size(), 0);
    WriteUtf8ToStream(stream, "abc");
    EXPECT_EQ(xmStreamWriteAt(stream, 2, "xyz", 1), 1);
    EXPECT_EQ(stream.DataString(), "abcz");
    test::TFullStream full(2);
    try {
        WriteUtf8ToStream(full, "abc");
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Cannot write to output stream");
    }
}

TEST(ByteStrings, LineBreaksAfterEveryWidthBytes) {
    const std::string text(100, 'x');
    EXPECT_EQ(Utf8InsertLineBreaks(text, "|", 76),
              std::string("|").append(76, 'x').append("|").append(24, 'x').append("|"));
    EXPECT_EQ(Utf8InsertLineBreaks("", "|", 76), "|");
    EXPECT_EQ(Utf8InsertLineBreaks("abc", "", 76), "abc");
    EXPECT_EQ(Utf8InsertLineBreaks("abc", "|", 0), "abc");
    EXPECT_EQ(Utf8InsertLineBreaks("ab", "|", 1), "ab|"); // width 1: the final separator only
    EXPECT_EQ(Utf8InsertLineBreaks("", "|", 1), "|");
    EXPECT_EQ(Utf8InsertLineBreaks(std::string(76, 'y'), "|", 76), std::string("|").append(76, 'y').append("|"));
}

TEST(EscapingAndQuoting, EscapesEachCharacterOnce) {
    EXPECT_EQ(Utf8EscapeText("a&b<c"), "a&amp;b&lt;c");
    EXPECT_EQ(Utf8EscapeText("&amp;"), "&amp;amp;");
    EXPECT_EQ(Utf8EscapeText("'\">"), "&apos;&quot;&gt;");
}

// Escaping by table, straight into memory, against the plain rule: each special
// character at the start, middle and end of ASCII runs of every length, and every byte.
TEST(EscapingAndQuoting, EscapeIntoAgreesWithThePlainRule) {
    const auto plain = [](std::string_view text) {
        std::string out;
        for (char c : text)
            out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '\'' ? "&apos;"
                 : c == '"' ? "&quot;" : std::string(1, c);
        return out;
    };
    std::vector<std::string> texts(1);
    for (int b = 0; b < 256; ++b)
        texts[0].push_back(static_cast<char>(b));
    for (size_t run = 0; run <= 40; ++run)
        for (const char* special : {"&", "<", ">", "'", "\"", "&amp;", "\xC3\xA9", "\xFF"})
            for (size_t at : {size_t(0), run / 2, run})
                texts.push_back(std::string(run, 'a').insert(at, special));
    for (const std::string& text : texts) {
        const std::string want = plain(text);
        ASSERT_EQ(Utf8EscapedLength(text), want.size()) << text;
        std::string out(want.size() + 1, '#');
        EXPECT_EQ(Utf8EscapeInto(out.data(), text), out.data() + want.size()) << text;
        EXPECT_EQ(out, want + '#') << text;  // nothing written past the end
        EXPECT_EQ(Utf8EscapeText(text), want);
        EXPECT_EQ(Utf8ResolveEntities(want), text);
    }
}

// The shortcut for a stored value holds only where unquoting and resolving
// would change nothing but the outer quotes.
TEST(EscapingAndQuoting, PlainQuotedTextOnlyWhereNothingIsToResolve) {
    const struct {
        const char* quoted;
        bool plain;
    } cases[] = {
        {"\"abc\"", true}, {"'a\"b'", true}, {"\"\"", true}, {"\"<\xC3\xA9>\"", true},
        {"\"a&amp;b\"", false}, {"\"&#65;\"", false}, {"'it''s'", false}, {"\"a\"b\"", false},
        {"\"abc", false}, {"\"abc'", false}, {"\"", false}, {"abc", false}, {"", false},
    };
    for (const auto& c : cases) {
        std::string_view text = "untouched";
        ASSERT_EQ(Utf8PlainQuotedText(c.quoted, text), c.plain) << c.quoted;
        EXPECT_EQ(text, c.plain ? Utf8ResolveEntities(Utf8UnquoteText(c.quoted)) : "untouched") << c.quoted;
    }
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

// Both buffer conversions: standard sequences, the zero after them, and a
// character that would not leave room for the zero is not begun.
TEST(Conversions, BufferConversionsReportWhatTheyWrote) {
    struct TRow {
        std::u16string Utf16;
        std::string Utf8;
        size_t Room;        // destination size, in bytes or units
        std::string Bytes;  // written, without the zero
        std::u16string Units;
    };
    const TRow rows[] = {
        {u"a\u00E9", "a\xC3\xA9", 16, "a\xC3\xA9", u"a\u00E9"},
        {u"\U0001F600", "\xF0\x9F\x98\x80", 16, "\xF0\x9F\x98\x80", u"\U0001F600"},
        {u"ab", "ab", 2, "a", u"a"},
        {u"a\U0001F600", "a\xF0\x9F\x98\x80", 3, "a", u"a"},  // the pair does not fit whole
        {u"", "", 1, "", u""},
    };
    for (const TRow& row : rows) {
        std::string bytes(row.Room, '#');
        EXPECT_EQ(Utf16ToUtf8Buffer(bytes.data(), row.Room, row.Utf16.data(), row.Utf16.size()),
                  row.Bytes.size() + 1);
        EXPECT_EQ(bytes.substr(0, row.Bytes.size() + 1), row.Bytes + '\0');
        std::u16string units(row.Room, u'#');
        EXPECT_EQ(Utf8ToUtf16Buffer(units.data(), row.Room, row.Utf8.data(), row.Utf8.size()),
                  row.Units.size() + 1);
        EXPECT_EQ(units.substr(0, row.Units.size() + 1), row.Units + u'\0');
    }
    // A lone surrogate keeps its own three bytes; malformed input reads as U+FFFD.
    const char16_t lone[] = {0xD800, u'x'};
    char bytes[8];
    EXPECT_EQ(Utf16ToUtf8Buffer(bytes, 8, lone, 2), 5u);
    EXPECT_EQ(std::string(bytes, 4), "\xED\xA0\x80x");
    char16_t units[8];
    EXPECT_EQ(Utf8ToUtf16Buffer(units, 8, "a\xC3" "b", 3), 4u);
    EXPECT_EQ(std::u16string(units, 3), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16Buffer(nullptr, 8, "a", 1), 0u);
    EXPECT_EQ(Utf16ToUtf8Buffer(bytes, 0, u"a", 1), 0u);
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

// The collator passes over control and format characters and reads bytes that
// are no UTF-8 as U+FFFD; names that differ only there must still differ, in a
// lookup and in a close tag.
TEST(Conversions, CompareTextLosesNoCharacter) {
    using namespace std::string_literals;
    const std::string differing[][2] = {
        {"ab", "a\0b"s},
        {"ab", "a\001b"},
        {"ab", "a\177b"},
        {"ab", "a\342\200\213b"}, // U+200B
        {"ab", "a\302\255b"},      // soft hyphen
        {"a\376b", "a\377b"},
        {"\303\251", "e\314\201"}, // the same letter, other characters
    };
    for (const auto& pair : differing) {
        const int order = Utf8CompareText(pair[0], pair[1]);
        EXPECT_NE(order, 0) << pair[0] << " | " << pair[1];
        EXPECT_EQ(Utf8CompareText(pair[1], pair[0]), -order) << pair[0] << " | " << pair[1];
        EXPECT_NE(Utf8CompareText(pair[0] + "X", pair[1] + "x"), 0);

        TUtf8XmlNode parent;
        parent.NodeNew(pair[0]);
        EXPECT_EQ(parent.NodeByName(pair[1]), nullptr) << pair[1];
        std::string upper = pair[0];
        for (char& c : upper)
            c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        EXPECT_EQ(parent.NodeIndexByName(upper), 0) << pair[0];

        TUtf8XmlDocument doc;
        try {
            doc.ReadFromString("<" + pair[0] + "></" + pair[1] + ">");
            ADD_FAILURE() << "loaded: " << pair[0] << " | " << pair[1];
        } catch (const EFilerError& e) {
            EXPECT_EQ(std::string(e.what()), "Incorrect close tag in element " + pair[0]);
        }
    }
}

// The collation is chosen at the first comparison, so each locale is tried in a
// process of its own (a death test's child, started afresh from the binary).
// Case aside means the locale's case: under Turkish, I is the capital of dotless
// i, and i's capital is the dotted I.
TEST(ConversionsDeathTest, CaseAsideIsTheLocalesCase) {
    struct TCase {
        const char* Locale;
        std::vector<std::array<std::string, 2>> Equal;
        std::vector<std::array<std::string, 2>> Different;
    };
    const TCase cases[] = {
        {"C", {{"i", "I"}, {"Machines", "MACHINES"}}, {{"I", "\304\261"}, {"i", "\304\260"}}},
        {"tr_TR.UTF-8",
         {{"I", "\304\261"}, {"i", "\304\260"}, {"Root", "ROOT"}},
         {{"i", "I"}, {"Machines", "MACHINES"}, {"ab", "a\177b"}}},
    };
    const std::string savedStyle = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* saved = std::getenv("LC_ALL");
    const std::string savedLocale = saved ? saved : "";
    for (const TCase& c : cases) {
        setenv("LC_ALL", c.Locale, 1);
        const auto check = [&c] {
            std::string wrong;
            for (const auto& pair : c.Equal)
                if (Utf8CompareText(pair[0], pair[1]) != 0)
                    wrong += " " + pair[0] + "/" + pair[1] + " differ;";
            for (const auto& pair : c.Different)
                if (Utf8CompareText(pair[0], pair[1]) == 0)
                    wrong += " " + pair[0] + "/" + pair[1] + " match;";
            std::fputs(wrong.c_str(), stderr);
            std::exit(wrong.empty() ? 0 : 1);
        };
        EXPECT_EXIT(check(), ::testing::ExitedWithCode(0), "") << c.Locale;
    }
    if (saved)
        setenv("LC_ALL", savedLocale.c_str(), 1);
    else
        unsetenv("LC_ALL");
    GTEST_FLAG_SET(death_test_style, savedStyle);
}

// The tests run under C.UTF-8 (the root collation), whose order the Latin
// locales share for these letters.
TEST(Conversions, CompareTextSortsByTheCollation) {
    EXPECT_LT(Utf8CompareText("a", "\xC3\xA4"), 0);        // a < ä < b, not after z
    EXPECT_LT(Utf8CompareText("\xC3\xA4", "b"), 0);
    EXPECT_GT(Utf8CompareText("\xC3\xA9t\xC3\xA9", "ete"), 0);   // accents count, case does not
    EXPECT_LT(Utf8CompareText(":", "9"), 0);                 // punctuation before digits
    EXPECT_LT(Utf8CompareText("9", "a"), 0);

    TUtf8XmlNode parent;
    for (const char* name : {"z", "b", "\xC3\x84", "a"})
        parent.NodeNew(name);
    parent.SortChildNodes();
    std::string order;
    for (int i = 0; i < parent.NodeCount(); ++i)
        order.append(parent.Nodes(i)->Name()).append(" ");
    EXPECT_EQ(order, "a \xC3\x84 b z ");
}

// Printable ASCII is compared in place: it must order exactly as the collator
// orders the same characters inside longer text.
TEST(Conversions, AsciiFastPathAgreesWithTheCollator) {
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (int x = 0x20; x < 0x7F; ++x) {
        for (int y = 0x20; y < 0x7F; ++y) {
            const std::string a(1, static_cast<char>(x));
            const std::string b(1, static_cast<char>(y));
            ASSERT_EQ(sign(Utf8CompareText(a, b)),
                      sign(Utf8CompareText(a + "\xC3\xA9", b + "\xC3\xA9")))
                << a << " " << b;
        }
    }
}
