#include "xml/XmlStreams.h"

#include "base/Utf.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvex {

int64_t TStream::Size() {
    const int64_t position = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

std::string TStream::ReadRest() {
    std::string out;
    const int64_t expected = Size() - Position();
    if (expected > 0)
        out.resize(static_cast<size_t>(expected));
    size_t used = 0;
    for (;;) {
        if (used == out.size())
            out.resize(std::max<size_t>(out.size() * 2, 65536));
        const int64_t got = Read(out.data() + used, static_cast<int64_t>(out.size() - used));
        if (got <= 0)
            break;
        used += static_cast<size_t>(got);
    }
    out.resize(used);
    return out;
}

TxmUTF8StringStream::TxmUTF8StringStream(std::string s) : FData(std::move(s)) {}

int64_t TxmUTF8StringStream::Read(void* buffer, int64_t count) {
    const int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return 0;
    const int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TxmUTF8StringStream::Write(const void* buffer, int64_t count) {
    if (count <= 0)
        return 0;
    const auto end = static_cast<size_t>(FPosition + count);
    if (end > FData.size())
        FData.resize(end);
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition += count;
    return count;
}

int64_t TxmUTF8StringStream::Seek(int64_t offset, TSeekOrigin origin) {
    switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent: FPosition += offset; break;
    case soEnd: FPosition = Size() + offset; break;
    }
    FPosition = std::max<int64_t>(FPosition, 0);
    return FPosition;
}

std::string TxmUTF8StringStream::TakeDataString() {
    FPosition = 0;
    return std::exchange(FData, {});
}

TxmFileStream::TxmFileStream(std::u16string_view fileName) : FFileName(Utf16ToUtf8(fileName)) {
    FHandle = ::open(FFileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (FHandle < 0)
        throw EStreamError("Cannot open file \"" + FFileName + "\". " +
                           std::generic_category().message(errno));
}

TxmFileStream::~TxmFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

int64_t TxmFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0)
        return 0;
    int64_t total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < count) {
        const ssize_t got = ::read(FHandle, out + total, static_cast<size_t>(count - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EStreamError("Cannot read file \"" + FFileName + "\". " +
                               std::generic_category().message(errno));
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

int64_t TxmFileStream::Write(const void*, int64_t) {
    throw EStreamError(std::string(sxCannotWriteToOutput));
}

int64_t TxmFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t result = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (result < 0)
        throw EStreamError("Cannot seek in file \"" + FFileName + "\". " +
                           std::generic_category().message(errno));
    return result;
}

} // namespace orvex
