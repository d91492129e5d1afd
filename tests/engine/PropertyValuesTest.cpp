#include "engine/PropertyValues.h"

#include "engine/BackupDocument.h"
#include "engine/PropertyText.h"
#include "platform/MetabaseValues.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using Texts = std::vector<std::u16string>;

TOleVariant Array(std::vector<TOleVariant> items) { return TOleVariant(std::move(items)); }

TOleVariant IPSecurity(bool grant, Texts deny, Texts allow) {
    auto object = std::make_shared<TIPSecurityObject>();
    object->GrantByDefault = grant;
    object->IPDeny = std::move(deny);
    object->IPGrant = std::move(allow);
    return TOleVariant(TAutoObjectPtr(object));
}

TEST(PropertyValuesTest, ValueToTextByType) {
    struct Row {
        std::u16string Type;
        TOleVariant Value;
        std::u16string ExpectedType, ExpectedValue;
        Texts ExpectedItems;
    };
    const Row rows[] = {
        {u"STRING", TOleVariant(u"c:\\inetpub"), u"STRING", u"c:\\inetpub", {}},
        {u"STRING", TOleVariant(int32_t(5)), u"STRING", u"5", {}},
        {u"EXPANDSZ", TOleVariant(u"%windir%\t\"x\" \u00e9"), u"EXPANDSZ", u"%windir%\"x\" \u00e9", {}},
        {u"BINARY", Array({TOleVariant(int32_t(0)), TOleVariant(int32_t(255))}), u"BINARY", u"0 255 ", {}},
        {u"BINARY", Array({}), u"BINARY", u"", {}},
        {u"BINARY", TOleVariant(u""), u"BINARY", u"", {}},
        {u"INTEGER", TOleVariant(int32_t(-2147483647 - 1)), u"INTEGER", u"-2147483648", {}},
        {u"INTEGER", TOleVariant(u"42"), u"INTEGER", u"42", {}},
        {u"INTEGER", TOleVariant(true), u"INTEGER", u"-1", {}},
        {u"BOOLEAN", TOleVariant(true), u"BOOLEAN", u"True", {}},
        {u"BOOLEAN", TOleVariant(int32_t(0)), u"BOOLEAN", u"False", {}},
        {u"BOOLEAN", TOleVariant(u"true"), u"BOOLEAN", u"True", {}},
        {u"LIST", TextArray({u":80:", u"10.0.0.1:443:"}), u"LIST", u"", {u":80:", u"10.0.0.1:443:"}},
        {u"LIST", Array({}), u"LIST", u"", {}},
        {u"IPSEC", IPSecurity(true, {u"10.0.0.1, 255.255.255.255"}, {u"x"}), u"IPSEC",
         u"GrantByDefault=True;10.0.0.1, 255.255.255.255;", {}},
        {u"IPSEC", IPSecurity(false, {u"d"}, {}), u"IPSEC", u"GrantByDefault=False;", {}},
        {u"IPSEC", IPSecurity(false, {}, {u"a", u"b"}), u"IPSEC", u"GrantByDefault=False;a;b;", {}},
        {u"MIMEMAP", TextArray({u".htm,text/html"}), u"UNSUPPORTED", u"", {}},
        {u"", TOleVariant(u"x"), u"UNSUPPORTED", u"", {}},
        {u"string", TOleVariant(u"x"), u"UNSUPPORTED", u"", {}},  // type names compare exactly
        {u"INTEGER", TOleVariant(), u"INTEGER", u"", {}},         // a secret value
        {u"LIST", TOleVariant(), u"LIST", u"", {}},
    };
    for (const auto& row : rows) {
        TPropertyText text = PropertyValueToText(row.Type, row.Value);
        EXPECT_EQ(text.Type, row.ExpectedType);
        EXPECT_EQ(text.Value, row.ExpectedValue);
        EXPECT_EQ(text.Items, row.ExpectedItems);
    }
    // The same into one reused text, in both orders and after a list that raised
    // half-way: nothing of an earlier value stays.
    TPropertyText reused;
    auto check = [&](const Row& row) {
        PropertyValueToText(row.Type, row.Value, reused);
        EXPECT_EQ(reused.Type, row.ExpectedType);
        EXPECT_EQ(reused.Value, row.ExpectedValue);
        EXPECT_EQ(reused.Items, row.ExpectedItems);
    };
    for (const auto& row : rows) check(row);
    for (auto row = std::rbegin(rows); row != std::rend(rows); ++row) {
        EXPECT_THROW(PropertyValueToText(u"LIST", Array({TOleVariant(u"a"), TextArray({u"b"})}), reused), EOleSysError);
        check(*row);
    }
}

TEST(PropertyValuesTest, ValuesOfTheWrongKindRaise) {
    EXPECT_THROW(PropertyValueToText(u"INTEGER", TOleVariant(u"12a")), EPropertyValueError);
    EXPECT_THROW(PropertyValueToText(u"INTEGER", TextArray({u"1"})), EOleSysError);
    EXPECT_THROW(PropertyValueToText(u"BOOLEAN", TOleVariant(u"maybe")), EOleSysError);
    EXPECT_THROW(PropertyValueToText(u"LIST", TOleVariant(int32_t(3))), EOleSysError);
    EXPECT_THROW(PropertyValueToText(u"BINARY", Array({TextArray({u"nested"})})), EOleSysError);
    EXPECT_THROW(PropertyValueToText(u"STRING", TextArray({u"a"})), EOleSysError);
    EXPECT_THROW(PropertyValueToText(u"IPSEC", TOleVariant(u"GrantByDefault=True;")), EOleSysError);
}

class PropertyNodeTest : public ::testing::Test {
protected:
    std::unique_ptr<TWideXmlDocument> Document = NewBackupDocument();
    TWideXmlNode& Parent = *Document->Root();
    void SetUp() override { Parent.SetName(u"SubDir"); }
};

TEST_F(PropertyNodeTest, FailedConversionWritesNothing) {
    EXPECT_THROW(WritePropertyNode(Parent, u"MaxConnections", u"INTEGER", TOleVariant(u"many"), false), std::exception);
    EXPECT_EQ(Parent.NodeCount(), 0);
    WritePropertyNode(Parent, u"ServerBindings", u"LIST", TextArray({u":80:"}), false);
    std::u16string before = Parent.WriteToString();
    EXPECT_THROW(WritePropertyNode(Parent, u"serverbindings", u"LIST", TOleVariant(int32_t(1)), true), std::exception);
    EXPECT_EQ(Parent.WriteToString(), before);
}

TEST_F(PropertyNodeTest, ReusedListHasItsItemsReplaced) {
    WritePropertyNode(Parent, u"ServerBindings", u"LIST", TextArray({u":80:", u":81:"}), false);
    WritePropertyNode(Parent, u"SERVERBINDINGS", u"LIST", TextArray({u":82:"}), false);
    ASSERT_EQ(Parent.NodeCount(), 1);
    TWideXmlNode* element = Parent.Nodes(0);
    ASSERT_EQ(element->NodeCount(), 1);
    EXPECT_EQ(element->Nodes(0)->AttributeByName(u"value"), u":82:");
    EXPECT_EQ(element->AttributeByName(u"id"), u"ServerBindings");
}

// Appending without a lookup gives what the lookup gives on an empty parent, with
// one index's texts reused from property to property; a refused one adds nothing.
TEST_F(PropertyNodeTest, AppendedPropertiesMatchLookedUpOnes) {
    struct Row {
        std::u16string Id, Type;
        TOleVariant Value;
        bool Inherit;
    };
    const Row rows[] = {
        {u"ServerBindings", u"LIST", TextArray({u"10.0.0.1:443:caf\u00e9", u":80:"}), false},
        {u"ServerComment", u"STRING", TOleVariant(u"x"), false},
        {u"HttpErrors", u"LIST", TextArray({}), false},
        {u"\u00c9tat", u"", TOleVariant(), true},
        {u"SSLCertHash", u"BINARY", Array({TOleVariant(int32_t(7))}), false},
    };
    auto document = NewBackupDocument();
    TWideXmlNode& looked = *document->Root();
    looked.SetName(u"SubDir");
    TPropertyIndex index(Parent);
    for (const Row& row : rows) {
        AppendPropertyNode(index, row.Id, row.Type, row.Value, row.Inherit);
        WritePropertyNode(looked, row.Id, row.Type, row.Value, row.Inherit);
        EXPECT_THROW(AppendPropertyNode(index, u"Bad", u"STRING", TOleVariant(u"a\u0001"), false), EPropertyValueError);
        EXPECT_THROW(AppendPropertyNode(index, u"Bad", u"LIST", TOleVariant(int32_t(1)), false), EOleSysError);
    }
    EXPECT_EQ(Parent.WriteToString(), looked.WriteToString());
}

TEST_F(PropertyNodeTest, TextToValueByType) {
    TWideXmlNode& list = WritePropertyNode(Parent, u"ServerBindings", u"LIST", TextArray({u":80:", u""}), false);
    EXPECT_EQ(TextToPropertyValue(u"STRING", u"x", nullptr), TOleVariant(u"x"));
    EXPECT_EQ(TextToPropertyValue(u"EXPANDSZ", u"%x%", nullptr), TOleVariant(u"%x%"));
    EXPECT_EQ(TextToPropertyValue(u"BINARY", u"0 255 ", nullptr), TextArray({u"0", u"255"}));
    EXPECT_EQ(TextToPropertyValue(u"BINARY", u"", nullptr), TextArray({}));
    EXPECT_EQ(TextToPropertyValue(u"INTEGER", u"-7", nullptr), TOleVariant(int32_t(-7)));
    EXPECT_THROW(TextToPropertyValue(u"INTEGER", u"seven", nullptr), EPropertyValueError);
    EXPECT_EQ(TextToPropertyValue(u"BOOLEAN", u"TRUE", nullptr), TOleVariant(true));
    EXPECT_EQ(TextToPropertyValue(u"BOOLEAN", u"1", nullptr), TOleVariant(false));
    EXPECT_EQ(TextToPropertyValue(u"LIST", u"", &list), TextArray({u":80:", u""}));
    EXPECT_EQ(TextToPropertyValue(u"LIST", u"", nullptr), TOleVariant(u""));
    EXPECT_EQ(TextToPropertyValue(u"string", u"x", nullptr), TOleVariant(u""));
    EXPECT_EQ(TextToPropertyValue(u"IPSEC", u"GrantByDefault=True;", nullptr), TOleVariant(u""));
}

TEST_F(PropertyNodeTest, BinaryRoundTripKeepsMoreThan256Elements) {
    std::vector<TOleVariant> bytes;
    for (int i = 0; i < 300; ++i) bytes.emplace_back(int32_t(i % 256));
    TWideXmlNode& element = WritePropertyNode(Parent, u"SSLCertHash", u"BINARY", TOleVariant(bytes), false);
    TOleVariant back = TextToPropertyValue(u"BINARY", element.AttributeByName(u"value"), &element);
    ASSERT_EQ(back.AsArray().size(), 300u);
    EXPECT_EQ(back[299], TOleVariant(u"43"));
}

// Records what a restore writes to a metabase object.
class TRecordingObject : public TAutoObject {
public:
    std::shared_ptr<TIPSecurityObject> Stored = std::make_shared<TIPSecurityObject>();
    bool Saved = false;
    TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args) override {
        if (name == u"Get") return TOleVariant(TAutoObjectPtr(Stored->Clone()));
        if (name == u"Put") {
            Stored = std::dynamic_pointer_cast<TIPSecurityObject>(args[1].AsObject());
            return {};
        }
        if (name == u"SetInfo") {
            Saved = true;
            return {};
        }
        return TAutoObject::CallMethod(name, args);
    }
};

TEST_F(PropertyNodeTest, IPSecurityIsWrittenBack) {
    struct Row {
        std::u16string Text;
        bool Grant;
        Texts Deny, Allow;
    };
    const Row rows[] = {
        {u"GrantByDefault=True;a;b;", true, {u"a", u"b"}, {}},
        {u"GrantByDefault=False;", false, {}, {}},
        {u"GrantByDefault=false;;10.0.0.1, 255.255.255.0", false, {}, {u"10.0.0.1, 255.255.255.0"}},
    };
    for (const auto& row : rows) {
        auto object = std::make_shared<TRecordingObject>();
        object->Stored->IPDeny = {u"old"};
        object->Stored->IPGrant = {u"old"};
        TWideXmlNode* element = Parent.NodeNew(u"Property");
        element->SetAttributeByName(u"value", row.Text);
        WriteIPSecurityToObject(TOleVariant(TAutoObjectPtr(object)), *element);
        EXPECT_TRUE(object->Saved);
        EXPECT_EQ(object->Stored->GrantByDefault, row.Grant);
        if (row.Grant) EXPECT_EQ(object->Stored->IPDeny, row.Deny);
        else EXPECT_EQ(object->Stored->IPGrant, row.Allow);
    }
}

} // namespace
} // namespace orvex
