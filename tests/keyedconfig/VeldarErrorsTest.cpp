#include "keyedconfig/VeldarErrors.h"

#include <gtest/gtest.h>

#include "RaisedText.h"
#include "keyedconfig/VeldarProjectOptions.h"
#include "keyedconfig/XPathText.h"

namespace orvex {
namespace {
using fake::RaisedText;

TEST(VeldarErrorsTest, ThreeTextForms) {
    TComponent named(nullptr, u"KeyMap1");
    TComponent unnamed;
    struct Row {
        std::u16string_view method;
        const TComponent* component;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {u"AddKey", &named, u"KeyMap1.AddKey: boom"},
        {u"AddKey", &unnamed, u"Method \"AddKey\" reports: boom"},
        {u"AddKey", nullptr, u"Method \"AddKey\" reports: boom"},
        {u"", &named, u"KX Error: boom"},
        {u"", nullptr, u"KX Error: boom"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(VeldarErrorText(u"boom", row.method, row.component), row.expected);
        EXPECT_EQ(RaisedText([&] { RaiseVeldarError(u"boom", row.method, row.component); }),
                  row.expected);
        // The formatted form fills the message first; a missing value stays visible.
        EXPECT_EQ(RaisedText([&] { RaiseVeldarErrorFmt(u"%s%s", {u"bo", u"om"}, row.method, row.component); }),
                  row.expected);
    }
    EXPECT_EQ(RaisedText([] { RaiseVeldarErrorFmt(u"%d of %s", {7}, u"", nullptr); }),
              u"KX Error: 7 of %s");
}

TEST(VeldarErrorsTest, WhatIsUtf8OfMessage) {
    try {
        RaiseVeldarError(u"caf\u00e9 \U0001F600", u"", nullptr);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "KX Error: caf\xC3\xA9 \xF0\x9F\x98\x80");
    }
}

TEST(VeldarErrorsTest, DocumentShowsMethodOnlyWhenAllowed) {
    struct Row {
        TErrorDetailAllowedSet governing;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {{}, u"KX Error: boom"},
        {MakeDetailSet({edFileNames, edFilePathsAndNames, edComponentNames}), u"KX Error: boom"},
        {MakeDetailSet({edMethodNames}), u"Method \"ZNodeCommon\" reports: boom"},
        {TErrorDetailAllowedSet::All(), u"Method \"ZNodeCommon\" reports: boom"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RaisedText([&] { RaiseDocumentError(u"boom", u"ZNodeCommon", row.governing); }),
                  row.expected);
}

TEST(VeldarErrorsTest, DetailSetBits) {
    EXPECT_EQ(MakeDetailSet({edFileNames}).Bits, 1);
    EXPECT_EQ(MakeDetailSet({edFilePathsAndNames}).Bits, 2);
    EXPECT_EQ(MakeDetailSet({edComponentNames}).Bits, 4);
    EXPECT_EQ(MakeDetailSet({edMethodNames, edFileNames}).Bits, 9);
    EXPECT_EQ(TErrorDetailAllowedSet::All().Bits, 15);
    EXPECT_FALSE(TErrorDetailAllowedSet{}.Has(edMethodNames));
}

TEST(VeldarErrorsTest, FileNameDetailFollowsSwitches) {
    const std::u16string_view path = u"/srv/cfg/KXKeybox.xml";
    struct Row {
        TErrorDetailAllowedSet governing;
        std::u16string_view file;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {{}, path, u""},
        {MakeDetailSet({edMethodNames, edComponentNames}), path, u""},
        {MakeDetailSet({edFileNames}), path, u"\"KXKeybox.xml\""},
        {MakeDetailSet({edFilePathsAndNames}), path, u"\"/srv/cfg/KXKeybox.xml\""},
        {TErrorDetailAllowedSet::All(), path, u"\"/srv/cfg/KXKeybox.xml\""},
        {MakeDetailSet({edFileNames}), u"plain.xml", u"\"plain.xml\""},
        {MakeDetailSet({edFileNames}), u"/srv/cfg/", u""},
        {TErrorDetailAllowedSet::All(), u"", u""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FileNameDetail(row.file, row.governing), row.expected) << row.governing.Bits;
}

TEST(VeldarErrorsTest, FileErrorTexts) {
    EXPECT_EQ(FormatFileError(u"load", u"File not found",
                              FileNameDetail(u"/srv/a.xml", MakeDetailSet({edFileNames}))),
              u"Unable to load file: \r\nReason: File not found\r\nFilename: \"a.xml\"");
    EXPECT_EQ(FormatFileError(u"save", u"Validation failed\r\nx", u""),
              u"Unable to save file: \r\nReason: Validation failed\r\nx");
    EXPECT_EQ(FormatFileError(u"BeginUpdate", u"locked", u"\"/k/a.xml\"", u"Group.Key"),
              u"Unable to BeginUpdate keyed file for key Group.Key \r\nReason: locked\r\n"
              u"Filename: \"/k/a.xml\"");
    EXPECT_EQ(FormatFileError(u"load", u"r", u"", u""),
              u"Unable to load keyed file for key  \r\nReason: r");
}

TEST(VeldarErrorsTest, StandaloneSyntaxErrorReadsKxError) {
    std::vector<TXPathElement> steps;
    EXPECT_EQ(RaisedText([&] { GetXPathElements(u"a-b", steps); }),
              u"KX Error: Invalid Syntax in XPath \"a-b\" at position \"2\"");
    EXPECT_EQ(RaisedText([&] {
                  GetXPathElements(u"a-b", steps, MakeDetailSet({edMethodNames}));
              }),
              u"Method \"GetXPathElements\" reports: Invalid Syntax in XPath \"a-b\" at position "
              u"\"2\"");
}

} // namespace
} // namespace orvex
