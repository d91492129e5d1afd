#include "platform/OleVariant.h"

#include "base/AsciiText.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

class TEcho : public TAutoObject {
public:
    TOleVariant GetProperty(std::u16string_view name) override {
        if (SameAsciiText(name, u"Value"))
            return Value;
        return TAutoObject::GetProperty(name);
    }
    void SetProperty(std::u16string_view name, const TOleVariant& value) override {
        if (!SameAsciiText(name, u"Value"))
            TAutoObject::SetProperty(name, value);
        Value = value;
    }
    TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args) override {
        if (SameAsciiText(name, u"Count"))
            return static_cast<int32_t>(args.size());
        if (SameAsciiText(name, u"First")) {
            RequireArgs(args, 1);
            return args[0];
        }
        return TAutoObject::CallMethod(name, args);
    }
    TOleVariant Value;
};

int32_t CodeOf(auto call) {
    try {
        call();
    } catch (const EOleSysError& e) {
        return e.ErrorCode();
    }
    return 0;
}

} // namespace

TEST(OleVariant, KindsAndTextForms) {
    struct TRow {
        TOleVariant Value;
        TVariantKind Kind;
        std::u16string Text;
    } rows[] = {
        {TOleVariant(), TVariantKind::vkEmpty, u""},
        {true, TVariantKind::vkBoolean, u"True"},
        {false, TVariantKind::vkBoolean, u"False"},
        {0, TVariantKind::vkInteger, u"0"},
        {-2147483647 - 1, TVariantKind::vkInteger, u"-2147483648"},
        {2147483647, TVariantKind::vkInteger, u"2147483647"},
        {u"caf\u00E9", TVariantKind::vkText, u"caf\u00E9"},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(row.Value.Kind(), row.Kind);
        EXPECT_EQ(row.Value.ToText(), row.Text);
        // The same into a text that held more, and a text put in place of the value.
        std::u16string reused = u"an older and longer text";
        row.Value.ToText(reused);
        EXPECT_EQ(reused, row.Text);
        TOleVariant assigned = row.Value;
        assigned.AssignText(u"x");
        EXPECT_EQ(assigned, TOleVariant(u"x"));
    }
    std::u16string kept = u"kept";
    EXPECT_EQ(CodeOf([&] { TextArray({u"a"}).ToText(kept); }), hr::TypeMismatch);
    EXPECT_EQ(kept, u"kept");
}

TEST(OleVariant, WrongKindRaisesTypeMismatch) {
    const TOleVariant text(u"1");
    EXPECT_EQ(CodeOf([&] { (void)text.AsInteger(); }), hr::TypeMismatch);
    EXPECT_EQ(CodeOf([&] { (void)text.AsBoolean(); }), hr::TypeMismatch);
    EXPECT_EQ(CodeOf([&] { (void)text.AsArray(); }), hr::TypeMismatch);
    EXPECT_EQ(CodeOf([&] { (void)text.Property(u"x"); }), hr::TypeMismatch);
    EXPECT_EQ(CodeOf([&] { (void)TextArray({u"a"}).ToText(); }), hr::TypeMismatch);
    EXPECT_EQ(CodeOf([&] { (void)TOleVariant(TAutoObjectPtr()).AsObject(); }), hr::TypeMismatch);
}

TEST(OleVariant, ArraysStartAtZero) {
    const TOleVariant empty = TextArray({});
    EXPECT_EQ(empty.HighBound(), -1);
    const TOleVariant list = TextArray({u"a", u"b"});
    EXPECT_EQ(list.HighBound(), 1);
    EXPECT_EQ(list[0].AsText(), u"a");
    EXPECT_EQ(list[1].AsText(), u"b");
    EXPECT_EQ(CodeOf([&] { (void)list[2]; }), hr::BadIndex);
}

TEST(OleVariant, LateBoundCallsIgnoreCaseOfNames) {
    auto echo = std::make_shared<TEcho>();
    const TOleVariant object = TAutoObjectPtr(echo);
    object.SetProperty(u"VALUE", 42);
    EXPECT_EQ(object.Property(u"value").AsInteger(), 42);
    EXPECT_EQ(object.Call(u"count").AsInteger(), 0);
    EXPECT_EQ(object.Call(u"COUNT", 1, u"two", true).AsInteger(), 3);
    EXPECT_EQ(object.Call(u"First", u"x").AsText(), u"x");
    EXPECT_EQ(CodeOf([&] { object.Call(u"First"); }), hr::BadParamCount);
    EXPECT_EQ(CodeOf([&] { object.Call(u"Nothing"); }), hr::UnknownName);
    EXPECT_EQ(CodeOf([&] { object.Property(u"Nothing"); }), hr::UnknownName);
    EXPECT_EQ(CodeOf([&] { object.SetProperty(u"Nothing", 1); }), hr::UnknownName);
    EXPECT_EQ(CodeOf([&] { object.NewEnum(); }), hr::MemberNotFound);
}

TEST(OleVariant, EqualityComparesKindAndContents) {
    EXPECT_EQ(TOleVariant(3), TOleVariant(3));
    EXPECT_FALSE(TOleVariant(3) == TOleVariant(u"3"));
    EXPECT_FALSE(TOleVariant(1) == TOleVariant(true));
    EXPECT_EQ(TextArray({u"a"}), TextArray({u"a"}));
}

TEST(OleVariant, EnumeratorYieldsEachItemOnce) {
    TEnumVariant items({TOleVariant(1), TOleVariant(2)});
    TOleVariant item;
    ASSERT_TRUE(items.Next(item));
    EXPECT_EQ(item.AsInteger(), 1);
    ASSERT_TRUE(items.Next(item));
    EXPECT_EQ(item.AsInteger(), 2);
    EXPECT_FALSE(items.Next(item));
    EXPECT_FALSE(items.Next(item));
}

TEST(OleSysError, CarriesCodeMessageAndLastOsError) {
    SetLastOsError(1008);
    const EOleSysError error(hr::MkSyntax);
    SetLastOsError(0);
    EXPECT_EQ(error.ErrorCode(), static_cast<int32_t>(0x800401E4u));
    EXPECT_EQ(error.ErrorCode(), -2147221020);
    EXPECT_EQ(error.Message(), u"Invalid syntax");
    EXPECT_STREQ(error.what(), "Invalid syntax");
    EXPECT_EQ(error.LastOsError(), 1008u);
    EXPECT_EQ(OleErrorMessage(hr::PathNotFound), u"The system cannot find the path specified.");
    EXPECT_EQ(OleErrorMessage(0x12345), u"Unspecified error");
    EXPECT_EQ(EOleSysError(hr::E_FAIL, u"Disk full \u00E9").what(), std::string("Disk full \xC3\xA9"));
}

TEST(OleVariant, SameNameFoldsAsciiLettersOnly) {
    EXPECT_TRUE(SameAsciiText(u"GrantByDefault", u"grantbydefault"));
    EXPECT_FALSE(SameAsciiText(u"\u00E9", u"\u00C9"));
    EXPECT_FALSE(SameAsciiText(u"Name", u"Names"));
}
