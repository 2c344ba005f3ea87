#include "platform/base/datetime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>

#include "platform/base/errors.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace orv {
namespace {

TEST(DateTime, SerialNumbers) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 3, 1), 61.0);  // no phantom 1900-02-29
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(2000, 2, 29), 36585.0);
    EXPECT_EQ(EncodeTime(12, 0, 0), 0.5);
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0), EConvertError);

    // Every day of four centuries decodes to what it was made of.
    for (int serial = -1000; serial < 150000; serial += 7) {
        const DateTimeParts p = DecodeDateTime(serial);
        ASSERT_EQ(EncodeDate(p.year, p.month, p.day), serial) << serial;
    }
    DateTimeParts p{2024, 1, 5, 9, 5, 3, 250};
    const DateTimeParts q = DecodeDateTime(EncodeDateTime(p));
    EXPECT_EQ(std::tie(q.year, q.month, q.day, q.hour, q.minute, q.second, q.millisecond),
              std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
}

TEST(DateTime, Texts) {
    const TDateTime d = EncodeDate(2024, 1, 5);
    EXPECT_EQ(DateToStr(d), "2024/01/05");
    EXPECT_EQ(DateTimeToStr(d), "2024/01/05");  // midnight: the date alone
    EXPECT_EQ(TimeToStr(d), "0:00:00");
    EXPECT_EQ(DateTimeToStr(d + EncodeTime(9, 5, 3)), "2024/01/05 9:05:03");
    EXPECT_EQ(DateTimeToStr(d + EncodeTime(23, 59, 59)), "2024/01/05 23:59:59");
    EXPECT_EQ(DateTimeToStr(d + EncodeTime(0, 0, 0, 1)), "2024/01/05 0:00:00");  // not exactly midnight
    // Rounding to the millisecond carries into the next day instead of
    // printing a 24th hour.
    EXPECT_EQ(DateTimeToStr(d + (86400000.0 - 0.4) / 86400000.0), "2024/01/06");
    EXPECT_EQ(TimeToStr(EncodeTime(13, 7, 0)), "13:07:00");
}

TEST(DateTime, SizeTexts) {
    EXPECT_EQ(FormatSize(0), " 0");
    EXPECT_EQ(FormatSize(7), " 7");
    EXPECT_EQ(FormatSize(999), " 999");
    EXPECT_EQ(FormatSize(1000), " 1,000");
    EXPECT_EQ(FormatSize(123456), " 123,456");
    EXPECT_EQ(FormatSize(1234567), " 1,234,567");
    EXPECT_EQ(FormatSize(2147483647), " 2,147,483,647");
    EXPECT_EQ(FormatThousands(-1234), "-1,234");
    EXPECT_EQ(FormatThousands(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808");
}

TEST(DateTime, FileDatesAreLocalAndEvenSeconds) {
    test::ScopedEnv tz("TZ", "JST-9");
    ::tzset();
    // 2024-01-05 00:00:03 UTC = 09:00:03 in UTC+9, shown at 09:00:02.
    const std::int64_t t = 1704412803;
    EXPECT_EQ(DateTimeToStr(FileDateToDateTime(t)), "2024/01/05 9:00:02");
    EXPECT_EQ(DateTimeToStr(FileDateToDateTime(t + 1)), "2024/01/05 9:00:04");

    test::TempDir dir;
    const std::string path = dir / "f.jpg";
    test::WriteAll(path, "x");
    const struct timespec times[2] = {{t, 0}, {t, 900000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    TDateTime age = -1;
    ASSERT_TRUE(FileAgeLocal(path, age));
    EXPECT_EQ(age, EncodeDate(2024, 1, 5) + EncodeTime(9, 0, 2));
    TDateTime untouched = 42;
    EXPECT_FALSE(FileAgeLocal(dir / "missing", untouched));
    EXPECT_EQ(untouched, 42);
}

}  // namespace
}  // namespace orv
