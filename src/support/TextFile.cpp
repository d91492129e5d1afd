#include "support/TextFile.h"

#include "base/CodePage1252.h"
#include "base/LocalClock.h"
#include "base/Utf.h"
#include "support/DateTimeText.h"
#include "support/LogFile.h"
#include "support/SharedFileStream.h"

#include <random>
#include <sys/stat.h>

namespace orvex {

namespace {

constexpr int kAppendAttempts = 3;

bool FileExists(std::u16string_view fileName) {
    struct stat info {};
    return stat(Utf16ToUtf8(fileName).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string ReadRest(TtpSharedFileStream& stream, int64_t from) {
    const int64_t size = stream.Size();
    if (size < from)
        throw EReadError("Stream read error");
    std::string bytes(static_cast<size_t>(size - from), '\0');
    stream.SetPosition(from);
    stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

std::u16string FromUtf16Le(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return text;
}

void AppendUtf16Le(std::string& out, std::u16string_view text) {
    for (char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
}

std::u16string DecodeByMark(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0)
        return FromUtf16Le(std::string_view(bytes).substr(2));
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return Utf8ToUtf16(std::string_view(bytes).substr(3));
    return Cp1252ToUtf16(bytes);
}

unsigned RandomBackoffMilliseconds() {
    std::random_device seed;
    std::minstd_rand generator(seed());
    return std::uniform_int_distribution<unsigned>(0, 59)(generator);
}

} // namespace

void AppendTextToFile(std::u16string_view fileName, std::u16string_view text) {
    // Creating without truncation: a file another writer made meanwhile keeps its lines.
    TtpSharedFileStream stream = TtpSharedFileStream::OpenAlways(fileName, fmOpenWrite | fmShareDenyWrite);
    const int64_t end = stream.SeekToEnd();
    if (end < 0)
        throw EWriteError("Stream write error");
    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    if (end == 0)
        bytes = "\xFF\xFE";
    AppendUtf16Le(bytes, text);
    if (stream.Write(bytes.data(), bytes.size()) != bytes.size()) {
        // Other writers are denied while we hold the file, so cutting back to where
        // we started removes exactly our partial bytes.
        try {
            stream.SetSize(end);
        } catch (const EWriteError&) {
        }
        throw EWriteError("Stream write error");
    }
}

void AppendLine(std::u16string_view fileName, std::u16string_view line) {
    std::u16string text(line);
    text += u"\r\n";
    AppendTextToFile(fileName, text);
}

void AppendTimestampedLine(std::u16string_view fileName, std::u16string_view line) {
    for (int attempt = 1; attempt <= kAppendAttempts; ++attempt) {
        try {
            std::u16string text = FormatStandardDateTime(LocalNow());
            text += u' ';
            text += line;
            text += u"\r\n";
            AppendTextToFile(fileName, text);
            return;
        } catch (const EFileStreamError&) {
            if (attempt < kAppendAttempts)
                SleepMilliseconds(RandomBackoffMilliseconds());
        } catch (...) {
        }
    }
}

std::u16string LoadTextFileDetectEncoding(std::u16string_view fileName) {
    TtpSharedFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    return DecodeByMark(ReadRest(stream, 0));
}

std::string LoadUtf8TextFile(std::u16string_view fileName) {
    if (!FileExists(fileName))
        return {};
    TtpSharedFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    std::string bytes = ReadRest(stream, 0);
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0)
        return Utf16ToUtf8(FromUtf16Le(std::string_view(bytes).substr(2)));
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    return Utf16ToUtf8(Cp1252ToUtf16(bytes));
}

std::u16string UTF16StringLoadFromUTF16File(std::u16string_view fileName) {
    try {
        if (!FileExists(fileName))
            return {};
        TtpSharedFileStream stream(fileName, fmOpenRead | fmShareDenyNone);
        return FromUtf16Le(ReadRest(stream, 2));
    } catch (const std::exception& failure) {
        WriteTestingLog(u"exception", u"UTF16StringLoadFromUTF16File", Utf8ToUtf16(failure.what()));
    }
    return {};
}

std::u16string AnsiToUnicodeCP(std::string_view bytes, int) { return Cp1252ToUtf16(bytes); }

std::u16string DatedFileName(std::u16string_view fileName) {
    const size_t slash = fileName.rfind(u'/');
    const size_t nameStart = slash == std::u16string_view::npos ? 0 : slash + 1;
    size_t dot = fileName.rfind(u'.');
    if (dot == std::u16string_view::npos || dot < nameStart)
        dot = fileName.size();
    std::u16string result(fileName.substr(0, dot));
    result += u'.';
    result += FormatDateYymmdd(LocalNow());
    result += fileName.substr(dot);
    return result;
}

} // namespace orvex
