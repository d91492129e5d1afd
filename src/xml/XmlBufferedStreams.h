#pragma once
// 64 KB page buffers between the codec stream and the file, so that the
// byte-at-a-time traffic above them does not reach the file a byte at a time.

#include "xml/XmlStreams.h"

#include <memory>
#include <vector>

namespace orvex {

// Reads its source a page at a time; seekable. Write raises.
class TxmBufferedReadStream : public TStream {
public:
    static constexpr int64_t kPageSize = 65536;

    // Owned: the source is destroyed with this stream.
    TxmBufferedReadStream(TStream* source, bool owned);
    ~TxmBufferedReadStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    void LoadPage();

    TStream* FStream;
    std::vector<char> FBuffer;
    int64_t FPage = -1;
    int64_t FBufPos = 0;
    int64_t FBufSize = 0;
    int64_t FPosition = 0;
    bool FOwned;
    bool FMustCheck = true;
};

// Gathers writes into 64 KB blocks. Only position queries may seek; Read raises.
// Call Flush before destruction to see write errors: the destructor flushes
// too, but must swallow them.
class TxmBufferedWriteStream : public TStream {
public:
    static constexpr int64_t kBlockSize = 65536;

    TxmBufferedWriteStream(TStream* target, bool owned);
    ~TxmBufferedWriteStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    // Writes the pending bytes; raises "Cannot write to output stream" when the
    // target takes fewer.
    void Flush();

private:
    TStream* FStream;
    std::vector<char> FBuffer;
    int64_t FBufPos = 0;
    int64_t FPosition = 0;
    bool FOwned;
};

} // namespace orvex
