#include "keyedconfig/VeldarmarkMessages.h"

#include "base/TextFormat.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(VeldarmarkMessagesTest, TableHoldsExactlyTheLibraryIds) {
    for (int id = 65110; id <= 65190; ++id) {
        bool inTable = (id >= 65120 && id <= 65124) || (id >= 65136 && id <= 65167) ||
                       (id >= 65178 && id <= 65183);
        EXPECT_EQ(!VeldarMessage(id).empty(), inTable) << id;
    }
}

TEST(VeldarmarkMessagesTest, QuirkyTextsStayAsWritten) {
    struct Row {
        int id;
        std::u16string_view text;
    };
    const Row rows[] = {
        {65120, u"locate"},
        {65123, u"requested but not used"},
        {65124, u"\"%s\" cannot be used with class  TVeldarXmlDocument. Use \"%s\" instead."},
        {65141, u"Cannot save the new Var Delimeters (\"%s\" and \"%s) as the existing delimiters "
                u"(\"%s\" and \"%s) are already in use"},
        {65149, u"Error Saving Variable \"%s\": Var Delimiters in the <Variables> node must be "
                u"defined before saving a Variable is allowed."},
        {65152, u"Neither a Branch nor a Local Veldar Keybox file exists. \r\nDetails: \r\n%s \r\n%s"},
        {65153, u"Node '%s' not found; searched %s"},
        {65162, u"Unable to %s keyed file for key %s \r\nReason: %s"},
        {65163, u"Unable to %s file: \r\nReason: %s"},
        {65166, u"Invalid Syntax in XPath \"%s\" at position \"%d\""},
        {65167, u"XPathOfNode too long: \"%s\""},
        {65179, u"Index value '%d' for %s is out of range"},
        {65183, u"Error loading Veldar Local Keybox: Reason: %s"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(VeldarMessage(row.id), row.text) << row.id;
}

TEST(VeldarmarkMessagesTest, FormatFillsPlaceholdersInOrder) {
    struct Row {
        std::u16string_view fmt;
        std::initializer_list<TFormatValue> args;
        std::u16string_view expected;
    };
    const Row rows[] = {
        {u"%s at \"%d\"", {u"a-b", 2}, u"a-b at \"2\""},
        {u"100%% of %s", {u"x"}, u"100% of x"},
        {u"%d", {int64_t{-9223372036854775807LL - 1}}, u"-9223372036854775808"},
        {u"%s and %s", {u"one"}, u"one and %s"},    // a missing argument stays visible
        {u"%s", {u"a", u"b"}, u"a"},                // extra arguments are ignored
        {u"%x %s %", {u"y"}, u"%x y %"},            // unknown and trailing % stay
        {u"%d/%s", {u"text", 7}, u"text/7"},        // kinds are written as they come
        {u"", {u"a"}, u""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FormatTolerant(row.fmt, row.args, TMissingValue::StaysVisible), row.expected);
}

TEST(VeldarmarkMessagesTest, FormattedTableTexts) {
    EXPECT_EQ(FormatTolerant(VeldarMessage(vmVarDelimitersInUse), {u"[", u"]", u"$(", u")"},
                             TMissingValue::StaysVisible),
              u"Cannot save the new Var Delimeters (\"[\" and \"]) as the existing delimiters "
              u"(\"$(\" and \")) are already in use");
    EXPECT_EQ(FormatTolerant(VeldarMessage(vmWrongClassMethod), {u"LoadFromFile", u"LoadFile"},
                             TMissingValue::StaysVisible),
              u"\"LoadFromFile\" cannot be used with class  TVeldarXmlDocument. Use \"LoadFile\" "
              u"instead.");
}

} // namespace
} // namespace orvex
