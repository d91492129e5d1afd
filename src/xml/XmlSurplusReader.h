#pragma once
// A byte reader with push-back over a stream.

#include "xml/XmlStreams.h"

#include <string>

namespace orvex {

class TxmSurplusReader {
public:
    // The stream is not owned.
    explicit TxmSurplusReader(TStream* stream) : FStream(stream) {}

    // Pushed-back bytes are read before the stream.
    const std::string& Surplus() const { return FSurplus; }
    void SetSurplus(std::string surplus) { FSurplus = std::move(surplus); }

    // One byte into ch; returns the count read (0 at the end of the input).
    int ReadChar(char& ch);
    // The first byte that is not TAB, LF, CR or SPACE; false when the input ends first.
    bool ReadCharSkipBlanks(char& ch);

private:
    TStream* FStream;
    std::string FSurplus;
};

} // namespace orvex
