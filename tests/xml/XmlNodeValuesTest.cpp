#include "xml/XmlNode.h"

#include "TestDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlValueConversions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace orvex;
using orvex::test::TTestDocument;

namespace {

// Typed values must read and write the same under a German LC_ALL.
class TypedValues : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const char* saved = std::setlocale(LC_ALL, nullptr);
        FSaved = saved ? saved : "C";
        ASSERT_NE(std::setlocale(LC_ALL, GetParam()), nullptr);
    }
    void TearDown() override { std::setlocale(LC_ALL, FSaved.c_str()); }

    TTestDocument Doc;
    TUtf8XmlNode* Root = Doc.Container.NodeNew("Root");

private:
    std::string FSaved;
};

std::string Stored(const TUtf8XmlNode* node) { return std::string(node ? node->ValueDirect() : "<none>"); }

} // namespace

INSTANTIATE_TEST_SUITE_P(Locales, TypedValues, ::testing::Values("C", "de_DE.UTF-8"));

TEST_P(TypedValues, ValueAsStringEscapesOnWriteAndResolvesOnRead) {
    TUtf8XmlNode* element = Root->NodeNew("e");
    element->SetValueDirect("  a&amp;b\t");
    EXPECT_EQ(element->ValueAsString(), "a&b");
    TUtf8XmlNode comment(&Doc, xeComment);
    comment.SetValueDirect("  a&amp;b\t");
    EXPECT_EQ(comment.ValueAsString(), "  a&b\t"); // only elements are trimmed
    element->SetValueAsString("x<y");
    EXPECT_EQ(element->ValueDirect(), "x&lt;y");
    element->SetValueAsUnicodeString(u"\u00E9\U0001F600");
    EXPECT_EQ(element->ValueDirect(), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(element->ValueAsUnicodeString(), u"\u00E9\U0001F600");
    TUtf8XmlNode named(&Doc, "n", "a&b");
    EXPECT_EQ(named.ValueDirect(), "a&amp;b");
}

TEST_P(TypedValues, BooleansInBothForms) {
    TUtf8XmlNode* node = Root->NodeNew("b");
    node->SetValueDirect("yes");
    EXPECT_TRUE(node->ValueAsBool());
    node->SetValueDirect("1");
    EXPECT_TRUE(node->ValueAsBool());
    EXPECT_FALSE(node->ValueAsBoolDef(false)); // the Def reader knows no digits
    node->SetValueDirect("No");
    EXPECT_FALSE(node->ValueAsBoolDef(true));
    node->SetValueDirect("");
    EXPECT_TRUE(node->ValueAsBoolDef(true));
    EXPECT_THROW(node->ValueAsBool(), EXmlError);
    node->SetValueAsBool(true);
    EXPECT_EQ(node->ValueDirect(), "true");
    Root->WriteBool("w", true);
    EXPECT_EQ(Stored(Root->NodeByName("w")), "True");
    EXPECT_TRUE(Root->ReadBool("W", false));
    EXPECT_TRUE(Root->ReadBool("absent", true));
}

TEST_P(TypedValues, NumbersAreLocaleIndependent) {
    TUtf8XmlNode* node = Root->NodeNew("n");
    node->SetValueDirect("3,5");
    EXPECT_EQ(node->ValueAsFloat(), 3.5);
    node->SetValueAsFloat(3.5);
    EXPECT_EQ(node->ValueDirect(), "3.5");
    node->SetValueDirect("abc");
    try {
        node->ValueAsFloat();
        FAIL();
    } catch (const EXmlError& e) {
        EXPECT_STREQ(e.what(), "Cannot convert value to float");
    }
    EXPECT_EQ(node->ValueAsFloatDef(-1), -1);
    EXPECT_THROW(node->ValueAsInteger(), EXmlError);
    EXPECT_EQ(node->ValueAsIntegerDef(7), 7);
    EXPECT_EQ(node->ValueAsInt64Def(8), 8);
    node->SetValueAsInt64(int64_t(1) << 40);
    EXPECT_EQ(node->ValueAsInt64(), int64_t(1) << 40);
    EXPECT_EQ(node->ValueAsIntegerDef(3), 3); // too wide for 32 bits
    node->SetValueAsInteger(-12);
    EXPECT_EQ(node->ValueAsInteger(), -12);

    Root->WriteFloat("f", 1e9);
    EXPECT_EQ(Stored(Root->NodeByName("f")), "1.00000E9");
    EXPECT_EQ(Root->ReadFloat("f"), 1e9);
    Root->WriteInt64("big", int64_t(1) << 40);
    EXPECT_EQ(Stored(Root->NodeByName("big")), "1099511627776");
    EXPECT_EQ(Root->ReadInt64("big"), int64_t(1) << 40);
    Root->WriteHex("h", 255, 4);
    EXPECT_EQ(Stored(Root->NodeByName("h")), "$00FF");
    EXPECT_EQ(Root->ReadInteger("h"), 255);
    Root->WriteHex("neg", -1, 2);
    EXPECT_EQ(Stored(Root->NodeByName("neg")), "$FFFFFFFF");
    EXPECT_EQ(Root->ReadInteger("neg"), -1);
    Root->WriteInteger("i", -5);
    EXPECT_EQ(Root->ReadInteger("I", 0), -5);
    EXPECT_EQ(Root->ReadInteger("absent", 9), 9);
    Doc.Digits = 3;
    Doc.Scientific = false;
    Root->WriteFloat("g", 1234.5678);
    EXPECT_EQ(Stored(Root->NodeByName("g")), "1230");
}

TEST_P(TypedValues, NonFiniteFloatsRaiseAndWriteNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(Root->WriteFloat("f", nan), EXmlError);
    EXPECT_THROW(Root->WriteFloat("f", std::numeric_limits<double>::infinity()), EXmlError);
    EXPECT_THROW(Root->WriteAttributeFloat("f", -std::numeric_limits<double>::infinity()), EXmlError);
    EXPECT_EQ(Root->NodeCount(), 0);
    EXPECT_EQ(Root->AttributeCount(), 0);
    TUtf8XmlNode* node = Root->NodeNew("n");
    node->SetValueDirect("5");
    EXPECT_THROW(node->SetValueAsFloat(nan), EXmlError);
    EXPECT_EQ(node->ValueDirect(), "5");
    node->SetValueDirect("NaN");
    EXPECT_EQ(node->ValueAsFloatDef(1.5), 1.5);
}

TEST_P(TypedValues, DefaultRuleSkipsOnlyWhenAsked) {
    Doc.WriteDefaults = false;
    Root->WriteInteger("i", 5, 5);
    Root->WriteString("s", "x", "x");
    Root->WriteBool("b", false, false);
    Root->WriteFloat("f", 1.5, 1.5);
    Root->WriteAttributeInteger("a", 5, 5);
    Root->WriteAttributeString("t", "", "");
    EXPECT_EQ(Root->NodeCount(), 0);
    EXPECT_EQ(Root->AttributeCount(), 0);
    Root->WriteString("s", "x", "X"); // strings compare case-sensitively
    EXPECT_EQ(Root->NodeCount(), 1);
    Doc.WriteDefaults = true;
    Root->WriteInteger("i", 5, 5);
    EXPECT_EQ(Stored(Root->NodeByName("i")), "5");
    Root->WriteInteger("I", 6);
    EXPECT_EQ(Root->NodeCount(), 2); // found, not created again
    EXPECT_EQ(Stored(Root->NodeByName("i")), "6");
    EXPECT_THROW(Root->WriteString("bad name", "x"), EXmlError);
    EXPECT_EQ(Root->NodeCount(), 2);
}

TEST_P(TypedValues, AttributesKeepTheirPlace) {
    Root->AttributeAdd("first", "1");
    Root->AttributeAdd("name", "old");
    Root->AttributeAdd("last", "3");
    Root->WriteAttributeString("NAME", "a<b");
    EXPECT_EQ(Root->AttributePair(1), "name=\"a&lt;b\"");
    EXPECT_EQ(Root->AttributeCount(), 3);
    Root->WriteAttributeBool("flag", true);
    Root->WriteAttributeInteger("int", -7);
    Root->WriteAttributeInt64("wide", int64_t(1) << 40);
    Root->WriteAttributeFloat("float", 0.25);
    Root->WriteAttributeDateTime("when", EncodeDateTime(2024, 5, 6, 7, 8, 9, 10));
    EXPECT_EQ(Root->AttributeByName("flag"), "true");
    EXPECT_EQ(Root->AttributeByName("float"), ".25");
    EXPECT_EQ(Root->AttributeByName("when"), "2024-05-06T07:08:09.010Z");
    EXPECT_TRUE(Root->ReadAttributeBool("flag"));
    EXPECT_EQ(Root->ReadAttributeInteger("int"), -7);
    EXPECT_EQ(Root->ReadAttributeInt64("wide"), int64_t(1) << 40);
    EXPECT_EQ(Root->ReadAttributeFloat("float"), 0.25);
    EXPECT_EQ(Root->ReadAttributeDateTime("when"), EncodeDateTime(2024, 5, 6, 7, 8, 9, 10));
    EXPECT_EQ(Root->ReadAttributeString("name"), "a<b");
    EXPECT_EQ(Root->ReadAttributeString("absent", "dflt"), "dflt");
    Root->AttributeAdd("junk", "x,y");
    EXPECT_TRUE(Root->ReadAttributeBool("junk", true));
    EXPECT_FALSE(Root->ReadAttributeBool("absent", false));
    EXPECT_EQ(Root->ReadAttributeInteger("junk", 4), 4);
    EXPECT_EQ(Root->ReadAttributeFloat("junk", 4.5), 4.5);
    EXPECT_EQ(Root->ReadAttributeDateTime("junk", 2.0), 2.0);
    Root->AttributeAdd("comma", "2,5");
    EXPECT_EQ(Root->ReadAttributeFloat("comma"), 2.5);
}

TEST_P(TypedValues, DateTimesWithAndWithoutTheLocalBias) {
    const TDateTime stamp = EncodeDateTime(2024, 3, 1, 12, 30, 0, 0);
    Root->WriteDateTime("d", stamp);
    EXPECT_EQ(Stored(Root->NodeByName("d")), "2024-03-01T12:30:00.000Z");
    EXPECT_EQ(Root->ReadDateTime("d"), stamp);
    EXPECT_EQ(Root->NodeByName("d")->ValueAsDateTime(), stamp);
    EXPECT_EQ(Root->ReadDateTime("absent", 3.0), 3.0);
    TUtf8XmlNode* zoned = Root->NodeNew("z");
    zoned->SetValueAsString("2024-03-01T12:30:00.000+02:00");
    Doc.LocalBias = true;
    // The child reader ignores the zone; the value property applies it.
    EXPECT_EQ(Root->ReadDateTime("z"), stamp);
    EXPECT_DOUBLE_EQ(zoned->ValueAsDateTime(), stamp - 2 / 24.0 - GetTimeZoneBias() / 1440.0);
    EXPECT_EQ(zoned->ValueAsDateTimeDef(1.0), stamp);
    zoned->SetValueAsString("not a date");
    EXPECT_EQ(zoned->ValueAsDateTimeDef(1.0), 1.0);
    EXPECT_THROW(zoned->ValueAsDateTime(), EXmlError);
    zoned->SetValueAsDateTime(EncodeDateTime(2024, 3, 1, 0, 0, 0, 0));
    EXPECT_EQ(zoned->ValueDirect(), "2024-03-01");
}

TEST_P(TypedValues, UnicodeReadersAndWriters) {
    Root->WriteUnicodeString("u", u"\u4E2D\U0001F600", u"");
    EXPECT_EQ(Root->ReadUnicodeString("u"), u"\u4E2D\U0001F600");
    EXPECT_EQ(Root->ReadUnicodeString("absent", u"\u00E9"), u"\u00E9");
    EXPECT_EQ(Root->ReadString("absent", "d"), "d");
}

TEST(BinaryContent, Base64LinesInTheReadableLayout) {
    TTestDocument doc;
    doc.Format = xfReadable;
    TUtf8XmlNode* node = doc.Container.NodeNew("Root")->NodeNew("A")->NodeNew("Data");
    std::string bytes(100, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 37);
    node->BufferWrite(bytes.data(), bytes.size());
    const std::string_view value = node->ValueDirect();
    ASSERT_EQ(value.size(), 2 + 4 + 76 + 2 + 4 + 60 + 2 + 4u);
    EXPECT_EQ(value.substr(0, 6), "\r\n    ");
    EXPECT_EQ(value.substr(82, 6), "\r\n    ");
    EXPECT_EQ(value.substr(148), "\r\n    ");
    EXPECT_EQ(node->BufferLength(), 100u);
    std::string back(100, '\0');
    node->BufferRead(back.data(), back.size());
    EXPECT_EQ(back, bytes);
    doc.Format = xfCompact;
    node->BufferWrite(bytes.data(), 3);
    EXPECT_EQ(node->ValueDirect().size(), 4u);
    node->BufferWrite(nullptr, 0);
    EXPECT_EQ(node->ValueDirect(), "");
}

TEST(BinaryContent, LengthsAndErrors) {
    TTestDocument doc;
    TUtf8XmlNode node(&doc);
    node.SetValueDirect("Zg==");
    EXPECT_EQ(node.BufferLength(), 1u);
    node.SetValueDirect("Zm8=\r\n");
    EXPECT_EQ(node.BufferLength(), 2u);
    node.SetValueDirect("Zm9vYg=");
    try {
        node.BufferLength();
        FAIL();
    } catch (const EFilerError& e) {
        EXPECT_STREQ(e.what(), "Error while calculating streamlength");
    }
    node.SetValueDirect("Zm9*");
    char buffer[3];
    EXPECT_THROW(node.BufferRead(buffer, 3), EFilerError);
    doc.Binary = xbeBinHex;
    node.SetValueDirect("ABC");
    EXPECT_THROW(node.BufferLength(), EFilerError);
    node.SetValueDirect("0a 0B");
    EXPECT_EQ(node.BufferLength(), 2u);
    node.BufferRead(buffer, 2);
    EXPECT_EQ(buffer[1], '\x0B');
    EXPECT_THROW(node.BufferRead(buffer, 3), EFilerError);
}

TEST(BinaryContent, BinaryStringIsBase64AndRestoresTheSetting) {
    TTestDocument doc;
    doc.Binary = xbeBinHex;
    TUtf8XmlNode node(&doc);
    node.SetBinaryString("foo");
    EXPECT_EQ(node.ValueDirect(), "Zm9v");
    EXPECT_EQ(doc.Binary, xbeBinHex);
    EXPECT_EQ(node.BinaryString(), "foo");
    node.SetValueDirect("Zm9");
    EXPECT_THROW(node.BinaryString(), EFilerError);
    EXPECT_EQ(doc.Binary, xbeBinHex); // restored after the error too
    node.SetBinaryString("");
    EXPECT_EQ(node.ValueDirect(), "");
    EXPECT_EQ(node.BinaryString(), "");

    TUtf8XmlNode loose; // without a document: hexadecimal
    loose.SetBinaryString("\x01\xFF");
    EXPECT_EQ(loose.ValueDirect(), "01FF");
    EXPECT_EQ(loose.BinaryString(), "\x01\xFF");
}
