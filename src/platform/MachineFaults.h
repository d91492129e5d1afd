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

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
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
    void Add(TFault fault);
    bool Empty() const { return FIndex.empty(); }

    // Raises EOleSysError with the first matching fault's code, after setting the
    // thread's last OS error to its LastError.
    void Check(std::u16string_view operation, std::u16string_view path, std::u16string_view name);

    // Reads the text of a faults file; a malformed line raises EMachineError naming
    // fileName and the line number.
    static TMachineFaults Parse(std::string_view text, const std::string& fileName);

private:
    // A fault's operation, path and name, a wildcard path or name as empty; equal
    // and hashed ignoring ASCII case. The index owns TKey, a call looks up TKeyView.
    struct TKeyView {
        std::u16string_view Operation, Path, Name;
    };
    struct TKey {
        std::u16string Operation, Path, Name;
        operator TKeyView() const { return {Operation, Path, Name}; }
    };
    struct TKeyHash {
        using is_transparent = void;
        size_t operator()(TKeyView key) const;
    };
    struct TKeyEqual {
        using is_transparent = void;
        bool operator()(TKeyView a, TKeyView b) const;
    };
    struct TPlanted {
        size_t Order;  // place in the file
        int32_t Code;
        uint32_t LastError;
        int32_t Times;
    };
    // The faults of one key in file order. They all match the same calls, so they
    // fire in turn: the used-up ones are the first Next.
    struct TPlantedList {
        std::vector<TPlanted> Faults;
        size_t Next = 0;
    };

    // A call matches at most four keys: its own path and name, either or both as
    // wildcards; so a check costs the same however many faults match nothing.
    std::unordered_map<TKey, TPlantedList, TKeyHash, TKeyEqual> FIndex;
    size_t FCount = 0;  // faults added, for the next one's Order
};

} // namespace orvex
