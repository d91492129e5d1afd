#include "platform/MachineFacts.h"

#include "base/CodePage1252.h"

#include "MachineTestSupport.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class MachineFacts : public TMachinesFolderTest {};

std::vector<std::string> LocalAddresses() {
    std::vector<std::string> list;
    WSAStartup(0x0101);
    char name[64];
    GetHostName(name, sizeof name);
    if (std::optional<THostEntry> host = GetHostByName(name))
        for (const TIPv4Address& address : host->Addresses)
            list.push_back(InetNtoa(address));
    WSACleanup();
    return list;
}

} // namespace

TEST_F(MachineFacts, RegistryReadsMajorVersionWithoutCreatingKeys) {
    std::optional<TRegistryKey> key = TRegistryKey::OpenLocalMachineKey(u"software\\microsoft\\INETSTP");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger(u"MajorVersion"), 6);
    EXPECT_EQ(key->ReadString(u"PathWWWRoot"), u"C:\\Inetpub\\wwwroot");
    EXPECT_TRUE(TRegistryKey::OpenLocalMachineKey(u"Software\\Microsoft"));
    EXPECT_FALSE(TRegistryKey::OpenLocalMachineKey(u"Software\\Micro"));
    try {
        key->ReadInteger(u"PathWWWRoot");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'PathWWWRoot'");
    }
    try {
        key->ReadInteger(u"NoSuchValue");
        ADD_FAILURE();
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'NoSuchValue'");
    }
}

TEST_F(MachineFacts, MachineWithoutIisHasNoKeyAndOpeningDoesNotMakeOne) {
    TMachineState state = BuildDefaultMachineState(ComputerName());
    state.Facts.Registry.clear();
    CreateMachine(u"localhost", state);
    EXPECT_FALSE(TRegistryKey::OpenLocalMachineKey(u"Software\\Microsoft\\InetStp"));
    CloseMachines();
    EXPECT_FALSE(TRegistryKey::OpenLocalMachineKey(u"Software\\Microsoft\\InetStp"));
}

TEST_F(MachineFacts, HostLookupGivesTheLocalAddressesInOrder) {
    EXPECT_EQ(LocalAddresses(), (std::vector<std::string>{"192.168.10.5", "10.0.0.20"}));
    MakeMachine(u"localhost", [](TMachineState& state) {
        state.Facts.ComputerName = u"WEBSRV1";
        state.Facts.IPv4Addresses = {u"10.0.0.5", u"10.0.0.6", u"10.0.0.5"};
    });
    EXPECT_EQ(LocalAddresses(), (std::vector<std::string>{"10.0.0.5", "10.0.0.6", "10.0.0.5"}));
    char name[64];
    ASSERT_EQ(GetHostName(name, sizeof name), 0);
    EXPECT_STREQ(name, "WEBSRV1");
    EXPECT_EQ(GetHostName(name, 7), -1);
    EXPECT_EQ(GetHostByName("localhost")->Addresses, (std::vector<TIPv4Address>{TIPv4Address{127, 0, 0, 1}}));
    EXPECT_FALSE(GetHostByName("unknown-host"));
    EXPECT_FALSE(GetHostByName(""));
}

TEST_F(MachineFacts, HostWithoutAddressesResolvesToAnEmptyList) {
    MakeMachine(u"localhost", [](TMachineState& state) {
        state.Facts.ComputerName = u"LONELY";
        state.Facts.IPv4Addresses.clear();
    });
    EXPECT_EQ(LocalAddresses(), std::vector<std::string>{});
}

TEST(IPv4Text, StrictDottedDecimal) {
    EXPECT_EQ(ParseIPv4(u"192.168.0.255"), (TIPv4Address{192, 168, 0, 255}));
    for (std::u16string_view bad : {u"", u"1.2.3", u"1.2.3.4.5", u"256.1.1.1", u"1..2.3", u"1.2.3.4 ", u"a.b.c.d", u"0001.1.1.1"})
        EXPECT_FALSE(ParseIPv4(bad)) << Utf16ToUtf8(bad);
    EXPECT_EQ(InetNtoa({0, 10, 100, 255}), "0.10.100.255");
}

TEST_F(MachineFacts, DrivePathsExistIgnoringCase) {
    struct TRow {
        std::u16string_view Path;
        bool Folder, File;
    } rows[] = {
        {u"C:\\Inetpub\\wwwroot", true, false},
        {u"c:\\INETPUB\\WWWROOT\\", true, false},
        {u"C:/Inetpub/wwwroot", true, false},
        {u"C:\\Inetpub\\wwwroot\\iisstart.htm", false, true},
        {u"C:\\WINDOWS\\system32\\inetsrv\\ASP.DLL", false, true},
        {u"D:\\Sites\\Intranet\\Documents", true, false},
        {u"C:\\", true, false},
        {u"C:\\Inetpub\\missing", false, false},
        {u"E:\\", false, false},
        {u"C:\\Inetpub\\..\\Inetpub", false, false},
        {u"C:\\Inetpub\\.\\wwwroot", false, false},
        {u"C:Inetpub", false, false},
        {u"\\\\fileserver\\reports", false, false},
        {u"Inetpub\\wwwroot", false, false},
        {u"C:\\Inetpub\\www*", false, false},
        {u"C:\\Inetpub\\\\wwwroot", false, false},
        {u"", false, false},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(MachineDirectoryExists(row.Path), row.Folder) << Utf16ToUtf8(row.Path);
        EXPECT_EQ(MachineFileExists(row.Path), row.File) << Utf16ToUtf8(row.Path);
        EXPECT_EQ(MachinePathExists(row.Path), row.File || row.Folder) << Utf16ToUtf8(row.Path);
    }
}

TEST_F(MachineFacts, DrivesCanBeBuiltForTestMachines) {
    OpenMachine(u"");
    CreateDriveFolder(Folder() / "localhost", u"F:\\Data\\Web");
    CreateDriveFile(Folder() / "localhost", u"F:\\Data\\Web\\index.htm");
    EXPECT_TRUE(MachineDirectoryExists(u"f:\\data\\web"));
    EXPECT_TRUE(MachineFileExists(u"F:\\Data\\Web\\INDEX.htm"));
    CreateDriveFolder(Folder() / "localhost", u"F:\\Donn\u00E9es");
    EXPECT_TRUE(MachineDirectoryExists(u"f:\\DONN\u00C9ES"));
    EXPECT_THROW(CreateDriveFolder(Folder() / "localhost", u"F:\\..\\escape"), EMachineError);
    EXPECT_EQ(DrivePathInFolder("/m", u"c:\\a\\b"), std::filesystem::path("/m/drives/C/a/b"));
}
