#pragma once
// The abstract byte stream that the XML library reads and writes through, with
// the two plain streams it needs: a memory stream over a UTF-8 string and a
// read-only file stream.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

// Byte stream: Read and Write return the bytes moved, Seek the new position.
class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    // The size found by seeking to the end and back.
    virtual int64_t Size();

    // Reads everything from the current position to the end in as few calls as
    // the stream allows.
    std::string ReadRest();
};

// A memory stream over a UTF-8 string: parsing from and writing to strings.
class TxmUTF8StringStream : public TStream {
public:
    // Holds the bytes of s, positioned at 0.
    explicit TxmUTF8StringStream(std::string s = {});

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }

    // All bytes, from position 0, whatever the position.
    const std::string& DataString() const { return FData; }
    std::string TakeDataString();

private:
    std::string FData;
    int64_t FPosition = 0;
};

// A file opened for reading (others may not write it meanwhile on Windows; here
// nothing is locked). Errors are EStreamError "Cannot open file "%s". %s".
class TxmFileStream : public TStream {
public:
    explicit TxmFileStream(std::u16string_view fileName);
    ~TxmFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    // Raises: the stream is read-only.
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    int FHandle = -1;
    std::string FFileName;
};

} // namespace orvex
