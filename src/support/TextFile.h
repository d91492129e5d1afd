#pragma once
// Text files: appending UTF-16LE text (a new file starts with the mark FF FE),
// loading a file whose encoding its mark tells (FF FE UTF-16LE, EF BB BF UTF-8,
// none code page 1252), and dated file names. Files are opened with explicit
// sharing (support/SharedFileStream.h): an appender denies other writers while its
// line is written, readers deny writers or nobody.

#include <string>
#include <string_view>

namespace orvex {

// Appends text's UTF-16 code units (little-endian) at the end of the file, creating
// it when missing. The mark goes only into an empty file, and a file that another
// writer created meanwhile is never replaced. The text is written whole or not at
// all: a short write is cut back off before the failure is raised.
void AppendTextToFile(std::u16string_view fileName, std::u16string_view text);

// AppendTextToFile with line and CR LF.
void AppendLine(std::u16string_view fileName, std::u16string_view line);

// Appends the local date and time (FormatStandardDateTime), a blank, line and CR LF.
// Up to three attempts, each with a fresh time stamp; a busy file waits a random
// 0 to 59 ms before the next. Never raises: after three failures the line is dropped.
void AppendTimestampedLine(std::u16string_view fileName, std::u16string_view line);

// The file's text decoded by its mark; a file of only FF FE is empty text. Raises
// EFOpenError when the file cannot be opened, EReadError when it cannot be read.
std::u16string LoadTextFileDetectEncoding(std::u16string_view fileName);

// The file's text as UTF-8 bytes without a mark; empty for a missing file. Raises
// when an existing file cannot be opened or read.
std::string LoadUtf8TextFile(std::u16string_view fileName);

// The UTF-16LE text after the file's first two bytes (not tested for a mark; an odd
// last byte is dropped); empty for a missing file. Never raises: a failure goes to
// the testing log and gives empty text.
std::u16string UTF16StringLoadFromUTF16File(std::u16string_view fileName);

// Decodes 8-bit text with a code page: one UTF-16 unit per byte. Only 1252 is known;
// any other code page is decoded as 1252 too.
std::u16string AnsiToUnicodeCP(std::string_view bytes, int codePage);

// Today's date as ".yymmdd" put in front of the last extension:
// "/logs/app.info.log" on 4 October 2011 gives "/logs/app.info.111004.log".
std::u16string DatedFileName(std::u16string_view fileName);

} // namespace orvex
