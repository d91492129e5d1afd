#include "support/SharedFileStream.h"

#include "base/Utf.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace orvex {

namespace {

constexpr unsigned kInvalid = ~0u;

unsigned AccessOf(uint16_t mode) {
    constexpr unsigned kAccess[4] = {faRead, faWrite, faRead | faWrite, kInvalid};
    return kAccess[mode & 3];
}

unsigned ShareOf(uint16_t mode) {
    constexpr unsigned kShare[5] = {0, 0, fsRead, fsWrite, fsRead | fsWrite};
    const unsigned part = (mode & 0xF0u) >> 4;
    return part < 5 ? kShare[part] : kInvalid;
}

bool IsValidMode(uint16_t mode) { return AccessOf(mode) != kInvalid && ShareOf(mode) != kInvalid; }

TSharedFile OpenWithMode(std::u16string_view fileName, uint16_t mode, TFileDisposition disposition, int& error) {
    if (!IsValidMode(mode)) {
        error = kErrorInvalidParameter;
        return {};
    }
    return TSharedFile::Open(fileName, AccessOf(mode), ShareOf(mode), disposition, error);
}

std::string FailureText(const char* what, std::u16string_view fileName, int error) {
    return std::string(what) + " \"" + Utf16ToUtf8(ExpandFileName(fileName)) + "\". " + OsErrorMessage(error);
}

} // namespace

TSharedFile CreateFileWithShareMode(std::u16string_view fileName, uint16_t mode, int& error) {
    return OpenWithMode(fileName, mode, TFileDisposition::fdCreateAlways, error);
}

TSharedFile FileOpen(std::u16string_view fileName, uint16_t mode, int& error) {
    return OpenWithMode(fileName, mode, TFileDisposition::fdOpenExisting, error);
}

std::u16string ExpandFileName(std::u16string_view fileName) {
    if (fileName.empty())
        return {};
    std::error_code failure;
    std::filesystem::path path(Utf16ToUtf8(fileName));
    std::filesystem::path absolute = std::filesystem::absolute(path, failure);
    if (failure)
        absolute = path;
    return Utf8ToUtf16(absolute.lexically_normal().string());
}

TtpSharedFileStream::TtpSharedFileStream(std::u16string_view fileName, uint16_t mode, uint16_t createMode) {
    int error = 0;
    if (mode == fmCreate) {
        file_ = CreateFileWithShareMode(fileName, createMode, error);
        if (!file_.IsOpen())
            throw EFCreateError(FailureText("Cannot create file", fileName, error));
    } else {
        file_ = FileOpen(fileName, mode, error);
        if (!file_.IsOpen())
            throw EFOpenError(FailureText("Cannot open file", fileName, error));
    }
}

TtpSharedFileStream TtpSharedFileStream::OpenAlways(std::u16string_view fileName, uint16_t mode) {
    int error = 0;
    TSharedFile file = OpenWithMode(fileName, mode, TFileDisposition::fdOpenAlways, error);
    if (file.IsOpen())
        return TtpSharedFileStream(std::move(file));
    struct stat info {};
    if (stat(Utf16ToUtf8(fileName).c_str(), &info) == 0)
        throw EFOpenError(FailureText("Cannot open file", fileName, error));
    throw EFCreateError(FailureText("Cannot create file", fileName, error));
}

size_t TtpSharedFileStream::Read(void* buffer, size_t count) {
    const int64_t got = file_.Read(buffer, count);
    return got < 0 ? 0 : static_cast<size_t>(got);
}

size_t TtpSharedFileStream::Write(const void* buffer, size_t count) { return file_.Write(buffer, count); }

void TtpSharedFileStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && file_.Read(buffer, count) != static_cast<int64_t>(count))
        throw EReadError("Stream read error");
}

void TtpSharedFileStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && file_.Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int64_t TtpSharedFileStream::Position() { return file_.Seek(0, SEEK_CUR); }

void TtpSharedFileStream::SetPosition(int64_t position) {
    if (file_.Seek(position, SEEK_SET) < 0)
        throw EReadError("Stream read error");
}

int64_t TtpSharedFileStream::SeekToEnd() { return file_.Seek(0, SEEK_END); }

int64_t TtpSharedFileStream::Size() { return file_.Size(); }

void TtpSharedFileStream::SetSize(int64_t size) {
    if (!file_.Truncate(size))
        throw EWriteError("Stream write error");
}

} // namespace orvex
