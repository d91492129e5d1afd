#include "platform/Metabase.h"

#include "base/AsciiText.h"
#include "base/Utf.h"
#include "platform/MetabaseSchema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace orvex;

namespace {

std::vector<std::u16string> Ids(const TMetaObject& key) {
    std::vector<std::u16string> ids;
    for (const auto& [id, value] : key.Properties())
        ids.push_back(id + u"=" + value.ToText());
    return ids;
}

} // namespace

// Property ids compare ignoring ASCII case only; the first spelling and the order
// of first setting stay.
TEST(Metabase, PropertyIdsIgnoreAsciiCaseAndKeepTheirOrder) {
    TMetaObject key(u"1", u"IIsWebServer");
    key.SetValue(u"ServerComment", std::u16string(u"a"));
    key.SetValue(u"Path", std::u16string(u"b"));
    key.SetValue(u"\u00E9t\u00E9", std::u16string(u"c"));
    key.SetValue(u"SERVERCOMMENT", std::u16string(u"d"));
    EXPECT_EQ(Ids(key), (std::vector<std::u16string>{u"ServerComment=d", u"Path=b", u"\u00E9t\u00E9=c"}));
    ASSERT_NE(key.FindValue(u"servercomment"), nullptr);
    EXPECT_EQ(key.FindValue(u"PATH")->ToText(), u"b");
    EXPECT_EQ(key.FindValue(u"\u00C9T\u00C9"), nullptr);  // beyond ASCII, as written
    EXPECT_EQ(key.FindValue(u"Path "), nullptr);
    EXPECT_EQ(key.FindValue(u""), nullptr);

    // The values after a removed one are still found, and setting again appends.
    key.RemoveValue(u"servercomment");
    EXPECT_EQ(key.FindValue(u"ServerComment"), nullptr);
    EXPECT_EQ(key.FindValue(u"Path")->ToText(), u"b");
    EXPECT_EQ(key.FindValue(u"\u00E9t\u00E9")->ToText(), u"c");
    key.RemoveValue(u"NotThere");
    key.SetValue(u"ServerComment", std::u16string(u"e"));
    key.SetValue(u"path", std::u16string(u"f"));
    EXPECT_EQ(Ids(key), (std::vector<std::u16string>{u"Path=f", u"\u00E9t\u00E9=c", u"ServerComment=e"}));
}

TEST(Metabase, InheritedValuesComeFromTheNearestAncestor) {
    TMetabase metabase;
    TMetaObject& w3 = metabase.Root().AddChild(u"W3SVC", u"IIsWebService");
    TMetaObject& site = w3.AddChild(u"1", u"IIsWebServer");
    TMetaObject& root = site.AddChild(u"ROOT", u"IIsWebVirtualDir");
    w3.SetValue(u"AccessFlags", 1);
    site.SetValue(u"accessflags", 2);
    w3.SetValue(u"AppFriendlyName", std::u16string(u"W3"));
    const TPropertyDef& access = *FindPropertyDef(u"AccessFlags");
    const TPropertyDef& friendly = *FindPropertyDef(u"AppFriendlyName");  // not inherited
    EXPECT_EQ(root.EffectiveValue(access)->AsInteger(), 2);
    site.RemoveValue(u"AccessFlags");
    EXPECT_EQ(root.EffectiveValue(access)->AsInteger(), 1);
    EXPECT_EQ(root.EffectiveValue(friendly), nullptr);
    EXPECT_EQ(w3.EffectiveValue(friendly)->AsText(), u"W3");
}

// Key names compare with Unicode simple case folding, surrogate pairs as one code
// point, lone surrogates as they are.
TEST(Metabase, ChildNamesIgnoreCaseBeyondAscii) {
    TMetabase metabase;
    TMetaObject& w3 = metabase.Root().AddChild(u"W3SVC", u"IIsWebService");
    struct TRow {
        std::u16string Stored, Asked;
        bool Found;
    };
    const TRow rows[] = {
        {u"ROOT", u"root", true},
        {u"Donn\u00E9es", u"DONN\u00C9ES", true},
        {u"\u212Aelvin", u"kELVIN", true},           // the Kelvin sign folds to k
        {u"\u0394elta", u"\u03B4ELTA", true},         // Greek
        {u"\U00010400x", u"\U00010428X", true},       // Deseret, beyond U+FFFF
        {u"a\xD800", u"A\xD800", true},               // lone surrogate, kept
        {u"b\xD801", u"B\xD802", false},
        {u"Stra\u00DFe", u"STRASSE", false},          // no full folding
        {u"dir", u"dir ", false},
    };
    for (const TRow& row : rows)
        w3.AddChild(row.Stored, u"IIsWebVirtualDir");
    for (const TRow& row : rows) {
        const TMetaObject* found = w3.FindChild(row.Asked);
        EXPECT_EQ(found != nullptr, row.Found) << std::string(row.Asked.begin(), row.Asked.end());
        if (found && row.Found) {
            EXPECT_EQ(found->Name(), row.Stored);
        }
    }
    EXPECT_EQ(metabase.Find(u"w3svc/DONN\u00C9ES")->Name(), u"Donn\u00E9es");
    EXPECT_EQ(metabase.Find(u"w3svc//root"), nullptr);
    EXPECT_EQ(metabase.Find(u"/w3svc"), nullptr);
    EXPECT_EQ(metabase.Find(u""), &metabase.Root());
}

TEST(Metabase, ManyChildrenAndRemovals) {
    TMetabase metabase;
    TMetaObject& w3 = metabase.Root().AddChild(u"W3SVC", u"IIsWebService");
    for (int i = 1; i <= 5000; ++i) {
        const std::string name = std::to_string(i);
        w3.AddChild(std::u16string(name.begin(), name.end()), u"IIsWebServer").AddChild(u"ROOT", u"IIsWebVirtualDir");
    }
    EXPECT_EQ(metabase.Find(u"W3SVC/4999/root")->Path(), u"W3SVC/4999/ROOT");
    EXPECT_EQ(metabase.Find(u"W3SVC/5001"), nullptr);

    // Removing a key anywhere changes the count seen from the whole metabase.
    const uint64_t before = metabase.Removals();
    TMetaObject* root = metabase.Find(u"W3SVC/17/ROOT");
    metabase.Find(u"W3SVC/17")->RemoveChild(*root);
    EXPECT_NE(metabase.Removals(), before);
    EXPECT_EQ(metabase.Find(u"W3SVC/17/ROOT"), nullptr);
    w3.RemoveChild(*metabase.Find(u"W3SVC/18"));
    EXPECT_EQ(metabase.Find(u"W3SVC/18"), nullptr);
    EXPECT_EQ(metabase.Find(u"W3SVC/19")->Name(), u"19");
    EXPECT_EQ(w3.Children().size(), 4999u);

    // A copy answers lookups of its own.
    w3.SetValue(u"AccessFlags", 513);
    const std::unique_ptr<TMetabase> copy = metabase.Clone();
    EXPECT_EQ(copy->Find(u"w3svc/4999/ROOT")->Parent()->Name(), u"4999");
    EXPECT_NE(copy->Find(u"w3svc/4999"), metabase.Find(u"w3svc/4999"));
    EXPECT_EQ(copy->Find(u"W3SVC")->FindValue(u"accessflags")->AsInteger(), 513);
}

// A key's values set, removed and set again in a mixed order, asked in any case,
// against a plain search: ids of one length sharing their first and last four
// characters, differing only in case or beyond ASCII, more than the 64 quick bits.
TEST(Metabase, ValueLookupsMatchAPlainSearch) {
    std::vector<std::u16string> ids = {u"\u00E9t\u00E9", u"\u00C9t\u00C9", u"Path", u"p"};
    for (char16_t c = u'a'; c <= u'z'; ++c) {
        ids.push_back(std::u16string(u"Auth") + c + u"xFlags");
        ids.push_back(std::u16string(u"Id") + c + char16_t(u'0' + c % 10));
    }
    for (int i = 0; i < 40; ++i)
        ids.push_back(u"Many" + std::u16string(1, char16_t(u'A' + i)) + u"Values");
    uint32_t seed = 7;
    const auto next = [&](uint32_t bound) { return (seed = seed * 1103515245u + 12345u) / 65536u % bound; };
    const auto recased = [&](std::u16string id) {
        for (char16_t& c : id)
            c = next(2) ? AsciiUpper(c) : AsciiLower(c);
        return id;
    };
    TMetaObject key(u"1", u"IIsWebServer");
    std::vector<std::pair<std::u16string, int>> plain;
    const auto same = [](std::u16string_view id) { return [id](const auto& e) { return SameAsciiText(e.first, id); }; };
    for (int step = 0; step < 1500; ++step) {
        const std::u16string id = recased(ids[next(uint32_t(ids.size()))]);
        if (next(4) == 0) {
            key.RemoveValue(id);
            std::erase_if(plain, same(id));
        } else {
            key.SetValue(id, step);
            if (const auto it = std::find_if(plain.begin(), plain.end(), same(id)); it != plain.end())
                it->second = step;
            else
                plain.emplace_back(id, step);
        }
        if (step % 100 != 99)
            continue;
        const std::unique_ptr<TMetaObject> copy = key.Clone();
        for (const TMetaObject* each : {&key, copy.get()}) {
            ASSERT_EQ(each->Properties().size(), plain.size());
            for (size_t i = 0; i < plain.size(); ++i)
                EXPECT_EQ(each->Properties()[i].first, plain[i].first);
            for (const std::u16string& asked : ids) {
                const std::u16string recasedId = recased(asked);
                const auto it = std::find_if(plain.begin(), plain.end(), same(recasedId));
                const TOleVariant* found = each->FindValue(recasedId);
                ASSERT_EQ(found != nullptr, it != plain.end()) << Utf16ToUtf8(recasedId);
                if (found) {
                    EXPECT_EQ(found->AsInteger(), it->second) << Utf16ToUtf8(recasedId);
                }
            }
        }
    }
}

// The id hash is blind to ASCII case only, and no two ids of the schema share one
// (ids of one length with the same ends did).
TEST(Metabase, IdHashesTellTheSchemaApart) {
    const TAsciiNameHash hash;
    EXPECT_EQ(hash(u"LogExtFileSiteName"), hash(u"logextfilesitename"));
    EXPECT_NE(hash(u"\u00E9t\u00E9"), hash(u"\u00C9t\u00C9"));
    std::vector<std::pair<size_t, std::u16string>> hashes;
    for (const TPropertyDef& def : AllPropertyDefs())
        hashes.emplace_back(hash(def.Name), def.Name);
    std::sort(hashes.begin(), hashes.end());
    for (size_t i = 1; i < hashes.size(); ++i)
        EXPECT_NE(hashes[i - 1].first, hashes[i].first)
            << Utf16ToUtf8(hashes[i - 1].second) << " and " << Utf16ToUtf8(hashes[i].second);
}

// Every schema property set by its definition is the one its name finds in any
// case, and is inherited, or not, exactly as its definition says.
TEST(Metabase, SchemaPropertiesSetByDefinitionOrByName) {
    TMetabase metabase;
    TMetaObject& top = metabase.Root().AddChild(u"W3SVC", u"IIsWebService");
    TMetaObject& site = top.AddChild(u"1", u"IIsWebServer");
    TMetaObject& dir = site.AddChild(u"ROOT", u"IIsWebVirtualDir");
    const std::vector<TPropertyDef>& defs = AllPropertyDefs();
    constexpr int kNone = 1 << 30;
    const auto valueOf = [](const TOleVariant* value) { return value ? value->AsInteger() : kNone; };
    for (int i = 0; i < int(defs.size()); ++i) {
        i % 2 ? top.SetValue(defs[i], i) : top.SetValue(AsciiLowerCase(defs[i].Name), i);
        if (i % 3 == 0)
            site.SetValue(defs[i], -i);
    }
    for (int i = 0; i < int(defs.size()); ++i) {
        const TPropertyDef& def = defs[i];
        SCOPED_TRACE(Utf16ToUtf8(def.Name));
        top.SetValue(AsciiUpperCase(def.Name), i);  // the same value again, in the same place
        ASSERT_NE(top.FindValue(AsciiUpperCase(def.Name)), nullptr);
        EXPECT_EQ(top.FindValue(def.Name)->AsInteger(), i);
        const int nearest = i % 3 == 0 ? -i : i;
        EXPECT_EQ(valueOf(site.EffectiveValue(def)), i % 3 == 0 || def.Inherit ? nearest : kNone);
        EXPECT_EQ(valueOf(dir.EffectiveValue(def)), def.Inherit ? nearest : kNone);
        EXPECT_EQ(dir.InheritsValue(def), def.Inherit);
        EXPECT_EQ(site.InheritsValue(def), def.Inherit && i % 3 != 0);
        EXPECT_FALSE(top.InheritsValue(def));
    }
    EXPECT_EQ(top.Properties().size(), defs.size());
    EXPECT_EQ(top.Properties()[0].first, AsciiLowerCase(defs[0].Name));  // the first spelling stays
}
