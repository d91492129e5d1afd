#include "xml/XmlScanners.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(Scanners, TagTypeIsTheLongestOpening) {
    const struct {
        const char* tag;
        int row;
    } cases[] = {
        {"<![CDATA[x]]>", 0}, {"<!DOCTYPE r>", 1},  {"<!ELEMENT a>", 2},
        {"<!ATTLIST a>", 3},  {"<!ENTITY e>", 4},   {"<!NOTATION n>", 5},
        {"<?xml-stylesheet ?>", 6}, {"<?xml version?>", 7}, {"<?xml-style", 7},
        {"<!-- c -->", 8},    {"<!-x", 9},          {"<!doctype x>", 9},
        {"<!DOCTYP", 9},      {"<?pi?>", 10},       {"<a>", 11},
        {"<", 11},            {"<![CDATA", 9},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchTagType(c.tag), c.row) << c.tag;
    EXPECT_EQ(XmlTagTable[static_cast<size_t>(MatchTagType("<!-- x"))].ElementType, xeComment);
}

TEST(Scanners, ClosingTextHonoursQuotesWhenAsked) {
    const std::string_view tag = R"(a b="x>y" c='>'>rest)";
    EXPECT_EQ(FindClosingText(tag, 0, ">", true), 15u);
    EXPECT_EQ(FindClosingText(tag, 0, ">", false), 6u);
    EXPECT_EQ(FindClosingText("x --> y -->", 0, "-->", false), 2u);
    EXPECT_EQ(FindClosingText("<!-- a -> b -->", 4, "-->", false), 12u);
    EXPECT_EQ(FindClosingText("]]>", 1, "]]>", false), std::string_view::npos); // starts before from
    EXPECT_EQ(FindClosingText("abc", 0, "", false), std::string_view::npos);
    EXPECT_EQ(FindClosingText("a=\"unclosed >", 0, ">", true), std::string_view::npos);
}

TEST(Scanners, AttributesJoinAroundTheEqualsSign) {
    const struct {
        const char* text;
        std::vector<std::string> items;
    } cases[] = {
        {"Root", {"Root"}},
        {"a b=\"1\" c = '2' d= \"3\" e =\"4\"", {"a", "b=\"1\"", "c='2'", "d=\"3\"", "e=\"4\""}},
        {"  a\tb=\"x y\"\r\n", {"a", "b=\"x y\""}},
        {"a 'q'", {"a", "'q'"}},   // a quoted item joins only an item holding "="
        {"a=\"it's\"", {"a=\"it's\""}},
        {"x \xC3\xA9=\"\xE2\x82\xAC\"", {"x", "\xC3\xA9=\"\xE2\x82\xAC\""}},
    };
    for (const auto& c : cases) {
        TxmUTF8StringList list;
        Utf8ParseAttributes(c.text, list);
        std::vector<std::string> items;
        for (int i = 0; i < list.Count(); ++i)
            items.push_back(std::string(list.Items(i)));
        EXPECT_EQ(items, c.items) << c.text;
    }
    TxmUTF8StringList kept;
    kept.Add("old");
    Utf8ParseAttributes(" \t", kept); // nothing to split: the list stays
    EXPECT_EQ(kept.Count(), 1);
}

namespace {

std::vector<std::string> Split(std::string_view text) {
    TxmUTF8StringList list;
    Utf8ParseAttributes(text, list);
    std::vector<std::string> items;
    for (int i = 0; i < list.Count(); ++i)
        items.emplace_back(list.Items(i));
    return items;
}

} // namespace

TEST(Scanners, OnlyNameEqualsQuotedValueJoinsAndItemsReadBackAsThemselves) {
    const struct {
        const char* text;
        std::vector<std::string> items;
    } cases[] = {
        {"a = \"x\" b= 'y' c ='z'", {"a=\"x\"", "b='y'", "c='z'"}},
        {"a ='x'y", {"a='x'y"}},               // the quoted word is taken whole
        {"a =x b= y c = z", {"a", "=x", "b=", "y", "c", "=", "z"}}, // no quote, no join
        {"b=\"1\" \"c\"", {"b=\"1\"", "\"c\""}}, // a value never takes a second one
        {"a=1 \"x\" \"y\"", {"a=1", "\"x\"", "\"y\""}},
        {"a== \"x\"", {"a==", "\"x\""}},
        {"a = = \"x\"", {"a", "=", "=", "\"x\""}},
        {"a\"b\" = \"x\"", {"a\"b\"", "=", "\"x\""}},
        {"= \"x\" =\"y\"", {"=", "\"x\"", "=\"y\""}},
        {"'a b'= \"x\"", {"'a b'=", "\"x\""}},
        {"a=b= \"x\"", {"a=b=", "\"x\""}},
        {"\xC3\xA9 =\t\"v\"", {"\xC3\xA9=\"v\""}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> items = Split(c.text);
        EXPECT_EQ(items, c.items) << c.text;
        std::string written;
        for (const std::string& item : items)
            written += ' ' + item;
        EXPECT_EQ(Split(written), items) << c.text;
    }
}

TEST(Scanners, AttributeSplittingIsLinear) {
    std::string text = "e";
    for (int i = 0; i < 20000; ++i)
        text += " a" + std::to_string(i) + "=\"v\"";
    TxmUTF8StringList list;
    Utf8ParseAttributes(text, list);
    EXPECT_EQ(list.Count(), 20001);
    EXPECT_EQ(list.Items(20000), "a19999=\"v\"");
}

TEST(Scanners, TrimPosNarrowsACharacterRange) {
    int start = 0, close = 7; // six characters
    EXPECT_TRUE(Utf8TrimPos("  \xC3\xA9 b ", start, close));
    EXPECT_EQ(start, 3);
    EXPECT_EQ(close, 6);
    start = 1, close = 4;
    EXPECT_FALSE(Utf8TrimPos("   ", start, close));
}
