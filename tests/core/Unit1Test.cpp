// The window's monitoring cycle against fake network services: the real worker thread, the
// real controls (offscreen), a fake echo that can hold a probe as long as the test wants.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "core/SettingsSaver.h"
#include "core/Unit1.h"
#include "plot/Axis.h"
#include "plot/XYLine.h"
#include "plot/XYPlot.h"
#include "settings/JvFormStorage.h"
#include "settings/Variant.h"
#include "support/TempDir.h"
#include "support/WindowTest.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/SysUtils.h"

namespace {

TEST_F(WindowTest, StartsWithTheDesignAndOnePass) {
    Open();
    EXPECT_EQ(form->Caption(), "Latmo");
    EXPECT_EQ(form->ClientWidth(), 393);
    EXPECT_EQ(form->ClientHeight(), 346);
    EXPECT_EQ(form->Edit2->Text(), "45");
    EXPECT_EQ(form->Timer1->Interval(), 45000);
    EXPECT_EQ(form->EditTimeout->Text(), "9000");
    EXPECT_EQ(form->Label7->Caption(), "Max graph. values = 300");
    EXPECT_EQ(form->Label11->Caption(), "Ping size = 1024 byte");
    EXPECT_EQ(form->Label12->Caption(), "Period check for new version 7 days");
    EXPECT_EQ(form->ComboBox1->Text(), form->Edithost->Text());
    EXPECT_GE(form->ComboBox1->Items().IndexOf(form->ComboBox1->Text()), 0)
        << "host 1 is one of its items";
    EXPECT_EQ(form->ComboBox2->Items().Count(), 8);
    EXPECT_EQ(form->XYPlot1->Hint(),
              "press Shift for zoom; press Ctrl for pan.\nDouble click for fit.");
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet1);
    ASSERT_TRUE(Settle());
    // The first pass ran with the validated time-out, never with 0.
    for (const auto& call : echo.Calls()) {
        EXPECT_EQ(call.TimeoutMs, 9000u);
        EXPECT_EQ(call.PayloadSize, 1023u);
    }
}

// A block of start-up that fails writes its one line, and start-up goes on with the rest.
TEST_F(WindowTest, AFailingRestoreIsLoggedAfterStartAndStartUpGoesOn) {
    WriteSettings({"[TForm1]", "FormVersion=zero", "EditTimeout_Text=250"});
    Open();
    EXPECT_EQ(DiagMessages(),
              (std::vector<std::string>{"Start", "Echo engine: the fake.",
                                        "Error in JvFormStorage1.RestoreFormPlacement (startup)"}));
    EXPECT_EQ(form->EditTimeout->Text(), "9000") << "the controls keep their values";
    EXPECT_EQ(form->Timer1->Interval(), 45000);
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet1);
    EXPECT_TRUE(form->TextTrayIcon1->Enabled());
    ASSERT_TRUE(Settle());
    EXPECT_EQ(echo.Calls().back().TimeoutMs, 9000u);
}

// The update check at start-up, in the C locale and in one whose decimal separator is a comma.
class UpdateCheckTest : public WindowTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        oldLocale = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, GetParam()) == nullptr) {
            GTEST_SKIP() << "locale " << GetParam() << " is not installed (tools/install-deps)";
        }
    }
    void TearDown() override { std::setlocale(LC_ALL, oldLocale.c_str()); }
    std::string StoredLast() const {
        return JvFormStorageOf(*form).ReadStoredValue("last").AsText();
    }
    static TJvFormStorage& JvFormStorageOf(TForm1& f) { return *f.JvFormStorage1; }
    std::string LastInFile() const {
        std::ifstream in(settingsDir / "Latmo.ini", std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("last=", 0) == 0) {
                return line.substr(5, line.find('\r') - 5);
            }
        }
        return "(none)";
    }
    std::string oldLocale;
};

TEST_P(UpdateCheckTest, LaunchesWhenDueAndRenewsLast) {
    struct {
        const char* name;
        const char* stored;  // nullptr: no settings file; "-3" … : days from now
        char separator;
        bool launched;
        bool fails;
    } const rows[] = {
        {"first run", nullptr, '.', true, false},
        {"3 days ago", "-3", '.', false, false},
        {"8 days ago", "-8", '.', true, false},
        {"8 days ahead", "8", '.', true, false},
        {"3 days ago, written with a comma", "-3", ',', false, false},
        {"8 days ago, written with a comma", "-8", ',', true, false},
        {"not a number", "soon", '.', false, true},
    };
    if (std::string(GetParam()) != "C") {
        ASSERT_EQ(DecimalSeparator(), ',');
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(settingsDir / "Latmo.ini");
        std::filesystem::remove(settingsDir / "latmo.log");
        std::string before;
        if (row.stored != nullptr) {
            const bool number = row.stored[0] == '-' || std::isdigit(row.stored[0]);
            before = number ? FloatToStr(Now() + std::stod(row.stored), row.separator) : row.stored;
            WriteSettings({"[TForm1]", "last=" + before});
        }
        shell.Calls.clear();
        Open();
        form->Show();  // the form storage restores once more
        QCoreApplication::processEvents();
        const size_t launches = std::count_if(shell.Calls.begin(), shell.Calls.end(), [](auto& c) {
            return c.Verb == "open" && c.File == "VersionCheck.exe" && c.Parameters.empty() &&
                   c.Directory.empty() && c.Show == SW_HIDE;
        });
        EXPECT_EQ(launches, row.launched ? 1u : 0u);
        const std::string last = StoredLast();
        if (row.launched) {
            double renewed = 0;
            ASSERT_TRUE(TryStrToFloat(last, renewed, '.')) << last;
            EXPECT_NEAR(renewed, Now(), 1.0 / 1440) << "renewed to now, and kept by the restore";
        } else {
            EXPECT_EQ(last, before);
        }
        const auto messages = DiagMessages();
        EXPECT_EQ(
            std::count(messages.begin(), messages.end(), "Part 3: VersionCheck initialize error"),
            row.fails ? 1 : 0);
        form.reset();
        EXPECT_EQ(LastInFile(), last) << "the file keeps it as it was written";
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, UpdateCheckTest, ::testing::Values("C", "de_DE.UTF-8"),
                         [](const auto& locale) {
                             return std::string(locale.param[0] == 'C' ? "C" : "German");
                         });

TEST_F(WindowTest, TwoRequestsDuringAPassGiveOneMorePass) {
    echo.Block();
    Open();
    ASSERT_TRUE(echo.WaitUntilBlocked(5000));
    form->Button1Click(form.get());
    form->Button1Click(form.get());
    echo.Release();
    // Collected at once, so that a third pass would start right after the second one's rest.
    auto passesAfterCollecting = [&](int passes) {
        form->TimerRepaintTimer(form.get());
        return form->PassesDone() >= passes;
    };
    ASSERT_TRUE(WaitUntil([&] { return passesAfterCollecting(2); }));
    EXPECT_FALSE(form->PassPending());
    EXPECT_FALSE(WaitUntil([&] { return passesAfterCollecting(3); }, 600)) << "a third pass";
    EXPECT_EQ(echo.Calls().size(), 6u);
}

TEST_F(WindowTest, FivePassesFillEveryRingAndTheSixthWrapsRound) {
    Open();
    ASSERT_TRUE(Settle());
    // Each pass collected, so that none waits for the collection of the one before.
    for (int i = 0; i < 4; ++i) {
        form->TimerRepaintTimer(form.get());
        echo.DefaultOutcome = {0, 0, static_cast<uint32_t>(10 + i)};
        ASSERT_TRUE(RunPass());
    }
    for (const TRing* ring :
         {&form->Store().FRing1, &form->Store().FRing2, &form->Store().FRing3}) {
        for (int32_t v : *ring) {
            EXPECT_GE(v, 10);
        }
    }
    EXPECT_EQ(form->Store().FRingIndex, 0);
    form->TimerRepaintTimer(form.get());
    echo.DefaultOutcome = {0, 0, 77};
    ASSERT_TRUE(RunPass());
    EXPECT_EQ(form->Store().FRing2[0], 77);
    EXPECT_EQ(form->Store().FRing2[1], 10);
}

TEST_F(WindowTest, CollectionFillsLogPageLinesAndMeasurementLog) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("latmo-collect-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(dir);
    const std::string logName = (dir / "measure.log").string();
    Open();
    form->EditLog->SetText(logName);
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    echo.Script.push_back({11010, 11010, 0});
    ASSERT_TRUE(RunPass());
    form->TimerRepaintTimer(form.get());

    const auto lines = form->Memo1->Lines().ToVector();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], form->ComboBox1->Text() +
                            ":Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2].rfind("Average ping for " + form->ComboBox2->Text() + ": ", 0), 0u);
    EXPECT_EQ(lines[4].rfind("Average ping for " + form->ComboBox1->Text() + ": ", 0), 0u);
    EXPECT_EQ(form->LineLostPing->Count(), 2);
    EXPECT_DOUBLE_EQ(form->LineLostPing->YValue(1), 20.0);
    EXPECT_EQ(form->Line1->Tag(), 2);

    const std::string log = ReadAll(logName);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    EXPECT_NE(log.find("\t" + form->ComboBox2->Text() + "\t"), std::string::npos);
    EXPECT_NE(log.find("\r\n"), std::string::npos);
    std::filesystem::remove_all(dir);
}

// A bare name read from the settings is placed as a typed one is, not in the current directory.
TEST_F(WindowTest, ABareLogNameFromTheSettingsGoesWhereATypedOneGoes) {
    const std::string name =
        "latmo-bare-" + std::to_string(QCoreApplication::applicationPid()) + ".log";
    const std::string placed = CompleteLogFileName(name, ProgramDir());
    WriteSettings({"[TForm1]", "EditLog_Text=" + name});
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(settingsDir);
    Open();
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::exists(placed)) << placed;
    EXPECT_FALSE(std::filesystem::exists(settingsDir / name));
    std::filesystem::remove(placed);
}

TEST_F(WindowTest, HostChangeResetsRingLineAndCount) {
    Open();
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    ASSERT_TRUE(RunPass());
    form->TimerRepaintTimer(form.get());
    ASSERT_EQ(form->Line2->Count(), 2);
    form->ComboBox2->SetText("new.example");
    form->Timer1Timer(form.get());
    EXPECT_EQ(form->Store().FHost2, "new.example");
    EXPECT_EQ(form->ComboBox2->Hint(), "new.example");
    EXPECT_EQ(form->Store().FRing2, (TRing{0, 0, 0, 0, 0}));
    EXPECT_EQ(form->Line2->Count(), 0);
    EXPECT_EQ(form->Line2->Tag(), 0);
    EXPECT_EQ(form->Line3->Count(), 2) << "other hosts keep their lines";
}

TEST_F(WindowTest, ErrorsOfTwoPassesWaitForOneCollection) {
    Open();
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    form->ComboBox3->SetText("");
    // The tick asks for a pass too: it is over and collected before the two passes begin.
    const int before = form->PassesDone();
    form->Timer1Timer(form.get());
    ASSERT_TRUE(WaitUntil([&] {
        form->TimerRepaintTimer(form.get());
        return form->Store().FHost3.empty() && !form->PassPending() &&
               form->PassesDone() > before && !form->Store().FResultsReady.load();
    }));
    ASSERT_TRUE(RunPass());
    ASSERT_TRUE(RunPass());
    EXPECT_EQ(form->Store().FPassErrors, ":Addr. empty\r\n:Addr. empty\r\n");
    form->TimerRepaintTimer(form.get());
    EXPECT_EQ(form->Store().FPassErrors, "");
}

TEST_F(WindowTest, ALongPassNeverFreezesTheWindow) {
    Open();
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    echo.Block();
    form->Button1Click(form.get());
    ASSERT_TRUE(echo.WaitUntilBlocked(5000));

    // A host change and a collection both meet the held store and come back at once.
    const auto start = std::chrono::steady_clock::now();
    form->ComboBox2->SetText("new.example");
    form->Timer1Timer(form.get());
    form->TimerRepaintTimer(form.get());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_NE(form->Store().FHost2, "new.example") << "the change waits for the pass";

    echo.Release();
    ASSERT_TRUE(WaitUntil([&] { return form->Store().FResultsReady.load(); }));
    const int lostPoints = form->LineLostPing->Count();
    form->TimerRepaintTimer(form.get());
    // The pass's results were collected first, then the change was applied.
    EXPECT_FALSE(form->Store().FResultsReady.load());
    EXPECT_EQ(form->LineLostPing->Count(), lostPoints + 1);
    EXPECT_EQ(form->Store().FHost2, "new.example");
    EXPECT_EQ(form->Line2->Count(), 0);
}

TEST_F(WindowTest, AWaitingRequestLetsTheCollectionTakeThePreviousPassFirst) {
    Open();
    ASSERT_TRUE(Settle());
    form->TimerRepaintTimer(form.get());
    echo.Block();
    form->Button1Click(form.get());
    ASSERT_TRUE(echo.WaitUntilBlocked(5000));
    const int done = form->PassesDone();
    form->Button1Click(form.get());  // due as soon as the long pass ends
    echo.Release();
    ASSERT_TRUE(WaitUntil([&] { return form->PassesDone() > done; }));
    const size_t calls = echo.Calls().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(echo.Calls().size(), calls) << "the next pass waits for the collection";
    form->TimerRepaintTimer(form.get());
    EXPECT_TRUE(WaitUntil([&] { return form->PassesDone() > done + 1; }));
}

TEST_F(WindowTest, IntervalAndTimeoutFieldsFallBackAndWriteBack) {
    Open();
    struct {
        const char* typed;
        int interval;
        const char* shown;
    } const intervals[] = {
        {"letters", 3000, "3"},
        {"2", 3000, "3"},
        {"60", 60000, "60"},
        {"-7", 3000, "3"},
        {"3", 3000, "3"},
        {"2147483", 2147483000, "2147483"},
        {"3000000", 2147483647, "2147484"},
    };
    for (const auto& row : intervals) {
        form->Edit2->SetText(row.typed);
        form->Edit2Exit(form.get());
        EXPECT_EQ(form->Timer1->Interval(), row.interval) << row.typed;
        EXPECT_EQ(form->Edit2->Text(), row.shown) << row.typed;
    }
    struct {
        const char* typed;
        int timeout;
    } const timeouts[] = {{"letters", 9000}, {"10", 50},       {"250", 250},     {"", 9000},
                          {"-1", 50},        {"60000", 60000}, {"60001", 60000}, {"900000", 60000}};
    for (const auto& row : timeouts) {
        form->EditTimeout->SetText(row.typed);
        form->EditTimeoutExit(form.get());
        EXPECT_EQ(form->Store().FTimeout.load(), row.timeout) << row.typed;
        EXPECT_EQ(form->EditTimeout->Text(), std::to_string(row.timeout)) << row.typed;
    }
}

// Exit in the tray menu brings the window back and asks; only No keeps Latmo running and
// monitoring. At the session's end, or while the program is being ended, nobody is asked.
TEST_F(WindowTest, ExitAsksBeforeClosingUnlessTheSessionOrTheProgramEnds) {
    struct {
        const char* name;
        TModalResult answer;
        bool sessionEnds;
        bool terminating;
        bool asked;
        bool closed;
    } const rows[] = {
        {"answered No", mrNo, false, false, true, false},
        {"answered Yes", mrYes, false, false, true, true},
        {"box closed otherwise", mrCancel, false, false, true, true},
        {"at the session's end", mrNo, true, false, false, true},
        {"while the program ends", mrNo, false, true, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> asked;
        SetDialogHook([&](const TDialogRequest& r) {
            asked.push_back(r.Text);
            return row.answer;
        });
        TApplication app;
        TForm1 window(app, services, TWindowOptions{settingsDir.string()});
        window.Hide();  // sitting in the tray
        if (row.sessionEnds) {
            EXPECT_EQ(window.WMQueryEndSession(), 1);
        }
        if (row.terminating) {
            app.Terminate();
        }
        window.Exit1Click(&window);
        EXPECT_EQ(asked, row.asked ? std::vector<std::string>{"Close the Latmo?"}
                                   : std::vector<std::string>{});
        EXPECT_EQ(window.Visible(), !row.closed);
        EXPECT_EQ(app.Terminated(), row.closed);
        if (!row.closed) {
            const int done = window.PassesDone();
            window.Button1Click(&window);
            EXPECT_TRUE(WaitUntil([&] { return window.PassesDone() > done; }))
                << "still monitoring";
        }
    }
}

// The About page's links open their targets through the shell, under the hand cursor.
TEST_F(WindowTest, AboutLinksOpenThroughTheShell) {
    Open();
    shell.Calls.clear();
    form->home1->MouseUp(TMouseButton::mbLeft, 0, 1, 1);
    form->Label10->MouseUp(TMouseButton::mbLeft, 0, 1, 1);
    auto* about = static_cast<QLabel*>(form->ParamLabel1->Widget());
    Q_EMIT about->linkActivated(QStringLiteral("https://www.qt.io/"));
    const std::string expected[] = {TForm1::kHomeAddress, TForm1::kAlternateAddress,
                                    "https://www.qt.io/"};
    ASSERT_EQ(shell.Calls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(shell.Calls[i].Verb, "open");
        EXPECT_EQ(shell.Calls[i].File, expected[i]);
        EXPECT_EQ(shell.Calls[i].Show, SW_SHOWNORMAL);
    }
    EXPECT_EQ(form->home1->Cursor(), crHandPoint);
    EXPECT_EQ(form->Label10->Cursor(), crHandPoint);
    EXPECT_TRUE(about->textInteractionFlags() & Qt::LinksAccessibleByMouse);
}

TEST_F(WindowTest, AZoomFreezesTheRangesUntilTheZoomTimerOrADoubleClick) {
    Open();
    Tsp_XYPlot* plot = form->XYPlot1;
    Tsp_Axis* left = plot->LeftAxis();
    Tsp_Axis* bottom = plot->BottomAxis();
    auto automatic = [&] {
        return left->AutoMin() && left->AutoMax() && bottom->AutoMin() && bottom->AutoMax();
    };
    auto frozen = [&] {
        return !left->AutoMin() && !left->AutoMax() && !bottom->AutoMin() && !bottom->AutoMax();
    };
    // As designed: the left axis follows only the maximum until the zoom timer's first tick.
    EXPECT_FALSE(left->AutoMin());
    EXPECT_TRUE(left->AutoMax());
    EXPECT_TRUE(form->TimerZoom->Enabled());
    form->TimerZoom->Tick();
    EXPECT_TRUE(automatic());
    EXPECT_FALSE(form->TimerZoom->Enabled());

    // A Shift-drag zooms: both axes freeze and the timer runs.
    const TRect field = plot->FieldRect();
    plot->MouseDown(TMouseButton::mbLeft, ssShift | ssLeft, field.Left + 10, field.Top + 10);
    plot->MouseMove(ssShift | ssLeft, field.Left + 60, field.Top + 60);
    plot->MouseUp(TMouseButton::mbLeft, ssShift, field.Left + 60, field.Top + 60);
    EXPECT_TRUE(frozen());
    EXPECT_TRUE(form->TimerZoom->Enabled());
    form->TimerZoom->Tick();
    EXPECT_TRUE(automatic());
    EXPECT_FALSE(form->TimerZoom->Enabled());

    // A double click gives the ranges back at once and asks for a pass.
    plot->MouseDown(TMouseButton::mbLeft, ssShift | ssLeft, field.Left + 10, field.Top + 10);
    plot->MouseMove(ssShift | ssLeft, field.Left + 60, field.Top + 60);
    plot->MouseUp(TMouseButton::mbLeft, ssShift, field.Left + 60, field.Top + 60);
    ASSERT_TRUE(frozen());
    ASSERT_TRUE(Settle());
    plot->DblClick();
    EXPECT_TRUE(automatic());
    EXPECT_TRUE(form->PassPending() || form->PassesDone() > 1);
    EXPECT_TRUE(form->TimerZoom->Enabled()) << "the timer keeps its state";
}

TEST_F(WindowTest, ResizingKeepsTheMinimumSizeAndSetsTickCounts) {
    Open();
    form->SetBounds(form->Left(), form->Top(), 300, 200);
    form->FormResize(form.get());
    EXPECT_EQ(form->Width(), 394);
    EXPECT_EQ(form->Height(), 250);
    form->SetClientSize(393, 346);
    form->FormResize(form.get());
    EXPECT_EQ(form->PageControl1->Width(), 377);
    EXPECT_EQ(form->XYPlot1->BottomAxis()->TicksCount(), 4);
    EXPECT_EQ(form->XYPlot1->LeftAxis()->TicksCount(), 11);
    form->SetClientSize(2016, 1200);
    form->FormResize(form.get());
    EXPECT_EQ(form->PageControl1->Width(), 2000);
    EXPECT_LE(form->XYPlot1->BottomAxis()->TicksCount(), 14);
    EXPECT_LE(form->XYPlot1->LeftAxis()->TicksCount(), 18);
}

TEST_F(WindowTest, WhatTheUserSetComesBackAtTheNextStart) {
    Open();
    form->ComboBox1->SetText("one.example");
    form->ComboBox1Exit(form.get());
    form->ComboBox2->SetText("two.example");
    form->ComboBox3->SetText("three.example");
    form->Edit2->SetText("60");
    form->EditTimeout->SetText("250");
    form->EditAlarmSec->SetText("120");
    form->EditAlarm->SetText("/opt/alarm.sh");
    // A pasted line break would start a key of its own; a byte of an 8-bit code page stays.
    form->EditAlarmParam->SetText("--loud \xe4\r\nEdit2_Text=3");
    form->EditLog->SetText("/var/tmp/latency.log");
    form->TrackMaxGraph->SetPosition(600);
    form->TrackBarPingSize->SetPosition(64);
    form->TrackBarUpdate->SetPosition(30);
    form->CheckBoxAutoStart->SetChecked(true);
    form->CheckBoxOneInstance->SetChecked(true);
    form->host->Lines().Assign(std::vector<std::string>{"one.example", "two.example"});
    form->PageControl1Exit(form.get());
    form->SetBounds(40, 50, 500, 420);
    form.reset();  // saved on the way out, written when the store goes

    const std::string ini = (settingsDir / "Latmo.ini").string();
    ASSERT_TRUE(std::filesystem::exists(ini));
    Open();
    EXPECT_EQ(form->ComboBox1->Text(), "one.example");
    EXPECT_EQ(form->Edithost->Text(), "one.example");
    EXPECT_EQ(form->ComboBox2->Text(), "two.example");
    EXPECT_EQ(form->ComboBox3->Text(), "three.example");
    EXPECT_EQ(form->Edit2->Text(), "60");
    EXPECT_EQ(form->Timer1->Interval(), 60000);
    EXPECT_EQ(form->Store().FTimeout.load(), 250);
    EXPECT_EQ(form->EditAlarmSec->Text(), "120");
    EXPECT_EQ(form->EditAlarm->Text(), "/opt/alarm.sh");
    EXPECT_EQ(form->EditAlarmParam->Text(), std::string("--loud \xe4") + "Edit2_Text=3");
    EXPECT_EQ(form->EditLog->Text(), "/var/tmp/latency.log");
    EXPECT_EQ(form->TrackMaxGraph->Position(), 600);
    EXPECT_EQ(form->Label11->Caption(), "Ping size = 64 byte");
    EXPECT_EQ(form->TrackBarUpdate->Position(), 30);
    EXPECT_TRUE(form->CheckBoxAutoStart->Checked());
    EXPECT_TRUE(form->CheckBoxOneInstance->Checked());
    // Both boxes reach their components at start-up: the guard is on (alone, so this copy
    // runs) and the log-on entry starts this program.
    EXPECT_TRUE(form->JvAppInstances1->Active());
    EXPECT_TRUE(form->JvAppInstances1->AutoActivate());
    const TFakeRunList::TValue entry{ProgramPath(), false};
    EXPECT_EQ(runList.Lists[TRunListScope::rsUser][RunValueName(ProgramPath())], entry);
    EXPECT_EQ(form->ComboBox3->Items().ToVector(),
              (std::vector<std::string>{"one.example", "two.example"}));
    EXPECT_EQ(form->Left(), 40);
    EXPECT_EQ(form->Top(), 50);
    EXPECT_EQ(form->Width(), 500);
    EXPECT_EQ(form->Height(), 420);
}

// A ticked box whose entry cannot be written says so once (at start-up, or when the box is
// left) and shows what holds: unticked, also after the restore of the first showing.
TEST_F(WindowTest, AnAutostartThatCannotBeWrittenIsSaidOnceAndUnticked) {
    WriteSettings({"[TForm1]", "CheckBoxAutoStart_Checked=True"});
    runList.Locked[TRunListScope::rsUser] = true;
    Open();
    const std::vector<std::string> said{"Latmo cannot start at log-on: the list is locked."};
    EXPECT_EQ(dialogs, said);
    form->JvFormStorage1->RestoreFormPlacement();  // as at the first showing
    EXPECT_FALSE(form->CheckBoxAutoStart->Checked());
    EXPECT_FALSE(form->abfAutoRun1->AutoRun());
    form->CheckBoxAutoStartExit(form.get());
    form->CheckBoxAutoStart->SetChecked(true);
    form->CheckBoxAutoStartExit(form.get());
    EXPECT_EQ(dialogs, std::vector<std::string>(2, said[0])) << "once each time it is ticked";
    EXPECT_FALSE(form->CheckBoxAutoStart->Checked());
    runList.Locked[TRunListScope::rsUser] = false;
    form->CheckBoxAutoStart->SetChecked(true);
    form->CheckBoxAutoStartExit(form.get());
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_TRUE(form->CheckBoxAutoStart->Checked());
}

// A change reaches the file while the window runs: when the window is left, hidden or
// minimised, and a few seconds after the user's last key or click in it.
TEST_F(WindowTest, AChangeReachesTheFileWhileTheWindowRuns) {
    Open();
    form->Show();
    const auto period = [&] {
        const std::string text = ReadAll((settingsDir / "Latmo.ini").string());
        const auto at = text.find("Edit2_Text=");
        return at == std::string::npos ? std::string()
                                       : text.substr(at + 11, text.find('\r', at) - at - 11);
    };
    const struct {
        const char* How;
        std::function<void()> Leave;
    } rows[] = {
        {"typed into",
         [&] {
             QKeyEvent release(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
             QCoreApplication::sendEvent(form->Edit2->Widget(), &release);
             EXPECT_TRUE(form->SettingsSaver().Pending());
         }},
        {"deactivated", [&] { form->FormDeactivate(form.get()); }},
        {"minimised", [&] { form->SetWindowState(TWindowState::wsMinimized); }},
    };
    int value = 50;
    for (const auto& r : rows) {
        form->SetWindowState(TWindowState::wsNormal);
        form->Edit2->SetText(std::to_string(++value));
        EXPECT_NE(period(), std::to_string(value))
            << r.How << ": written before the window was left";
        r.Leave();
        EXPECT_TRUE(WaitUntil([&] { return period() == std::to_string(value); },
                              TSettingsSaver::kDelayMs + 3000))
            << r.How;
    }
}

// Closing from the window, the user sees why the settings were not saved; at the end of the
// session nothing waits for an answer. The file keeps what it held.
TEST_F(WindowTest, AFailedSaveIsShownWhenClosingFromTheWindowOnly) {
    const std::string ini = (settingsDir / "Latmo.ini").string();
    const std::string content = "[TForm1]\r\nEdit2_Text=60\r\n";
    WriteAll(ini, content);
    std::filesystem::permissions(ini, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::group_read |
                                          std::filesystem::perms::others_read);
    SetDiagLogPath((settingsDir / "diag.log").string());
    const std::string text =
        "Settings not saved: Cannot create file \"" + ini + "\". Permission denied";
    for (const bool sessionEnds : {false, true}) {
        dialogs.clear();
        Open();
        EXPECT_EQ(form->Edit2->Text(), "60");
        if (sessionEnds) {
            form->WMQueryEndSession();
        }
        ::testing::internal::CaptureStderr();
        form.reset();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "latmo: " + text + "\n");
        EXPECT_EQ(dialogs,
                  sessionEnds ? std::vector<std::string>{} : std::vector<std::string>{text})
            << (sessionEnds ? "session end" : "closed from the window");
    }
    SetDiagLogPath("");
    EXPECT_EQ(ReadAll(ini), content);
    // Windows removes no read-only file, not even with its folder.
    std::filesystem::permissions(ini, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST_F(WindowTest, HostMemoIsRefilledWhenNearlyEmpty) {
    Open();
    form->host->Lines().Clear();
    form->host->Lines().Add("only.example");
    form->Timer1Timer(form.get());
    EXPECT_EQ(form->host->Lines().Count(), 10);
    form->Timer1Timer(form.get());
    EXPECT_EQ(form->host->Lines().Count(), 10) << "two lines or more are left alone";
}

}  // namespace
