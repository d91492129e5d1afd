#include "platform/MachineFaults.h"

#include "base/AsciiText.h"
#include "base/Utf.h"
#include "platform/MachineState.h"
#include "platform/OleVariant.h"
#include "xml/UTF8StringUtils.h"

#include <charconv>

namespace orvex {

namespace {

bool Matches(std::u16string_view pattern, std::u16string_view value) {
    return pattern.empty() || pattern == u"*" || SameAsciiText(pattern, value);
}

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

void TMachineFaults::Check(std::u16string_view operation, std::u16string_view path, std::u16string_view name) {
    for (TFault& fault : FFaults) {
        if (!SameAsciiText(fault.Operation, operation) || !Matches(fault.Path, path) ||
            !Matches(fault.Name, name))
            continue;
        if (fault.Times < 0)
            continue;  // used up
        if (fault.Times > 0 && --fault.Times == 0)
            fault.Times = -1;
        SetLastOsError(fault.LastError);
        throw EOleSysError(fault.Code);
    }
}

TMachineFaults TMachineFaults::Parse(std::string_view text, const std::string& fileName) {
    TMachineFaults faults;
    int64_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        std::vector<std::string_view> fields;
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
