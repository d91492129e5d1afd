#pragma once
// Files opened with Windows-style access and share modes. The share modes live in
// advisory locks (open-file-description locks on bytes far beyond any data), so two
// opens that Windows would refuse to each other refuse each other here as well,
// between our own processes and within one process.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// Desired access and share bits.
enum : unsigned { faRead = 1, faWrite = 2 };
enum : unsigned { fsRead = 1, fsWrite = 2 };

enum class TFileDisposition {
    fdOpenExisting, // fails when the file does not exist
    fdCreateAlways, // creates, or truncates an existing file once the share check passed
    fdOpenAlways,   // creates when missing, never truncates
};

// Error codes: errno values, plus these of our own.
constexpr int kErrorPathNotFound = -3;
constexpr int kErrorSharingViolation = -32;
constexpr int kErrorInvalidParameter = -87;

// The English text for an error code, worded as Windows words it.
std::string OsErrorMessage(int code);

// One open file; owns its descriptor and with it the share locks.
class TSharedFile {
public:
    TSharedFile() = default;
    ~TSharedFile();
    TSharedFile(TSharedFile&& other) noexcept;
    TSharedFile& operator=(TSharedFile&& other) noexcept;
    TSharedFile(const TSharedFile&) = delete;
    TSharedFile& operator=(const TSharedFile&) = delete;

    // Opens path (UTF-16) with access (faRead/faWrite bits) and share (fsRead/fsWrite
    // bits). On failure returns a closed file and sets error; an existing file is
    // never changed by a failed open.
    static TSharedFile Open(std::u16string_view path, unsigned access, unsigned share,
                            TFileDisposition disposition, int& error);

    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to count bytes at the position; fewer only at the end. -1 on failure.
    int64_t Read(void* buffer, size_t count);
    // Writes at the position; returns the bytes written, fewer than count on failure.
    size_t Write(const void* buffer, size_t count);
    // whence is SEEK_SET, SEEK_CUR or SEEK_END; the new position or -1.
    int64_t Seek(int64_t offset, int whence);
    int64_t Size() const;
    bool Truncate(int64_t size);

private:
    explicit TSharedFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};

} // namespace orvex
