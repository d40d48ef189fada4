#include "engine/FileTimeHelper.h"

#include <QLocale>
#include <QString>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

using platform::TFileTime;

namespace {

// Central European rules without the time-zone database: UTC+1 in winter, UTC+2 from the last
// Sunday of March to the last Sunday of October.
const char BerlinRules[] = "CET-1CEST,M3.5.0,M10.5.0/3";

// Sets TZ for the lifetime of the object and restores the previous zone afterwards.
class TScopedTimeZone {
public:
    explicit TScopedTimeZone(const char* zone)
    {
        const char* previous = std::getenv("TZ");
        if (previous) {
            FPrevious = previous;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TScopedTimeZone()
    {
        if (FPrevious) {
            ::setenv("TZ", FPrevious->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    TScopedTimeZone(const TScopedTimeZone&) = delete;
    TScopedTimeZone& operator=(const TScopedTimeZone&) = delete;

private:
    std::optional<std::string> FPrevious;
};

// Makes a locale the default one for the lifetime of the object.
class TScopedLocale {
public:
    explicit TScopedLocale(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~TScopedLocale() { QLocale::setDefault(FPrevious); }
    TScopedLocale(const TScopedLocale&) = delete;
    TScopedLocale& operator=(const TScopedLocale&) = delete;

private:
    QLocale FPrevious;
};

std::int64_t UnixSeconds(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return ::timegm(&fields);
}

// The file time of a UTC calendar time.
TFileTime Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
    int milliseconds = 0)
{
    return TFileTime::FromTicks(
        platform::FileTimeFromUnix(UnixSeconds(year, month, day, hour, minute, second), 0).Ticks() +
        std::uint64_t(milliseconds) * 10000);
}

constexpr std::uint64_t TopBit = std::uint64_t(1) << 63;

double Encode(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
    int milliseconds = 0)
{
    const std::optional<double> value =
        EncodeDateTime(year, month, day, hour, minute, second, milliseconds);
    EXPECT_TRUE(value.has_value());
    return value.value_or(std::numeric_limits<double>::quiet_NaN());
}

std::int64_t CurrentUtcOffsetSeconds()
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    return local.tm_gmtoff;
}

double NowBySystemClock()
{
    return UnixMsToDateTime(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                                .count());
}

} // namespace

TEST(FileTimeToCommaText, HalvesAreWrittenAsSignedNumbersLowHalfFirst)
{
    const struct {
        TFileTime Time;
        const char* Expected;
    } cases[] = {
        {{0xFFFFFFFFu, 0}, "-1,0"},
        {{0, 0}, "0,0"},
        {{1, 0x80000000u}, "1,-2147483648"},
        {{0x7FFFFFFFu, 30828000u}, "2147483647,30828000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileTimeToCommaText(c.Time), c.Expected);
    }
}

TEST(FileTimeToSystemTime, SplitsTicksIntoUtcCalendarFields)
{
    const struct {
        std::uint64_t Ticks;
        TSystemTime Expected; // year, month, weekday, day, hour, minute, second, ms
    } cases[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {9999, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {Utc(1970, 1, 1).Ticks(), {1970, 1, 4, 1, 0, 0, 0, 0}},
        {Utc(2000, 2, 29, 12, 34, 56, 789).Ticks(), {2000, 2, 2, 29, 12, 34, 56, 789}},
        {Utc(2100, 3, 1, 23, 59, 59, 999).Ticks(), {2100, 3, 1, 1, 23, 59, 59, 999}},
        {TopBit - 1, {30828, 9, 4, 14, 2, 48, 5, 477}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Ticks);
        TSystemTime time;
        ASSERT_TRUE(FileTimeToSystemTime(TFileTime::FromTicks(c.Ticks), time));
        EXPECT_EQ(time.wYear, c.Expected.wYear);
        EXPECT_EQ(time.wMonth, c.Expected.wMonth);
        EXPECT_EQ(time.wDayOfWeek, c.Expected.wDayOfWeek);
        EXPECT_EQ(time.wDay, c.Expected.wDay);
        EXPECT_EQ(time.wHour, c.Expected.wHour);
        EXPECT_EQ(time.wMinute, c.Expected.wMinute);
        EXPECT_EQ(time.wSecond, c.Expected.wSecond);
        EXPECT_EQ(time.wMilliseconds, c.Expected.wMilliseconds);
    }
}

TEST(FileTimeToSystemTime, TopBitTimesFailAndLeaveTheResultAlone)
{
    for (std::uint64_t ticks : {TopBit, TopBit + 12345, ~std::uint64_t(0)}) {
        TSystemTime time;
        time.wYear = 42;
        EXPECT_FALSE(FileTimeToSystemTime(TFileTime::FromTicks(ticks), time));
        EXPECT_EQ(time.wYear, 42);
    }
}

TEST(CompareFileTimes, OrdersByCalendarFieldsDownToTheMillisecond)
{
    const std::uint64_t base = Utc(2023, 5, 10, 8, 0, 0).Ticks();
    const struct {
        std::uint64_t A;
        std::uint64_t B;
        int ExpectedSign;
    } cases[] = {
        // Same month and time of day, different days: the day decides.
        {Utc(2023, 5, 11, 8, 0, 0).Ticks(), Utc(2023, 5, 10, 8, 0, 0).Ticks(), 1},
        {Utc(2023, 5, 10, 23, 59, 59).Ticks(), Utc(2023, 5, 11).Ticks(), -1},
        {Utc(2022, 12, 31).Ticks(), Utc(2023, 1, 1).Ticks(), -1},
        // Less than a millisecond apart within the same millisecond: equal.
        {base, base + 9999, 0},
        {base + 9999, base, 0},
        {base, base, 0},
        // One tick apart across a millisecond boundary: different.
        {base + 9999, base + 10000, -1},
        {base + 10000, base, 1},
        // Times with the top bit set have a fixed place after every valid time.
        {TopBit, base, 1},
        {base, TopBit + 5, -1},
        {TopBit, TopBit + 1, 0},
        {0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.A << " vs " << c.B);
        const int result = CompareFileTimes(TFileTime::FromTicks(c.A), TFileTime::FromTicks(c.B));
        EXPECT_EQ((result > 0) - (result < 0), c.ExpectedSign);
    }
}

TEST(FileTimeToDisplayText, ShowsLocalDateAndTimeAndLeavesOutAnExactMidnight)
{
    // The test program runs with the C locale: "d MMM yyyy" and "HH:mm:ss" (its zone field is
    // left out).
    const struct {
        TFileTime Time;
        const char* Expected;
    } cases[] = {
        {Utc(2023, 7, 1, 14, 30, 5), "1 Jul 2023 14:30:05"},
        {Utc(2023, 7, 1), "1 Jul 2023"},
        {Utc(2023, 7, 1, 0, 0, 0, 1), "1 Jul 2023 00:00:00"},
        {Utc(2023, 7, 1, 0, 0, 1), "1 Jul 2023 00:00:01"},
        {TFileTime {}, "1 Jan 1601"},
        {TFileTime::FromTicks(TopBit), "Unknown."},
        {TFileTime {0xFFFFFFFFu, 0xFFFFFFFFu}, "Unknown."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileTimeToDisplayText(c.Time), c.Expected);
    }
}

TEST(FileTimeToDisplayText, FollowsTheSummerTimeRulesOfTheFilesOwnDate)
{
    TScopedTimeZone zone(BerlinRules);
    const struct {
        TFileTime Time;
        const char* Expected;
    } cases[] = {
        {Utc(2023, 7, 1, 12, 0, 0), "1 Jul 2023 14:00:00"},
        {Utc(2023, 1, 15, 12, 0, 0), "15 Jan 2023 13:00:00"},
        // Local midnight, summer and winter: the time is left out.
        {Utc(2023, 6, 30, 22, 0, 0), "1 Jul 2023"},
        {Utc(2023, 1, 14, 23, 0, 0), "15 Jan 2023"},
        // UTC midnight is not local midnight.
        {Utc(2023, 7, 1), "1 Jul 2023 02:00:00"},
        // The change to summer time on 2023-03-26 at 01:00 UTC.
        {Utc(2023, 3, 26, 0, 59, 59), "26 Mar 2023 01:59:59"},
        {Utc(2023, 3, 26, 1, 0, 0), "26 Mar 2023 03:00:00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileTimeToDisplayText(c.Time), c.Expected);
    }
}

TEST(FileTimeToDisplayText, UsesTheLocaleFormatsWithoutATimeZoneField)
{
    const TFileTime afternoon = Utc(2023, 7, 1, 14, 30, 5);
    const struct {
        const char16_t* Locale;
        const char* Expected;
    } cases[] = {
        {u"en_US", "7/1/23 2:30:05\u202fPM"},
        {u"de_DE", "01.07.23 14:30:05"},
        {u"en_GB", "01/07/2023 14:30:05"},
    };
    for (const auto& c : cases) {
        TScopedLocale locale(QString::fromUtf16(c.Locale));
        const std::string text = FileTimeToDisplayText(afternoon);
        // Qt versions differ in the blank before "PM"; compare with either.
        std::string expected = c.Expected;
        if (text.find(" PM") != std::string::npos) {
            expected.replace(expected.find("\u202f"), std::string("\u202f").size(), " ");
        }
        EXPECT_EQ(text, expected) << QString::fromUtf16(c.Locale).toStdString();
        EXPECT_EQ(text.find("UTC"), std::string::npos);
    }
}

TEST(FileTimeToLocalDateTime, ZeroGivesZeroAndValidTimesGiveDaysSince1899)
{
    EXPECT_EQ(FileTimeToLocalDateTime(TFileTime {}), 0.0);
    // TZ is UTC in the test program.
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(Utc(2000, 1, 1, 18, 0, 0)), 36526.75);
    EXPECT_EQ(FileTimeToLocalDateTime(Utc(1899, 12, 30, 6)), 0.25);
    EXPECT_DOUBLE_EQ(
        FileTimeToLocalDateTime(Utc(2000, 1, 1, 0, 0, 0, 500)), 36526.0 + 500.0 / 86400000.0);
    // Ticks below a millisecond are dropped.
    EXPECT_EQ(
        FileTimeToLocalDateTime(TFileTime::FromTicks(Utc(2000, 1, 1).Ticks() + 9999)), 36526.0);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(TFileTime::FromTicks(1)), Encode(1601, 1, 1));
}

TEST(FileTimeToLocalDateTime, ShiftsEveryDateByTheOffsetInForceNow)
{
    TScopedTimeZone zone(BerlinRules);
    const std::int64_t offsetBefore = CurrentUtcOffsetSeconds();
    const double summer = FileTimeToLocalDateTime(Utc(2023, 7, 1, 12, 0, 0));
    const double winter = FileTimeToLocalDateTime(Utc(2023, 1, 15, 12, 0, 0));
    if (CurrentUtcOffsetSeconds() != offsetBefore) {
        GTEST_SKIP() << "the zone's offset changed while the test ran";
    }
    const double shift = double(offsetBefore) / 86400.0;
    EXPECT_NEAR(summer, Encode(2023, 7, 1, 12) + shift, 1e-9);
    EXPECT_NEAR(winter, Encode(2023, 1, 15, 12) + shift, 1e-9);
}

TEST(FileTimeToLocalDateTime, TimesThatCannotBeConvertedGiveTheCurrentDateTime)
{
    const struct {
        const char* Zone;
        std::uint64_t Ticks;
    } cases[] = {
        {"UTC", TopBit},
        {"UTC", ~std::uint64_t(0)},
        // Valid file time, but beyond the year 9999 of date-times.
        {"UTC", TopBit - 1},
        // Shifted before 1601 by a zone west of UTC.
        {"EST5", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Zone);
        TScopedTimeZone zone(c.Zone);
        const double before = NowBySystemClock();
        const double result = FileTimeToLocalDateTime(TFileTime::FromTicks(c.Ticks));
        const double after = NowBySystemClock();
        EXPECT_GE(result, before);
        EXPECT_LE(result, after);
    }
}

TEST(NowAsDateTime, IsTheCurrentLocalTime)
{
    TScopedTimeZone zone(BerlinRules);
    const double before = NowBySystemClock();
    const double now = NowAsDateTime();
    const double after = NowBySystemClock();
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
    // Central European local time is one or two hours ahead of UTC.
    const auto utcMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const double utc = 25569.0 + double(utcMs) / 86400000.0;
    EXPECT_GT(now - utc, 0.9 / 24);
    EXPECT_LT(now - utc, 2.1 / 24);
}

TEST(EncodeDateTime, CountsDaysFrom1899AndRejectsImpossibleFields)
{
    EXPECT_EQ(Encode(1899, 12, 30), 0.0);
    EXPECT_EQ(Encode(2000, 1, 1, 12), 36526.5);
    EXPECT_EQ(Encode(1899, 12, 29, 18), -0.25);
    EXPECT_EQ(Encode(2024, 2, 29), Encode(2024, 2, 28) + 1.0);
    EXPECT_EQ(Encode(1, 1, 1), -693593.0);

    const struct {
        int Year, Month, Day, Hour, Minute, Second, Milliseconds;
    } invalid[] = {
        {2023, 2, 29, 0, 0, 0, 0},
        {1900, 2, 29, 0, 0, 0, 0},
        {2023, 13, 1, 0, 0, 0, 0},
        {2023, 0, 1, 0, 0, 0, 0},
        {2023, 4, 31, 0, 0, 0, 0},
        {2023, 1, 0, 0, 0, 0, 0},
        {2023, 1, 1, 24, 0, 0, 0},
        {2023, 1, 1, 0, 60, 0, 0},
        {2023, 1, 1, 0, 0, 60, 0},
        {2023, 1, 1, 0, 0, 0, 1000},
        {0, 1, 1, 0, 0, 0, 0},
        {10000, 1, 1, 0, 0, 0, 0},
        {2023, 1, 1, -1, 0, 0, 0},
    };
    for (const auto& c : invalid) {
        EXPECT_FALSE(
            EncodeDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.Milliseconds))
            << c.Year << "-" << c.Month << "-" << c.Day << " " << c.Hour << ":" << c.Minute << ":"
            << c.Second << "." << c.Milliseconds;
    }
}

TEST(UnixConversions, FollowTheZoneRulesOfTheDateBothWays)
{
    {
        // UTC: plain arithmetic.
        EXPECT_EQ(UnixMsToDateTime(0), 25569.0);
        EXPECT_EQ(UnixMsToDateTime(-86400000 / 4), 25568.75);
        EXPECT_EQ(DateTimeToUnixMs(25569.5), 43200000);
        EXPECT_EQ(DateTimeToUnixMs(Encode(1969, 12, 31, 23, 59, 59, 999)), -1);
    }
    TScopedTimeZone zone(BerlinRules);
    const std::int64_t summerNoonUtc = UnixSeconds(2023, 7, 1, 12, 0, 0) * 1000;
    const std::int64_t winterNoonUtc = UnixSeconds(2023, 1, 15, 12, 0, 0) * 1000 + 250;
    EXPECT_DOUBLE_EQ(UnixMsToDateTime(summerNoonUtc), Encode(2023, 7, 1, 14));
    EXPECT_DOUBLE_EQ(UnixMsToDateTime(winterNoonUtc), Encode(2023, 1, 15, 13, 0, 0, 250));
    EXPECT_EQ(DateTimeToUnixMs(Encode(2023, 7, 1, 14)), summerNoonUtc);
    EXPECT_EQ(DateTimeToUnixMs(Encode(2023, 1, 15, 13, 0, 0, 250)), winterNoonUtc);
    for (std::int64_t ms : {summerNoonUtc, winterNoonUtc, std::int64_t(0)}) {
        EXPECT_EQ(DateTimeToUnixMs(UnixMsToDateTime(ms)), ms);
    }
}

TEST(UnixConversions, ValuesOutsideTheCalendarAreRejected)
{
    const double cases[] = {std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 1e9,
        -1e9, 2958466.0, -693594.0};
    for (double value : cases) {
        EXPECT_FALSE(DateTimeToUnixMs(value)) << value;
        EXPECT_EQ(DateTimeToDisplayText(value), "") << value;
    }
}

TEST(DateTimeToDisplayText, UsesTheFormOfFileTimes)
{
    const struct {
        double Value;
        const char* Expected;
    } cases[] = {
        {36526.5, "1 Jan 2000 12:00:00"},
        {36526.0, "1 Jan 2000"},
        {0.0, "30 Dec 1899"},
        {-0.25, "29 Dec 1899 18:00:00"},
        // A value a hair below midnight rounds to the millisecond, then to the next day.
        {36527.0 - 1e-10, "2 Jan 2000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DateTimeToDisplayText(c.Value), c.Expected) << c.Value;
    }
}
