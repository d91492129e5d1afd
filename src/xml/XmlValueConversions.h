#pragma once
// Text forms of numbers, Booleans, date-times and binary data used by the XML
// library. Every conversion is locale-independent: a German LC_NUMERIC never
// turns "3.5" into 3.

#include "xml/XmlTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// value with `digits` significant digits (1..9), trailing zeros after the point
// dropped: 0.5 gives ".5", 1234567 "1234570", 1e9 "1.00000E9" (or
// "1000000000" without scientific form). EXmlError "Significant digits out of
// range" for digits outside 1..9, "Cannot convert value to float" for NaN and
// infinities.
std::string FloatToUtf8Significant(int digits, bool allowScientific, double value);

// Decimal text to a number. Leading blanks and a sign are allowed, and integers
// may be written in hexadecimal after "$" or "0x"; anything after the number
// fails. The float readers take "," for "." and refuse NaN and infinities.
bool TryUtf8ToInt32(std::string_view text, int32_t& value);
bool TryUtf8ToInt64(std::string_view text, int64_t& value);
bool TryUtf8ToFloat(std::string_view text, double& value);
// As above; EXmlError "'text' is not a valid integer value" / "Cannot convert
// value to float" on failure.
int32_t Utf8ToInt32(std::string_view text);
int64_t Utf8ToInt64(std::string_view text);
double Utf8ToFloat(std::string_view text);

// The first byte decides, case ignored: 1, T, Y are true; 0, F, N false;
// anything else (or an empty text) raises EXmlError "Cannot convert value to bool".
bool Utf8ToBool(std::string_view text);
// "false" or "true".
std::string BoolToUtf8(bool value);

// The local bias in minutes (UTC = local time + bias) now; 0 when unknown.
int GetTimeZoneBias();

// Date-times. EncodeDateTime raises EXmlError for parts out of range.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);
struct TDateTimeParts {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
// EXmlError "Date and time value out of range" outside the years 1 to 9999
// (and for NaN or infinities).
TDateTimeParts DecodeDateTime(TDateTime value);

// "yyyy-mm-dd" for a value without time; otherwise "yyyy-mm-ddThh:nn:ss.zzz"
// followed by "Z", or with the local bias in use and non-zero, by "+hh:mm" or
// "-hh:mm". The fields are the value's own (it is not converted to UTC).
std::string DateTimeToIsoDate(bool useLocalBias, TDateTime value);
// Read by fixed positions: year 1-4, month 6-7, day 9-10; from 17 characters on
// also hour 12-13, minute 15-16, second 18-19 and milliseconds 21-23 (the last
// two 0 when missing). With the local bias, an offset at 24-29 is applied and the
// local bias subtracted. EXmlError for a text that is not such a date.
TDateTime IsoDateToDateTime(std::string_view text, bool useLocalBias);
TDateTime IsoDateToDateTimeDef(std::string_view text, bool useLocalBias, TDateTime fallback);

// Base64 (RFC 4648, "=" padding, no line breaks) and BinHex (two upper-case
// hexadecimal digits a byte).
std::string EncodeBase64(std::string_view bytes);
std::string EncodeBinHex(std::string_view bytes);
// Decode exactly count bytes into buffer. EFilerError "Missing data in binary
// stream" when the text is too short, "Illegal character in binary stream" for a
// character outside the alphabet ("=" only as the last one or two characters).
void DecodeBase64(std::string_view text, char* buffer, size_t count);
void DecodeBinHex(std::string_view text, char* buffer, size_t count);

} // namespace orvex
