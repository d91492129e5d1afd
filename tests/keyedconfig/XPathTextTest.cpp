#include "keyedconfig/XPathText.h"

#include <clocale>
#include <gtest/gtest.h>
#include <random>

#include "RaisedText.h"
#include "base/Utf.h"

namespace orvex {
namespace {
using fake::RaisedText;

TEST(XPathTextTest, BuilderJoinsPieces) {
    struct Row {
        std::vector<TPiece> pieces;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {{u"Backup", u"Control", u"@name", u"btnNext"}, u"Backup/Control[@name=\"btnNext\"]"},
        {{u"Other", u"Keyword", u"@name", u"x", u"@lingvo", u"deu"},
         u"Other/Keyword[@name=\"x\"][@lingvo=\"deu\"]"},
        {{u"a", u"", u"b"}, u"a/b"},
        {{u"a", u"@name", u"", u"b"}, u"a[@name=\"\"]/b"}, // an empty value is still a value
        {{u"", u"b"}, u"b"},                                // and stays relative
        {{u"", u"", u"b", u"c"}, u"b/c"},
        {{u"/Root", u"a"}, u"/Root/a"},
        {{u"a/", u"b/"}, u"a/b"},
        {{u"a//", u"b"}, u"a//b"},
        {{u"a", u"/b"}, u"a/b"},
        {{u"a", u"@name"}, u"a"},
        {{u"a", u"@x", u"1", u"@y"}, u"a[@x=\"1\"]"},
        {{u"@x", u"1", u"b"}, u"[@x=\"1\"]/b"},
        {{u"a", u"@id", 42, u"@on", true, u"@off", false}, u"a[@id=\"42\"][@on=\"True\"][@off=\"False\"]"},
        {{u"S", u"@ch", char16_t(u'x')}, u"S[@ch=\"x\"]"},
        {{u"a", u"@v", 3.5}, u"a[@v=\"3.5\"]"},
        {{u"a", u"@v", u"x]y'z"}, u"a[@v=\"x]y'z\"]"},
        {{u"a", int64_t{-7}, 7u}, u"a/-7/7"},
        {{u"/"}, u""},
        {{}, u""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(BuildXPathFromPieces(std::span<const TPiece>(row.pieces)), row.expected);
}

TEST(XPathTextTest, BuilderRefusesQuoteInValue) {
    // Without the check this value would add the predicate [@y="z"].
    const std::u16string injected = u"x\"][@y=\"z";
    EXPECT_EQ(RaisedText([&] { BuildXPathFromPieces({u"a", u"@name", injected}); }),
              u"KX Error: Invalid Syntax in XPath \"a[@name=\"x\"][@y=\"z\"]\" at position \"11\"");
    EXPECT_EQ(RaisedText([&] {
                  BuildXPathFromPieces({u"b", u"@k", u"ok", u"@n", u"\""},
                                       MakeDetailSet({edMethodNames}));
              }),
              u"Method \"BuildXPathFromPieces\" reports: Invalid Syntax in XPath "
              u"\"b[@k=\"ok\"][@n=\"\"\"]\" at position \"16\"");
}

TEST(XPathTextTest, PieceTextIgnoresLocale) {
    struct Row {
        TPiece piece;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {3.5, u"3.5"},          {0.1 + 0.2, u"0.3"},   {-2.25, u"-2.25"},
        {100.0, u"100"},        {1e20, u"1E20"},       {1e-5, u"1E-5"},
        {0.0001, u"0.0001"},    {123456789012345678.0, u"1.23456789012346E17"},
        {int64_t{-9223372036854775807LL - 1}, u"-9223372036854775808"},
        {true, u"True"},        {char16_t(0x00E9), u"\u00e9"},
    };
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    for (const char* locale : {"C", "de_DE.UTF-8"}) {
        if (!std::setlocale(LC_ALL, locale))
            continue;
        for (const Row& row : rows)
            EXPECT_EQ(row.piece.ToText(), row.expected) << locale;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

struct TStepSpec {
    std::u16string_view name;
    int pos;
    std::vector<std::pair<std::u16string_view, std::u16string_view>> attributes;
};

TEST(XPathTextTest, ParserReadsSteps) {
    struct Row {
        std::u16string_view path;
        std::vector<TStepSpec> steps;
    };
    const Row rows[] = {
        {u"", {}},
        {u"a", {{u"a", -1, {}}}},
        {u"a/b_1/C9", {{u"a", -1, {}}, {u"b_1", -1, {}}, {u"C9", -1, {}}}},
        {u"a[2]/b", {{u"a", 2, {}}, {u"b", -1, {}}}},
        {u"a[0]", {{u"a", 0, {}}}},
        {u"a[+3]", {{u"a", 3, {}}}},
        {u"a[-5]", {{u"a", -5, {}}}},
        {u"a[@name=\"x\"]", {{u"a", -1, {{u"name", u"x"}}}}},
        {u"a[@name='x']", {{u"a", -1, {{u"name", u"x"}}}}},
        {u"a[@xml:lang='de'][@x-y.z='1']", {{u"a", -1, {{u"xml:lang", u"de"}, {u"x-y.z", u"1"}}}}},
        {u"a[@n=\"x]y\"]", {{u"a", -1, {{u"n", u"x]y"}}}}},
        {u"a[@n='say \"hi\"']", {{u"a", -1, {{u"n", u"say \"hi\""}}}}},
        {u"a [ @n = \"x\" ]", {{u"a", -1, {{u"n", u"x"}}}}},
        {u"a[@n=\"\"]", {{u"a", -1, {{u"n", u""}}}}},
        {u"a[2][@n=\"x\"]/b", {{u"a", 2, {{u"n", u"x"}}}, {u"b", -1, {}}}},
        {u"a b/c", {{u"a", -1, {}}, {u"c", -1, {}}}},
        {u"a b[@n=\"1\"]", {{u"a", -1, {{u"n", u"1"}}}}},
        {u"Other/Keyword[@name=\"x\"][@lingvo=\"deu\"]",
         {{u"Other", -1, {}}, {u"Keyword", -1, {{u"name", u"x"}, {u"lingvo", u"deu"}}}}},
        {u"a\xD83D\xDE00z", {{u"a\xD83D\xDE00z", -1, {}}}},
    };
    for (const Row& row : rows) {
        std::vector<TXPathElement> steps;
        int error = ParseXPath(row.path, steps);
        ASSERT_EQ(error, 0) << std::string(row.path.begin(), row.path.end());
        ASSERT_EQ(steps.size(), row.steps.size());
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].xeTagName, row.steps[i].name);
            EXPECT_EQ(steps[i].xeTagPos, row.steps[i].pos);
            EXPECT_EQ(steps[i].xeXsdSummaryParentNode, nullptr);
            EXPECT_EQ(steps[i].xeXsdSummaryChildIndex, -1);
            ASSERT_EQ(steps[i].xeAttributes.size(), row.steps[i].attributes.size());
            for (size_t k = 0; k < steps[i].xeAttributes.size(); ++k) {
                EXPECT_EQ(steps[i].xeAttributes[k].xaAttributeID, row.steps[i].attributes[k].first);
                EXPECT_EQ(steps[i].xeAttributes[k].xaAttributeValue,
                          row.steps[i].attributes[k].second);
            }
        }
    }
}

TEST(XPathTextTest, DefinitionsKeepRawTextAndPlace) {
    std::vector<TXPathElement> steps;
    ASSERT_EQ(ParseXPath(u"Other/Keyword[@name=\"x\"][@lingvo='deu']", steps), 0);
    ASSERT_EQ(steps[1].xeAttributes.size(), 2u);
    EXPECT_EQ(steps[1].xeAttributes[0].xaDefinition, u"@name=\"x\"");
    EXPECT_EQ(steps[1].xeAttributes[0].xaDefinitionStartAt, 15);
    EXPECT_EQ(steps[1].xeAttributes[1].xaDefinition, u"@lingvo='deu'");
    EXPECT_EQ(steps[1].xeAttributes[1].xaDefinitionStartAt, 26);
}

TEST(XPathTextTest, ParserErrorPositions) {
    struct Row {
        std::u16string_view path;
        int position;
    };
    const Row rows[] = {
        {u"a-b", 2},                    // "-" is no name character
        {u"a.b/c", 2},
        {u"a\u00e9b", 2},               // nor a letter above code 255
        {u"a\u00e9", 2},                // last character
        {u"-a", 1},
        {u"/a", 1},
        {u" a", 1},
        {u"\xD83D\xDE00", 1},
        {u"a/", 2},
        {u"a[", 2},
        {u"a[x]", 4},                   // index not an integer: at its "]"
        {u"a[-1]", 5},
        {u"a[]", 3},
        {u"a[2", 3},                    // unclosed index
        {u"a[ @n = \"x\" ]", 13},
        {u"a[@n=x]", 6},                // unquoted value: after "="
        {u"a[@n=\"x]", 8},              // group never closed
        {u"a[@n='x]']", 7},             // "]" in single quotes closes the group
        {u"a[@n]", 4},                  // no "="
        {u"a []", 4},                   // empty group
        {u"a[@=\"x\"]", 4},             // empty name
        {u"a[@a b=\"x\"]", 5},          // blank in the name
        {u"a[@a'b=\"x\"]", 5},
        {u"a[@a<b='x']", 5},            // names that would break the saved file
        {u"a[@ab>='x']", 6},
        {u"a[@a&b='x']", 5},
        {u"a[@a\nb='x']", 5},
        {u"a[@a\"b\"='x']", 5},
        {u"a [n=\"x\"]", 5},            // name without "@"
        {u"a[n=\"x\"]", 8},             // "[" without "@" is an index
        {u"a[@n=\"x\" @m=\"y\"]", 8},   // second predicate in one group: stray quote
        {u"a[@n='it's']", 9},           // a value's own quote inside it
        {u"a[@n=\"1\"]/b[@m=2]", 16},
        {u"a//b", 3},                   // nameless steps
        {u"a/ b", 3},
        {u"a/[@n='1']", 3},
    };
    for (const Row& row : rows) {
        std::vector<TXPathElement> steps(2);
        EXPECT_EQ(ParseXPath(row.path, steps), row.position)
            << std::string(row.path.begin(), row.path.end());
        EXPECT_TRUE(steps.empty());
    }
}

TEST(XPathTextTest, SyntaxErrorText) {
    std::vector<TXPathElement> steps;
    EXPECT_EQ(RaisedText([&] { GetXPathElements(u"a[@n=x]", steps); }),
              u"KX Error: Invalid Syntax in XPath \"a[@n=x]\" at position \"6\"");
}

TEST(XPathTextTest, ContextWordsAndPredicate) {
    EXPECT_EQ(ContextUsageWord(cxNone), u"cxNone");
    EXPECT_EQ(ContextUsageWord(cxOptional), u"cxOptional");
    EXPECT_EQ(ContextUsageWord(cxRequired), u"cxRequired");
    std::vector<TXPathElement> steps;
    ASSERT_EQ(ParseXPath(u"a[@Context=\"1\"]/b[@context=\"2\"]", steps), 0);
    EXPECT_FALSE(HasContextPredicate(steps[0], u"context")); // exact name only
    EXPECT_TRUE(HasContextPredicate(steps[1], u"context"));
    EXPECT_FALSE(HasContextPredicate(steps[1], u""));
}

TEST(XPathTextTest, CaseRules) {
    EXPECT_TRUE(SameNameIgnoringCase(u"Keyword", u"KEYWORD"));
    EXPECT_TRUE(SameNameIgnoringCase(u"\u00c4rger", u"\u00e4RGER")); // beyond ASCII too
}

TEST(XPathTextTest, ArbitraryPathsParseOrFailInRange) {
    const std::u16string_view alphabet = u"ab_Z09/[]@=\"' \t-.\u00e9\xD83D<&";
    std::mt19937 random(20261207);
    for (int round = 0; round < 20000; ++round) {
        std::u16string path;
        const size_t length = random() % 24;
        for (size_t i = 0; i < length; ++i)
            path += alphabet[random() % alphabet.size()];
        std::vector<TXPathElement> steps;
        const int error = ParseXPath(path, steps);
        if (error) {
            EXPECT_GE(error, 1);
            EXPECT_LE(error, static_cast<int>(path.size())) << Utf16ToUtf8(path);
            EXPECT_TRUE(steps.empty());
            continue;
        }
        for (const TXPathElement& step : steps) {
            EXPECT_FALSE(step.xeTagName.empty());
            for (const TXPathAttribute& attr : step.xeAttributes)
                EXPECT_FALSE(attr.xaAttributeID.empty());
        }
    }
}

TEST(XPathTextTest, BuiltPathsReadBackTheirPieces) {
    const std::u16string_view valueAlphabet = u"aZ9 ]['/@=<>&\t\u00e9";
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::u16string> values(3);
        for (std::u16string& value : values)
            for (size_t i = random() % 6; i > 0; --i)
                value += valueAlphabet[random() % valueAlphabet.size()];
        const std::u16string path = BuildXPathFromPieces(
            {u"Root", u"Item", u"@name", values[0], u"@id", values[1], u"Leaf", u"@v", values[2]});
        std::vector<TXPathElement> steps;
        ASSERT_EQ(ParseXPath(path, steps), 0) << std::string(path.begin(), path.end());
        ASSERT_EQ(steps.size(), 3u);
        ASSERT_EQ(steps[1].xeAttributes.size(), 2u);
        EXPECT_EQ(steps[1].xeAttributes[0].xaAttributeValue, values[0]);
        EXPECT_EQ(steps[1].xeAttributes[1].xaAttributeValue, values[1]);
        ASSERT_EQ(steps[2].xeAttributes.size(), 1u);
        EXPECT_EQ(steps[2].xeAttributes[0].xaAttributeValue, values[2]);
    }
}

} // namespace
} // namespace orvex
