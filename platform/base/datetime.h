// Date-time values and the texts the system shows for dates, times and sizes.
// A date-time is days since 1899-12-30, the time of day as its fraction.
// Texts: short date "yyyy/mm/dd", long time "h:nn:ss", thousands separator ','.
#pragma once

#include <cstdint>
#include <string>

namespace orv {

using TDateTime = double;

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// The current local date and time.
TDateTime Now();

// Raises EConvertError for an invalid date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(const DateTimeParts& parts);
bool TryEncodeDateTime(const DateTimeParts& parts, TDateTime& out);
// Splits a date-time (rounded to the millisecond).
DateTimeParts DecodeDateTime(TDateTime value);

// A file time (seconds since 1970-01-01 UTC) as a local date-time, truncated
// to the two-second resolution of the file-date format.
TDateTime FileDateToDateTime(std::int64_t unixSeconds);
// A file's last-write time as FileDateToDateTime gives it; false when the
// file cannot be reached (out is left alone then).
bool FileAgeLocal(const std::string& path, TDateTime& out);

// "yyyy/mm/dd"
std::string DateToStr(TDateTime value);
// "h:nn:ss"
std::string TimeToStr(TDateTime value);
// "yyyy/mm/dd h:nn:ss"; the date alone when the time is exactly midnight.
std::string DateTimeToStr(TDateTime value);

// "1,234,567" ('-' before a negative number).
std::string FormatThousands(std::int64_t value);
// The size format " #,###0": a leading blank, then FormatThousands (0 -> " 0").
std::string FormatSize(std::int64_t value);

}  // namespace orv
