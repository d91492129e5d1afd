#include "xml/XmlCodecStream.h"

#include "base/CodePage1252.h"
#include "base/Utf.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"

#include <array>
#include <cstring>

namespace orvex {

namespace {

struct TDetectionRow {
    std::array<unsigned char, 4> Signature;
    uint32_t Length;
    TStringEncodingType Encoding;
    bool Mark;
};

// Tried in this order; only the first Length bytes of a signature count.
constexpr TDetectionRow kEncodingDetectionTable[15] = {
    {{0x00, 0x00, 0xFE, 0xFF}, 4, seUCS4BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 4, seUCS4LE, true},
    {{0x00, 0x00, 0xFF, 0xFE}, 4, seUCS4_2143, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 4, seUCS4_3412, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 2, seUTF16BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 2, seUTF16LE, true},
    {{0xEF, 0xBB, 0xBF, 0x00}, 3, seUTF8, true},
    {{0x00, 0x00, 0x00, 0x3C}, 4, seUCS4BE, false},
    {{0x3C, 0x00, 0x00, 0x00}, 4, seUCS4LE, false},
    {{0x00, 0x00, 0x3C, 0x00}, 4, seUCS4_2143, false},
    {{0x00, 0x3C, 0x00, 0x00}, 4, seUCS4_3412, false},
    {{0x00, 0x3C, 0x00, 0x3F}, 4, seUTF16BE, false},
    {{0x3C, 0x00, 0x3F, 0x00}, 4, seUTF16LE, false},
    {{0x3C, 0x3F, 0x78, 0x6D}, 4, seAnsi, false},
    {{0x4C, 0x6F, 0xA7, 0x94}, 4, seEBCDIC, false},
};

bool IsBigEndian(TStringEncodingType e) { return e == se16BitBE || e == seUTF16BE; }
bool IsSixteenBit(TStringEncodingType e) {
    return e == se16BitBE || e == se16BitLE || e == seUTF16BE || e == seUTF16LE;
}
bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

[[noreturn]] void Unsupported() { throw EStreamError(std::string(sxUnsupportedEncoding)); }

// 16-bit units of an input, the missing half of a trailing odd byte taken as 0.
std::u16string UnitsOf(std::string_view bytes, bool bigEndian) {
    std::u16string units((bytes.size() + 1) / 2, u'\0');
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < units.size(); ++i) {
        const unsigned first = p[2 * i];
        const unsigned second = 2 * i + 1 < bytes.size() ? p[2 * i + 1] : 0;
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return units;
}

// The bytes of text that hold whole sequences: a sequence that the end of the
// text cuts off is left out.
size_t CompleteUtf8Length(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const size_t at = text.size() - back;
        if (p[at] >= 0xC0)
            return Utf8SequenceLength(p + at, back) == 0 ? at : text.size();
        if (!IsContinuation(p[at]))
            break;
    }
    return text.size();
}

} // namespace

TEncodingDetection DetectEncoding(std::string_view firstBytes) {
    const size_t n = std::min<size_t>(firstBytes.size(), 4);
    for (const TDetectionRow& row : kEncodingDetectionTable) {
        const size_t count = std::min<size_t>(n, row.Length);
        if (std::memcmp(row.Signature.data(), firstBytes.data(), count) == 0)
            return {row.Encoding, row.Mark, row.Mark ? row.Length : 0};
    }
    return {};
}

void CheckReadableEncoding(TStringEncodingType encoding) {
    if (encoding == seUCS4BE || encoding == seUCS4_2143 || encoding == seUCS4_3412 ||
        encoding == seEBCDIC || encoding == seUCS4LE)
        Unsupported();
}

std::string_view ByteOrderMark(TStringEncodingType encoding) {
    if (encoding == seUTF8)
        return {};
    for (const TDetectionRow& row : kEncodingDetectionTable)
        if (row.Encoding == encoding)
            return row.Mark ? std::string_view(reinterpret_cast<const char*>(row.Signature.data()),
                                               row.Length)
                            : std::string_view();
    return {};
}

std::string DecodeToUtf8(std::string_view bytes, TStringEncodingType encoding) {
    if (encoding == seUTF8)
        return std::string(bytes);
    if (encoding == seAnsi) {
        const size_t ascii = FirstNonAscii(bytes);
        std::string out(bytes.substr(0, ascii));
        if (ascii < bytes.size())
            out += Utf16ToUtf8(Cp1252ToUtf16(bytes.substr(ascii)));
        return out;
    }
    if (IsSixteenBit(encoding))
        return Utf16ToUtf8(UnitsOf(bytes, IsBigEndian(encoding)));
    Unsupported();
}

size_t Utf8SequenceLength(const unsigned char* p, size_t avail) {
    if (avail == 0)
        return 0;
    const unsigned char lead = p[0];
    size_t length;
    if (lead >= 0xC0 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF7)
        length = 4;
    else
        return 1;
    for (size_t i = 1; i < length; ++i) {
        if (i == avail)
            return 0;
        if (!IsContinuation(p[i]))
            return 1;
    }
    return length;
}

size_t AppendEncoded(std::string& out, std::string_view utf8, TStringEncodingType encoding,
                     bool* lost) {
    if (encoding == seUTF8) {
        out.append(utf8);
        return utf8.size();
    }
    if (encoding != seAnsi && !IsSixteenBit(encoding))
        Unsupported();
    // Hold back a sequence that the end of the bytes cuts off.
    const size_t complete = CompleteUtf8Length(utf8);
    std::u16string units = Utf8ToUtf16(utf8.substr(0, complete));
    if (encoding == seAnsi) {
        // A character beyond the 16-bit range is one unknown character, not two.
        std::erase_if(units, [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; });
        const std::string ansi = Utf16ToCp1252(units);
        if (lost) {
            for (size_t i = 0; i < ansi.size() && !*lost; ++i)
                *lost = ansi[i] == '?' && units[i] != u'?';
        }
        out += ansi;
        return complete;
    }
    const bool bigEndian = IsBigEndian(encoding);
    const size_t start = out.size();
    out.resize(start + 2 * units.size());
    char* q = out.data() + start;
    for (char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        *q++ = bigEndian ? high : low;
        *q++ = bigEndian ? low : high;
    }
    return complete;
}

// ---- TxmCodecStream --------------------------------------------------------

TxmCodecStream::TxmCodecStream(TStream* stream) : FStream(stream) {}

void TxmCodecStream::StartReading() {
    FMode = umRead;
    if (!FStream)
        throw EStreamError(std::string(sxEncodingStreamUnassigned));
    char head[4];
    const int64_t n = FStream->Read(head, 4);
    const TEncodingDetection found = DetectEncoding(std::string_view(head, static_cast<size_t>(n)));
    FEncoding = found.Encoding;
    FWriteBom = found.HasMark;
    if (FEncoding == seUCS4BE || FEncoding == seUCS4_2143 || FEncoding == seUCS4_3412 ||
        FEncoding == seEBCDIC)
        Unsupported();
    if (found.HasMark)
        FStream->Seek(static_cast<int64_t>(found.MarkLength) - n, soCurrent);
    else
        FStream->Seek(-n, soCurrent);
    FSwapByteOrder = IsBigEndian(FEncoding);
}

int64_t TxmCodecStream::Read(void* buffer, int64_t count) {
    if (FMode == umUnknown)
        StartReading();
    if (FMode == umWrite)
        throw EStreamError(std::string(sxCannotReadWhenWriting));
    if (count != 1)
        throw EStreamError(std::string(sxCannotReadMultipleChars));
    const int byte = ReadByte();
    if (byte < 0)
        return 0;
    *static_cast<uint8_t*>(buffer) = static_cast<uint8_t>(byte);
    return 1;
}

void TxmCodecStream::StartWriting() {
    FMode = umWrite;
    // Nothing can be written in these, so refuse before the mark goes out.
    CheckReadableEncoding(FEncoding);
    const std::string_view mark = ByteOrderMark(FEncoding);
    FWriteBom = !mark.empty();
    if (FWriteBom && FStream->Write(mark.data(), static_cast<int64_t>(mark.size())) !=
                         static_cast<int64_t>(mark.size()))
        throw EStreamError(std::string(sxCannotWriteToOutput));
    FSwapByteOrder = IsBigEndian(FEncoding);
}

int64_t TxmCodecStream::Write(const void* buffer, int64_t count) {
    if (FMode == umUnknown) {
        if (!FStream)
            throw EStreamError(std::string(sxEncodingStreamUnassigned));
        StartWriting();
    }
    if (FMode == umRead)
        throw EStreamError(std::string(sxCannotWriteWhenReading));
    WriteBuf(static_cast<const uint8_t*>(buffer), 0, count);
    return count;
}

int64_t TxmCodecStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (FMode == umUnknown)
        throw EStreamError(std::string(sxCannotSeekBeforeUse));
    if (origin == soCurrent && offset == 0)
        return FStream->Seek(0, soCurrent);
    if (origin == soCurrent && FMode == umRead && (offset == -1 || offset == -2)) {
        FBuffer.clear();
        FBufferPos = 0;
        FStream->Seek(offset == -1 ? FPosMin1 : FPosMin2, soBeginning);
        return 0;
    }
    if (origin == soEnd && offset == 0)
        return FStream->Size();
    if (origin == soBeginning)
        return 0;
    throw EStreamError(std::string(sxCannotSeekCodec));
}

int TxmCodecStream::ReadByte() { return 0; }

void TxmCodecStream::StorePrevPosition() {
    FPosMin2 = FPosMin1;
    FPosMin1 = FStream->Position();
}

void TxmCodecStream::WriteByte(uint8_t) {}

void TxmCodecStream::ReportUnicodeLoss() {
    if (FWarningUnicodeLoss)
        return;
    FWarningUnicodeLoss = true;
    if (OnUnicodeLoss)
        OnUnicodeLoss(*this);
}

void TxmCodecStream::WriteBuf(const uint8_t* buffer, int64_t offset, int64_t count) {
    for (int64_t i = 0; i < count; ++i)
        WriteByte(buffer[offset + i]);
}

// ---- TxmUtf8Stream ---------------------------------------------------------

bool TxmUtf8Stream::ReadCharacter() {
    FBuffer.clear();
    FBufferPos = 0;
    unsigned char unit[4];
    if (FEncoding == seAnsi) {
        if (FStream->Read(unit, 1) != 1)
            return false;
        FBuffer = Utf16ToUtf8(Cp1252ToUtf16(std::string_view(reinterpret_cast<char*>(unit), 1)));
        return true;
    }
    if (FEncoding == seUTF8) {
        if (FStream->Read(unit, 1) != 1)
            return false;
        FBuffer.push_back(static_cast<char>(unit[0]));
        const size_t expected = unit[0] >= 0xC0 && unit[0] <= 0xDF   ? 2
                                : unit[0] >= 0xE0 && unit[0] <= 0xEF ? 3
                                : unit[0] >= 0xF0 && unit[0] <= 0xF7 ? 4
                                                                     : 1;
        for (size_t i = 1; i < expected; ++i) {
            unsigned char next;
            if (FStream->Read(&next, 1) != 1)
                break;
            if (!IsContinuation(next)) {
                FStream->Seek(-1, soCurrent);
                break;
            }
            FBuffer.push_back(static_cast<char>(next));
        }
        if (FBuffer.size() != expected) {
            // A sequence broken off: the lead stands alone, the rest is read again.
            FStream->Seek(1 - static_cast<int64_t>(FBuffer.size()), soCurrent);
            FBuffer.resize(1);
        }
        return true;
    }
    if (IsSixteenBit(FEncoding)) {
        const int64_t got = FStream->Read(unit, 2);
        if (got <= 0)
            return false;
        std::u16string units = UnitsOf(std::string_view(reinterpret_cast<char*>(unit), size_t(got)),
                                       FSwapByteOrder);
        if (units[0] >= 0xD800 && units[0] <= 0xDBFF) {
            const int64_t more = FStream->Read(unit, 2);
            const std::u16string low = UnitsOf(
                std::string_view(reinterpret_cast<char*>(unit), size_t(more > 0 ? more : 0)),
                FSwapByteOrder);
            if (more == 2 && low[0] >= 0xDC00 && low[0] <= 0xDFFF)
                units += low;
            else if (more > 0)
                FStream->Seek(-more, soCurrent);
        }
        FBuffer = Utf16ToUtf8(units);
        return true;
    }
    Unsupported();
}

int TxmUtf8Stream::ReadByte() {
    if (FBufferPos >= FBuffer.size()) {
        StorePrevPosition();
        if (!ReadCharacter())
            return -1;
    }
    return static_cast<unsigned char>(FBuffer[FBufferPos++]);
}

void TxmUtf8Stream::WriteByte(uint8_t b) { WriteBuf(&b, 0, 1); }

void TxmUtf8Stream::WriteOut(const std::string& bytes) {
    if (bytes.empty())
        return;
    if (FStream->Write(bytes.data(), static_cast<int64_t>(bytes.size())) !=
        static_cast<int64_t>(bytes.size()))
        throw EStreamError(std::string(sxCannotWriteToOutput));
}

void TxmUtf8Stream::WriteBuf(const uint8_t* buffer, int64_t offset, int64_t count) {
    if (count <= 0)
        return;
    const std::string_view in(reinterpret_cast<const char*>(buffer + offset), size_t(count));
    if (FEncoding == seUTF8) {
        if (FStream->Write(in.data(), count) != count)
            throw EStreamError(std::string(sxCannotWriteToOutput));
        return;
    }
    std::string out;
    bool lost = false;
    if (FBuffer.empty()) {
        const size_t used = AppendEncoded(out, in, FEncoding, &lost);
        FBuffer.assign(in.substr(used));
    } else {
        FBuffer.append(in);
        const size_t used = AppendEncoded(out, FBuffer, FEncoding, &lost);
        FBuffer.erase(0, used);
    }
    WriteOut(out);
    if (lost)
        ReportUnicodeLoss();
}

// ---- Block reading -----------------------------------------------------------

namespace {

constexpr size_t kValidationBlock = 65536;

} // namespace

void TxmUtf8Stream::StartTextReading() {
    if (FMode == umUnknown)
        StartReading();
    if (FMode == umWrite)
        throw EStreamError(std::string(sxCannotReadWhenWriting));
    if (FBlockReading)
        return;
    FBlockReading = true;
    CheckReadableEncoding(FEncoding);
    FMemory = dynamic_cast<TxmUTF8StringStream*>(FStream);
    // Detection says 1252 only for lack of evidence: no mark, no UTF-16 form.
    FOpen = FEncoding == seAnsi;
}

void TxmUtf8Stream::CheckUtf8(std::string_view text, bool atEnd) {
    if (!OnUnicodeLoss || FWarningUnicodeLoss)
        return;
    if (!atEnd)
        text = text.substr(0, CompleteUtf8Length(text));
    if (!IsWellFormedUtf8(text))
        ReportUnicodeLoss();
}

size_t TxmUtf8Stream::DecodeBlock(std::string_view raw, bool atEnd, std::string& out) {
    if (FOpen) {
        const size_t ascii = FirstNonAscii(raw);
        out.append(raw.substr(0, ascii));
        return ascii;
    }
    if (FEncoding == seUTF8) {
        const size_t used = atEnd ? raw.size() : CompleteUtf8Length(raw);
        CheckUtf8(raw.substr(0, used), atEnd);
        out.append(raw.substr(0, used));
        return used;
    }
    if (FEncoding == seAnsi) {
        out += DecodeToUtf8(raw, seAnsi);
        return raw.size();
    }
    if (!IsSixteenBit(FEncoding))
        Unsupported();
    size_t used = raw.size();
    if (used % 2 != 0) {
        if (atEnd)
            ReportUnicodeLoss(); // half a unit
        else
            --used;
    }
    if (!atEnd && used >= 2) {
        // The high half of a pair waits for its low half.
        const auto* last = reinterpret_cast<const unsigned char*>(raw.data()) + used - 2;
        const unsigned high = IsBigEndian(FEncoding) ? last[0] : last[1];
        if (high >= 0xD8 && high <= 0xDB)
            used -= 2;
    }
    out += DecodeToUtf8(raw.substr(0, used), FEncoding);
    return used;
}

size_t TxmUtf8Stream::ReadText(std::string& out, size_t budget) {
    StartTextReading();
    budget = std::max<size_t>(budget, 16);
    for (;;) {
        FChunk.resize(budget);
        const int64_t got = FStream->Read(FChunk.data(), static_cast<int64_t>(budget));
        if (got <= 0)
            return 0;
        const bool atEnd = static_cast<size_t>(got) < budget;
        const size_t used = DecodeBlock(std::string_view(FChunk.data(), static_cast<size_t>(got)), atEnd, out);
        if (used < static_cast<size_t>(got))
            FStream->Seek(static_cast<int64_t>(used) - got, soCurrent);
        if (used > 0 || !FOpen)
            return used;
        // An open input needs text beyond its ASCII bytes: the rest decides.
        SettleByContent();
    }
}

std::string_view TxmUtf8Stream::LendText(int64_t position, size_t have) {
    StartTextReading();
    FStream->Seek(position, soBeginning);
    if (!CanLendText())
        return {};
    const std::string_view data = FMemory->DataString();
    if (position < 0 || static_cast<size_t>(position) >= data.size())
        return {};
    std::string_view rest = data.substr(static_cast<size_t>(position));
    if (FOpen) {
        const size_t ascii = FirstNonAscii(rest);
        if (ascii <= have && ascii < rest.size()) {
            // Text beyond the ASCII bytes is needed: the rest decides.
            FStream->Seek(position + static_cast<int64_t>(ascii), soBeginning);
            SettleByContent();
            return LendText(position, have);
        }
        rest = rest.substr(0, ascii);
    } else {
        CheckUtf8(rest, true);
    }
    FStream->Seek(position + static_cast<int64_t>(rest.size()), soBeginning);
    return rest;
}

void TxmUtf8Stream::SettleByContent() {
    const int64_t start = FStream->Position();
    bool wellFormed = true;
    if (FMemory) {
        wellFormed = IsWellFormedUtf8(std::string_view(FMemory->DataString()).substr(
            static_cast<size_t>(std::min<int64_t>(start, FMemory->Size()))));
    } else {
        std::string block;
        for (;;) {
            const size_t carried = block.size();
            block.resize(carried + kValidationBlock);
            const int64_t got = FStream->Read(block.data() + carried, kValidationBlock);
            block.resize(carried + static_cast<size_t>(std::max<int64_t>(got, 0)));
            const bool atEnd = got < static_cast<int64_t>(kValidationBlock);
            const size_t complete = atEnd ? block.size() : CompleteUtf8Length(block);
            if (!IsWellFormedUtf8(std::string_view(block).substr(0, complete))) {
                wellFormed = false;
                break;
            }
            block.erase(0, complete);
            if (atEnd)
                break;
        }
    }
    FStream->Seek(start, soBeginning);
    FOpen = false;
    if (wellFormed) {
        FEncoding = seUTF8;
    } else {
        FEncoding = seAnsi;
        FSwitchable = true;
    }
}

void TxmUtf8Stream::SeekInput(int64_t position) {
    StartTextReading();
    FStream->Seek(position, soBeginning);
}

void TxmUtf8Stream::SwitchToUtf8At(int64_t position) {
    StartTextReading();
    FStream->Seek(position, soBeginning);
    FOpen = false;
    FSwitchable = false;
    FEncoding = seUTF8;
}

void TxmUtf8Stream::SettleAtEnd() {
    if (!FOpen)
        return;
    FOpen = false;
    FEncoding = seUTF8;
}

void TxmUtf8Stream::SettleAnsi() {
    StartTextReading();
    if (!FOpen)
        return;
    FOpen = false;
    FEncoding = seAnsi;
    FSwitchable = true;
}

} // namespace orvex
