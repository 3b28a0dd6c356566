// The window's answers to "what happened to my connection": the Statistics page, the tooltip's
// host lines, the desktop notices and the graph's history, against fake network services.

#include <gtest/gtest.h>

#include "core/LogFiles.h"
#include "plot/XYLine.h"
#include "support/LocaleGuard.h"
#include "support/TempDir.h"
#include "support/WindowTest.h"

namespace {

const TFakeEchoOutcome kLost{IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, 0};
const TFakeEchoOutcome kUnreachable{IP_DEST_HOST_UNREACHABLE, IP_DEST_HOST_UNREACHABLE, 0};
TFakeEchoOutcome Reply(uint32_t ms) {
    return {0, 0, ms};
}

class StatisticsWindowTest : public WindowTest {
protected:
    ~StatisticsWindowTest() override { form.reset(); }
    // The window with its first pass collected; later collections are the test's.
    void OpenCollected() {
        Open();
        ASSERT_TRUE(Settle());
        form->TimerRepaintTimer(form.get());
    }
    // One pass of the three hosts with these outcomes, and its collection.
    void Pass(const TFakeEchoOutcome& h1, const TFakeEchoOutcome& h2, const TFakeEchoOutcome& h3) {
        echo.Script = {h1, h2, h3};
        ASSERT_TRUE(RunPass());
        form->TimerRepaintTimer(form.get());
    }
    std::vector<std::string> Column(int host) const {
        std::vector<std::string> cells;
        for (const TLabel* label : form->LabelStatCells[host - 1]) {
            cells.push_back(label->Caption());
        }
        return cells;
    }
    std::string Tip() { return tray.Entry(tray.Calls.back().Id)->Tip; }

    const TLocaleGuard locale;
};

TEST_F(StatisticsWindowTest, ThePageCountsEveryEchoOfEachHost) {
    OpenCollected();  // the first pass: 10 ms for every host
    form->PageControl1->SetActivePage(form->TabSheet9);
    Pass(Reply(10), Reply(80), kUnreachable);
    Pass(Reply(12), kLost, kUnreachable);
    Pass(Reply(10), Reply(80), kUnreachable);
    Pass(Reply(12), Reply(80), kUnreachable);
    // State, since, last, counted from, minimum, mean, maximum, jitter, loss, sent / received,
    // last error; the times are the test's own.
    const auto figures = [](std::vector<std::string> cells) {
        cells[1] = cells[3] = cells[10] = "t";
        return cells;
    };
    EXPECT_EQ(figures(Column(1)),
              (std::vector<std::string>{"answering", "t", "12.0 ms", "t", "10.0 ms", "10.8 ms",
                                        "12.0 ms", "1.50 ms", "0%", "5 / 5", "t"}));
    EXPECT_EQ(Column(1)[10], "\u2013") << "no error";
    EXPECT_EQ(figures(Column(2)),
              (std::vector<std::string>{"answering", "t", "80.0 ms", "t", "10.0 ms", "62.5 ms",
                                        "80.0 ms", "23.3 ms", "20%", "5 / 4", "t"}));
    EXPECT_EQ(figures(Column(3)),
              (std::vector<std::string>{"unreachable", "t", "\u2013", "t", "10.0 ms", "10.0 ms",
                                        "10.0 ms", "\u2013", "80%", "5 / 1", "t"}));
    EXPECT_EQ(form->LabelStatCells[2][0]->Hint(),
              "Error 11003 in call to IcmpSendEcho(): Destination Host Unreachable")
        << "the Log page's words";
    EXPECT_EQ(form->LabelStatHosts[1]->Caption(), form->ComboBox2->Text());
    EXPECT_EQ(form->LabelStatCells[1][0]->Width(),
              form->LabelStatCells[2][0]->Left() - form->LabelStatCells[1][0]->Left() - 4)
        << "a column of fixed width, whatever its text";

    form->RadioLastHour->SetChecked(true);
    EXPECT_EQ(Column(2)[9], "5 / 4") << "all within the hour";
    form->ButtonResetClick(form.get());
    EXPECT_EQ(Column(2)[9], "0 / 0");
    EXPECT_EQ(Column(3)[0], "unreachable") << "a state is no count";
    Pass(Reply(10), Reply(80), Reply(30));
    EXPECT_EQ(Column(3)[9], "1 / 1");
    EXPECT_EQ(Column(3)[0], "answering");

    form->ComboBox3->SetText("");
    form->Timer1Timer(form.get());
    EXPECT_EQ(Column(3)[0], "no host");
    EXPECT_EQ(form->LabelStatHosts[2]->Caption(), "Host 3");
}

TEST_F(StatisticsWindowTest, TheTooltipSaysWhichHostIsInTrouble) {
    OpenCollected();
    Pass(Reply(20), Reply(80), kUnreachable);
    Pass(Reply(20), kLost, kUnreachable);
    // The status display's line first, as it was.
    const std::string tip = Tip();
    EXPECT_EQ(tip.rfind("Ping " + form->ComboBox1->Text() + ": ", 0), 0u) << tip;
    EXPECT_EQ(tip.substr(tip.find('\n')), "\n" + form->ComboBox2->Text() +
                                              " timed out, 33% lost\n" + form->ComboBox3->Text() +
                                              " unreachable, 67% lost");
    Pass(kLost, Reply(80), kUnreachable);
    EXPECT_NE(Tip().find(" msec.\nEvery echo lost: timed out\n"), std::string::npos) << Tip();
    Pass(Reply(20), Reply(80), kUnreachable);
    EXPECT_EQ(Tip().find("Every echo lost"), std::string::npos) << Tip();
}

TEST_F(StatisticsWindowTest, NoticesGoOncePerChangeAndOnlyWhereAsked) {
    OpenCollected();
    EXPECT_FALSE(form->CheckBoxNotify->Checked()) << "opt-in";
    for (int i = 0; i < 3; ++i) {
        Pass(Reply(20), Reply(20), kUnreachable);
    }
    EXPECT_TRUE(notifier.Notices.empty()) << "the box is not ticked";

    form->CheckBoxNotify->SetChecked(true);
    for (int i = 0; i < 3; ++i) {
        Pass(Reply(20), Reply(20), Reply(20));
    }
    ASSERT_EQ(notifier.Notices.size(), 1u);
    EXPECT_EQ(notifier.Notices[0].Title, "Latmo: " + form->ComboBox3->Text() + " answers again");

    form->EditAlarmSec->SetText("50");
    for (int i = 0; i < 5; ++i) {
        Pass(Reply(80), Reply(20), Reply(20));
    }
    ASSERT_EQ(notifier.Notices.size(), 2u) << "one notice however long it stays above";
    EXPECT_EQ(notifier.Notices[1].Title, "Latmo: ping above 50 ms");
    EXPECT_TRUE(notifier.Notices[1].Warning);

    // Without a service the box is greyed out and says why; nothing is sent meanwhile.
    notifier.SetProblem("No notification service runs on this desktop.");
    EXPECT_FALSE(form->CheckBoxNotify->Enabled());
    EXPECT_TRUE(form->LabelNotify->Visible());
    EXPECT_EQ(form->LabelNotify->Caption(), "No notification service runs on this desktop.");
    for (int i = 0; i < 5; ++i) {
        Pass(Reply(20), Reply(20), Reply(20));
    }
    EXPECT_EQ(notifier.Notices.size(), 2u);
    notifier.SetProblem("");
    EXPECT_TRUE(form->CheckBoxNotify->Enabled());
    EXPECT_FALSE(form->LabelNotify->Visible());
    EXPECT_TRUE(form->CheckBoxNotify->Checked()) << "the choice outlives the service";
}

TEST_F(StatisticsWindowTest, TheNoticeBoxIsStoredAndTheGraphStartsFromTheLog) {
    const std::string log = (settingsDir / "latency.log").string();
    const std::string hosts[3] = {TForm1::kBuiltInHosts[0], TForm1::kBuiltInHosts[5], "other"};
    std::string text;
    const TDateTime start = Now() - 1.0 / 24;
    for (int i = 0; i < 40; ++i) {
        text +=
            UpdateLogLine(start + i / 1440.0, {hosts[0], 20.0 + i}, {hosts[1], 80}, {hosts[2], 5});
    }
    WriteAll(log, text);
    WriteSettings({"[TForm1]", "CheckBoxNotify_Checked=True", "TrackMaxGraph_Position=30",
                   "EditLog_Text=" + log, "ComboBox1_Text=" + hosts[0], "Edithost_Text=" + hosts[0],
                   "ComboBox2_Text=" + hosts[1],
                   std::string("ComboBox3_Text=") + TForm1::kBuiltInHosts[7]});
    Open();
    EXPECT_TRUE(form->CheckBoxNotify->Checked());
    // Thirty points each for the hosts that are the same, before the first collection.
    ASSERT_EQ(form->Line1->Count(), 30);
    EXPECT_EQ(form->Line1->Tag(), 30);
    EXPECT_DOUBLE_EQ(form->Line1->YValue(0), 30.0);
    EXPECT_DOUBLE_EQ(form->Line1->YValue(29), 59.0);
    EXPECT_EQ(form->Line2->Count(), 30);
    EXPECT_EQ(form->Line3->Count(), 0) << "host 3 is another now";
    EXPECT_EQ(ReadAll(log), text) << "the log is only read";

    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    EXPECT_EQ(form->Line1->Count(), 30) << "the oldest point gives way to the new one";
    EXPECT_GT(form->Line1->XValue(29), form->Line1->XValue(28));

    form->CheckBoxNotify->SetChecked(false);
    form->SaveSettings();
    EXPECT_NE(ReadAll((settingsDir / "Latmo.ini").string()).find("CheckBoxNotify_Checked=False"),
              std::string::npos);
}

}  // namespace
