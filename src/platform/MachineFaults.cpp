#include "platform/MachineFaults.h"

#include "base/AsciiText.h"
#include "base/Utf.h"
#include "platform/MachineState.h"
#include "platform/Metabase.h"
#include "platform/OleVariant.h"
#include "xml/UTF8StringUtils.h"

#include <algorithm>
#include <charconv>

namespace orvex {

namespace {

// Empty and "*" match any: both are filed as empty.
std::u16string_view Filed(std::u16string_view pattern) { return pattern == u"*" ? std::u16string_view() : pattern; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool ParseNumber(std::string_view text, int64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    bool negative = false;
    if (base == 10 && !text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    uint64_t magnitude = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || magnitude > 0xFFFFFFFFu)
        return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

} // namespace

size_t TMachineFaults::TKeyHash::operator()(TKeyView key) const {
    const TAsciiNameHash hash;
    return (hash(key.Operation) * 31 + hash(key.Path)) * 31 + hash(key.Name);
}

bool TMachineFaults::TKeyEqual::operator()(TKeyView a, TKeyView b) const {
    return SameAsciiText(a.Operation, b.Operation) && SameAsciiText(a.Path, b.Path) && SameAsciiText(a.Name, b.Name);
}

void TMachineFaults::Add(TFault fault) {
    TKey key{std::move(fault.Operation), std::u16string(Filed(fault.Path)), std::u16string(Filed(fault.Name))};
    FIndex[std::move(key)].Faults.push_back({FCount++, fault.Code, fault.LastError, fault.Times});
}

void TMachineFaults::Check(std::u16string_view operation, std::u16string_view path, std::u16string_view name) {
    TPlantedList* first = nullptr;
    for (const TKeyView key : {TKeyView{operation, path, name}, TKeyView{operation, path, {}},
                               TKeyView{operation, {}, name}, TKeyView{operation, {}, {}}}) {
        const auto found = FIndex.find(key);
        if (found == FIndex.end() || found->second.Next == found->second.Faults.size())
            continue;
        TPlantedList& list = found->second;
        if (!first || list.Faults[list.Next].Order < first->Faults[first->Next].Order)
            first = &list;
    }
    if (!first)
        return;
    TPlanted& fault = first->Faults[first->Next];
    if (fault.Times > 0 && --fault.Times == 0)
        ++first->Next;  // used up
    SetLastOsError(fault.LastError);
    throw EOleSysError(fault.Code);
}

TMachineFaults TMachineFaults::Parse(std::string_view text, const std::string& fileName) {
    TMachineFaults faults;
    faults.FIndex.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);  // at most a key a line
    int64_t lineNumber = 0;
    std::vector<std::string_view> fields;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        fields.clear();
        size_t start = 0;
        while (true) {
            const size_t bar = line.find('|', start);
            fields.push_back(Trim(line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start)));
            if (bar == std::string_view::npos)
                break;
            start = bar + 1;
        }
        int64_t code = 0, lastError = 0, times = 0;
        const bool good = fields.size() >= 4 && fields.size() <= 6 && !fields[0].empty() && ParseNumber(fields[3], code) &&
                          (fields.size() < 5 || fields[4].empty() || ParseNumber(fields[4], lastError)) &&
                          (fields.size() < 6 || fields[5].empty() || ParseNumber(fields[5], times)) &&
                          lastError >= 0 && times >= 0;
        if (!good)
            throw EMachineError("Faults file \"" + fileName + "\", line " +
                                Int64ToUtf8(lineNumber) +
                                ": expected Operation|Path|Name|HRESULT[|LastError[|Times]]");
        faults.Add({Utf8ToUtf16(fields[0]), Utf8ToUtf16(fields[1]), Utf8ToUtf16(fields[2]),
                    static_cast<int32_t>(static_cast<uint32_t>(code)), static_cast<uint32_t>(lastError),
                    static_cast<int32_t>(times)});
    }
    return faults;
}

} // namespace orvex
