#pragma once
// Failures a test can plant on an emulated machine, so that every failure branch of
// a caller can be reached. A machine folder may hold "Faults.txt", one fault a line:
//
//     Operation|Path|Name|HRESULT[|LastError[|Times]]
//
// Operation: Bind, Enum (opening as container), Get, Put, SetInfo, Create, Call
// (a method such as AddExtensionFile; Name is the method) or Pop3.
// Path: the metabase path ("W3SVC/1", "Schema/IIsWebServer") or, for Pop3, the member ("Config.Create", "Config.MachineName", "Config.Service",
// "Config.Authentication", "Config.Domains", "Config.LoggingLevel", "Domains.Item",
// "Domains.Add", "Domain.Lock", "Users.Item", "Users.Add", "Users.AddEx",
// "User.Lock", "Service.Port", "AuthMethods.CurrentAuthMethod", ...).
// Name: the property, method, domain or mailbox concerned.
// An empty or "*" Path or Name matches any. Names and paths compare ignoring case.
// Schema objects are bound against the open machine as it stands: plant their
// faults before the machine is first used (or call CloseMachines()).
// HRESULT: hexadecimal ("0x80070005") or decimal. LastError: the OS error code left
// for GetLastOsError (default 0). Times: how often the fault fires (default 0,
// always; counted while the machine stays open, so editing the file or
// CloseMachines() starts afresh); an empty LastError or Times field takes its
// default. Blank lines and lines starting with '#' are ignored.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

struct TFault {
    std::u16string Operation;
    std::u16string Path;
    std::u16string Name;
    int32_t Code = 0;
    uint32_t LastError = 0;
    int32_t Times = 0;
};

class TMachineFaults {
public:
    void Add(TFault fault) { FFaults.push_back(std::move(fault)); }
    bool Empty() const { return FFaults.empty(); }

    // Raises EOleSysError with the first matching fault's code, after setting the
    // thread's last OS error to its LastError.
    void Check(std::u16string_view operation, std::u16string_view path, std::u16string_view name);

    // Reads the text of a faults file; a malformed line raises EMachineError naming
    // fileName and the line number.
    static TMachineFaults Parse(std::string_view text, const std::string& fileName);

private:
    std::vector<TFault> FFaults;
};

} // namespace orvex
