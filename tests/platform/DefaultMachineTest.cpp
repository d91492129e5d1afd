#include "platform/DefaultMachine.h"

#include "platform/MachineFacts.h"
#include "platform/MachineStorage.h"
#include "platform/MetabaseSchema.h"

#include "MachineTestSupport.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class DefaultMachine : public TMachinesFolderTest {};

// What the backup does per object: bind it, its class schema, and per property the
// attribute object, the property schema and the value; then the children.
size_t WalkLikeABackup(const std::u16string& machine, const std::u16string& path) {
    const TOleVariant object = BindToObject(u"IIS://" + machine + u"/" + path);
    const TOleVariant schema = BindToObject(u"IIS://" + machine + u"/Schema/" + object.Property(u"Class").AsText());
    size_t count = 1;
    for (const char16_t* list : {u"MandatoryProperties", u"OptionalProperties"}) {
        const TOleVariant names = schema.Property(list);
        for (int32_t i = 0; i <= names.HighBound(); ++i) {
            const std::u16string name = names[static_cast<size_t>(i)].AsText();
            if (object.Call(u"GetPropertyAttribObj", name).Property(u"IsInherit").AsBoolean())
                continue;
            const TOleVariant property = BindToObject(u"IIS://" + machine + u"/Schema/" + name);
            if (!property.Property(u"Secure").AsBoolean())
                object.Call(u"Get", name);
            (void)property.Property(u"Syntax").AsText();
        }
    }
    TOleVariant container;
    EXPECT_EQ(ADsGetObject(u"IIS://" + machine + u"/" + path, container), hr::S_OK);
    auto items = container.NewEnum();
    TOleVariant item;
    while (items->Next(item))
        count += WalkLikeABackup(machine, path + u"/" + item.Property(u"Name").AsText());
    return count;
}

} // namespace

TEST(MetabaseSchema, EveryClassPropertyIsDefined) {
    for (const TClassDef& cls : AllClassDefs())
        for (const auto* list : {&cls.Mandatory, &cls.Optional})
            for (std::u16string_view name : *list)
                EXPECT_TRUE(FindPropertyDef(name)) << Utf16ToUtf8(cls.Name) << " " << Utf16ToUtf8(name);
}

TEST(MetabaseSchema, ClassesHoldTheSupportedIds) {
    // Supported ids per class (KeyType is the mandatory one, the rest optional).
    struct TRow {
        std::u16string_view Class;
        size_t Optional;
    } rows[] = {
        {u"IIsWebService", 220 + 2}, {u"IIsWebInfo", 8},   {u"IIsFilters", 1},          {u"IIsFilter", 21},
        {u"IIsWebServer", 217},      {u"IIsWebVirtualDir", 119}, {u"IIsWebDirectory", 127},
        {u"IIsApplicationPools", 35}, {u"IIsApplicationPool", 35},
    };
    for (const TRow& row : rows) {
        const TClassDef* cls = FindClassDef(row.Class);
        ASSERT_TRUE(cls) << Utf16ToUtf8(row.Class);
        EXPECT_EQ(cls->Mandatory, std::vector<std::u16string_view>{u"KeyType"});
        EXPECT_EQ(cls->Optional.size(), row.Optional) << Utf16ToUtf8(row.Class);
    }
    EXPECT_TRUE(ClassHasProperty(*FindClassDef(u"iiswebserver"), u"serverbindings"));
    EXPECT_FALSE(ClassHasProperty(*FindClassDef(u"IIsWebServer"), u"Path"));
    EXPECT_TRUE(ClassHasProperty(*FindClassDef(u"IIsWebVirtualDir"), u"Path"));
    EXPECT_TRUE(ClassHasProperty(*FindClassDef(u"IIsWebServer"), u"CGITimeOut"));
}

TEST_F(DefaultMachine, ASmallRealisticServer) {
    OpenMachine(u"");
    EXPECT_EQ(WalkLikeABackup(u"localhost", u"W3SVC"), 22u);
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    EXPECT_EQ(w3.Call(u"Get", u"AnonymousUserName").AsText(), u"IUSR_" + ComputerName());
    for (std::u16string_view path : {u"C:\\Inetpub\\wwwroot", u"C:\\Inetpub\\scripts", u"C:\\WINDOWS\\web\\printers",
                                     u"D:\\Sites\\Intranet", u"D:\\Sites\\Intranet\\Documents"})
        EXPECT_TRUE(MachineDirectoryExists(path)) << Utf16ToUtf8(path);
    const TOleVariant list = w3.Call(u"Get", u"WebSvcExtRestrictionList");
    for (const TOleVariant& entry : list.AsArray()) {
        const std::u16string& text = entry.AsText();
        const size_t start = text.find(u',') + 1;
        const std::u16string file = text.substr(start, text.find(u',', start) - start);
        if (file.find(u'*') == std::u16string::npos) {
            EXPECT_TRUE(MachineFileExists(file)) << Utf16ToUtf8(file);
        }
    }
}

TEST_F(DefaultMachine, LargeMachineForBenchmarks) {
    CreateMachine(u"BIG", BuildLargeMachineState(u"BIG", 1000, 10));
    EXPECT_EQ(LoadMachineState(Folder() / "BIG").Metabase->Find(u"W3SVC")->Children().size(), 3u + 1000u);
    EXPECT_EQ(Bind(u"IIS://BIG/W3SVC/1000/ROOT/dir10").Call(u"Get", u"Path").AsText(), u"D:\\Sites\\Site1000\\dir10");
    EXPECT_EQ(Bind(u"IIS://BIG/W3SVC/17").Call(u"Get", u"ServerBindings")[0].AsText(), u":80:site17.example.com");
    EXPECT_EQ(WalkLikeABackup(u"BIG", u"W3SVC/1000"), 13u);
}

TEST_F(DefaultMachine, ASiteChangeOnALargeMachineWritesOneSmallFile) {
    CreateMachine(u"BIG", BuildLargeMachineState(u"BIG", 1000, 10));
    const std::filesystem::path folder = Folder() / "BIG";
    const auto mainFile = std::filesystem::last_write_time(folder / "Metabase.xml");
    const auto otherSite = std::filesystem::last_write_time(folder / "Sites" / "499.xml");
    const TOleVariant dir = Bind(u"IIS://BIG/W3SVC/500/ROOT/dir3");
    dir.Call(u"Put", u"Path", u"E:\\Moved");
    dir.Call(u"SetInfo");
    EXPECT_EQ(std::filesystem::last_write_time(folder / "Metabase.xml"), mainFile);
    EXPECT_EQ(std::filesystem::last_write_time(folder / "Sites" / "499.xml"), otherSite);
    EXPECT_LT(std::filesystem::file_size(folder / "Sites" / "500.xml"), 8000u);
    CloseMachines();
    EXPECT_EQ(Bind(u"IIS://BIG/W3SVC/500/ROOT/dir3").Call(u"Get", u"Path").AsText(), u"E:\\Moved");
}
