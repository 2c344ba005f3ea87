#include "platform/base/datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <sys/stat.h>

#include "platform/base/errors.h"

namespace orv {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Days from 1899-12-30 to 1970-01-01.
constexpr std::int64_t kUnixDateDelta = 25569;

bool IsLeapYear(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

// Civil date to days since 1970-01-01 (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string Pad2(int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

std::string Pad4(int v) {
    std::string s = std::to_string(v);
    while (s.size() < 4) s.insert(s.begin(), '0');
    return s;
}

// A date-time as whole milliseconds: date part and time of day. The time of
// a negative value is its absolute fraction (-1.25 is 1899-12-29 6:00), so a
// date before 1899-12-30 keeps the time of day it was stored with.
struct Split {
    std::int64_t days;  // since 1899-12-30
    std::int64_t ms;    // of the day
};

Split SplitValue(TDateTime value) {
    if (!std::isfinite(value) || std::fabs(value) > 1e8) throw EConvertError("Invalid date-time value");
    const auto total = static_cast<std::int64_t>(std::llround(value * static_cast<double>(kMsPerDay)));
    return {total / kMsPerDay, (total < 0 ? -total : total) % kMsPerDay};
}

}  // namespace

bool TryEncodeDateTime(const DateTimeParts& p, TDateTime& out) {
    if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month))
        return false;
    if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 || p.second > 59 ||
        p.millisecond < 0 || p.millisecond > 999)
        return false;
    const std::int64_t days = DaysFromCivil(p.year, p.month, p.day) + kUnixDateDelta;
    const std::int64_t ms = ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
    const double time = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    // Before 1899-12-30 the fraction counts away from zero as well.
    out = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
    return true;
}

TDateTime EncodeDateTime(const DateTimeParts& parts) {
    TDateTime out = 0;
    if (!TryEncodeDateTime(parts, out)) throw EConvertError("Invalid argument to date encode");
    return out;
}

TDateTime EncodeDate(int year, int month, int day) {
    DateTimeParts p;
    p.year = year;
    p.month = month;
    p.day = day;
    return EncodeDateTime(p);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        throw EConvertError("Invalid argument to time encode");
    return static_cast<double>(((hour * 60LL + minute) * 60 + second) * 1000 + millisecond) /
           static_cast<double>(kMsPerDay);
}

DateTimeParts DecodeDateTime(TDateTime value) {
    const Split s = SplitValue(value);
    DateTimeParts p;
    CivilFromDays(s.days - kUnixDateDelta, p.year, p.month, p.day);
    std::int64_t ms = s.ms;
    p.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    p.second = static_cast<int>(ms % 60);
    ms /= 60;
    p.minute = static_cast<int>(ms % 60);
    p.hour = static_cast<int>(ms / 60);
    return p;
}

// Broken-down local time to date-time parts; a leap second counts as 59.
static DateTimeParts PartsFromLocalTime(const std::tm& local) {
    DateTimeParts p;
    p.year = local.tm_year + 1900;
    p.month = local.tm_mon + 1;
    p.day = local.tm_mday;
    p.hour = local.tm_hour;
    p.minute = local.tm_min;
    p.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    return p;
}

TDateTime Now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto sinceEpoch = now.time_since_epoch();
    const std::time_t secs = static_cast<std::time_t>(duration_cast<seconds>(sinceEpoch).count());
    const int ms = static_cast<int>(duration_cast<milliseconds>(sinceEpoch).count() % 1000);
    std::tm local{};
    ::localtime_r(&secs, &local);
    DateTimeParts p = PartsFromLocalTime(local);
    p.millisecond = ms < 0 ? 0 : ms;
    return EncodeDateTime(p);
}

TDateTime FileDateToDateTime(std::int64_t unixSeconds) {
    const auto secs = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (::localtime_r(&secs, &local) == nullptr) return 0;
    DateTimeParts p = PartsFromLocalTime(local);
    // The file-date format keeps seconds in steps of two.
    p.second = p.second / 2 * 2;
    TDateTime out = 0;
    return TryEncodeDateTime(p, out) ? out : 0;
}

bool FileAgeLocal(const std::string& path, TDateTime& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    out = FileDateToDateTime(static_cast<std::int64_t>(st.st_mtime));
    return true;
}

std::string DateToStr(TDateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    return Pad4(p.year) + "/" + Pad2(p.month) + "/" + Pad2(p.day);
}

std::string TimeToStr(TDateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    return std::to_string(p.hour) + ":" + Pad2(p.minute) + ":" + Pad2(p.second);
}

std::string DateTimeToStr(TDateTime value) {
    const Split s = SplitValue(value);
    std::string out = DateToStr(value);
    if (s.ms != 0) out += " " + TimeToStr(value);
    return out;
}

std::string FormatThousands(std::int64_t value) {
    // Work on the magnitude as unsigned so INT64_MIN is safe.
    const bool negative = value < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const std::string digits = std::to_string(magnitude);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    if (negative) out.push_back('-');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

std::string FormatSize(std::int64_t value) { return " " + FormatThousands(value); }

}  // namespace orv
