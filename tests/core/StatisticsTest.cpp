#include <gtest/gtest.h>

#include <clocale>

#include "core/LogFiles.h"
#include "core/Statistics.h"

namespace {

TEST(TrimmedMean, DropsOneHighestAndOneLowest) {
    struct Row {
        TRing ring;
        double mean;
    } const rows[] = {
        {{50, 60, 70, 80, 900}, 70.0},
        {{40, 40, 40, 40, 40}, 40.0},
        {{0, 0, 0, 0, 0}, 1.0 / 3.0},         // nothing left: counts as 1
        {{-5, -5, -5, -5, -5}, -20.0 / 3.0},  // max starts at 0
        {{9000, -5, -5, -5, -5}, -5.0},
        {{1, -5, -5, -5, -5}, -5.0},
        {{1, 1, 1, 1, 1}, 1.0},
        {{9000, 9000, 9000, 20, 30}, (18030.0) / 3.0},
    };
    for (const Row& r : rows) {
        EXPECT_NEAR(TrimmedMean(r.ring, 1024).Average, r.mean, 1e-9)
            << r.ring[0] << "," << r.ring[1] << "," << r.ring[2] << "," << r.ring[3] << ","
            << r.ring[4];
    }
}

TEST(TrimmedMean, SpeedIsTwicePingSizeOverMean) {
    EXPECT_DOUBLE_EQ(TrimmedMean({0, 0, 0, 0, 0}, 1024).Speed, 6.0 * 1024);
    EXPECT_DOUBLE_EQ(TrimmedMean({50, 60, 70, 80, 900}, 1400).Speed, 2800.0 / 70.0);
}

TEST(TrimmedMean, LogPageLineUsesTheLocaleSeparator) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(AverageLine("example.org", TrimmedMean({50, 60, 70, 80, 900}, 1024)),
              "Average ping for example.org: 70.00 msec. Minimum speed 29.3 kb/sec.");
    EXPECT_EQ(AverageLine("h", TrimmedMean({-5, -5, -5, -5, -5}, 1024)),
              "Average ping for h: -6.67 msec. Minimum speed -307.2 kb/sec.");
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        EXPECT_EQ(AverageLine("h", TrimmedMean({5, 5, 5, 5, 5}, 1024)),
                  "Average ping for h:  5,00 msec. Minimum speed 409,6 kb/sec.");
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(UpdateLog, FieldsAreTabSeparatedWithPointDecimals) {
    const std::string savedNumeric = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedTime = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "C");
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        std::setlocale(LC_NUMERIC, "C");
    }
    const TDateTime when = EncodeDate(2026, 12, 7) + EncodeTime(14, 3, 9, 0);
    EXPECT_EQ(UpdateLogLine(when, {"a.example", 5}, {"b.example", 70}, {"c.example", 1234.5}),
              "12/07/26 14:03:09\ta.example\t 5.00\tb.example\t70.00\tc.example\t1234.50\r\n");
    EXPECT_EQ(UpdateLogLine(EncodeDate(2026, 12, 7), {"", -5}, {"x", 0.333333}, {"y", 99.999}),
              "12/07/26\t\t-5.00\tx\t 0.33\ty\t100.00\r\n");
    std::setlocale(LC_NUMERIC, savedNumeric.c_str());
    std::setlocale(LC_TIME, savedTime.c_str());
}

TEST(UpdateLog, BareNamesGoToTheProgramDirectory) {
    const std::pair<const char*, const char*> rows[] = {
        {"ping.log", "/opt/latmo/ping.log"},
        {"logs/ping.log", "logs/ping.log"},
        {"/var/log/ping.log", "/var/log/ping.log"},
        {"", ""},
        {"./ping.log", "./ping.log"},
    };
    for (const auto& [typed, shown] : rows) {
        EXPECT_EQ(CompleteLogFileName(typed, "/opt/latmo"), shown) << typed;
    }
}

}  // namespace
