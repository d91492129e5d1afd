#include "platform/AdsBinding.h"

#include "MachineTestSupport.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class AdsBinding : public TMachinesFolderTest {};

std::vector<std::u16string> ChildNames(std::u16string_view name) {
    TOleVariant container;
    EXPECT_EQ(ADsGetObject(name, container), hr::S_OK);
    std::vector<std::u16string> names;
    auto items = container.NewEnum();
    TOleVariant item;
    while (items->Next(item))
        names.push_back(item.Property(u"Name").AsText() + u":" + item.Property(u"Class").AsText());
    return names;
}

} // namespace

TEST_F(AdsBinding, LocalNamesReachTheDefaultMachine) {
    for (const std::u16string& machine : std::vector<std::u16string>{u"localhost", u"LOCALHOST", u"127.0.0.1", ComputerName()}) {
        const TOleVariant site = Bind(u"IIS://" + machine + u"/w3svc/1");
        EXPECT_EQ(site.Property(u"Class").AsText(), u"IIsWebServer");
        EXPECT_EQ(site.Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
    }
    EXPECT_TRUE(std::filesystem::is_directory(Folder() / "localhost" / "drives"));
}

TEST_F(AdsBinding, EachStepRaisesItsHResult) {
    MakeMachine(u"NOIIS", [](TMachineState& state) { state.Metabase.reset(); });
    struct TRow {
        std::u16string Name;
        int32_t Code;
    } rows[] = {
        {u"IIS://localhost/w3svc", 0},
        {u"iis://localhost/W3SVC/", 0},
        {u"IIS://localhost", 0},
        {u"LDAP://localhost/w3svc", hr::MkSyntax},
        {u"IIS:localhost", hr::MkSyntax},
        {u"IIS://", hr::MkSyntax},
        {u"IIS:///w3svc", hr::MkSyntax},
        {u"IIS://NOIIS/w3svc", hr::MkSyntax},
        {u"IIS://nosuchhost/w3svc", hr::ServerUnavailable},
        {u"IIS://../w3svc", hr::ServerUnavailable},
        {u"IIS://localhost/w3svc/99", hr::PathNotFound},
        {u"IIS://localhost/w3svc//1", hr::PathNotFound},
        {u"IIS://localhost/Schema/NoSuchClass", hr::PathNotFound},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(ErrorOf([&] { Bind(row.Name); }), row.Code) << Utf16ToUtf8(row.Name);
        // Asking whether a key is there: a missing one is an empty answer, every
        // other failure raises as before.
        bool empty = false;
        const int32_t code = ErrorOf([&] {
            const TBindCtx context = CreateBindCtx();
            empty = BindMonikerToObjectIfFound(context, MkParseDisplayName(context, row.Name)).IsEmpty();
        });
        EXPECT_EQ(code, row.Code == hr::PathNotFound ? 0 : row.Code) << Utf16ToUtf8(row.Name);
        EXPECT_EQ(empty, row.Code == hr::PathNotFound) << Utf16ToUtf8(row.Name);
    }
}

TEST_F(AdsBinding, NoLocalMetabaseMeansNoProvider) {
    TMachineState state = BuildDefaultMachineState(u"HOST");
    state.Metabase.reset();
    CreateMachine(u"localhost", state);
    MakeMachine(u"WEB2", [](TMachineState&) {});
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://localhost/w3svc"); }), hr::MkSyntax);
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://WEB2/w3svc"); }), hr::MkSyntax);
    TOleVariant container;
    EXPECT_EQ(ADsGetObject(u"IIS://localhost/w3svc", container), hr::MkSyntax);
}

TEST_F(AdsBinding, OtherMachinesAreFoldersIgnoringCase) {
    MakeMachine(u"Web2", [](TMachineState& state) {
        state.Metabase->Find(u"W3SVC/1")->SetValue(u"ServerComment", std::u16string(u"Web2 site"));
    });
    EXPECT_EQ(Bind(u"IIS://WEB2/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"Web2 site");
    EXPECT_EQ(Bind(u"IIS://localhost/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
}

TEST_F(AdsBinding, ObjectsAnswerNamesAndPaths) {
    const TOleVariant root = Bind(u"IIS://localhost/w3svc/1/root");
    EXPECT_EQ(root.Property(u"Name").AsText(), u"ROOT");
    EXPECT_EQ(root.Property(u"class").AsText(), u"IIsWebVirtualDir");
    EXPECT_EQ(root.Property(u"ADsPath").AsText(), u"IIS://localhost/W3SVC/1/ROOT");
    EXPECT_EQ(root.Property(u"Parent").AsText(), u"IIS://localhost/W3SVC/1");
    EXPECT_EQ(root.Property(u"Schema").AsText(), u"IIS://localhost/Schema/IIsWebVirtualDir");
    EXPECT_EQ(Bind(u"IIS://localhost").Property(u"Class").AsText(), u"IIsComputer");
}

TEST_F(AdsBinding, EnumerationKeepsMetabaseOrder) {
    EXPECT_EQ(ChildNames(u"IIS://localhost/w3svc"),
              (std::vector<std::u16string>{u"Info:IIsWebInfo", u"Filters:IIsFilters", u"AppPools:IIsApplicationPools",
                                           u"1:IIsWebServer", u"2:IIsWebServer"}));
    EXPECT_EQ(ChildNames(u"IIS://localhost/w3svc/1/ROOT"),
              (std::vector<std::u16string>{u"images:IIsWebDirectory", u"Scripts:IIsWebVirtualDir",
                                           u"Printers:IIsWebVirtualDir"}));
    EXPECT_EQ(ChildNames(u"IIS://localhost/w3svc/1/ROOT/images"), std::vector<std::u16string>{});
}

TEST_F(AdsBinding, ContainerOpeningReturnsTheFailureCode) {
    TOleVariant container;
    EXPECT_EQ(ADsGetObject(u"IIS://localhost/w3svc/77", container), hr::PathNotFound);
    EXPECT_TRUE(container.IsEmpty());
    EXPECT_EQ(ADsGetObject(u"IIS://elsewhere/w3svc", container), hr::ServerUnavailable);
}

TEST_F(AdsBinding, SchemaObjects) {
    const TOleVariant cls = Bind(u"IIS://localhost/Schema/IIsWebServer");
    EXPECT_EQ(cls.Property(u"Class").AsText(), u"Class");
    const TOleVariant mandatory = cls.Property(u"MandatoryProperties");
    ASSERT_EQ(mandatory.HighBound(), 0);
    EXPECT_EQ(mandatory[0].AsText(), u"KeyType");
    EXPECT_EQ(cls.Property(u"OptionalProperties").HighBound(), 217 - 1);
    EXPECT_TRUE(cls.Property(u"Container").AsBoolean());

    struct TRow {
        std::u16string Property, Syntax;
        bool Secure, Inherit;
    } rows[] = {
        {u"ServerBindings", u"List", false, false},
        {u"serverComment", u"String", false, false},
        {u"LogFileDirectory", u"ExpandSz", false, true},
        {u"SSLCertHash", u"Binary", false, false},
        {u"AccessFlags", u"Integer", false, true},
        {u"AuthAnonymous", u"Boolean", false, true},
        {u"IPSecurity", u"IPSec", false, true},
        {u"AnonymousUserPass", u"String", true, true},
        {u"UNCPassword", u"String", true, false},
        {u"MimeMap", u"MimeMap", false, false},
        {u"AdminACL", u"NTAcl", false, true},
    };
    for (const TRow& row : rows) {
        const TOleVariant property = Bind(u"IIS://localhost/Schema/" + row.Property);
        EXPECT_EQ(property.Property(u"Syntax").AsText(), row.Syntax) << Utf16ToUtf8(row.Property);
        EXPECT_EQ(property.Property(u"Secure").AsBoolean(), row.Secure) << Utf16ToUtf8(row.Property);
        EXPECT_EQ(property.Property(u"Inherit").AsBoolean(), row.Inherit) << Utf16ToUtf8(row.Property);
    }
    EXPECT_EQ(Bind(u"IIS://localhost/Schema").Property(u"Class").AsText(), u"Schema");
}

// The machines folder follows the environment between binds.
TEST_F(AdsBinding, AnotherMachinesFolderIsSeenByTheNextBind) {
    MakeMachine(u"Web2", [](TMachineState& state) {
        state.Metabase->Find(u"W3SVC/1")->SetValue(u"ServerComment", std::u16string(u"first folder"));
    });
    EXPECT_EQ(Bind(u"IIS://web2/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"first folder");
    const std::filesystem::path other = Folder() / "other";
    std::filesystem::create_directories(other);
    setenv("ORVEX_MACHINES", other.c_str(), 1);
    EXPECT_EQ(MachinesFolder(), other);
    MakeMachine(u"Web2", [](TMachineState& state) {
        state.Metabase->Find(u"W3SVC/1")->SetValue(u"ServerComment", std::u16string(u"second folder"));
    });
    EXPECT_EQ(Bind(u"IIS://WEB2/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"second folder");
    setenv("ORVEX_MACHINES", Folder().c_str(), 1);
    EXPECT_EQ(Bind(u"IIS://Web2/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"first folder");
    // Unset or empty: beside the executable.
    const std::filesystem::path beside = std::filesystem::path(Utf16ToUtf8(ExecutableFolder())) / "machines";
    setenv("ORVEX_MACHINES", "", 1);
    EXPECT_EQ(MachinesFolder(), beside);
    unsetenv("ORVEX_MACHINES");
    EXPECT_EQ(MachinesFolder(), beside);
    setenv("ORVEX_MACHINES", Folder().c_str(), 1);
    EXPECT_EQ(MachinesFolder(), Folder());
}

// A site file edited in place (which the open machine does not notice) is read
// again after CloseMachines().
TEST_F(AdsBinding, AFolderChangedAfterCloseMachinesIsReadAgain) {
    MakeMachine(u"Web2", [](TMachineState&) {});
    const TOleVariant before = Bind(u"IIS://Web2/W3SVC/1");
    EXPECT_EQ(before.Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
    const std::filesystem::path site = Folder() / "Web2" / "Sites" / "1.xml";
    std::string text;
    {
        std::ifstream in(site, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    text.replace(text.find("Default Web Site"), 16, "Changed");
    std::ofstream(site, std::ios::binary | std::ios::trunc) << text;
    CloseMachines();
    EXPECT_EQ(Bind(u"IIS://Web2/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"Changed");
    EXPECT_EQ(Bind(u"IIS://Web2/Schema/ServerComment").Property(u"Syntax").AsText(), u"String");
    // An object bound before keeps the machine it was bound on.
    EXPECT_EQ(before.Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
}

// Schema objects are bound against the open machine as it stands, until the open
// machines are dropped.
TEST_F(AdsBinding, SchemaBindsFollowCloseMachines) {
    MakeMachine(u"Web2", [](TMachineState&) {});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Bind(u"IIS://Web2/Schema/ServerComment").Property(u"Syntax").AsText(), u"String");
    std::filesystem::remove_all(Folder() / "Web2");
    EXPECT_EQ(Bind(u"IIS://web2/Schema/ServerComment").Property(u"Name").AsText(), u"ServerComment");
    // Gone while the program runs: an error of the machine's files, not a machine
    // that was never there.
    EXPECT_THROW(Bind(u"IIS://Web2/W3SVC"), EMachineFilesError);
    CloseMachines();
    EXPECT_THROW(Bind(u"IIS://Web2/Schema/ServerComment"), EMachineFilesError);
    // Made again under another machines folder.
    const std::filesystem::path other = Folder() / "other";
    std::filesystem::create_directories(other);
    setenv("ORVEX_MACHINES", other.c_str(), 1);
    MakeMachine(u"Web2", [](TMachineState&) {});
    EXPECT_EQ(Bind(u"IIS://Web2/Schema/ServerComment").Property(u"Secure").AsBoolean(), false);
    setenv("ORVEX_MACHINES", Folder().c_str(), 1);
    EXPECT_THROW(Bind(u"IIS://Web2/Schema/ServerComment"), EMachineFilesError);
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://Web3/Schema/ServerComment"); }), hr::ServerUnavailable);
}

// Only metabase objects of a machine without planted faults are read on several
// threads: a fault that fires a number of times meets the calls in their order.
TEST_F(AdsBinding, OnlyMetabaseObjectsOfMachinesWithoutFaultsAreReadOnThreads) {
    MakeMachine(u"FAULTY", [](TMachineState&) {});
    WriteFaults("FAULTY", "Get|W3SVC/1|ServerComment|0x80070005|0|2\n");
    const std::pair<std::u16string, bool> rows[] = {
        {u"IIS://localhost/W3SVC", true},   {u"IIS://localhost", true},
        {u"IIS://localhost/Schema", false}, {u"IIS://localhost/Schema/IIsWebServer", false},
        {u"IIS://FAULTY/W3SVC", false},
    };
    for (const auto& [name, threads] : rows)
        EXPECT_EQ(MayReadOnThreads(Bind(name)), threads) << Utf16ToUtf8(name);
}
