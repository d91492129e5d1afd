#include "base/SharedFile.h"

#include "base/Utf.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

// One lock byte per fact; holders keep a shared lock on the bytes that describe them.
constexpr off_t kLockBase = 0x7FFFFFFFFFFF0000;
constexpr off_t kHasRead = kLockBase + 0;
constexpr off_t kHasWrite = kLockBase + 1;
constexpr off_t kDeniesRead = kLockBase + 2;
constexpr off_t kDeniesWrite = kLockBase + 3;

struct flock LockOfByte(short type, off_t byte) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return lock;
}

bool HeldByOthers(int fd, off_t byte) {
    struct flock probe = LockOfByte(F_WRLCK, byte);
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0)
        return true; // cannot tell: refuse rather than share wrongly
    return probe.l_type != F_UNLCK;
}

bool Hold(int fd, off_t byte) {
    struct flock lock = LockOfByte(F_RDLCK, byte);
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// ENOENT for a file in a folder that does not exist reads as a missing path.
int MissingFileOrPath(const std::string& native) {
    const size_t slash = native.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return ENOENT;
    struct stat info {};
    return stat(native.substr(0, slash).c_str(), &info) == 0 ? ENOENT : kErrorPathNotFound;
}

int LockGate(int fd, int operation) {
    int result;
    do
        result = flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

// Under the gate: refuse what conflicts with the other opens, then register ours.
int ClaimShare(int fd, unsigned access, unsigned share) {
    const bool conflict = ((access & faRead) && HeldByOthers(fd, kDeniesRead)) ||
                          ((access & faWrite) && HeldByOthers(fd, kDeniesWrite)) ||
                          (!(share & fsRead) && HeldByOthers(fd, kHasRead)) ||
                          (!(share & fsWrite) && HeldByOthers(fd, kHasWrite));
    if (conflict)
        return kErrorSharingViolation;
    const bool held = (!(access & faRead) || Hold(fd, kHasRead)) &&
                      (!(access & faWrite) || Hold(fd, kHasWrite)) &&
                      ((share & fsRead) || Hold(fd, kDeniesRead)) &&
                      ((share & fsWrite) || Hold(fd, kDeniesWrite));
    return held ? 0 : errno;
}

} // namespace

std::string OsErrorMessage(int code) {
    switch (code) {
    case kErrorSharingViolation:
        return "The process cannot access the file because it is being used by another process.";
    case kErrorInvalidParameter:
    case EINVAL:
        return "The parameter is incorrect.";
    case ENOENT:
        return "The system cannot find the file specified.";
    case ENOTDIR:
    case kErrorPathNotFound:
        return "The system cannot find the path specified.";
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return "Access is denied.";
    case ENOSPC:
    case EDQUOT:
        return "There is not enough space on the disk.";
    case ENAMETOOLONG:
        return "The filename or extension is too long.";
    case EMFILE:
    case ENFILE:
        return "The system cannot open the file.";
    default: {
        char buffer[256];
        // The GNU strerror_r returns its text, not always in buffer.
        return strerror_r(code, buffer, sizeof buffer);
    }
    }
}

TSharedFile::~TSharedFile() {
    if (fd_ >= 0)
        close(fd_);
}

TSharedFile::TSharedFile(TSharedFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

TSharedFile& TSharedFile::operator=(TSharedFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

TSharedFile TSharedFile::Open(std::u16string_view path, unsigned access, unsigned share,
                              TFileDisposition disposition, int& error) {
    error = 0;
    if (access == 0 || access > (faRead | faWrite) || share > (fsRead | fsWrite) || path.empty()) {
        error = kErrorInvalidParameter;
        return {};
    }
    const std::string native = Utf16ToUtf8(path);
    if (native.find('\0') != std::string::npos) {
        error = kErrorInvalidParameter;
        return {};
    }
    // Shared locks need a readable descriptor and truncation a writable one.
    int flags = O_CLOEXEC | O_NOCTTY;
    flags |= (access & faWrite) || disposition == TFileDisposition::fdCreateAlways ? O_RDWR : O_RDONLY;
    if (disposition != TFileDisposition::fdOpenExisting)
        flags |= O_CREAT;
    int fd;
    do
        fd = open(native.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno == ENOENT ? MissingFileOrPath(native) : errno;
        return {};
    }
    TSharedFile file(fd);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EACCES;
        return {};
    }
    if (LockGate(fd, LOCK_EX) != 0) {
        error = errno;
        return {};
    }
    error = ClaimShare(fd, access, share);
    if (error == 0 && disposition == TFileDisposition::fdCreateAlways && ftruncate(fd, 0) != 0)
        error = errno;
    LockGate(fd, LOCK_UN);
    if (error != 0)
        return {};
    return file;
}

int64_t TSharedFile::Read(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = read(fd_, static_cast<char*>(buffer) + done, count - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

size_t TSharedFile::Write(const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t put = write(fd_, static_cast<const char*>(buffer) + done, count - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (put == 0)
            break;
        done += static_cast<size_t>(put);
    }
    return done;
}

int64_t TSharedFile::Seek(int64_t offset, int whence) {
    return lseek(fd_, static_cast<off_t>(offset), whence);
}

int64_t TSharedFile::Size() const {
    struct stat info {};
    if (fstat(fd_, &info) != 0)
        return -1;
    return info.st_size;
}

bool TSharedFile::Truncate(int64_t size) { return ftruncate(fd_, static_cast<off_t>(size)) == 0; }

} // namespace orvex
