#include "platform/Pop3Admin.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/Utf.h"
#include "platform/EmulatedMachine.h"

namespace orvex {

namespace {

constexpr uint32_t kErrorNoToken = 1008;
constexpr uint32_t kErrorIoPending = 997;
constexpr uint32_t kRpcServerUnavailable = 1722;

using TMachinePtr = std::shared_ptr<TEmulatedMachine>;

std::shared_ptr<TEmulatedMachine> OpenForPop3(std::u16string_view name) {
    try {
        return OpenMachine(name);
    } catch (const EMachineError& e) {
        throw EMachineFilesError(e.what());
    }
}

TPop3State& StateOf(const TMachinePtr& machine) {
    if (!machine->Pop3()) {
        SetLastOsError(kErrorNoToken);
        throw EOleSysError(hr::NoToken);
    }
    return *machine->Pop3();
}

// Applies a change and writes it; a failed write restores the state before it.
// Within an operation the machine is locked first, and the write only marks the
// state to be written when the operation ends: no copy to restore is needed.
template <class TChange>
void Change(const TMachinePtr& machine, TChange change) {
    TPop3State& state = StateOf(machine);
    if (TMachineOperation::Active()) {
        machine->LockForOperation();
        change(state);
        machine->SavePop3();
        return;
    }
    TPop3State before = state;
    change(state);
    try {
        machine->SavePop3();
    } catch (...) {
        state = std::move(before);
        throw;
    }
}

int32_t RangeArgument(const TOleVariant& value, int32_t low, int32_t high) {
    const int32_t number = value.AsInteger();
    if (number < low || number > high)
        throw EOleSysError(hr::E_INVALIDARG);
    return number;
}

const std::u16string& TextArgument(std::span<const TOleVariant> args, size_t index, size_t count) {
    RequireArgs(args, count);
    return args[index].AsText();
}

bool IsValidDomainName(std::u16string_view name) {
    if (name.empty() || name.front() == u'.' || name.back() == u'.' || name.size() > 255)
        return false;
    for (char16_t c : name)
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.'))
            return false;
    return true;
}

bool IsValidMailboxName(std::u16string_view name) {
    if (name.empty() || name.size() > 64)
        return false;
    for (char16_t c : name)
        if (c <= 0x20 || std::u16string_view(u"@\\/:*?\"<>|,;").find(c) != std::u16string_view::npos)
            return false;
    return true;
}

TPop3Domain* FindDomain(TPop3State& state, std::u16string_view name) {
    for (TPop3Domain& domain : state.Domains)
        if (SameTextIgnoreCase(domain.Name, name))
            return &domain;
    return nullptr;
}

TPop3Mailbox* FindMailbox(TPop3Domain& domain, std::u16string_view name) {
    for (TPop3Mailbox& mailbox : domain.Mailboxes)
        if (SameTextIgnoreCase(mailbox.Name, name))
            return &mailbox;
    return nullptr;
}

// Base of every POP3 object: the machine it works on and the fault check.
class TP3Object : public TAutoObject {
public:
    explicit TP3Object(TMachinePtr machine) : FMachine(std::move(machine)) {}

protected:
    void Check(std::u16string_view member, std::u16string_view name = {}) const {
        FMachine->CheckFault(u"Pop3", member, name);
    }
    TPop3State& State() const { return StateOf(FMachine); }
    TMachinePtr FMachine;
};

class TP3User : public TP3Object {
public:
    TP3User(TMachinePtr machine, std::u16string domain, std::u16string name)
        : TP3Object(std::move(machine)), FDomain(std::move(domain)), FName(std::move(name)) {}

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"User." + std::u16string(name), FName);
        TPop3Mailbox& mailbox = Mailbox(State());
        if (SameAsciiText(name, u"Name"))
            return mailbox.Name;
        if (SameAsciiText(name, u"EmailName"))
            return mailbox.Name + u"@" + FDomain;
        if (SameAsciiText(name, u"Lock"))
            return mailbox.Lock;
        return TAutoObject::GetProperty(name);
    }

    void SetProperty(std::u16string_view name, const TOleVariant& value) override {
        Check(u"User." + std::u16string(name), FName);
        if (!SameAsciiText(name, u"Lock"))
            TAutoObject::SetProperty(name, value);
        const int32_t lock = RangeArgument(value, 0, 1);
        Mailbox(State());
        Change(FMachine, [&](TPop3State& state) { Mailbox(state).Lock = lock; });
    }

private:
    TPop3Mailbox& Mailbox(TPop3State& state) const {
        TPop3Domain* domain = FindDomain(state, FDomain);
        if (!domain)
            throw EOleSysError(hr::NoSuchDomain);
        TPop3Mailbox* mailbox = FindMailbox(*domain, FName);
        if (!mailbox)
            throw EOleSysError(hr::NoSuchUser);
        return *mailbox;
    }
    std::u16string FDomain, FName;
};

class TP3Users : public TP3Object {
public:
    TP3Users(TMachinePtr machine, std::u16string domain) : TP3Object(std::move(machine)), FDomain(std::move(domain)) {}

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"Users." + std::u16string(name));
        if (SameAsciiText(name, u"Count"))
            return static_cast<int32_t>(Domain(State()).Mailboxes.size());
        return TAutoObject::GetProperty(name);
    }

    TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args) override {
        if (!SameAsciiText(name, u"Item") && !SameAsciiText(name, u"Add") &&
            !SameAsciiText(name, u"AddEx") && !SameAsciiText(name, u"Remove"))
            return TAutoObject::CallMethod(name, args);
        const std::u16string& user = TextArgument(args, 0, SameAsciiText(name, u"AddEx") ? 2 : 1);
        Check(u"Users." + std::u16string(name), user);
        if (SameAsciiText(name, u"Item")) {
            TPop3Mailbox* mailbox = FindMailbox(Domain(State()), user);
            if (!mailbox)
                throw EOleSysError(hr::NoSuchUser);
            return Wrap(mailbox->Name);
        }
        if (SameAsciiText(name, u"Add") || SameAsciiText(name, u"AddEx")) {
            const bool withPassword = SameAsciiText(name, u"AddEx");
            if (!IsValidMailboxName(user))
                throw EOleSysError(hr::E_INVALIDARG);
            if (FindMailbox(Domain(State()), user))
                throw EOleSysError(hr::AlreadyExists);
            if (withPassword && args[1].AsText().size() < static_cast<size_t>(State().MinPasswordLength))
                throw EOleSysError(hr::PasswordTooShort);
            Change(FMachine, [&](TPop3State& state) { Domain(state).Mailboxes.push_back({user, 0, withPassword}); });
            return {};
        }
        if (SameAsciiText(name, u"Remove")) {
            if (!FindMailbox(Domain(State()), user))
                throw EOleSysError(hr::NoSuchUser);
            Change(FMachine, [&](TPop3State& state) {
                std::erase_if(Domain(state).Mailboxes,
                              [&](const TPop3Mailbox& m) { return SameAsciiText(m.Name, user); });
            });
            return {};
        }
        return TAutoObject::CallMethod(name, args);
    }

    std::unique_ptr<TEnumVariant> NewEnum() override {
        Check(u"Users._NewEnum");
        std::vector<TOleVariant> users;
        for (const TPop3Mailbox& mailbox : Domain(State()).Mailboxes)
            users.push_back(Wrap(mailbox.Name));
        return std::make_unique<TEnumVariant>(std::move(users));
    }

private:
    TOleVariant Wrap(const std::u16string& user) const {
        return TAutoObjectPtr(std::make_shared<TP3User>(FMachine, FDomain, user));
    }
    TPop3Domain& Domain(TPop3State& state) const {
        TPop3Domain* domain = FindDomain(state, FDomain);
        if (!domain)
            throw EOleSysError(hr::NoSuchDomain);
        return *domain;
    }
    std::u16string FDomain;
};

class TP3Domain : public TP3Object {
public:
    TP3Domain(TMachinePtr machine, std::u16string name) : TP3Object(std::move(machine)), FName(std::move(name)) {}

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"Domain." + std::u16string(name), FName);
        TPop3Domain& domain = Domain(State());
        if (SameAsciiText(name, u"Name"))
            return domain.Name;
        if (SameAsciiText(name, u"Lock"))
            return domain.Lock;
        if (SameAsciiText(name, u"Users"))
            return TAutoObjectPtr(std::make_shared<TP3Users>(FMachine, domain.Name));
        return TAutoObject::GetProperty(name);
    }

    void SetProperty(std::u16string_view name, const TOleVariant& value) override {
        Check(u"Domain." + std::u16string(name), FName);
        if (!SameAsciiText(name, u"Lock"))
            TAutoObject::SetProperty(name, value);
        const int32_t lock = RangeArgument(value, 0, 1);
        Domain(State());
        Change(FMachine, [&](TPop3State& state) { Domain(state).Lock = lock; });
    }

private:
    TPop3Domain& Domain(TPop3State& state) const {
        TPop3Domain* domain = FindDomain(state, FName);
        if (!domain)
            throw EOleSysError(hr::NoSuchDomain);
        return *domain;
    }
    std::u16string FName;
};

class TP3Domains : public TP3Object {
public:
    using TP3Object::TP3Object;

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"Domains." + std::u16string(name));
        if (SameAsciiText(name, u"Count"))
            return static_cast<int32_t>(State().Domains.size());
        return TAutoObject::GetProperty(name);
    }

    TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args) override {
        if (!SameAsciiText(name, u"Item") && !SameAsciiText(name, u"Add") &&
            !SameAsciiText(name, u"Remove"))
            return TAutoObject::CallMethod(name, args);
        const std::u16string& domainName = TextArgument(args, 0, 1);
        Check(u"Domains." + std::u16string(name), domainName);
        TPop3State& state = State();
        if (SameAsciiText(name, u"Item")) {
            if (TPop3Domain* domain = FindDomain(state, domainName))
                return TAutoObjectPtr(std::make_shared<TP3Domain>(FMachine, domain->Name));
            for (const std::u16string& smtp : state.SmtpDomains)
                if (SameAsciiText(smtp, domainName))
                    throw EOleSysError(hr::PathNotFound);
            throw EOleSysError(hr::NoSuchDomain);
        }
        if (SameAsciiText(name, u"Add")) {
            if (!IsValidDomainName(domainName))
                throw EOleSysError(hr::E_INVALIDARG);
            if (FindDomain(state, domainName))
                throw EOleSysError(hr::AlreadyExists);
            Change(FMachine, [&](TPop3State& s) {
                std::erase_if(s.SmtpDomains, [&](const std::u16string& smtp) {
                    return SameAsciiText(smtp, domainName);
                });
                s.Domains.push_back({domainName, 0, {}});
            });
            return {};
        }
        if (SameAsciiText(name, u"Remove")) {
            if (!FindDomain(state, domainName))
                throw EOleSysError(hr::NoSuchDomain);
            Change(FMachine, [&](TPop3State& s) {
                std::erase_if(s.Domains, [&](const TPop3Domain& d) {
                    return SameAsciiText(d.Name, domainName);
                });
            });
            return {};
        }
        return TAutoObject::CallMethod(name, args);
    }

    std::unique_ptr<TEnumVariant> NewEnum() override {
        Check(u"Domains._NewEnum");
        std::vector<TOleVariant> domains;
        for (const TPop3Domain& domain : State().Domains)
            domains.emplace_back(TAutoObjectPtr(std::make_shared<TP3Domain>(FMachine, domain.Name)));
        return std::make_unique<TEnumVariant>(std::move(domains));
    }
};

class TP3AuthMethod : public TP3Object {
public:
    TP3AuthMethod(TMachinePtr machine, int32_t index) : TP3Object(std::move(machine)), FIndex(index) {}

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"AuthMethod." + std::u16string(name));
        const TPop3AuthMethod& method = State().AuthMethods.at(static_cast<size_t>(FIndex - 1));
        if (SameAsciiText(name, u"Name"))
            return method.Name;
        if (SameAsciiText(name, u"ID"))
            return method.ID;
        if (SameAsciiText(name, u"Valid"))
            return true;
        return TAutoObject::GetProperty(name);
    }

    int32_t Index() const { return FIndex; }

private:
    int32_t FIndex;  // from 1
};

class TP3AuthMethods : public TP3Object {
public:
    using TP3Object::TP3Object;

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"AuthMethods." + std::u16string(name));
        if (SameAsciiText(name, u"Count"))
            return static_cast<int32_t>(State().AuthMethods.size());
        if (SameAsciiText(name, u"CurrentAuthMethod"))
            return State().CurrentAuthMethod;
        return TAutoObject::GetProperty(name);
    }

    void SetProperty(std::u16string_view name, const TOleVariant& value) override {
        Check(u"AuthMethods." + std::u16string(name));
        if (!SameAsciiText(name, u"CurrentAuthMethod"))
            TAutoObject::SetProperty(name, value);
        const int32_t index = IndexOf(value);
        Change(FMachine, [&](TPop3State& state) { state.CurrentAuthMethod = index; });
    }

    TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args) override {
        Check(u"AuthMethods." + std::u16string(name));
        if (SameAsciiText(name, u"Item")) {
            RequireArgs(args, 1);
            return TAutoObjectPtr(std::make_shared<TP3AuthMethod>(FMachine, IndexOf(args[0])));
        }
        return TAutoObject::CallMethod(name, args);
    }

    std::unique_ptr<TEnumVariant> NewEnum() override {
        Check(u"AuthMethods._NewEnum");
        std::vector<TOleVariant> methods;
        for (size_t i = 1; i <= State().AuthMethods.size(); ++i)
            methods.emplace_back(TAutoObjectPtr(std::make_shared<TP3AuthMethod>(FMachine, static_cast<int32_t>(i))));
        return std::make_unique<TEnumVariant>(std::move(methods));
    }

private:
    // An index from 1, a method object or a method's name or ID.
    int32_t IndexOf(const TOleVariant& value) const {
        const std::vector<TPop3AuthMethod>& methods = State().AuthMethods;
        if (value.Kind() == TVariantKind::vkInteger)
            return RangeArgument(value, 1, static_cast<int32_t>(methods.size()));
        if (value.IsObject())
            if (const auto* method = dynamic_cast<const TP3AuthMethod*>(value.AsObject().get()))
                return method->Index();
        if (value.Kind() == TVariantKind::vkText)
            for (size_t i = 0; i < methods.size(); ++i)
                if (SameAsciiText(methods[i].Name, value.AsText()) ||
                    SameAsciiText(methods[i].ID, value.AsText()))
                    return static_cast<int32_t>(i + 1);
        throw EOleSysError(hr::E_INVALIDARG);
    }
};

class TP3Service : public TP3Object {
public:
    using TP3Object::TP3Object;

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"Service." + std::u16string(name));
        if (int32_t* field = Field(State(), name))
            return *field;
        return TAutoObject::GetProperty(name);
    }

    void SetProperty(std::u16string_view name, const TOleVariant& value) override {
        Check(u"Service." + std::u16string(name));
        if (!Field(State(), name))
            TAutoObject::SetProperty(name, value);
        int32_t low = 0, high = 1;
        if (SameAsciiText(name, u"ThreadCountPerCPU"))
            low = 1, high = 32;
        else if (SameAsciiText(name, u"Port"))
            low = 1, high = 65535;
        const int32_t number = RangeArgument(value, low, high);
        Change(FMachine, [&](TPop3State& state) { *Field(state, name) = number; });
    }

private:
    static int32_t* Field(TPop3State& state, std::u16string_view name) {
        if (SameAsciiText(name, u"ThreadCountPerCPU"))
            return &state.ThreadCountPerCPU;
        if (SameAsciiText(name, u"Port"))
            return &state.Port;
        if (SameAsciiText(name, u"SPARequired"))
            return &state.SPARequired;
        return nullptr;
    }
};

class TP3Config : public TP3Object {
public:
    TP3Config(TMachinePtr machine, std::u16string machineName)
        : TP3Object(std::move(machine)), FMachineName(std::move(machineName)) {}

    TOleVariant GetProperty(std::u16string_view name) override {
        Check(u"Config." + std::u16string(name));
        if (SameAsciiText(name, u"MachineName"))
            return FMachineName;
        TPop3State& state = State();
        if (SameAsciiText(name, u"LoggingLevel"))
            return state.LoggingLevel;
        if (SameAsciiText(name, u"MailRoot"))
            return state.MailRoot;
        if (SameAsciiText(name, u"ConfirmAddUser"))
            return state.ConfirmAddUser;
        if (SameAsciiText(name, u"Service"))
            return TAutoObjectPtr(std::make_shared<TP3Service>(FMachine));
        if (SameAsciiText(name, u"Authentication"))
            return TAutoObjectPtr(std::make_shared<TP3AuthMethods>(FMachine));
        if (SameAsciiText(name, u"Domains"))
            return TAutoObjectPtr(std::make_shared<TP3Domains>(FMachine));
        return TAutoObject::GetProperty(name);
    }

    void SetProperty(std::u16string_view name, const TOleVariant& value) override {
        if (SameAsciiText(name, u"MachineName")) {
            PointAt(value.AsText());
            return;
        }
        Check(u"Config." + std::u16string(name));
        if (SameAsciiText(name, u"LoggingLevel")) {
            const int32_t level = RangeArgument(value, 0, 3);
            Change(FMachine, [&](TPop3State& state) { state.LoggingLevel = level; });
        } else if (SameAsciiText(name, u"MailRoot")) {
            const std::u16string& root = value.AsText();
            if (root.empty())
                throw EOleSysError(hr::E_INVALIDARG);
            Change(FMachine, [&](TPop3State& state) { state.MailRoot = root; });
        } else if (SameAsciiText(name, u"ConfirmAddUser")) {
            const int32_t confirm = RangeArgument(value, 0, 1);
            Change(FMachine, [&](TPop3State& state) { state.ConfirmAddUser = confirm; });
        } else {
            TAutoObject::SetProperty(name, value);
        }
    }

private:
    void PointAt(const std::u16string& name) {
        SetLastOsError(0);  // only the failures below leave a code
        TMachinePtr machine = OpenForPop3(name);
        if (!machine) {
            SetLastOsError(kRpcServerUnavailable);
            throw EOleSysError(hr::ServerUnavailable);
        }
        machine->CheckFault(u"Pop3", u"Config.MachineName", u"");
        if (!machine->Pop3()) {
            SetLastOsError(kErrorIoPending);
            throw EOleSysError(hr::IoPending);
        }
        FMachine = std::move(machine);
        FMachineName = name;
    }
    std::u16string FMachineName;
};

} // namespace

TOleVariant CreateP3Config() {
    SetLastOsError(0);  // only the failures below leave a code
    TMachinePtr local = OpenForPop3(u"");
    local->CheckFault(u"Pop3", u"Config.Create", u"");
    if (!local->Pop3()) {
        SetLastOsError(kErrorNoToken);
        throw EOleSysError(hr::NoToken);
    }
    return TAutoObjectPtr(std::make_shared<TP3Config>(local, u"localhost"));
}

} // namespace orvex
