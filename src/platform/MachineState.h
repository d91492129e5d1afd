#pragma once
// Everything an emulated machine holds: its facts (host name, addresses, registry
// values), its metabase (absent when IIS 6 is not installed) and its POP3 service
// (absent when the service is not installed).

#include "platform/Metabase.h"
#include "platform/OleVariant.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvex {

// A machine folder or one of its files is missing something or cannot be read.
// The message names the file.
class EMachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A machine that the rule of SafePath.h keeps from being read: a step on the way
// to it or to one of its files belongs to another user.
class EMachineRefusedError : public EMachineError {
public:
    using EMachineError::EMachineError;
};

// One registry value under HKEY_LOCAL_MACHINE: an integer (REG_DWORD) or a text.
struct TRegistryValue {
    std::u16string Key;   // "Software\Microsoft\InetStp"
    std::u16string Name;  // "MajorVersion"
    TOleVariant Value;    // integer or text
};

struct TMachineFacts {
    std::u16string ComputerName;               // its host name
    std::vector<std::u16string> IPv4Addresses; // dotted decimal, in resolver order
    std::vector<TRegistryValue> Registry;
};

struct TPop3Mailbox {
    std::u16string Name;
    int32_t Lock = 0;
    bool HasPassword = false;
};

struct TPop3Domain {
    std::u16string Name;
    int32_t Lock = 0;
    std::vector<TPop3Mailbox> Mailboxes;
};

struct TPop3AuthMethod {
    std::u16string Name;
    std::u16string ID;
};

struct TPop3State {
    int32_t LoggingLevel = 2;
    std::u16string MailRoot = u"C:\\Inetpub\\mailroot\\Mailbox";
    int32_t ConfirmAddUser = 0;
    int32_t ThreadCountPerCPU = 16;
    int32_t Port = 110;
    int32_t SPARequired = 0;
    std::vector<TPop3AuthMethod> AuthMethods;
    int32_t CurrentAuthMethod = 1;             // 1-based index into AuthMethods
    std::vector<TPop3Domain> Domains;
    std::vector<std::u16string> SmtpDomains;   // held by the mail transfer service only
    int32_t MinPasswordLength = 0;             // password policy for new mailboxes
};

// The three authentication methods of the Windows POP3 service.
std::vector<TPop3AuthMethod> StandardPop3AuthMethods();

struct TMachineState {
    TMachineFacts Facts;
    std::unique_ptr<TMetabase> Metabase;  // nullptr: no IIS 6 metabase
    std::unique_ptr<TPop3State> Pop3;     // nullptr: POP3 service not installed

    TMachineState() = default;
    TMachineState(TMachineState&&) = default;
    TMachineState& operator=(TMachineState&&) = default;
    TMachineState Clone() const;
};

} // namespace orvex
