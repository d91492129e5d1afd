#include "xml/XmlBufferedStreams.h"

#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"

#include <algorithm>
#include <cstring>

namespace orvex {

TxmBufferedReadStream::TxmBufferedReadStream(TStream* source, bool owned)
    : FStream(source), FBuffer(kPageSize), FOwned(owned) {}

TxmBufferedReadStream::~TxmBufferedReadStream() {
    if (FOwned)
        delete FStream;
}

void TxmBufferedReadStream::LoadPage() {
    const int64_t page = FPosition / kPageSize;
    FBufPos = FPosition % kPageSize;
    if (page != FPage) {
        FPage = page;
        const int64_t start = page * kPageSize;
        FStream->Seek(start, soBeginning);
        const int64_t wanted = std::min(kPageSize, FStream->Size() - start);
        FBufSize = 0;
        while (FBufSize < wanted) {
            const int64_t got = FStream->Read(FBuffer.data() + FBufSize, wanted - FBufSize);
            if (got <= 0)
                break;
            FBufSize += got;
        }
    }
    FMustCheck = false;
}

int64_t TxmBufferedReadStream::Read(void* buffer, int64_t count) {
    if (count < 1)
        return 0;
    if (FMustCheck)
        LoadPage();
    auto* out = static_cast<char*>(buffer);
    if (count == 1 && FBufPos < FBufSize - 1) {
        *out = FBuffer[static_cast<size_t>(FBufPos++)];
        ++FPosition;
        return 1;
    }
    int64_t copied = 0;
    while (copied < count) {
        if (FBufPos >= FBufSize) {
            // A page that ends short is the last one.
            if (FBufSize < kPageSize && FPage == FPosition / kPageSize)
                break;
            LoadPage();
            if (FBufPos >= FBufSize)
                break;
        }
        const int64_t n = std::min(count - copied, FBufSize - FBufPos);
        std::memcpy(out + copied, FBuffer.data() + FBufPos, static_cast<size_t>(n));
        copied += n;
        FBufPos += n;
        FPosition += n;
    }
    return copied;
}

int64_t TxmBufferedReadStream::Write(const void*, int64_t) {
    throw EStreamError(std::string(sxCannotWriteWhenReading));
}

int64_t TxmBufferedReadStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent:
        if (offset == 0)
            return FPosition;
        FPosition += offset;
        break;
    case soEnd: FPosition = FStream->Size() + offset; break;
    }
    FPosition = std::max<int64_t>(FPosition, 0);
    FMustCheck = true;
    return FPosition;
}

TxmBufferedWriteStream::TxmBufferedWriteStream(TStream* target, bool owned)
    : FStream(target), FBuffer(kBlockSize), FOwned(owned) {}

TxmBufferedWriteStream::~TxmBufferedWriteStream() {
    try {
        Flush();
    } catch (const EStreamError&) {
        // Reported by an explicit Flush; a destructor must not throw.
    }
    if (FOwned)
        delete FStream;
}

int64_t TxmBufferedWriteStream::Read(void*, int64_t) {
    throw EStreamError(std::string(sxCannotReadWhenWriting));
}

int64_t TxmBufferedWriteStream::Write(const void* buffer, int64_t count) {
    if (count <= 0)
        return 0;
    const auto* in = static_cast<const char*>(buffer);
    int64_t accepted = 0;
    while (accepted < count) {
        const int64_t n = std::min(count - accepted, kBlockSize - FBufPos);
        std::memcpy(FBuffer.data() + FBufPos, in + accepted, static_cast<size_t>(n));
        FBufPos += n;
        accepted += n;
        FPosition += n;
        if (FBufPos == kBlockSize)
            Flush();
    }
    return accepted;
}

void TxmBufferedWriteStream::Flush() {
    if (FBufPos <= 0)
        return;
    const int64_t pending = FBufPos;
    FBufPos = 0;
    if (FStream->Write(FBuffer.data(), pending) != pending)
        throw EStreamError(std::string(sxCannotWriteToOutput));
}

int64_t TxmBufferedWriteStream::Seek(int64_t offset, TSeekOrigin origin) {
    if ((offset == 0 && (origin == soCurrent || origin == soEnd)) ||
        (origin == soBeginning && offset == FPosition))
        return FPosition;
    throw EStreamError(std::string(sxCannotSeekCodec));
}

} // namespace orvex
