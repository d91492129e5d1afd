#include "platform/Pop3Admin.h"

#include "MachineTestSupport.h"
#include "base/AsciiText.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class Pop3Admin : public TMachinesFolderTest {};

std::vector<std::u16string> Names(const TOleVariant& collection) {
    std::vector<std::u16string> names;
    auto items = collection.NewEnum();
    TOleVariant item;
    while (items->Next(item))
        names.push_back(item.Property(u"Name").AsText() + u"/" + item.Property(u"Lock").ToText());
    return names;
}

uint32_t LastErrorOf(auto call) {
    SetLastOsError(0);
    try {
        call();
    } catch (const EOleSysError& e) {
        return e.LastOsError();
    }
    return 0;
}

} // namespace

TEST_F(Pop3Admin, ReadsWhatTheBackupReads) {
    const TOleVariant config = CreateP3Config();
    config.SetProperty(u"MachineName", u"localhost");
    EXPECT_EQ(config.Property(u"LoggingLevel").AsInteger(), 2);
    EXPECT_EQ(config.Property(u"MailRoot").AsText(), u"C:\\Inetpub\\mailroot\\Mailbox");
    EXPECT_EQ(config.Property(u"ConfirmAddUser").AsInteger(), 0);
    const TOleVariant service = config.Property(u"Service");
    EXPECT_EQ(service.Property(u"ThreadCountPerCPU").AsInteger(), 16);
    EXPECT_EQ(service.Property(u"Port").AsInteger(), 110);
    EXPECT_EQ(service.Property(u"SPARequired").AsInteger(), 0);
    const TOleVariant methods = config.Property(u"Authentication");
    const TOleVariant current = methods.Call(u"Item", methods.Property(u"CurrentAuthMethod"));
    EXPECT_EQ(current.Property(u"Name").AsText(), u"Local Windows Accounts");
    EXPECT_EQ(current.Property(u"ID").AsText(), u"{14F1665C-E3D3-46AA-884F-ED4CF19D7AD5}");
    const TOleVariant domains = config.Property(u"Domains");
    EXPECT_EQ(Names(domains), (std::vector<std::u16string>{u"example.com/0", u"lists.example.com/1"}));
    EXPECT_EQ(Names(domains.Call(u"Item", u"EXAMPLE.COM").Property(u"Users")),
              (std::vector<std::u16string>{u"alice/0", u"bob/1", u"postmaster/0"}));
    EXPECT_EQ(Names(domains.Call(u"Item", u"lists.example.com").Property(u"Users")), std::vector<std::u16string>{});
}

TEST_F(Pop3Admin, NotInstalledCodes) {
    MakeMachine(u"NOPOP", [](TMachineState& state) { state.Pop3.reset(); });
    const TOleVariant config = CreateP3Config();
    EXPECT_EQ(ErrorOf([&] { config.SetProperty(u"MachineName", u"NOPOP"); }), hr::IoPending);
    EXPECT_EQ(LastErrorOf([&] { config.SetProperty(u"MachineName", u"NOPOP"); }), 997u);
    EXPECT_EQ(GetLastOsError(), 997u);
    EXPECT_EQ(ErrorOf([&] { config.SetProperty(u"MachineName", u"ghost"); }), hr::ServerUnavailable);
    EXPECT_EQ(GetLastOsError(), 1722u);
    SetLastOsError(1008);
    MakeMachine(u"BROKEN", [](TMachineState&) {});
    std::ofstream(Folder() / "BROKEN" / "Pop3.xml", std::ios::trunc) << "<Pop3";
    EXPECT_EQ(ErrorOf([&] { config.SetProperty(u"MachineName", u"BROKEN"); }), hr::E_FAIL);
    EXPECT_EQ(GetLastOsError(), 0u);  // no stale code to mislead the caller
    // Still pointed at the local machine.
    EXPECT_EQ(config.Property(u"MachineName").AsText(), u"localhost");

    TMachineState local = BuildDefaultMachineState(ComputerName());
    local.Pop3.reset();
    CreateMachine(u"localhost", local);
    EXPECT_EQ(ErrorOf([] { CreateP3Config(); }), hr::NoToken);
    EXPECT_EQ(LastErrorOf([] { CreateP3Config(); }), 1008u);
}

TEST_F(Pop3Admin, RemoteMachineIsReadThroughMachineName) {
    MakeMachine(u"MAIL2", [](TMachineState& state) { state.Pop3->Port = 995; });
    const TOleVariant config = CreateP3Config();
    config.SetProperty(u"MachineName", u"mail2");
    EXPECT_EQ(config.Property(u"Service").Property(u"Port").AsInteger(), 995);
}

TEST_F(Pop3Admin, DomainLookupErrors) {
    const TOleVariant domains = CreateP3Config().Property(u"Domains");
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Item", u"nowhere.com"); }), hr::NoSuchDomain);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Item", u"relay.example.com"); }), hr::PathNotFound);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Add", u"example.com"); }), hr::AlreadyExists);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Add", u"bad domain"); }), hr::E_INVALIDARG);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Item"); }), hr::BadParamCount);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Frobnicate"); }), hr::UnknownName);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Item", u"example.com").Property(u"Users").Call(u"Purge"); }), hr::UnknownName);
    domains.Call(u"Add", u"gone.example.com");
    const TOleVariant gone = domains.Call(u"Item", u"gone.example.com");
    domains.Call(u"Remove", u"GONE.example.com");
    EXPECT_EQ(ErrorOf([&] { gone.Property(u"Lock"); }), hr::NoSuchDomain);
    EXPECT_EQ(ErrorOf([&] { domains.Call(u"Remove", u"gone.example.com"); }), hr::NoSuchDomain);
}

TEST_F(Pop3Admin, ChangesAreWrittenAtOnce) {
    {
        const TOleVariant config = CreateP3Config();
        config.SetProperty(u"LoggingLevel", 3);
        config.SetProperty(u"MailRoot", u"D:\\Mail");
        config.SetProperty(u"ConfirmAddUser", 1);
        const TOleVariant service = config.Property(u"Service");
        service.SetProperty(u"ThreadCountPerCPU", 8);
        service.SetProperty(u"Port", 1110);
        service.SetProperty(u"SPARequired", 1);
        const TOleVariant domains = config.Property(u"Domains");
        domains.Call(u"Add", u"new.example.org");
        const TOleVariant domain = domains.Call(u"Item", u"new.example.org");
        domain.SetProperty(u"Lock", 1);
        const TOleVariant users = domain.Property(u"Users");
        users.Call(u"AddEx", u"carol", u"quillvane");
        users.Call(u"Add", u"dave");
        users.Call(u"Item", u"dave").SetProperty(u"Lock", 1);
        // The enumerated method object sets the current method.
        const TOleVariant methods = config.Property(u"Authentication");
        auto items = methods.NewEnum();
        TOleVariant method;
        while (items->Next(method))
            if (SameAsciiText(method.Property(u"Name").AsText(), u"encrypted password file"))
                methods.SetProperty(u"CurrentAuthMethod", method);
    }
    CloseMachines();
    const TOleVariant config = CreateP3Config();
    EXPECT_EQ(config.Property(u"LoggingLevel").AsInteger(), 3);
    EXPECT_EQ(config.Property(u"MailRoot").AsText(), u"D:\\Mail");
    EXPECT_EQ(config.Property(u"ConfirmAddUser").AsInteger(), 1);
    EXPECT_EQ(config.Property(u"Service").Property(u"ThreadCountPerCPU").AsInteger(), 8);
    EXPECT_EQ(config.Property(u"Service").Property(u"Port").AsInteger(), 1110);
    EXPECT_EQ(config.Property(u"Service").Property(u"SPARequired").AsInteger(), 1);
    EXPECT_EQ(config.Property(u"Authentication").Property(u"CurrentAuthMethod").AsInteger(), 3);
    const TOleVariant domain = config.Property(u"Domains").Call(u"Item", u"NEW.example.org");
    EXPECT_EQ(domain.Property(u"Lock").AsInteger(), 1);
    EXPECT_EQ(Names(domain.Property(u"Users")), (std::vector<std::u16string>{u"carol/0", u"dave/1"}));
    EXPECT_EQ(domain.Property(u"Users").Call(u"Item", u"carol").Property(u"EmailName").AsText(), u"carol@new.example.org");
}

TEST_F(Pop3Admin, BadValuesAreRefused) {
    const TOleVariant config = CreateP3Config();
    const TOleVariant service = config.Property(u"Service");
    struct TRow {
        TOleVariant Object;
        std::u16string Name;
        TOleVariant Value;
    } rows[] = {
        {config, u"LoggingLevel", 4},        {config, u"LoggingLevel", -1}, {config, u"MailRoot", u""},
        {config, u"ConfirmAddUser", 2},      {service, u"Port", 0},         {service, u"Port", 65536},
        {service, u"ThreadCountPerCPU", 33}, {service, u"SPARequired", 2},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(ErrorOf([&] { row.Object.SetProperty(row.Name, row.Value); }), hr::E_INVALIDARG) << Utf16ToUtf8(row.Name);
    EXPECT_EQ(ErrorOf([&] { service.SetProperty(u"Port", u"110"); }), hr::TypeMismatch);
    const TOleVariant methods = config.Property(u"Authentication");
    EXPECT_EQ(ErrorOf([&] { methods.SetProperty(u"CurrentAuthMethod", 4); }), hr::E_INVALIDARG);
    EXPECT_EQ(ErrorOf([&] { methods.SetProperty(u"CurrentAuthMethod", u"Kerberos"); }), hr::E_INVALIDARG);
    methods.SetProperty(u"CurrentAuthMethod", u"active directory integrated");
    EXPECT_EQ(methods.Property(u"CurrentAuthMethod").AsInteger(), 2);
}

TEST_F(Pop3Admin, MailboxesWithAndWithoutPassword) {
    MakeMachine(u"STRICT", [](TMachineState& state) { state.Pop3->MinPasswordLength = 12; });
    const TOleVariant config = CreateP3Config();
    config.SetProperty(u"MachineName", u"STRICT");
    const TOleVariant users = config.Property(u"Domains").Call(u"Item", u"example.com").Property(u"Users");
    EXPECT_EQ(ErrorOf([&] { users.Call(u"Item", u"erin"); }), hr::NoSuchUser);
    EXPECT_EQ(ErrorOf([&] { users.Call(u"AddEx", u"erin", u"quillvane"); }), hr::PasswordTooShort);
    EXPECT_EQ(ErrorOf([&] { users.Call(u"Item", u"erin"); }), hr::NoSuchUser);
    users.Call(u"Add", u"erin");
    EXPECT_EQ(users.Call(u"Item", u"ERIN").Property(u"Name").AsText(), u"erin");
    EXPECT_EQ(ErrorOf([&] { users.Call(u"Add", u"Erin"); }), hr::AlreadyExists);
    EXPECT_EQ(ErrorOf([&] { users.Call(u"Add", u"a@b"); }), hr::E_INVALIDARG);
    EXPECT_EQ(ErrorOf([&] { users.Call(u"AddEx", u"x"); }), hr::BadParamCount);
    users.Call(u"AddEx", u"frank", u"long enough password");
    EXPECT_EQ(users.Property(u"Count").AsInteger(), 5);
}

TEST_F(Pop3Admin, AddingAnSmtpOnlyDomainTakesItOver) {
    const TOleVariant domains = CreateP3Config().Property(u"Domains");
    domains.Call(u"Add", u"relay.example.com");
    EXPECT_EQ(domains.Call(u"Item", u"relay.example.com").Property(u"Lock").AsInteger(), 0);
}
