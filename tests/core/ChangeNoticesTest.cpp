// When the desktop hears of a change, and that it hears of it once.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/ChangeNotices.h"
#include "support/LocaleGuard.h"

namespace {

// One collection: what each host's probe came to ('+' answered, '-' lost, ' ' none), host 1's
// mean and the threshold (0: not a number), a host set anew before it (0: none), and the title
// of the notice expected (empty: none).
struct TStep {
    const char* Probes;
    double Mean;
    int Threshold;
    const char* Title;
    int ChangedSlot = 0;
};

struct TScenario {
    const char* Name;
    std::vector<TStep> Steps;
};

class ChangeNoticesTest : public ::testing::TestWithParam<TScenario> {
protected:
    const TLocaleGuard locale;
};

TEST_P(ChangeNoticesTest, TellsEachChangeOnce) {
    TChangeNotices notices;
    const char* const hosts[3] = {"h1", "h2", "h3"};
    int step = 0;
    for (const TStep& s : GetParam().Steps) {
        ++step;
        if (s.ChangedSlot != 0) {
            notices.HostChanged(s.ChangedSlot);
        }
        for (int slot = 1; slot <= 3; ++slot) {
            const char p = s.Probes[slot - 1];
            if (p != ' ') {
                notices.Probe(slot, hosts[slot - 1], p == '+', 12.5, "Error 11010");
            }
        }
        const auto notice = notices.Collected(
            "h1", s.Mean, s.Threshold != 0 ? std::optional<int32_t>(s.Threshold) : std::nullopt);
        EXPECT_EQ(notice ? notice->Title : std::string(), s.Title) << "step " << step;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, ChangeNoticesTest,
    ::testing::Values(
        TScenario{"AboveOnceBackBelowAfterTwoCollectionsUnderNinetyPercent",
                  {{"+++", 50, 100, ""},
                   {"+++", 120, 100, "Latmo: ping above 100 ms"},
                   {"+++", 150, 100, ""},
                   {"+++", 95, 100, ""},
                   {"+++", 80, 100, ""},
                   {"+++", 95, 100, ""},
                   {"+++", 80, 100, ""},
                   {"+++", 85, 100, "Latmo: ping back below 100 ms"},
                   {"+++", 85, 100, ""}}},
        TScenario{"StopsAfterThreeLostInARowAnswersAgainAfterTwo",
                  {{"++-", 1, 100, ""},
                   {"++-", 1, 100, ""},
                   {"++-", 1, 100, "Latmo: h3 stopped answering"},
                   {"++-", 1, 100, ""},
                   {"+++", 1, 100, ""},
                   {"++-", 1, 100, ""},
                   {"+++", 1, 100, ""},
                   {"+++", 1, 100, "Latmo: h3 answers again"},
                   {"+++", 1, 100, ""}}},
        TScenario{"AQuarterLostSpreadOutIsNoChange",
                  {{"+++", 1, 100, ""},
                   {"+-+", 1, 100, ""},
                   {"+++", 1, 100, ""},
                   {"+++", 1, 100, ""},
                   {"+-+", 1, 100, ""},
                   {"+++", 1, 100, ""},
                   {"+-+", 1, 100, ""}}},
        TScenario{
            "ChangesOfOneCollectionMakeOneNotice",
            {{"-++", 1, 8000, ""}, {"-++", 1, 8000, ""}, {"-++", 9000, 8000, "Latmo: 2 changes"}}},
        TScenario{"NoThresholdNoThresholdNotices", {{"+++", 1e6, 0, ""}, {"+++", 1e6, 0, ""}}},
        TScenario{"ANewHostStartsUnknown",
                  {{"+--", 200, 100, "Latmo: ping above 100 ms"},
                   {"+--", 200, 100, ""},
                   {"+--", 200, 100, "Latmo: 2 changes"},
                   {"+++", 1, 100, "", 3},
                   // Without the change, host 1 back below and host 3 answering again.
                   {"+++", 1, 100, "Latmo: h2 answers again", 1},
                   {"+++", 1, 100, ""}}}),
    [](const ::testing::TestParamInfo<TScenario>& row) { return std::string(row.param.Name); });

TEST(ChangeNotices, OneNoticeSaysEveryChangeInALine) {
    const TLocaleGuard locale;
    TChangeNotices notices;
    for (int i = 0; i < 3; ++i) {
        notices.Probe(1, "h1", false, 0,
                      "Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    }
    const auto notice = notices.Collected("h1", 9000, 8000);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->Text,
              "h1 stopped answering: Error 11010 in call to IcmpSendEcho(): Request Timed Out\n"
              "Ping h1: 9000 ms, above 8000 ms.");
    EXPECT_TRUE(notice->Warning);

    const std::string longHost(300, 'x');
    for (int i = 0; i < 2; ++i) {
        notices.Probe(1, longHost, true, 12.5, "");
    }
    const auto back = notices.Collected("h1", 1, 8000);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->Warning);
    EXPECT_EQ(back->Title.size(), TDesktopNotice::kMaxTitle);
    EXPECT_EQ(back->Text.size(), TDesktopNotice::kMaxText);
}

}  // namespace
