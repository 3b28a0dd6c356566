// The window's passes: their name lookups side by side, each within the echo time-out, and never
// on the window's thread; and each pass handed to the window as it ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "plot/XYLine.h"
#include "support/WindowTest.h"

namespace {

// Host 1's resolver never answers: hosts 2 and 3 are measured in the same pass all the same,
// host 1's line on the Log page says its lookup failed, and the window never waited for it.
TEST_F(WindowTest, ANameThatNeverResolvesHoldsNoOtherHostUp) {
    lookup.Silent = {"silent.example"};
    WriteSettings({"[TForm1]", "Edithost_Text=silent.example", "EditTimeout_Text=300"});
    const auto onThisThread = [&] {
        const auto events = lookup.Events();
        return std::count_if(events.begin(), events.end(),
                             [](const auto& e) { return e.Thread == std::this_thread::get_id(); });
    };
    Open();
    EXPECT_EQ(onThisThread(), 0) << "start-up looked a name up on the window's thread";
    ASSERT_EQ(form->Store().FHost1, "silent.example");
    ASSERT_TRUE(Settle()) << "the first pass waits for host 1's resolver";
    std::vector<TIpAddress> echoed;
    for (const auto& call : echo.Calls()) {
        echoed.push_back(call.Destination);
    }
    EXPECT_EQ(echoed, (std::vector<TIpAddress>{lookup.Hosts[form->Store().FHost2],
                                               lookup.Hosts[form->Store().FHost3]}));
    EXPECT_EQ(form->Store().FPassErrors,
              "silent.example:Error in call to gethostbyname(). Error code: 11002 "
              "Non-Authoritative Host not found, or server failure.\r\n");

    const auto events = lookup.Events();
    const auto firstWait = std::find_if(
        events.begin(), events.end(), [](const auto& e) { return e.What.rfind("wait ", 0) == 0; });
    EXPECT_EQ(std::count_if(events.begin(), firstWait,
                            [](const auto& e) { return e.What.rfind("start ", 0) == 0; }),
              3)
        << "the three names are looked up side by side";
    EXPECT_EQ(onThisThread(), 0);
    int silentWaits = 0;
    for (const auto& e : events) {
        if (e.What == "wait silent.example") {
            ++silentWaits;
            EXPECT_GE(e.TimeoutMs, 0) << "a wait without a time limit";
            EXPECT_LE(e.TimeoutMs, 300);
        }
    }
    EXPECT_EQ(silentWaits, 1) << "no second try once the time is up";
}

// The window does not look for results every half second: TimerRepaint rests while nothing
// waits, and the worker hands each finished pass over to be collected at once.
TEST_F(WindowTest, APassIsCollectedAsItEndsWhileTheTimerRests) {
    Open();
    form->TimerRepaint->SetEnabled(true);  // as the program has it
    ASSERT_TRUE(WaitUntil([&] { return !form->TimerRepaint->Enabled(); }))
        << "nothing to collect: the timer rests";
    EXPECT_FALSE(form->Store().FResultsReady.load()) << "the first pass was collected";
    const int points = form->LineLostPing->Count();
    form->Button1Click(form.get());
    ASSERT_TRUE(WaitUntil([&] { return form->LineLostPing->Count() == points + 1; }, 2000));
    EXPECT_FALSE(form->TimerRepaint->Enabled());
    EXPECT_EQ(form->PassesDone(), 2);
}

}  // namespace
