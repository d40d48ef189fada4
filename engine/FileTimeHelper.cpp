#include "engine/FileTimeHelper.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

#include <cmath>
#include <ctime>

namespace {

constexpr std::int64_t TicksPerMillisecond = 10000;
constexpr std::int64_t MillisecondsPerDay = 86400000;
// Days from 1970-01-01 back to 1899-12-30, the day a date-time counts from.
constexpr std::int64_t DateTimeDaysBeforeUnixEpoch = 25569;
// Days from 1601-01-01, where file times start, to 1970-01-01.
constexpr std::int64_t FileTimeDaysBeforeUnixEpoch = 134774;
// The date-times of 0001-01-01 00:00 and of 10000-01-01 00:00 (the first value past the range).
constexpr double FirstValidDateTime = -693593.0;
constexpr double EndOfValidDateTimes = 2958466.0;

const char UnknownText[] = "Unknown.";

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor)
{
    std::int64_t quotient = value / divisor;
    if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) {
        --quotient;
    }
    return quotient;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct TCivilDate {
    std::int64_t Year;
    unsigned Month;
    unsigned Day;
};

// The calendar date of a count of days since 1970-01-01.
TCivilDate CivilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = unsigned(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const unsigned month = unsigned(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// A date-time from milliseconds since 1970-01-01 of the same clock (local or UTC).
double DateTimeFromUnixMs(std::int64_t milliseconds)
{
    const std::int64_t days = FloorDiv(milliseconds, MillisecondsPerDay);
    const std::int64_t millisecondsOfDay = milliseconds - days * MillisecondsPerDay;
    return double(days + DateTimeDaysBeforeUnixEpoch) +
        double(millisecondsOfDay) / double(MillisecondsPerDay);
}

// The offset of local time from UTC, in seconds, at the given moment.
std::int64_t UtcOffsetAt(std::time_t moment)
{
    std::tm local {};
    if (!::localtime_r(&moment, &local)) {
        return 0;
    }
    return local.tm_gmtoff;
}

// The locale's long time format without its time-zone field: the field's letters, brackets
// that held only the field, and the blanks before it go.
QString TimeFormatWithoutZone(const QString& format)
{
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
            continue;
        }
        if (quoted || c != u't') {
            result += c;
            continue;
        }
        while (i + 1 < format.size() && format.at(i + 1) == u't') {
            ++i;
        }
        if (result.endsWith(u'(') && i + 1 < format.size() && format.at(i + 1) == u')') {
            result.chop(1);
            ++i;
        }
        while (!result.isEmpty() && result.back().isSpace()) {
            result.chop(1);
        }
    }
    return result.trimmed();
}

std::string LocalDisplayText(
    int year, int month, int day, int hour, int minute, int second, int milliseconds)
{
    const QLocale locale;
    QString text =
        locale.toString(QDate(year, month, day), locale.dateFormat(QLocale::ShortFormat));
    if (hour != 0 || minute != 0 || second != 0 || milliseconds != 0) {
        text += u' ';
        text += locale.toString(QTime(hour, minute, second, milliseconds),
            TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
    }
    return text.toStdString();
}

} // namespace

bool FileTimeToSystemTime(const platform::TFileTime& fileTime, TSystemTime& out)
{
    const std::uint64_t ticks = fileTime.Ticks();
    if (ticks >> 63 != 0) {
        return false;
    }
    const std::int64_t milliseconds = std::int64_t(ticks) / TicksPerMillisecond;
    const std::int64_t days = milliseconds / MillisecondsPerDay;
    std::int64_t rest = milliseconds % MillisecondsPerDay;
    const std::int64_t unixDays = days - FileTimeDaysBeforeUnixEpoch;
    const TCivilDate date = CivilFromDays(unixDays);

    TSystemTime time;
    time.wYear = std::uint16_t(date.Year);
    time.wMonth = std::uint16_t(date.Month);
    time.wDay = std::uint16_t(date.Day);
    // 1970-01-01 was a Thursday.
    time.wDayOfWeek = std::uint16_t(((unixDays + 4) % 7 + 7) % 7);
    time.wHour = std::uint16_t(rest / 3600000);
    rest %= 3600000;
    time.wMinute = std::uint16_t(rest / 60000);
    rest %= 60000;
    time.wSecond = std::uint16_t(rest / 1000);
    time.wMilliseconds = std::uint16_t(rest % 1000);
    out = time;
    return true;
}

std::string FileTimeToCommaText(const platform::TFileTime& fileTime)
{
    return std::to_string(std::int32_t(fileTime.dwLowDateTime)) + "," +
        std::to_string(std::int32_t(fileTime.dwHighDateTime));
}

std::int32_t CompareFileTimes(const platform::TFileTime& a, const platform::TFileTime& b)
{
    // Whole milliseconds since 1601 order times exactly as their calendar fields down to the
    // millisecond do, and give times with the top bit set a fixed place too.
    const std::uint64_t left = a.Ticks() / TicksPerMillisecond;
    const std::uint64_t right = b.Ticks() / TicksPerMillisecond;
    if (left < right) {
        return -1;
    }
    return left > right ? 1 : 0;
}

std::string FileTimeToDisplayText(const platform::TFileTime& fileTime)
{
    TSystemTime utc;
    if (!FileTimeToSystemTime(fileTime, utc)) {
        return UnknownText;
    }
    const std::int64_t ticks = std::int64_t(fileTime.Ticks());
    const std::time_t unixSeconds = std::time_t(
        ticks / platform::FileTimeTicksPerSecond - platform::UnixEpochInFileTimeSeconds);
    std::tm local {};
    if (!::localtime_r(&unixSeconds, &local)) {
        return UnknownText;
    }
    return LocalDisplayText(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
        local.tm_min, local.tm_sec, utc.wMilliseconds);
}

double FileTimeToLocalDateTime(const platform::TFileTime& fileTime)
{
    if (fileTime.IsZero()) {
        return 0.0;
    }
    const std::uint64_t ticks = fileTime.Ticks();
    if (ticks >> 63 != 0) {
        return NowAsDateTime();
    }
    const std::int64_t offsetTicks =
        UtcOffsetAt(std::time(nullptr)) * platform::FileTimeTicksPerSecond;
    std::int64_t localTicks = 0;
    if (__builtin_add_overflow(std::int64_t(ticks), offsetTicks, &localTicks) || localTicks < 0) {
        return NowAsDateTime();
    }
    TSystemTime local;
    if (!FileTimeToSystemTime(platform::TFileTime::FromTicks(std::uint64_t(localTicks)), local)) {
        return NowAsDateTime();
    }
    const std::optional<double> dateTime = EncodeDateTime(local.wYear, local.wMonth, local.wDay,
        local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
    return dateTime ? *dateTime : NowAsDateTime();
}

double NowAsDateTime()
{
    std::timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return UnixMsToDateTime(std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

std::string DateTimeToDisplayText(double dateTime)
{
    if (!std::isfinite(dateTime) || dateTime < FirstValidDateTime ||
        dateTime >= EndOfValidDateTimes) {
        return {};
    }
    const std::int64_t total = std::llround(dateTime * double(MillisecondsPerDay));
    const std::int64_t days = FloorDiv(total, MillisecondsPerDay);
    std::int64_t rest = total - days * MillisecondsPerDay;
    const TCivilDate date = CivilFromDays(days - DateTimeDaysBeforeUnixEpoch);
    if (date.Year > 9999) {
        return {};
    }
    const int hour = int(rest / 3600000);
    rest %= 3600000;
    const int minute = int(rest / 60000);
    rest %= 60000;
    return LocalDisplayText(int(date.Year), int(date.Month), int(date.Day), hour, minute,
        int(rest / 1000), int(rest % 1000));
}

std::optional<double> EncodeDateTime(
    int year, int month, int day, int hour, int minute, int second, int milliseconds)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || milliseconds < 0 || milliseconds > 999) {
        return std::nullopt;
    }
    const std::int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day));
    const std::int64_t millisecondsOfDay =
        ((std::int64_t(hour) * 60 + minute) * 60 + second) * 1000 + milliseconds;
    return DateTimeFromUnixMs(days * MillisecondsPerDay + millisecondsOfDay);
}

double UnixMsToDateTime(std::int64_t unixMilliseconds)
{
    const std::time_t seconds = std::time_t(FloorDiv(unixMilliseconds, 1000));
    std::int64_t local = 0;
    if (__builtin_add_overflow(unixMilliseconds, UtcOffsetAt(seconds) * 1000, &local)) {
        local = unixMilliseconds;
    }
    return DateTimeFromUnixMs(local);
}

std::optional<std::int64_t> DateTimeToUnixMs(double dateTime)
{
    if (!std::isfinite(dateTime) || dateTime < FirstValidDateTime ||
        dateTime >= EndOfValidDateTimes) {
        return std::nullopt;
    }
    const std::int64_t total = std::llround(dateTime * double(MillisecondsPerDay));
    const std::int64_t days = FloorDiv(total, MillisecondsPerDay);
    const std::int64_t millisecondsOfDay = total - days * MillisecondsPerDay;
    const TCivilDate date = CivilFromDays(days - DateTimeDaysBeforeUnixEpoch);

    std::tm local {};
    local.tm_year = int(date.Year - 1900);
    local.tm_mon = int(date.Month) - 1;
    local.tm_mday = int(date.Day);
    local.tm_hour = int(millisecondsOfDay / 3600000);
    local.tm_min = int(millisecondsOfDay / 60000 % 60);
    local.tm_sec = int(millisecondsOfDay / 1000 % 60);
    local.tm_isdst = -1;
    // mktime sets the day of the week only when it succeeds; -1 is a valid time_t.
    local.tm_wday = -1;
    const std::time_t seconds = std::mktime(&local);
    if (local.tm_wday < 0) {
        return std::nullopt;
    }
    return std::int64_t(seconds) * 1000 + millisecondsOfDay % 1000;
}
