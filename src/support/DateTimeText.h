#pragma once
// Dates and times as text for log files and file names, written by our own code so
// that no locale setting changes them.

#include "base/LocalClock.h"

#include <string>

namespace orvex {

// "yyyy-mm-dd hh:nn:ss"; at exactly midnight only "yyyy-mm-dd".
std::u16string FormatStandardDateTime(const TLocalDateTime& time);

// "yyyy-MMM-dd hh:mm:ss:zzz" with the English month abbreviation: "2011-Oct-04 09:05:07:042".
std::u16string FormatTestingLogTime(const TLocalDateTime& time);

// "yymmdd": "111004" for 4 October 2011.
std::u16string FormatDateYymmdd(const TLocalDateTime& time);

// "yyyymmdd": "20111004" for 4 October 2011.
std::u16string FormatDateYyyymmdd(const TLocalDateTime& time);

} // namespace orvex
