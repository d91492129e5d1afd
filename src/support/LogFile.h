#pragma once
// Dated log files in one log folder, UTF-16LE with a byte-order mark, one file per
// day, appended by several processes at once:
//   info log    <folder><module name>.info.<yymmdd>.log     warnings, errors, exceptions
//   testing log <folder><module name>.testing.<yymmdd>.log  failures a routine swallowed
// Writing a log line never raises.

#include <string>
#include <string_view>

namespace orvex {

// A non-empty folder is kept with a trailing "/" added when missing; an empty one
// returns to the default folder at the next write.
void SetLogFolder(std::u16string_view folder);

// The running program's folder, with its trailing "/".
std::u16string DefaultLogFolder();

// The dated log file for a suffix (".info.log" or ".testing.log"); fixes the log
// folder to the default when none is set.
std::u16string LogFileName(std::u16string_view suffix);

// Appends "<date time> <process id>\t<text>\r\n" to the info log, with up to three
// attempts.
void WriteInfoLog(std::u16string_view text);

// Appends "<yyyy-MMM-dd hh:mm:ss:zzz>\t(<kind>)\t<routine>\t<message>\r\n" to the
// testing log, with one attempt.
void WriteTestingLog(std::u16string_view kind, std::u16string_view routine, std::u16string_view message);

} // namespace orvex
