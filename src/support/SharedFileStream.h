#pragma once
// A file stream whose open states its sharing, with the mode words of the Windows
// file routines: access in the low two bits, sharing in bits $F0, or the create mode.

#include "base/SharedFile.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvex {

constexpr uint16_t fmCreate = 0xFF00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

// Stream failures. Texts are UTF-8.
class EFileStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// "Cannot create file "%s". %s"
class EFCreateError : public EFileStreamError {
public:
    using EFileStreamError::EFileStreamError;
};
// "Cannot open file "%s". %s"
class EFOpenError : public EFileStreamError {
public:
    using EFileStreamError::EFileStreamError;
};
// "Stream read error"
class EReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// "Stream write error"
class EWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Creates (replacing an existing file once the share check passes) with the access
// and sharing of mode; a closed file and kErrorInvalidParameter, without touching
// the disk, when either part of mode is invalid.
TSharedFile CreateFileWithShareMode(std::u16string_view fileName, uint16_t mode, int& error);

// Opens an existing file with the access and sharing of mode.
TSharedFile FileOpen(std::u16string_view fileName, uint16_t mode, int& error);

// The absolute, lexically normalised form of a file name, as error texts show it.
std::u16string ExpandFileName(std::u16string_view fileName);

class TtpSharedFileStream {
public:
    // mode fmCreate: creates the file with createMode as its access-and-sharing word;
    // any other mode opens an existing file. Raises EFCreateError or EFOpenError.
    TtpSharedFileStream(std::u16string_view fileName, uint16_t mode, uint16_t createMode = 0);

    // Opens the file, creating it when missing but never truncating it. Raises
    // EFOpenError when the file exists, else EFCreateError.
    static TtpSharedFileStream OpenAlways(std::u16string_view fileName, uint16_t mode);

    // Bytes read, fewer only at the end of the file.
    size_t Read(void* buffer, size_t count);
    // Bytes written, fewer on failure.
    size_t Write(const void* buffer, size_t count);
    // Exactly count bytes, else EReadError / EWriteError.
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);

    int64_t Position();
    void SetPosition(int64_t position);
    int64_t SeekToEnd();
    int64_t Size();
    // Cuts or extends the file; EWriteError on failure.
    void SetSize(int64_t size);

private:
    explicit TtpSharedFileStream(TSharedFile file) : file_(std::move(file)) {}
    TSharedFile file_;
};

} // namespace orvex
