// The status display and the alarm in the window: the texts, the tray, and the alarm's process.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/WindowTest.h"

namespace {

// Above the threshold every collection wants the alarm, but one still running is not joined by
// another; once it has ended, the next collection above the threshold starts one again.
TEST_F(WindowTest, AnAlarmStillRunningHoldsTheNextOneBack) {
    echo.DefaultOutcome = {0, 0, 200};
    Open();
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    shell.Calls.clear();
    form->EditAlarmSec->SetText("100");
    form->EditAlarm->SetText("/opt/sounds/alarm.wav");
    form->EditAlarmParam->SetText("-q \"two words\"");
    const auto collect = [&] {
        ASSERT_TRUE(RunPass());
        form->TimerRepaintTimer(form.get());
    };
    const std::string heldBack =
        "The alarm started before is still running: no other is started until it has ended";
    const auto heldBackSaid = [&] {
        const auto messages = DiagMessages();
        return std::count(messages.begin(), messages.end(), heldBack);
    };
    for (int i = 0; i < 3; ++i) {
        collect();
    }
    EXPECT_EQ(form->Caption(), "Latmo: 200.0 msec.");
    EXPECT_EQ(application.Title(), " 200 msec-Latmo");
    // The tray shows the number on dark red, with host 1 in its tip.
    ASSERT_FALSE(tray.Calls.empty());
    const TFakeTrayShell::TEntry* entry = tray.Entry(tray.Calls.back().Id);
    ASSERT_NE(entry, nullptr);
    // Its first line; hosts 2 and 3 have a line each after it.
    EXPECT_EQ(entry->Tip.substr(0, entry->Tip.find('\n')),
              "Ping " + form->ComboBox1->Text() + ": 200.0 msec.");
    ASSERT_TRUE(entry->HasImage);
    EXPECT_EQ(entry->Image.Pixels[1 * kTrayImageSize + 1] & 0xFFFFFF, 0x800000u) << "maroon";
    EXPECT_EQ(entry->Image.Pixels[0] & 0xFFFFFF, 0x008000u) << "the green frame";
    ASSERT_EQ(shell.Calls.size(), 1u) << "one alarm while the first still runs";
    EXPECT_EQ(shell.Calls[0].Verb, "open");
    EXPECT_EQ(shell.Calls[0].File, "/opt/sounds/alarm.wav");
    EXPECT_EQ(shell.Calls[0].Parameters, "-q \"two words\"");
    EXPECT_EQ(heldBackSaid(), 1) << "said once while it runs";

    ASSERT_EQ(shell.Started.size(), 1u);
    *shell.Started[0] = false;
    collect();
    EXPECT_EQ(shell.Calls.size(), 2u) << "the alarm ended: the next one starts";
    collect();
    EXPECT_EQ(shell.Calls.size(), 2u);
    EXPECT_EQ(heldBackSaid(), 2) << "and is said once more for the new one";

    *shell.Started[1] = false;
    form->EditAlarm->SetText("");
    collect();
    EXPECT_EQ(shell.Calls.size(), 2u) << "an empty alarm opens nothing";

    form->EditAlarmSec->SetText("abc");
    collect();
    EXPECT_EQ(form->EditAlarmSec->Text(), "9000");
}

// The means of echoes that could not be sent are no measurements: the window says why instead
// (a box once, the Log page's first line, the tooltip), shows no number anywhere and sounds no
// alarm, until one goes out.
TEST_F(WindowTest, WhileNothingCanBeSentTheWindowSaysWhyAndSoundsNoAlarm) {
    echo.Problem = "Latmo cannot send pings: no permission.";
    echo.DefaultOutcome = {ECHO_ERROR_ACCESS_DENIED, IP_GENERAL_FAILURE, 0};
    Open();
    shell.Calls.clear();  // the update check's start
    form->EditAlarmSec->SetText("100");
    form->EditAlarm->SetText("/opt/sounds/alarm.wav");
    const auto tip = [&] { return tray.Entry(tray.Calls.back().Id)->Tip; };
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(RunPass());
        form->TimerRepaintTimer(form.get());
        EXPECT_EQ(form->Memo1->Lines()[0], echo.Problem);
        EXPECT_EQ(tip(), TForm1::kCannotSendHint);
        EXPECT_EQ(form->Caption(), "Latmo: no measurement");
        EXPECT_EQ(application.Title(), "Latmo");
        EXPECT_EQ(form->TextTrayIcon1->Text(), "?");
        EXPECT_EQ(form->TextTrayIcon1->Color(), clBlack);
    }
    QCoreApplication::processEvents();  // the box waits for the window's events
    EXPECT_EQ(dialogs, std::vector<std::string>{echo.Problem});
    EXPECT_EQ(dialogCaptions, std::vector<std::string>{"Latmo"});
    EXPECT_TRUE(shell.Calls.empty()) << shell.Calls[0].File;

    echo.DefaultOutcome = {0, 0, 200};
    ASSERT_TRUE(RunPass());
    form->TimerRepaintTimer(form.get());
    EXPECT_EQ(form->Memo1->Lines()[0].rfind("Average ping for ", 0), 0u) << form->Memo1->Lines()[0];
    EXPECT_EQ(tip().rfind("Ping ", 0), 0u) << tip();
    EXPECT_NE(form->Caption(), "Latmo: no measurement");
    EXPECT_NE(form->TextTrayIcon1->Text(), "?");
    EXPECT_EQ(shell.Calls.size(), 1u) << "measured again, above the threshold";
    EXPECT_EQ(dialogs.size(), 1u);
}

}  // namespace
