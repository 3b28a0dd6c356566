#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "platform/Locale.h"
#include "toolkit/SysUtils.h"

namespace {

TEST(SysUtils, FormatFixedPadsAndRounds) {
    struct Row {
        double value;
        int width, precision;
        char sep;
        const char* text;
    } const rows[] = {
        {5, 5, 2, '.', " 5.00"},    {70, 5, 2, '.', "70.00"}, {1234.5, 5, 2, '.', "1234.50"},
        {-5, 5, 2, '.', "-5.00"},   {70, 5, 2, ',', "70,00"}, {0.3333333, 5, 1, '.', "  0.3"},
        {999.6, 3, 0, '.', "1000"}, {2.3, 2, 0, '.', " 2"},   {-6.666666, 5, 2, '.', "-6.67"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FormatFixed(r.value, r.width, r.precision, r.sep), r.text) << r.value;
    }
}

TEST(SysUtils, FileNameHelpers) {
    EXPECT_EQ(ChangeFileExt("/opt/latmo/bin/latmo", ".log"), "/opt/latmo/bin/latmo.log");
    EXPECT_EQ(ChangeFileExt("/opt/latmo/Latmo.exe", ".log"), "/opt/latmo/Latmo.log");
    EXPECT_EQ(ChangeFileExt("/opt/my.dir/latmo", ".log"), "/opt/my.dir/latmo.log");
    EXPECT_EQ(ExtractFileDir("/opt/latmo/latmo"), "/opt/latmo");
    EXPECT_EQ(ExtractFileDir("/latmo"), "/");
    EXPECT_EQ(ExtractFileDir("latmo"), "");
    EXPECT_EQ(ExtractFileName("/opt/latmo/latmo"), "latmo");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/opt"), "/opt/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/opt/"), "/opt/");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
}

TEST(SysUtils, DatesCountDaysFrom1899) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), UnixDateDelta);
    EXPECT_EQ(EncodeDate(2026, 12, 7), 46363.0);
    EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);

    const std::tm t = DateTimeToTm(EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(t.tm_year + 1900, 2024);
    EXPECT_EQ(t.tm_mon + 1, 2);
    EXPECT_EQ(t.tm_mday, 29);
    EXPECT_EQ(t.tm_hour, 23);
    EXPECT_EQ(t.tm_min, 59);
    EXPECT_EQ(t.tm_sec, 59);
    EXPECT_EQ(t.tm_wday, 4);  // a Thursday
}

TEST(SysUtils, DateTimeTextDropsTimeAtMidnight) {
    const char* old = std::setlocale(LC_TIME, nullptr);
    const std::string saved = old != nullptr ? old : "C";
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 7) + EncodeTime(8, 5, 3, 0)), "12/07/26 08:05:03");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 7)), "12/07/26");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 7) + EncodeTime(0, 0, 0, 400)),
              "12/07/26 00:00:00");
    std::setlocale(LC_TIME, saved.c_str());
}

TEST(SysUtils, NowIsTodayLocally) {
    const std::time_t t = std::time(nullptr);
    const std::tm lt = LocalTime(t);
    const double today = EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday);
    const double now = Now();
    // Allow for midnight passing between the two readings.
    EXPECT_GE(now, today);
    EXPECT_LT(now, today + 2);
}

}  // namespace
