#include "platform/MachineFaults.h"

#include "platform/MachineState.h"
#include "platform/Pop3Admin.h"

#include "MachineTestSupport.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class MachineFaults : public TMachinesFolderTest {
protected:
    void SetUp() override {
        TMachinesFolderTest::SetUp();
        OpenMachine(u"");  // creates folder "localhost"
    }
};

} // namespace

TEST(MachineFaultsFile, ParsesFieldsAndRefusesMalformedLines) {
    TMachineFaults faults = TMachineFaults::Parse(
        "# comment\r\n\r\nGet|W3SVC/1|ServerComment|0x80070005\nPop3|Config.Create||-2147467259|1008|1\n", "F.txt");
    EXPECT_EQ(ErrorOf([&] { faults.Check(u"get", u"w3svc/1", u"servercomment"); }), hr::E_ACCESSDENIED);
    EXPECT_EQ(ErrorOf([&] { faults.Check(u"Get", u"W3SVC/2", u"ServerComment"); }), 0);
    EXPECT_EQ(ErrorOf([&] { faults.Check(u"Pop3", u"Config.Create", u""); }), hr::E_FAIL);
    EXPECT_EQ(GetLastOsError(), 1008u);
    EXPECT_EQ(ErrorOf([&] { faults.Check(u"Pop3", u"Config.Create", u""); }), 0);  // once only

    for (const char* bad : {"Get|W3SVC|x", "Get|W3SVC|x|0xZZ", "|W3SVC|x|1", "Get|a|b|1|2|3|4", "Get|a|b|1|-5",
                            "Get|a|b|0x100000000", "Get|a|b|1|2|-1"}) {
        try {
            TMachineFaults::Parse(std::string("# ok\n") + bad + "\n", "/m/Faults.txt");
            ADD_FAILURE() << bad;
        } catch (const EMachineError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Faults file \"/m/Faults.txt\", line 2: expected Operation|Path|Name|HRESULT[|LastError[|Times]]");
        }
    }
}

TEST(MachineFaultsFile, TheFirstMatchingLiveFaultInFileOrderFires) {
    struct TCall {
        const char16_t* Operation;
        const char16_t* Path;
        const char16_t* Name;
        int32_t Code;  // 0: none fires
    };
    const struct {
        const char* Faults;
        std::vector<TCall> Calls;
    } rows[] = {
        // An exact fault and a wildcard one that both match, in both file orders.
        {"Get|W3SVC/1|A|1\nGet|*|A|2\n", {{u"Get", u"W3SVC/1", u"A", 1}, {u"Get", u"W3SVC/2", u"A", 2}}},
        {"Get|*|A|2\nGet|W3SVC/1|A|1\n", {{u"Get", u"W3SVC/1", u"A", 2}, {u"Get", u"W3SVC/2", u"A", 2}}},
        {"Get|W3SVC/1||3\nGet||A|4\n", {{u"Get", u"W3SVC/1", u"A", 3}, {u"Get", u"W3SVC/2", u"A", 4}}},
        {"Get||A|4\nGet|W3SVC/1|*|3\n", {{u"Get", u"W3SVC/1", u"A", 4}, {u"Get", u"W3SVC/1", u"B", 3}}},
        {"Get|*|*|5\nGet|W3SVC/1|A|1\n", {{u"Get", u"W3SVC/1", u"A", 5}}},
        {"Get|W3SVC/1|A|1\nGet|||6\n", {{u"Get", u"W3SVC/1", u"A", 1}, {u"Get", u"", u"", 6}, {u"Get", u"*", u"B", 6}}},
        // Times counts down, wildcard and exact faults interleaved; a used-up fault
        // lets the next matching one fire.
        {"Get|W3SVC/1|A|1||1\nGet|*|A|2||2\nGet|W3SVC/1|A|3||1\nGet|W3SVC/1|*|4\n",
         {{u"Get", u"W3SVC/1", u"A", 1}, {u"Get", u"W3SVC/2", u"A", 2}, {u"Get", u"W3SVC/1", u"A", 2},
          {u"Get", u"W3SVC/1", u"A", 3}, {u"Get", u"W3SVC/1", u"A", 4}, {u"Get", u"W3SVC/2", u"A", 0},
          {u"Get", u"W3SVC/1", u"B", 4}}},
        {"Get|W3SVC/1|A|1||2\nget|w3svc/1|a|2||1\nGet|*|a|3|0|1\nGet|W3SVC/1|A|4\n",
         {{u"Get", u"W3SVC/1", u"A", 1}, {u"Get", u"W3SVC/1", u"A", 1}, {u"Get", u"W3SVC/1", u"A", 2},
          {u"Get", u"W3SVC/1", u"A", 3}, {u"Get", u"W3SVC/1", u"A", 4}, {u"Get", u"W3SVC/1", u"A", 4}}},
        // ASCII letters fold in operations, paths and names; other letters do not.
        {"gET|w3svc/1|servercomment|7\n",
         {{u"Get", u"W3SVC/1", u"ServerComment", 7}, {u"GET", u"W3SVC/1", u"SERVERCOMMENT", 7},
          {u"Get", u"W3SVC/1", u"ServerComment2", 0}, {u"Get", u"W3SVC/10", u"ServerComment", 0},
          {u"Put", u"W3SVC/1", u"ServerComment", 0}}},
        {"Get|\u00c4|\u00e9|8\n", {{u"Get", u"\u00e4", u"\u00e9", 0}, {u"Get", u"\u00c4", u"\u00c9", 0}, {u"gEt", u"\u00c4", u"\u00e9", 8}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Faults);
        TMachineFaults faults = TMachineFaults::Parse(row.Faults, "F.txt");
        for (size_t i = 0; i < row.Calls.size(); ++i) {
            const TCall& call = row.Calls[i];
            EXPECT_EQ(ErrorOf([&] { faults.Check(call.Operation, call.Path, call.Name); }), call.Code) << "call " << i;
        }
    }
}

TEST_F(MachineFaults, PlantedFaultsReachEveryCall) {
    WriteFaults("localhost",
                "Bind|W3SVC/2||0x80070005\n"
                "Get|W3SVC/1|ServerComment|0x80070006\n"
                "SetInfo|W3SVC/1||0x80070070\n"
                "Put|*|AuthBasic|0x80070057\n"
                "Enum|W3SVC/1||0x80070005\n"
                "Create|W3SVC|9|0x80070008\n"
                "Call|W3SVC|AddExtensionFile|0x80004005||1\n"
                "Call|W3SVC/1/ROOT|GetPropertyAttribObj|0x80004005\n"
                "Pop3|Domains.Item|example.com|0x80004005\n");
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://localhost/w3svc/2"); }), hr::E_ACCESSDENIED);
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/1");
    EXPECT_EQ(ErrorOf([&] { site.Call(u"Get", u"ServerComment"); }), static_cast<int32_t>(0x80070006u));
    EXPECT_EQ(ErrorOf([&] { site.Property(u"ServerComment"); }), static_cast<int32_t>(0x80070006u));
    EXPECT_EQ(site.Call(u"Get", u"ServerBindings")[0].AsText(), u":80:");
    site.Call(u"Put", u"ServerAutoStart", false);
    EXPECT_EQ(ErrorOf([&] { site.Call(u"Put", u"AuthBasic", true); }), hr::E_INVALIDARG);
    EXPECT_EQ(ErrorOf([&] { site.Call(u"SetInfo"); }), static_cast<int32_t>(0x80070070u));
    EXPECT_TRUE(Bind(u"IIS://localhost/w3svc/1").Call(u"Get", u"ServerAutoStart").AsBoolean());
    TOleVariant container;
    EXPECT_EQ(ADsGetObject(u"IIS://localhost/w3svc/1", container), hr::E_ACCESSDENIED);
    EXPECT_EQ(ADsGetObject(u"IIS://localhost/w3svc", container), hr::S_OK);
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"Create", u"IIsWebServer", u"9"); }), static_cast<int32_t>(0x80070008u));
    // Fails once, then works: the restore's retry path.
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"AddExtensionFile", u"C:\\a.dll", true, u"A", true, u"A"); }), hr::E_FAIL);
    w3.Call(u"AddExtensionFile", u"C:\\a.dll", true, u"A", true, u"A");
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://localhost/w3svc/1/ROOT").Call(u"GetPropertyAttribObj", u"Path"); }), hr::E_FAIL);
    const TOleVariant domains = CreateP3Config().Property(u"Domains");
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Item", u"example.com"); }), hr::E_FAIL);
    EXPECT_EQ(domains.Call(u"Item", u"lists.example.com").Property(u"Lock").AsInteger(), 1);
}

TEST_F(MachineFaults, Pop3ConnectFaultsLeaveTheLastError) {
    WriteFaults("localhost", "Pop3|Config.Create||0x800703F0|1008\n");
    try {
        CreateP3Config();
        ADD_FAILURE();
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), hr::NoToken);
        EXPECT_EQ(e.LastOsError(), 1008u);
        EXPECT_EQ(GetLastOsError(), 1008u);
    }
}

TEST_F(MachineFaults, ADamagedFaultsFileFailsTheBindNamingIt) {
    WriteFaults("localhost", "nonsense\n");
    try {
        Bind(u"IIS://localhost/w3svc");
        ADD_FAILURE();
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), hr::E_FAIL);
        EXPECT_NE(std::string(e.what()).find("Faults.txt\", line 1"), std::string::npos) << e.what();
    }
}
