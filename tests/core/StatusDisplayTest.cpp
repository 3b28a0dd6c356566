#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>

#include "core/StatusDisplay.h"

namespace {

TEST(StatusDisplay, TextsForTheMean) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    struct Row {
        std::optional<double> mean;
        const char* caption;
        const char* title;
        const char* tray;
        const char* hint;
    } const rows[] = {
        {20, "Latmo:  20.0 msec.", "  20 msec-Latmo", " 20", "Ping h1:  20.0 msec."},
        {999.4, "Latmo: 999.4 msec.", " 999 msec-Latmo", "999", "Ping h1: 999.4 msec."},
        {999.6, "Latmo: 999.6 msec.", "1000 msec-Latmo", " 1k", "Ping h1: 999.6 msec."},
        {1000, "Latmo: 1000.0 msec.", "1000 msec-Latmo", " 1k", "Ping h1: 1000.0 msec."},
        {2300, "Latmo: 2300.0 msec.", "2300 msec-Latmo", " 2k", "Ping h1: 2300.0 msec."},
        {-5, "Latmo:  -5.0 msec.", "  -5 msec-Latmo", " -5", "Ping h1:  -5.0 msec."},
        {1.0 / 3, "Latmo:   0.3 msec.", "   0 msec-Latmo", "  0", "Ping h1:   0.3 msec."},
        {std::nullopt, "Latmo: no measurement", "Latmo", "?", "Ping h1: no measurement"},
    };
    for (const Row& r : rows) {
        const TStatusView v = ComputeStatus(r.mean, "h1", "8000");
        EXPECT_EQ(v.Caption, r.caption);
        EXPECT_EQ(v.Title, r.title) << r.caption;
        EXPECT_EQ(v.TrayText, r.tray) << r.caption;
        EXPECT_EQ(v.TrayHint, r.hint) << r.caption;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StatusDisplay, ColoursAndAlarmAgainstTheThreshold) {
    struct Row {
        std::optional<double> mean;
        const char* threshold;
        std::vector<TColor> colours;
        bool alarm;
    } const rows[] = {
        {50, "100", {clBlack}, false},  // 2 x 50 is not above 100
        {60, "100", {clNavy}, false},   // 120 > 100
        {100, "100", {clNavy}, false},  // not above the threshold itself
        {101, "100", {clNavy, clMaroon}, true},
        {9000, "8000", {clNavy, clMaroon}, true},
        {20, " 100", {clBlack}, false},           // leading blanks are a whole number too
        {20, "$64", {clBlack}, false},            // so is hexadecimal 100
        {std::nullopt, "100", {clBlack}, false},  // no measurement: nothing to warn of
    };
    for (const Row& r : rows) {
        const TStatusView v = ComputeStatus(r.mean, "h", r.threshold);
        EXPECT_FALSE(v.ThresholdInvalid);
        const std::string row = (r.mean ? std::to_string(*r.mean) : "none") + " vs " + r.threshold;
        EXPECT_EQ(v.TrayColors, r.colours) << row;
        EXPECT_EQ(v.AlarmDue, r.alarm) << row;
    }
    for (const char* bad : {"abc", "", "100 ms", "1e3"}) {
        const TStatusView v = ComputeStatus(50000, "h", bad);
        EXPECT_TRUE(v.ThresholdInvalid) << bad;
        EXPECT_TRUE(v.TrayColors.empty()) << bad;
        EXPECT_FALSE(v.AlarmDue) << bad;
        EXPECT_EQ(v.TrayText, "50k") << "the texts are shown all the same";
    }
}

}  // namespace
