#include "platform/MetabaseObjects.h"

#include "base/AsciiText.h"
#include "platform/Metabase.h"
#include "platform/MetabaseSchema.h"
#include "platform/MetabaseValues.h"

#include "MachineTestSupport.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class MetabaseObjects : public TMachinesFolderTest {};

std::vector<std::u16string> Texts(const TOleVariant& value) {
    std::vector<std::u16string> texts;
    for (const TOleVariant& item : value.AsArray())
        texts.push_back(item.ToText());
    return texts;
}

// Property values, their attributes and inheritance, as the backup reads them.
struct TGetRow {
    std::u16string Path, Id;
    bool IsInherit;
    std::u16string Text;  // ToText of the value, or the joined array
};

std::u16string Joined(const TOleVariant& value) {
    if (!value.IsArray())
        return value.ToText();
    std::u16string text;
    for (const TOleVariant& item : value.AsArray())
        text += item.ToText() + u";";
    return text;
}

// A value as text, objects only by their kind: for comparing answers.
std::u16string Described(const TOleVariant& value) {
    if (value.IsObject())
        return u"<object>";
    if (!value.IsArray())
        return value.ToText();
    std::u16string text;
    for (const TOleVariant& item : value.AsArray())
        text += Described(item) + u";";
    return text;
}

} // namespace

TEST_F(MetabaseObjects, GetGivesOwnInheritedOrDefaultValues) {
    const TGetRow rows[] = {
        {u"w3svc", u"AccessFlags", false, u"513"},
        {u"w3svc/1", u"AccessFlags", true, u"513"},                  // inherited from the web service
        {u"w3svc/1/ROOT/images", u"AccessFlags", false, u"1"},
        {u"w3svc/1/ROOT/images", u"DefaultDoc", true, u"Default.htm,Default.asp,index.htm,Default.aspx"},
        {u"w3svc/1", u"ServerBindings", false, u":80:;"},
        {u"w3svc/1/ROOT", u"Path", false, u"C:\\Inetpub\\wwwroot"},
        {u"w3svc/1/ROOT", u"AppRoot", false, u"/LM/W3SVC/1/ROOT"},
        {u"w3svc/1/ROOT/Scripts", u"AppRoot", false, u""},           // not inheritable: default
        {u"w3svc/1", u"MaxBandwidth", false, u"0"},                  // set nowhere: default
        {u"w3svc/1", u"AuthBasic", false, u"False"},
        {u"w3svc/2", u"SSLCertHash", false, u"63;154;1;196;126;85;0;255;18;139;"},
        {u"w3svc/2", u"SecureBindings", false, u"192.168.10.5:443:;"},
        {u"w3svc/AppPools/IntranetPool", u"IdleTimeout", true, u"20"},
        {u"w3svc/AppPools/IntranetPool", u"AppPoolIdentityType", false, u"3"},
        {u"w3svc", u"LogFileDirectory", false, u"C:\\WINDOWS\\system32\\LogFiles"},
    };
    for (const TGetRow& row : rows) {
        const TOleVariant object = Bind(u"IIS://localhost/" + row.Path);
        EXPECT_EQ(Joined(object.Call(u"Get", row.Id)), row.Text) << Utf16ToUtf8(row.Path + u" " + row.Id);
        EXPECT_EQ(object.Call(u"GetPropertyAttribObj", row.Id).Property(u"IsInherit").AsBoolean(), row.IsInherit)
            << Utf16ToUtf8(row.Path + u" " + row.Id);
    }
}

TEST_F(MetabaseObjects, SecureFlagsAndSecretValues) {
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    EXPECT_TRUE(w3.Call(u"GetPropertyAttribObj", u"AnonymousUserPass").Property(u"Secure").AsBoolean());
    EXPECT_FALSE(w3.Call(u"GetPropertyAttribObj", u"AnonymousUserName").Property(u"Secure").AsBoolean());
    // The provider itself hands out the secret; keeping it out of files is the caller's job.
    EXPECT_EQ(w3.Call(u"Get", u"AnonymousUserPass").AsText(), u"Xq7!vR2p#Lm9");
}

TEST_F(MetabaseObjects, PropertiesOutsideTheClassAreNotSupported) {
    const TOleVariant root = Bind(u"IIS://localhost/w3svc/1/ROOT");
    EXPECT_EQ(ErrorOf([&] { root.Call(u"Get", u"ServerBindings"); }), hr::AdsPropertyNotSupported);
    EXPECT_EQ(ErrorOf([&] { root.Call(u"Get", u"NoSuchProperty"); }), hr::AdsPropertyNotSupported);
    EXPECT_EQ(ErrorOf([&] { root.Call(u"Put", u"ServerBindings", TextArray({u":81:"})); }), hr::AdsPropertyNotSupported);
    EXPECT_EQ(ErrorOf([&] { root.Call(u"GetPropertyAttribObj", u"ServerBindings"); }), hr::AdsPropertyNotSupported);
    EXPECT_EQ(ErrorOf([&] { root.Call(u"Get"); }), hr::BadParamCount);
    EXPECT_EQ(ErrorOf([&] { root.Call(u"Frobnicate"); }), hr::UnknownName);
    EXPECT_EQ(ErrorOf([&] { root.Call(u"AddExtensionFile", u"a", true, u"g", true, u"d"); }), hr::UnknownName);
}

TEST_F(MetabaseObjects, PutChecksTheKindAgainstTheSyntax) {
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/1");
    struct TRow {
        std::u16string Id;
        TOleVariant Value;
        int32_t Code;
    } rows[] = {
        {u"ServerComment", u"text", 0},
        {u"ServerComment", 5, hr::TypeMismatch},
        {u"MaxConnections", 5, 0},
        {u"MaxConnections", u"5", hr::TypeMismatch},
        {u"AuthBasic", true, 0},
        {u"AuthBasic", 1, hr::TypeMismatch},
        {u"ServerBindings", TextArray({u":81:"}), 0},
        {u"ServerBindings", u"", 0},                          // no elements
        {u"ServerBindings", u":81:", hr::TypeMismatch},
        {u"ServerBindings", TOleVariant(std::vector<TOleVariant>{1}), hr::TypeMismatch},
        {u"SSLCertHash", TextArray({u"0", u"255"}), 0},
        {u"SSLCertHash", TextArray({u"256"}), hr::TypeMismatch},
        {u"SSLCertHash", TextArray({u"x"}), hr::TypeMismatch},
        {u"SSLCertHash", TOleVariant(std::vector<TOleVariant>{7}), 0},
        {u"IPSecurity", u"GrantByDefault=True;", hr::TypeMismatch},
        {u"LogFileDirectory", u"%windir%\\logs", 0},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(ErrorOf([&] { site.Call(u"Put", row.Id, row.Value); }), row.Code) << Utf16ToUtf8(row.Id);
}

TEST_F(MetabaseObjects, PutCachesUntilSetInfo) {
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/1");
    site.Call(u"Put", u"ServerComment", u"Changed");
    site.Call(u"Put", u"SSLCertHash", TextArray({u"0", u"255"}));
    EXPECT_EQ(site.Call(u"Get", u"ServerComment").AsText(), u"Changed");
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/1").Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
    site.Call(u"SetInfo");
    CloseMachines();
    const TOleVariant again = Bind(u"IIS://localhost/W3SVC/1");
    EXPECT_EQ(again.Call(u"Get", u"ServerComment").AsText(), u"Changed");
    EXPECT_EQ(Texts(again.Call(u"Get", u"SSLCertHash")), (std::vector<std::u16string>{u"0", u"255"}));
}

TEST_F(MetabaseObjects, GetInfoDropsTheCache) {
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/1");
    site.Call(u"Put", u"ServerComment", u"Changed");
    site.Call(u"GetInfo");
    site.Call(u"SetInfo");
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/1").Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
}

TEST_F(MetabaseObjects, ValuesOfEverySyntaxSurviveAReload) {
    const TOleVariant dir = Bind(u"IIS://localhost/w3svc/1/ROOT");
    auto ipsec = std::make_shared<TIPSecurityObject>();
    ipsec->GrantByDefault = false;
    ipsec->IPGrant = {u"10.1.2.3, 255.255.255.255"};
    dir.Call(u"Put", u"Path", u"E:\\Web \u00E9t\u00E9");
    dir.Call(u"Put", u"AspDiskTemplateCacheDirectory", u"%windir%\\Temp");
    dir.Call(u"Put", u"CacheControlMaxAge", -2147483647 - 1);
    dir.Call(u"Put", u"AccessWrite", true);
    dir.Call(u"Put", u"HttpCustomHeaders", TextArray({u"X-One: 1", u"X-Two: a,b"}));
    dir.Call(u"Put", u"IPSecurity", TAutoObjectPtr(ipsec));
    dir.Call(u"SetInfo");
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/2");
    site.Call(u"Put", u"SSLCertHash", TOleVariant(std::vector<TOleVariant>{}));
    site.Call(u"SetInfo");
    CloseMachines();

    const TOleVariant back = Bind(u"IIS://localhost/w3svc/1/ROOT");
    EXPECT_EQ(back.Call(u"Get", u"Path").AsText(), u"E:\\Web \u00E9t\u00E9");
    EXPECT_EQ(back.Call(u"Get", u"AspDiskTemplateCacheDirectory").AsText(), u"%windir%\\Temp");
    EXPECT_EQ(back.Call(u"Get", u"CacheControlMaxAge").AsInteger(), -2147483647 - 1);
    EXPECT_TRUE(back.Call(u"Get", u"AccessWrite").AsBoolean());
    EXPECT_EQ(Texts(back.Call(u"Get", u"HttpCustomHeaders")), (std::vector<std::u16string>{u"X-One: 1", u"X-Two: a,b"}));
    const TOleVariant readIpsec = back.Call(u"Get", u"IPSecurity");
    EXPECT_FALSE(readIpsec.Property(u"GrantByDefault").AsBoolean());
    EXPECT_EQ(Texts(readIpsec.Property(u"IPGrant")), std::vector<std::u16string>{u"10.1.2.3, 255.255.255.255"});
    EXPECT_EQ(readIpsec.Property(u"IPDeny").HighBound(), -1);
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/2").Call(u"Get", u"SSLCertHash").HighBound(), -1);
}

TEST_F(MetabaseObjects, IPSecurityIsACopyUntilPut) {
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    const TOleVariant ipsec = w3.Call(u"Get", u"IPSecurity");
    EXPECT_TRUE(ipsec.Property(u"GrantByDefault").AsBoolean());
    ipsec.SetProperty(u"GrantByDefault", true);
    ipsec.SetProperty(u"IPDeny", TextArray({u"10.0.0.9, 255.255.255.255", u"10.0.0.10, 255.255.255.255"}));
    EXPECT_EQ(w3.Call(u"Get", u"IPSecurity").Property(u"IPDeny").HighBound(), -1);
    w3.Call(u"Put", u"IPSecurity", ipsec);
    w3.Call(u"SetInfo");
    CloseMachines();
    const TOleVariant back = Bind(u"IIS://localhost/w3svc").Call(u"Get", u"IPSecurity");
    EXPECT_EQ(Texts(back.Property(u"IPDeny")),
              (std::vector<std::u16string>{u"10.0.0.9, 255.255.255.255", u"10.0.0.10, 255.255.255.255"}));
    // Site 1 inherits it; site 2 has its own.
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/1").Call(u"Get", u"IPSecurity").Property(u"IPDeny").HighBound(), 1);
    EXPECT_FALSE(Bind(u"IIS://localhost/w3svc/2").Call(u"Get", u"IPSecurity").Property(u"GrantByDefault").AsBoolean());
    EXPECT_EQ(ErrorOf([&] { back.SetProperty(u"IPDeny", u"10.0.0.1"); }), hr::TypeMismatch);
}

TEST_F(MetabaseObjects, CreatedChildExistsOnlyAfterItsSetInfo) {
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    const TOleVariant site = w3.Call(u"Create", u"IIsWebServer", u"3");
    EXPECT_EQ(site.Property(u"Class").AsText(), u"IIsWebServer");
    EXPECT_EQ(site.Property(u"Name").AsText(), u"3");
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://localhost/w3svc/3"); }), hr::PathNotFound);
    site.Call(u"Put", u"ServerComment", u"Third");
    EXPECT_EQ(site.Call(u"Get", u"AccessFlags").AsInteger(), 513);  // inherited before it exists
    EXPECT_TRUE(site.Call(u"GetPropertyAttribObj", u"AccessFlags").Property(u"IsInherit").AsBoolean());
    site.Call(u"SetInfo");
    CloseMachines();
    const TOleVariant back = Bind(u"IIS://localhost/w3svc/3");
    EXPECT_EQ(back.Call(u"Get", u"ServerComment").AsText(), u"Third");
    EXPECT_EQ(back.Call(u"Get", u"KeyType").AsText(), u"IIsWebServer");
    // The new site comes last in enumeration order.
    TOleVariant container;
    ASSERT_EQ(ADsGetObject(u"IIS://localhost/w3svc", container), hr::S_OK);
    auto items = container.NewEnum();
    TOleVariant item, last;
    while (items->Next(item))
        last = item;
    EXPECT_EQ(last.Property(u"Name").AsText(), u"3");
    // A vdir under it, made the way the restore does.
    const TOleVariant root = back.Call(u"Create", u"IIsWebVirtualDir", u"ROOT");
    root.Call(u"SetInfo");
    root.Call(u"Put", u"Path", u"C:\\Inetpub\\wwwroot");
    root.Call(u"SetInfo");
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/3/root").Call(u"Get", u"Path").AsText(), u"C:\\Inetpub\\wwwroot");
}

TEST_F(MetabaseObjects, KeyNamesIgnoreCaseBeyondAscii) {
    Bind(u"IIS://localhost/w3svc/1/ROOT").Call(u"Create", u"IIsWebVirtualDir", u"Donn\u00E9es").Call(u"SetInfo");
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/1/root/DONN\u00C9ES").Property(u"Name").AsText(), u"Donn\u00E9es");
    const TOleVariant again = Bind(u"IIS://localhost/w3svc/1/ROOT").Call(u"Create", u"IIsWebVirtualDir", u"donn\u00C9es");
    EXPECT_EQ(ErrorOf([&] { again.Call(u"SetInfo"); }), hr::AlreadyExists);
}

TEST_F(MetabaseObjects, CreateFailures) {
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"Create", u"IIsNothing", u"9"); }), hr::AdsUnknownObject);
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"Create", u"IIsWebServer", u""); }), hr::AdsBadPathname);
    for (std::u16string_view name : {u"a/b", u"a\\b", u".", u".."})  // each would reach another key
        EXPECT_EQ(ErrorOf([&] { w3.Call(u"Create", u"IIsWebServer", name); }), hr::AdsBadPathname) << Utf16ToUtf8(name);
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"Create", u"IIsWebServer", u"..."); }), 0);  // a name like any other
    const TOleVariant duplicate = w3.Call(u"Create", u"IIsWebServer", u"1");
    EXPECT_EQ(ErrorOf([&] { duplicate.Call(u"SetInfo"); }), hr::AlreadyExists);
    // A virtual directory below a site that does not exist (a pending one included).
    const TOleVariant pending = w3.Call(u"Create", u"IIsWebServer", u"8");
    EXPECT_EQ(ErrorOf([&] { pending.Call(u"Create", u"IIsWebVirtualDir", u"ROOT"); }), hr::PathNotFound);
}

TEST_F(MetabaseObjects, ExtensionListInFiveFieldForm) {
    const TOleVariant w3 = Bind(u"IIS://localhost/W3SVC");
    const std::vector<std::u16string> list = Texts(w3.Call(u"Get", u"WebSvcExtRestrictionList"));
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[0], u"0,*.dll");
    EXPECT_EQ(list[2], u"1,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,0,ASP,Active Server Pages");

    w3.Call(u"AddExtensionFile", u"C:\\ext\\sample.dll", true, u"SAMPLE", false, u"Sample Extension");
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"AddExtensionFile", u"c:\\EXT\\sample.dll", false, u"S", true, u"S"); }),
              hr::AlreadyExists);
    CloseMachines();
    const TOleVariant back = Bind(u"IIS://localhost/W3SVC");
    EXPECT_EQ(Texts(back.Call(u"Get", u"WebSvcExtRestrictionList")).back(),
              u"1,C:\\ext\\sample.dll,0,SAMPLE,Sample Extension");
    back.Call(u"DeleteExtensionFileRecord", u"C:\\EXT\\SAMPLE.DLL");
    EXPECT_EQ(Texts(back.Call(u"Get", u"WebSvcExtRestrictionList")).size(), 7u);
    EXPECT_EQ(ErrorOf([&] { back.Call(u"DeleteExtensionFileRecord", u"C:\\ext\\sample.dll"); }), hr::FileNotFound);
    back.Call(u"AddExtensionFile", u"C:\\ext\\two.dll", false, u"TWO", true, u"Two");
    EXPECT_EQ(Texts(back.Call(u"Get", u"WebSvcExtRestrictionList")).back(), u"0,C:\\ext\\two.dll,1,TWO,Two");
}

TEST_F(MetabaseObjects, UnsupportedSyntaxesReadAsObjects) {
    const TOleVariant map = Bind(u"IIS://localhost/MimeMap").Call(u"Get", u"MimeMap");
    EXPECT_EQ(map[0].Property(u"Extension").AsText(), u".htm");
    EXPECT_EQ(map[0].Property(u"MimeType").AsText(), u"text/html");
    const TOleVariant acl = Bind(u"IIS://localhost/W3SVC").Call(u"Get", u"AdminACL");
    EXPECT_EQ(acl.Property(u"Owner").AsText(), u"BUILTIN\\Administrators");
}

// One object asked for its class's properties in their order, backwards, in another
// case, between properties of other classes:
// every answer is the one an object asked for that property alone gives. Also for
// a key that is only pending.
TEST_F(MetabaseObjects, PropertiesAskedInAnyOrderAnswerAsAlone) {
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    const std::u16string paths[] = {u"",        u"w3svc/1/ROOT", u"w3svc/AppPools/IntranetPool",
                                    u"MimeMap", u"w3svc",        u"w3svc/1", u"*"};
    for (const std::u16string& path : paths) {
        SCOPED_TRACE(Utf16ToUtf8(path));
        const auto fresh = [&] {  // "*": a site that "SetInfo" would create
            return path == u"*" ? w3.Call(u"Create", u"IIsWebServer", u"7") : Bind(u"IIS://localhost/" + path);
        };
        const TClassDef& cls = *FindClassDef(fresh().Property(u"Class").AsText());
        std::vector<std::u16string> names;
        const auto inClass = [&](std::u16string_view name) {
            return std::any_of(names.begin(), names.end(), [&](const auto& n) { return SameAsciiText(n, name); });
        };
        for (const auto* list : {&cls.Mandatory, &cls.Optional})
            for (std::u16string_view name : *list)
                if (FindPropertyDef(name) && !inClass(name))
                    names.emplace_back(name);
        ASSERT_EQ(ClassPropertyDefs(cls).size(), names.size());
        const auto answer = [](const TOleVariant& object, const std::u16string& name) {  // as a backup asks
            const bool inherit = object.Call(u"GetPropertyAttribObj", name).Property(u"IsInherit").AsBoolean();
            return Described(object.Call(u"Get", name)) + (inherit ? u" (inherited)" : u"");
        };
        std::vector<std::pair<std::u16string, std::u16string>> asked;  // name, answer alone
        for (const std::u16string& name : names)
            asked.emplace_back(name, answer(fresh(), name));
        const TOleVariant object = fresh();
        for (const auto& [name, alone] : asked)
            EXPECT_EQ(answer(object, name), alone) << Utf16ToUtf8(name);
        for (auto it = asked.rbegin(); it != asked.rend(); ++it)
            EXPECT_EQ(answer(object, AsciiLowerCase(it->first)), it->second) << Utf16ToUtf8(it->first);
        for (size_t i = 0; i < asked.size(); ++i) {
            const TPropertyDef& other = AllPropertyDefs()[i * 7 % AllPropertyDefs().size()];
            if (!inClass(other.Name)) {
                EXPECT_EQ(ErrorOf([&] { object.Call(u"Get", other.Name); }), hr::AdsPropertyNotSupported)
                    << Utf16ToUtf8(other.Name);
            }
            EXPECT_EQ(answer(object, AsciiUpperCase(asked[i].first)), asked[i].second) << Utf16ToUtf8(asked[i].first);
        }
    }
}

// A bound object finds its key again once any key was removed: it stays valid
// when another key goes, and fails cleanly once its own key is gone.
TEST_F(MetabaseObjects, BoundObjectsOutliveTheRemovalOfOtherKeys) {
    const TOleVariant root = Bind(u"IIS://localhost/w3svc/1/ROOT");
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/2");
    EXPECT_EQ(site.Call(u"Get", u"ServerComment").AsText(), u"Intranet");
    EXPECT_EQ(root.Call(u"Get", u"Path").AsText(), u"C:\\Inetpub\\wwwroot");
    TMetabase& metabase = *OpenMachine(u"")->Metabase();
    for (const char16_t* gone : {u"W3SVC/1/ROOT/images", u"W3SVC/2"})
        metabase.Find(gone)->Parent()->RemoveChild(*metabase.Find(gone));
    EXPECT_EQ(root.Call(u"Get", u"Path").AsText(), u"C:\\Inetpub\\wwwroot");
    EXPECT_EQ(root.Call(u"Get", u"AccessFlags").AsInteger(), 513);
    EXPECT_EQ(ErrorOf([&] { site.Call(u"Get", u"ServerComment"); }), hr::PathNotFound);
    EXPECT_EQ(ErrorOf([&] { site.Call(u"GetPropertyAttribObj", u"ServerComment"); }), hr::PathNotFound);
    EXPECT_EQ(ErrorOf([&] { site.Call(u"Put", u"ServerComment", u"x"); }), hr::PathNotFound);
    // A key of that name made again is the one the object finds.
    const TOleVariant again = Bind(u"IIS://localhost/w3svc").Call(u"Create", u"IIsWebServer", u"2");
    again.Call(u"Put", u"ServerComment", u"Again");
    again.Call(u"SetInfo");
    EXPECT_EQ(site.Call(u"Get", u"ServerComment").AsText(), u"Again");
}
