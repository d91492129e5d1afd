#pragma once
// The encoding-converting stream between a document and its bytes, and the
// detection of the external encoding from the first bytes of the input.

#include "xml/XmlStreams.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvex {

// The external encodings a document may be read in or saved to.
enum TStringEncodingType : uint8_t {
    seAnsi, seUCS4BE, seUCS4LE, seUCS4_2143, seUCS4_3412, se16BitBE, se16BitLE,
    seUTF8, seUTF16BE, seUTF16LE, seEBCDIC
};

enum TxmStreamModeType : uint8_t { umUnknown, umRead, umWrite };

// What the first bytes of an input say about its encoding.
struct TEncodingDetection {
    TStringEncodingType Encoding = seAnsi;
    bool HasMark = false;   // the input begins with a byte-order mark
    size_t MarkLength = 0;  // bytes of that mark, to be skipped
};

// Matches the first (up to four) bytes against the detection table. An empty
// input matches its first row. Refuses nothing; see CheckReadableEncoding.
TEncodingDetection DetectEncoding(std::string_view firstBytes);

// Raises "Unsupported string encoding" for the encodings that cannot be read.
void CheckReadableEncoding(TStringEncodingType encoding);

// The byte-order mark written for an encoding (none for UTF-8).
std::string_view ByteOrderMark(TStringEncodingType encoding);

// The whole of an input in one encoding as UTF-8: code page 1252 for seAnsi,
// unchanged for UTF-8, 16-bit units (pairs joined) for the UTF-16 forms.
std::string DecodeToUtf8(std::string_view bytes, TStringEncodingType encoding);

// Appends the complete UTF-8 characters of utf8 in an external encoding and
// returns how many bytes it consumed; a sequence cut off at the end is left
// for the next call. Characters 1252 cannot hold become '?' (and set *lost).
size_t AppendEncoded(std::string& out, std::string_view utf8, TStringEncodingType encoding,
                     bool* lost = nullptr);

// The byte length of a well-formed UTF-8 sequence at p (avail bytes readable):
// 1 for ASCII and for any byte that starts no complete, well-framed sequence,
// 0 when p holds the start of a sequence that the end of the bytes cuts off.
size_t Utf8SequenceLength(const unsigned char* p, size_t avail);

// Conversion stream. Read mode: detects the encoding at the first Read and
// hands out the text as UTF-8, one byte a call. Write mode: takes UTF-8 and
// writes the external encoding, with a byte-order mark first (never for UTF-8).
// The underlying stream is not owned.
class TxmCodecStream : public TStream {
public:
    explicit TxmCodecStream(TStream* stream);

    // Count must be 1; returns 0 only at the end of the input (a NUL is data).
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    // Positions are those of the underlying stream; (-1|-2, soCurrent) step back
    // over the last one or two characters read.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

    TStringEncodingType Encoding() const { return FEncoding; }
    void SetEncoding(TStringEncodingType encoding) { FEncoding = encoding; }
    TxmStreamModeType Mode() const { return FMode; }
    // Read mode: the input began with a byte-order mark.
    bool HasByteOrderMark() const { return FWriteBom; }
    // Characters were lost: input bytes that are no text in the input's encoding
    // (read mode), characters the output encoding cannot hold (write mode).
    // OnUnicodeLoss fires the first time.
    bool WarningUnicodeLoss() const { return FWarningUnicodeLoss; }
    std::function<void(TxmCodecStream&)> OnUnicodeLoss;

protected:
    // The next UTF-8 byte, or -1 at the end of the input.
    virtual int ReadByte();
    void StorePrevPosition();
    virtual void WriteByte(uint8_t b);
    virtual void WriteBuf(const uint8_t* buffer, int64_t offset, int64_t count);

    void ReportUnicodeLoss();

    void StartReading();

    std::string FBuffer;
    size_t FBufferPos = 0;  // next byte of FBuffer to hand out (0-based)
    TStringEncodingType FEncoding = seAnsi;
    TxmStreamModeType FMode = umUnknown;
    int64_t FPosMin1 = 0;
    int64_t FPosMin2 = 0;
    TStream* FStream;
    bool FSwapByteOrder = false;
    bool FWarningUnicodeLoss = false;
    bool FWriteBom = false;

private:
    void StartWriting();
};

// The working codec: UTF-8, code page 1252 and the 16-bit encodings.
//
// Besides the byte-a-call Read it reads text a block at a time for the parser
// (ReadText, LendText; the two ways are not mixed on one stream). There an
// input without byte-order mark or other sign of its encoding stays open: only
// its ASCII bytes, the same in every candidate, are handed out until a
// declaration names the encoding (SwitchToUtf8At, SettleAnsi) or text beyond
// them is needed; then the rest of the input decides: UTF-8 when all of it is
// well-formed UTF-8, else code page 1252, which a later declaration may still
// switch to UTF-8.
class TxmUtf8Stream : public TxmCodecStream {
public:
    using TxmCodecStream::TxmCodecStream;

    // Starts reading (detection, the mark skipped) for ReadText and LendText;
    // Position is then the input position of the first character.
    void StartTextReading();
    // Appends the text of up to budget more input bytes to out as UTF-8 and
    // returns the input bytes consumed; 0 only at the end of the input. A
    // character cut off by the budget waits for the next call.
    size_t ReadText(std::string& out, size_t budget);
    // The input is a memory stream whose text is its own bytes (see LendText).
    bool CanLendText() const { return FMemory && ReadsBytesAsText(); }
    // When CanLendText: the text from input position `position` on, in place (while
    // open: up to its first byte above 0x7F, unless the caller, holding `have`
    // bytes from there, needs more, which settles the encoding); the input
    // position moves to its end. Otherwise empty, with the input at `position`.
    std::string_view LendText(int64_t position, size_t have);
    // The next byte read is the one at input position `position`.
    void SeekInput(int64_t position);
    // Text is the input's own bytes (UTF-8, or open).
    bool ReadsBytesAsText() const { return FOpen || FEncoding == seUTF8; }
    // A declaration may still switch the input to UTF-8.
    bool CanSwitchToUtf8() const { return FOpen || FSwitchable; }
    // From input position `position` on, the input is read as UTF-8.
    void SwitchToUtf8At(int64_t position);
    // An open input is read as code page 1252 (switchable as above).
    void SettleAnsi();
    // An input still open when all of it was read is ASCII, so UTF-8.
    void SettleAtEnd();

protected:
    int ReadByte() override;
    void WriteByte(uint8_t b) override;
    void WriteBuf(const uint8_t* buffer, int64_t offset, int64_t count) override;

private:
    bool ReadCharacter();
    void WriteOut(const std::string& bytes);
    // Decodes raw into out; the bytes used (a cut-off character is left).
    size_t DecodeBlock(std::string_view raw, bool atEnd, std::string& out);
    void SettleByContent();
    void CheckUtf8(std::string_view text, bool atEnd);

    std::string FChunk;
    TxmUTF8StringStream* FMemory = nullptr; // the input, when it is a memory stream
    bool FBlockReading = false;
    bool FOpen = false;
    bool FSwitchable = false;
};

} // namespace orvex
