#pragma once
// A memory stream that takes at most a given number of bytes in all, like a full
// disk: for the paths that must fail cleanly when a write comes up short.

#include "xml/XmlStreams.h"

#include <algorithm>
#include <cstdint>

namespace orvex::test {

class TFullStream : public TxmUTF8StringStream {
public:
    explicit TFullStream(int64_t limit) : FLimit(limit) {}
    int64_t Write(const void* buffer, int64_t count) override {
        const int64_t n = std::min(count, FLimit);
        FLimit -= n;
        return TxmUTF8StringStream::Write(buffer, n);
    }

private:
    int64_t FLimit;
};

} // namespace orvex::test
