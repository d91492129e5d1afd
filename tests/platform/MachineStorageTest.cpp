#include "platform/MachineStorage.h"

#include "platform/MachineFacts.h"
#include "platform/Pop3Admin.h"

#include "MachineTestSupport.h"

#include <sys/stat.h>

#include <cstdio>
#include <functional>

using namespace orvex;
using namespace orvex::testing;

namespace {

class MachineStorage : public TMachinesFolderTest {
protected:
    std::string Read(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }
    std::vector<std::string> FileNames(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// A machine small enough to check byte for byte.
TMachineState TinyMachine() {
    TMachineState state;
    state.Facts.ComputerName = u"TINY";
    state.Facts.IPv4Addresses = {u"10.0.0.1"};
    state.Facts.Registry = {{u"Software\\Microsoft\\InetStp", u"MajorVersion", 6}};
    state.Metabase = std::make_unique<TMetabase>();
    TMetaObject& w3 = state.Metabase->Root().AddChild(u"W3SVC", u"IIsWebService");
    w3.SetValue(u"KeyType", std::u16string(u"IIsWebService"));
    w3.SetValue(u"AuthAnonymous", true);
    TMetaObject& site = w3.AddChild(u"1", u"IIsWebServer");
    site.SetValue(u"ServerComment", std::u16string(u"A & \"B\" <C>"));
    site.SetValue(u"ServerBindings", TextArray({u":80:"}));
    site.SetValue(u"SSLCertHash", TOleVariant(std::vector<TOleVariant>{0, 255}));
    return state;
}

} // namespace

TEST_F(MachineStorage, FilesAreReadableXml) {
    CreateMachine(u"TINY", TinyMachine());
    EXPECT_EQ(FileNames(Folder() / "TINY"), (std::vector<std::string>{"Machine.xml", "Metabase.xml", "Sites", "drives"}));
    EXPECT_EQ(FileNames(Folder() / "TINY" / "Sites"), std::vector<std::string>{"1.xml"});
    EXPECT_EQ(Read(Folder() / "TINY" / "Machine.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Machine computerName=\"TINY\">\r\n"
              "  <Address value=\"10.0.0.1\"/>\r\n"
              "  <Registry key=\"Software\\Microsoft\\InetStp\" name=\"MajorVersion\" type=\"Integer\" value=\"6\"/>\r\n"
              "</Machine>\r\n");
    EXPECT_EQ(Read(Folder() / "TINY" / "Metabase.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Metabase>\r\n"
              "  <Key name=\"W3SVC\" class=\"IIsWebService\">\r\n"
              "    <Value id=\"KeyType\" type=\"String\" value=\"IIsWebService\"/>\r\n"
              "    <Value id=\"AuthAnonymous\" type=\"Boolean\" value=\"True\"/>\r\n"
              "    <Key name=\"1\" class=\"IIsWebServer\" file=\"Sites/1.xml\"/>\r\n"
              "  </Key>\r\n"
              "</Metabase>\r\n");
    EXPECT_EQ(Read(Folder() / "TINY" / "Sites" / "1.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Site name=\"1\">\r\n"
              "  <Value id=\"ServerComment\" type=\"String\" value=\"A &amp; &quot;B&quot; &lt;C&gt;\"/>\r\n"
              "  <Value id=\"ServerBindings\" type=\"List\">\r\n"
              "    <Item value=\":80:\"/>\r\n"
              "  </Value>\r\n"
              "  <Value id=\"SSLCertHash\" type=\"Binary\">\r\n"
              "    <Item value=\"0\"/>\r\n"
              "    <Item value=\"255\"/>\r\n"
              "  </Value>\r\n"
              "</Site>\r\n");
}

TEST_F(MachineStorage, DefaultMachineSurvivesAWriteAndARead) {
    const TMachineState state = BuildDefaultMachineState(u"WEBSRV1");
    CreateMachine(u"copy", state);
    const TMachineState back = LoadMachineState(Folder() / "copy");
    CreateMachine(u"copy2", back);
    for (const char* file : {"Machine.xml", "Metabase.xml", "Pop3.xml"})
        EXPECT_EQ(Read(Folder() / "copy" / file), Read(Folder() / "copy2" / file)) << file;
    EXPECT_EQ(back.Metabase->Root().CountKeys(), state.Metabase->Root().CountKeys());
    EXPECT_EQ(back.Pop3->Domains.size(), 2u);
    EXPECT_EQ(back.Pop3->SmtpDomains, std::vector<std::u16string>{u"relay.example.com"});
}

TEST_F(MachineStorage, ControlAndNonAsciiCharactersSurvive) {
    const std::u16string text = u"tab\there\r\nline \u00E9\u4E2D\U0001F600 'q' &amp;";
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/1");
    site.Call(u"Put", u"ServerComment", text);
    site.Call(u"Put", u"HttpCustomHeaders", TextArray({text, u""}));
    site.Call(u"SetInfo");
    CloseMachines();
    const TOleVariant back = Bind(u"IIS://localhost/w3svc/1");
    EXPECT_EQ(back.Call(u"Get", u"ServerComment").AsText(), text);
    EXPECT_EQ(back.Call(u"Get", u"HttpCustomHeaders")[0].AsText(), text);
    EXPECT_EQ(back.Call(u"Get", u"HttpCustomHeaders")[1].AsText(), u"");
}

TEST_F(MachineStorage, ChangesOnDiskAreSeenByTheNextBind) {
    CreateMachine(u"TINY", TinyMachine());
    EXPECT_EQ(Bind(u"IIS://TINY/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"A & \"B\" <C>");
    EXPECT_TRUE(Bind(u"IIS://TINY/W3SVC").Call(u"Get", u"AuthAnonymous").AsBoolean());
    std::string metabase = Read(Folder() / "TINY" / "Metabase.xml");
    metabase.replace(metabase.find("value=\"True\""), 12, "value=\"False\"");
    Write(Folder() / "TINY" / "Metabase.xml", metabase);  // edited in place
    EXPECT_FALSE(Bind(u"IIS://TINY/W3SVC").Call(u"Get", u"AuthAnonymous").AsBoolean());
    // A site file replaced by another one.
    std::string site = Read(Folder() / "TINY" / "Sites" / "1.xml");
    site.replace(site.find("A &amp; &quot;B&quot; &lt;C&gt;"), 31, "Edited by hand");
    Write(Folder() / "TINY" / "Sites" / "new.tmp", site);
    std::filesystem::rename(Folder() / "TINY" / "Sites" / "new.tmp", Folder() / "TINY" / "Sites" / "1.xml");
    EXPECT_EQ(Bind(u"IIS://TINY/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"Edited by hand");
}

TEST_F(MachineStorage, DamagedFilesGiveAnErrorNamingThemAndStayUntouched) {
    struct TRow {
        const char* File;
        std::string Text;
        std::string Why;
    } rows[] = {
        {"Metabase.xml", "<Metabase><Key name=\"W3SVC\" class=\"IIsWebService\">", ""},
        {"Metabase.xml", "<Other/>", "the root element is not Metabase"},
        {"Metabase.xml", "<Metabase><Value id=\"Nope\" type=\"String\" value=\"\"/></Metabase>", "unknown property \"Nope\""},
        {"Metabase.xml", "<Metabase><Key name=\"W3SVC\" class=\"IIsWebService\"><Value id=\"MaxConnections\" type=\"Integer\" value=\"3.5\"/></Key></Metabase>",
         "value=\"3.5\" is not a 32-bit integer"},
        {"Metabase.xml", "<Metabase><Key name=\"W3SVC\" class=\"IIsWebService\"><Value id=\"MaxConnections\" type=\"String\" value=\"3\"/></Key></Metabase>",
         "property \"MaxConnections\" is not of type Integer"},
        {"Metabase.xml", "<Metabase><Key name=\"a\" class=\"IIsWebService\"/><Key name=\"A\" class=\"IIsWebService\"/></Metabase>",
         "key name \"A\" is empty, \".\" or \"..\", holds \"/\" or is used twice"},
        {"Metabase.xml", "<Metabase><Key class=\"IIsWebService\"/></Metabase>", "<Key> lacks the attribute name"},
        {"Pop3.xml", "<Pop3/>", "<Pop3> lacks the attribute loggingLevel"},
        {"Machine.xml", "<Machine computerName=\"X\"><Registry key=\"k\" name=\"n\" type=\"Binary\" value=\"\"/></Machine>",
         "registry type \"Binary\" is neither Integer nor String"},
        {"Machine.xml", "", ""},
        {"Sites/1.xml", "", ""},
        {"Sites/1.xml", "<Site name=\"2\"/>", "it holds site \"2\""},
        {"Metabase.xml", "<Metabase><Key name=\"W3SVC\" class=\"IIsWebService\"><Key name=\"1\" class=\"IIsWebServer\" "
                         "file=\"Sites/../Machine.xml\"/></Key></Metabase>",
         "site \"1\" refers to \"Sites/../Machine.xml\""},
    };
    for (const TRow& row : rows) {
        CloseMachines();
        CreateMachine(u"BAD", TinyMachine());
        TMachineState good = BuildDefaultMachineState(u"BAD");
        CreateMachine(u"BAD", good);
        const std::filesystem::path file = Folder() / "BAD" / row.File;
        Write(file, row.Text);
        try {
            Bind(u"IIS://BAD/W3SVC");
            ADD_FAILURE() << row.Text;
        } catch (const EOleSysError& e) {
            const std::string prefix = "Machine file \"" + file.string() + "\" is damaged: ";
            EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
            if (!row.Why.empty()) {
                EXPECT_NE(std::string(e.what()).find(row.Why), std::string::npos) << e.what();
            }
        }
        EXPECT_EQ(Read(file), row.Text);
        EXPECT_EQ(ErrorOf([] { CreateP3Config().SetProperty(u"MachineName", u"BAD"); }), hr::E_FAIL);
        EXPECT_EQ(Read(file), row.Text);
    }
}

// A machine file past the bound is never read, and one that outgrows the memory
// left is named: the run says which file, never just that memory ran out.
TEST_F(MachineStorage, AFileTooLargeToReadIsNamed) {
    const std::filesystem::path file = Folder() / "BIG" / "Metabase.xml";
    const struct {
        const char* Case;
        std::function<void()> Make;
        std::function<bool()> Restrict;  // in the child that reads it
        std::string Why;
    } rows[] = {
        {"past the bound", [&] { std::filesystem::resize_file(file, kMostMachineFileBytes + 1); }, [] { return true; },
         "cannot be read: it is larger than " + std::to_string(kMostMachineFileBytes) + " bytes"},
        {"beyond the memory left",
         [&] {
             std::string bytes = Read(file);
             bytes.insert(bytes.find("<Metabase>") + 10, "<!--" + std::string(64 << 20, 'x') + "-->");
             Write(file, bytes);
         },
         [] { return LimitMemoryToRoomFor(96 << 20); },  // room for the file, not for its tree
         "cannot be read: there is not enough memory to read it"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Case);
        CloseMachines();
        CreateMachine(u"BIG", BuildDefaultMachineState(u"BIG"));
        row.Make();
        EXPECT_TRUE(InChild([&] {
            if (!row.Restrict())
                return true;
            const std::string message = MessageOf<EMachineError>([] { OpenMachine(u"BIG"); });
            const bool named = message == "Machine file \"" + file.string() + "\" " + row.Why;
            if (!named)
                std::fprintf(stderr, "%s\n", message.c_str());
            return named;
        }));
    }
}

TEST_F(MachineStorage, ADamagedLocalMachineIsNeverReplaced) {
    OpenMachine(u"");
    CloseMachines();
    Write(Folder() / "localhost" / "Metabase.xml", "<Metabase>");
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://localhost/w3svc"); }), hr::E_FAIL);
    EXPECT_EQ(Read(Folder() / "localhost" / "Metabase.xml"), "<Metabase>");
    EXPECT_THROW(TRegistryKey::OpenLocalMachineKey(u"Software"), EMachineError);
    EXPECT_FALSE(MachineDirectoryExists(u"C:\\Inetpub"));
    EXPECT_EQ(Read(Folder() / "localhost" / "Metabase.xml"), "<Metabase>");
}

TEST_F(MachineStorage, ALocalMachineWithoutItsFactsFileIsNotReplaced) {
    OpenMachine(u"");
    CloseMachines();
    std::filesystem::remove(Folder() / "localhost" / "Machine.xml");
    const std::string metabase = Read(Folder() / "localhost" / "Metabase.xml");
    try {
        Bind(u"IIS://localhost/W3SVC");
        ADD_FAILURE();
    } catch (const EOleSysError& e) {
        EXPECT_EQ(std::string(e.what()), "Machine file \"" + (Folder() / "localhost" / "Machine.xml").string() +
                                             "\" is missing: installing the local machine was interrupted, or the "
                                             "file was removed; move the folder \"" + (Folder() / "localhost").string() +
                                             "\" away and run again to install the local machine anew");
    }
    EXPECT_EQ(Read(Folder() / "localhost" / "Metabase.xml"), metabase);
    EXPECT_FALSE(std::filesystem::exists(Folder() / "localhost" / "Machine.xml"));
}

TEST_F(MachineStorage, FailedWritesLeaveTheMachineAsItWas) {
    OpenMachine(u"");
    const std::filesystem::path folder = Folder() / "localhost";
    const std::string before = Read(folder / "Metabase.xml");
    const std::string pop3Before = Read(folder / "Pop3.xml");
    const TOleVariant site = Bind(u"IIS://localhost/w3svc/1");
    const TOleVariant w3 = Bind(u"IIS://localhost/w3svc");
    const TOleVariant fresh = w3.Call(u"Create", u"IIsWebServer", u"7");
    const TOleVariant domains = CreateP3Config().Property(u"Domains");
    const std::string siteBefore = Read(folder / "Sites" / "1.xml");
    // A folder in the place of each file makes every save fail, for root as well.
    for (const char* file : {"Metabase.xml", "Pop3.xml", "Sites/1.xml"}) {
        std::filesystem::remove(folder / file);
        std::filesystem::create_directories(folder / file / "blocker");
    }
    site.Call(u"Put", u"ServerComment", u"Never stored");
    EXPECT_EQ(ErrorOf([&] { site.Call(u"SetInfo"); }), hr::E_FAIL);
    EXPECT_EQ(site.Call(u"Get", u"ServerComment").AsText(), u"Never stored");  // still cached
    EXPECT_EQ(ErrorOf([&] { fresh.Call(u"SetInfo"); }), hr::E_FAIL);
    EXPECT_EQ(ErrorOf([&] { w3.Call(u"AddExtensionFile", u"C:\\x.dll", true, u"X", true, u"X"); }), hr::E_FAIL);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Add", u"new.example.net"); }), hr::E_FAIL);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Item", u"new.example.net"); }), hr::NoSuchDomain);
    EXPECT_EQ(w3.Call(u"Get", u"WebSvcExtRestrictionList").HighBound(), 6);
    EXPECT_EQ(FileNames(folder / "Metabase.xml"), std::vector<std::string>{"blocker"});
    EXPECT_EQ(FileNames(folder / "Sites"), (std::vector<std::string>{"1.xml", "2.xml"}));  // none for site 7
    for (const auto& [file, text] : {std::pair{"Metabase.xml", before}, std::pair{"Pop3.xml", pop3Before},
                                     std::pair{"Sites/1.xml", siteBefore}}) {
        std::filesystem::remove_all(folder / file);
        Write(folder / file, text);
    }
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc/1").Call(u"Get", u"ServerComment").AsText(), u"Default Web Site");
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://localhost/w3svc/7"); }), hr::PathNotFound);
    EXPECT_EQ(Bind(u"IIS://localhost/w3svc").Call(u"Get", u"WebSvcExtRestrictionList").HighBound(), 6);
    EXPECT_EQ(Read(folder / "Metabase.xml"), before);
    EXPECT_EQ(Read(folder / "Pop3.xml"), pop3Before);
    EXPECT_EQ(FileNames(folder), (std::vector<std::string>{"Machine.xml", "Metabase.xml", "Pop3.xml", "Sites", "drives"}));
}

// A restore onto the machine its backup came from writes what every site holds.
TEST_F(MachineStorage, OnlyFilesWhoseBytesChangeAreReplaced) {
    CreateMachine(u"TINY", TinyMachine());
    const auto inode = [&](const char* file) {
        struct stat info {};
        EXPECT_EQ(::stat((Folder() / "TINY" / file).c_str(), &info), 0) << file;
        return info.st_ino;
    };
    const auto site = inode("Sites/1.xml"), metabase = inode("Metabase.xml");
    const TOleVariant key = Bind(u"IIS://TINY/W3SVC/1");
    key.Call(u"Put", u"ServerComment", u"A & \"B\" <C>");  // what it holds already
    key.Call(u"SetInfo");
    EXPECT_EQ(inode("Sites/1.xml"), site);
    key.Call(u"Put", u"ServerComment", u"Changed");
    key.Call(u"SetInfo");
    EXPECT_NE(inode("Sites/1.xml"), site);
    EXPECT_EQ(inode("Metabase.xml"), metabase);
    CloseMachines();
    EXPECT_EQ(Bind(u"IIS://TINY/W3SVC/1").Call(u"Get", u"ServerComment").AsText(), u"Changed");
}

TEST_F(MachineStorage, SitesOfAnyNameGetSafeFileNames) {
    const TOleVariant site = Bind(u"IIS://localhost/W3SVC").Call(u"Create", u"IIsWebServer", u"x y:\u00E9..");
    site.Call(u"Put", u"ServerComment", u"Odd");
    site.Call(u"SetInfo");
    EXPECT_EQ(FileNames(Folder() / "localhost" / "Sites"),
              (std::vector<std::string>{"1.xml", "2.xml", "x%0020y%003A%00E9%002E%002E.xml"}));
    CloseMachines();
    EXPECT_EQ(Bind(u"IIS://localhost/W3SVC/x y:\u00E9..").Call(u"Get", u"ServerComment").AsText(), u"Odd");
    // A whole new machine state drops the files of sites it does not have.
    CreateMachine(u"localhost", BuildDefaultMachineState(u"HOST"));
    EXPECT_EQ(FileNames(Folder() / "localhost" / "Sites"), (std::vector<std::string>{"1.xml", "2.xml"}));
}

TEST_F(MachineStorage, MachineWithoutServicesHasNoFilesForThem) {
    TMachineState state = TinyMachine();
    state.Metabase.reset();
    CreateMachine(u"BARE", state);
    EXPECT_EQ(FileNames(Folder() / "BARE"), (std::vector<std::string>{"Machine.xml", "drives"}));
    const TMachineState back = LoadMachineState(Folder() / "BARE");
    EXPECT_FALSE(back.Metabase);
    EXPECT_FALSE(back.Pop3);
}

// The site files of a machine of many sites are read several at once: every site
// comes back whole, and of two damaged files the first in the machine's order is
// the one named.
TEST_F(MachineStorage, ManySiteFilesReadBackAndTheFirstDamagedIsNamed) {
    const std::filesystem::path folder = Folder() / "MANY";
    CreateMachine(u"MANY", BuildLargeMachineState(u"MANY", 40, 2));
    const TMachineState state = LoadMachineState(folder);
    EXPECT_EQ(state.Metabase->Root().CountKeys(),
              BuildLargeMachineState(u"MANY", 40, 2).Metabase->Root().CountKeys());
    EXPECT_EQ(state.Metabase->Find(u"W3SVC/40/ROOT/dir2")->FindValue(u"Path")->AsText(), u"D:\\Sites\\Site40\\dir2");
    Write(folder / "Sites" / "30.xml", "");
    Write(folder / "Sites" / "5.xml", "<Site name=\"6\"/>");
    try {
        LoadMachineState(folder);
        ADD_FAILURE();
    } catch (const EMachineError& e) {
        EXPECT_EQ(std::string(e.what()), "Machine file \"" + (folder / "Sites" / "5.xml").string() +
                                             "\" is damaged: it holds site \"6\"");
    }
}

// Site files written several at once: of two that cannot be replaced, the first
// in the machine's order is the one named, whichever thread met it, and the main
// file stays as it was.
TEST_F(MachineStorage, OfTwoSiteFilesThatCannotBeWrittenTheFirstIsNamed) {
    const std::filesystem::path folder = Folder() / "MANY";
    CreateMachine(u"MANY", BuildLargeMachineState(u"MANY", 40, 1));
    const TMachineState state = LoadMachineState(folder);
    for (const auto& site : state.Metabase->Find(u"W3SVC")->Children())
        site->SetValue(u"ServerComment", std::u16string(u"Changed"));
    const std::string main = Read(folder / "Metabase.xml");
    for (const char* file : {"Sites/2.xml", "Sites/5.xml"})  // on different threads when there are two
        std::filesystem::permissions(folder / file, std::filesystem::perms::owner_read);
    try {
        SaveMachineState(folder, state);
        ADD_FAILURE();
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find((folder / "Sites" / "2.xml").string() + "\""), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(Read(folder / "Metabase.xml"), main);
}
