// The per-host statistics and how they read on the Statistics page and in the tooltip.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/HostStatistics.h"
#include "core/StatisticsText.h"
#include "support/LocaleGuard.h"

namespace {

constexpr double kMinute = 1.0 / 1440;
// A function, not a constant: EncodeDate needs the statics of its own unit.
TDateTime T0() {
    return EncodeDate(2024, 5, 6) + EncodeTime(12, 0, 0, 0);
}

TEchoOutcome Replied(double ms) {
    return {TEchoOutcome::TKind::Replied, ms / 1000, ""};
}
TEchoOutcome Lost(const char* status = "timed_out") {
    return {TEchoOutcome::TKind::Lost, 0, status};
}
TEchoOutcome NotSent() {
    return {TEchoOutcome::TKind::NotSent, 0, kLookupFailedWord};
}

struct TTimedProbe {
    TEchoOutcome Outcome;
    double Minutes;  // after T0()
};

struct TFigures {
    int Sent, Received;
    double Min, Mean, Max, Jitter, Loss;
};

void ExpectFigures(const TSpanFigures& f, const TFigures& e, const std::string& what) {
    EXPECT_EQ(f.Sent, e.Sent) << what;
    EXPECT_EQ(f.Received, e.Received) << what;
    EXPECT_NEAR(f.LossPercent(), e.Loss, 1e-9) << what;
    if (e.Received > 0) {
        EXPECT_NEAR(f.Min, e.Min, 1e-9) << what;
        EXPECT_NEAR(f.Mean, e.Mean, 1e-9) << what;
        EXPECT_NEAR(f.Max, e.Max, 1e-9) << what;
    }
    EXPECT_NEAR(f.Jitter, e.Jitter, 1e-9) << what;
}

TEST(HostStatistics, CountsBothSpans) {
    struct Row {
        const char* name;
        std::vector<TTimedProbe> probes;
        TFigures sinceSet;
        TFigures lastHour;
    } const rows[] = {
        {"loss apart from latency",
         {{Replied(10), 0}, {Lost(), 1}, {Replied(20), 2}, {Replied(30), 3}},
         {4, 3, 10, 20, 30, 10, 25},
         {4, 3, 10, 20, 30, 10, 25}},
        {"a steady host has no jitter",
         {{Replied(20), 0}, {Replied(20), 1}, {Replied(20), 2}},
         {3, 3, 20, 20, 20, 0, 0},
         {3, 3, 20, 20, 20, 0, 0}},
        {"jitter over answered echoes on both sides of a loss",
         {{Replied(10), 0}, {Lost(), 1}, {Lost(), 2}, {Replied(16), 3}, {Replied(13), 4}},
         {5, 3, 10, 13, 16, 4.5, 40},
         {5, 3, 10, 13, 16, 4.5, 40}},
        {"a name that does not resolve sends nothing",
         {{NotSent(), 0}, {Replied(10), 1}},
         {1, 1, 10, 10, 10, 0, 0},
         {1, 1, 10, 10, 10, 0, 0}},
        {"everything lost",
         {{Lost(), 0}, {Lost("host_unreachable"), 1}},
         {2, 0, 0, 0, 0, 0, 100},
         {2, 0, 0, 0, 0, 0, 100}},
        {"the hour leaves older probes out",
         {{Replied(100), 0}, {Lost(), 10}, {Replied(10), 70}, {Replied(20), 90}},
         {4, 3, 10, 130.0 / 3, 100, 50, 25},
         {2, 2, 10, 15, 20, 10, 0}},
    };
    for (const Row& r : rows) {
        THostStatistics s;
        s.SetHost("h", T0());
        for (const TTimedProbe& p : r.probes) {
            s.Add(p.Outcome, p.Outcome.Kind == TEchoOutcome::TKind::Replied ? "" : "Error",
                  T0() + p.Minutes * kMinute);
        }
        const TDateTime end = T0() + r.probes.back().Minutes * kMinute;
        ExpectFigures(s.SinceSet(), r.sinceSet, std::string(r.name) + ", since set");
        ExpectFigures(s.LastHour(end), r.lastHour, std::string(r.name) + ", last hour");
    }
}

TEST(HostStatistics, StateAndSinceFollowTheLatestProbe) {
    struct Row {
        TEchoOutcome outcome;
        const char* error;
        THostState state;
        double sinceMinutes;
        std::string stateError;
    } const rows[] = {
        {Replied(5), "", THostState::Answering, 0, ""},
        {Lost(), "Error 11010 in call to IcmpSendEcho(): Request Timed Out", THostState::TimedOut,
         1, "Error 11010 in call to IcmpSendEcho(): Request Timed Out"},
        // A reply past the time-out has no error text: the state says it.
        {Lost(), "", THostState::TimedOut, 1, "timed out"},
        {Lost("host_unreachable"), "Error 11003", THostState::Unreachable, 3, "Error 11003"},
        {Lost("ttl_expired"), "Error 11013", THostState::Unreachable, 3, "Error 11013"},
        {Lost("packet_too_big"), "Error 11009", THostState::Failing, 5, "Error 11009"},
        {NotSent(), "Error in call to gethostbyname().", THostState::NoName, 6,
         "Error in call to gethostbyname()."},
        {Replied(7), "", THostState::Answering, 7, ""},
    };
    THostStatistics s;
    s.SetHost("h", T0());
    EXPECT_EQ(s.State(), THostState::Unknown);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        s.Add(r.outcome, r.error, T0() + static_cast<double>(i) * kMinute);
        EXPECT_EQ(s.State(), r.state) << i;
        EXPECT_NEAR(s.StateSince(), T0() + r.sinceMinutes * kMinute, 1e-9) << i;
        EXPECT_EQ(s.StateError(), r.stateError) << i;
        EXPECT_EQ(s.LastRoundTrip().has_value(), r.state == THostState::Answering) << i;
    }
    EXPECT_EQ(s.SinceSet().LastError, "Error in call to gethostbyname().");
    EXPECT_NEAR(s.SinceSet().LastErrorAt, T0() + 6 * kMinute, 1e-9);
}

TEST(HostStatistics, ResetStartsTheSpansAndAHostChangeEverything) {
    THostStatistics s;
    s.SetHost("h", T0());
    s.Add(Lost(), "Error", T0());
    s.Add(Replied(10), "", T0() + kMinute);
    s.Reset(T0() + 2 * kMinute);
    for (const TSpanFigures& f : {s.SinceSet(), s.LastHour(T0() + 3 * kMinute)}) {
        EXPECT_EQ(f.Sent, 0);
        EXPECT_EQ(f.JitterPairs, 0);
        EXPECT_TRUE(f.LastError.empty());
        EXPECT_NEAR(f.From, T0() + 2 * kMinute, 1e-9);
    }
    EXPECT_EQ(s.State(), THostState::Answering) << "the state is no count";
    s.Add(Replied(14), "", T0() + 3 * kMinute);
    EXPECT_EQ(s.SinceSet().JitterPairs, 0) << "no pair across the reset";

    s.SetHost("other", T0() + 4 * kMinute);
    EXPECT_EQ(s.Host(), "other");
    EXPECT_EQ(s.State(), THostState::Unknown);
    EXPECT_FALSE(s.LastRoundTrip());
    EXPECT_EQ(s.SinceSet().Sent, 0);
}

TEST(HostStatistics, TheHourKeepsOnlyTheLastHoursErrors) {
    THostStatistics s;
    s.SetHost("h", T0());
    s.Add(Lost(), "Error", T0());
    s.Add(Replied(10), "", T0() + 61 * kMinute);
    EXPECT_EQ(s.SinceSet().LastError, "Error");
    EXPECT_TRUE(s.LastHour(T0() + 61 * kMinute).LastError.empty());
}

class StatisticsTextTest : public ::testing::Test {
protected:
    const TLocaleGuard locale;
};

TEST_F(StatisticsTextTest, PageColumnForEachSpan) {
    THostStatistics s;
    s.SetHost("h", T0());
    s.Add(Replied(100), "", T0());
    s.Add(Lost(), "Error 11010", T0() + 30 * kMinute);
    s.Add(Replied(20.5), "", T0() + 70 * kMinute);
    const TDateTime now = T0() + 70 * kMinute;
    const TStatisticsColumn set = StatisticsColumn(s, false, now);
    const std::vector<std::string> setCells(std::begin(set.Cells), std::end(set.Cells));
    EXPECT_EQ(setCells, (std::vector<std::string>{"answering", "13:10:00", "20.5 ms", "12:00:00",
                                                  "20.5 ms", "60.2 ms", "100.0 ms", "79.5 ms",
                                                  "33%", "3 / 2", "12:30:00"}));
    EXPECT_EQ(set.Hints[10], "Error 11010");
    const TStatisticsColumn hour = StatisticsColumn(s, true, now);
    EXPECT_EQ(hour.Cells[3], "12:10:00");
    EXPECT_EQ(hour.Cells[7], "\u2013") << "one answer in the hour makes no pair";
    EXPECT_EQ(hour.Cells[8], "50%");
    EXPECT_EQ(hour.Cells[9], "2 / 1");
    EXPECT_EQ(StatisticsColumn(s, false, now + 1).Cells[1], DateTimeToStr(T0() + 70 * kMinute))
        << "another day's time comes with its date";
    THostStatistics none;
    EXPECT_EQ(StatisticsColumn(none, false, now).Cells[0], "no host");
}

TEST_F(StatisticsTextTest, TooltipAddsHostLinesWithinTheTraysLength) {
    const auto host = [](const std::string& name, std::vector<TEchoOutcome> probes) {
        THostStatistics s;
        s.SetHost(name, T0());
        for (const TEchoOutcome& p : probes) {
            s.Add(p, "", T0());
        }
        return s;
    };
    const THostStatistics steady =
        host("198.18.2.2", {Replied(80.4), Lost(), Replied(80.4), Replied(80.4)});
    const THostStatistics down = host("198.18.3.2", {Lost("host_unreachable")});
    const std::string longName(60, 'x');
    const THostStatistics longA = host(longName + "a", {Replied(8)});
    const THostStatistics longB = host(longName + "b", {Replied(8)});
    const THostStatistics empty;
    struct Row {
        const char* name;
        std::string status;
        std::string lost;
        const THostStatistics* h2;
        const THostStatistics* h3;
        std::string tip;
    } const rows[] = {
        {"both lines", "Ping a: 20.0 msec.", "", &steady, &down,
         "Ping a: 20.0 msec.\n198.18.2.2 80.4 ms, 25% lost\n198.18.3.2 unreachable, 100% lost"},
        {"host 1 lost everything", "Ping a: 1000.0 msec.", "timed out", &steady, &empty,
         "Ping a: 1000.0 msec.\nEvery echo lost: timed out\n198.18.2.2 80.4 ms, 25% lost"},
        {"long names are shortened", "Ping a: 20.0 msec.", "", &longA, &longB,
         "Ping a: 20.0 msec.\n" + std::string(33, 'x') + "\u2026 8.00 ms, 0% lost\n" +
             std::string(33, 'x') + "\u2026 8.00 ms, 0% lost"},
        {"the last line goes when shortening is not enough", "Ping " + longName + ": 20.0 msec.",
         "", &longA, &longB,
         "Ping " + longName + ": 20.0 msec.\n" + std::string(29, 'x') + "\u2026 8.00 ms, 0% lost"},
        {"the lost echoes stay longest", "Ping " + longName + ": 20.0 msec.", "timed out", &longA,
         &longB, "Ping " + longName + ": 20.0 msec.\nEvery echo lost: timed out"},
        {"the status line stays whole", "Ping " + std::string(130, 'y') + ": 20.0 msec.", "",
         &steady, &down, "Ping " + std::string(130, 'y') + ": 20.0 msec."},
    };
    for (const Row& r : rows) {
        const std::string tip = TrayTooltip(r.status, r.lost, *r.h2, *r.h3, T0());
        EXPECT_EQ(tip, r.tip) << r.name;
        EXPECT_TRUE(tip.size() <= 127 || tip == r.status) << r.name;
    }
}

}  // namespace
