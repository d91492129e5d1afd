#pragma once
// A growing byte buffer whose capacity doubles from 64 bytes.

#include <string>
#include <algorithm>
#include <string_view>

namespace orvex {

class TxmStringBuilder {
public:
    TxmStringBuilder() : FData(64, '\0') {}

    void AddChar(char ch);
    void AddString(std::string_view s);
    // Length 0; the capacity is kept.
    void Clear() { FCurrentIdx = 0; }
    // At most length bytes from the 1-based first, never past the bytes in use.
    std::string StringCopy(size_t first, size_t length) const;
    std::string Value() const { return FData.substr(0, FCurrentIdx); }
    // The byte at a 1-based index.
    char operator[](size_t index) const { return FData[index - 1]; }
    size_t Length() const { return FCurrentIdx; }
    size_t Capacity() const { return FData.size(); }

private:
    void Reserve(size_t needed);

    std::string FData;
    size_t FCurrentIdx = 0;
};

} // namespace orvex
