// The tray icon component against a fake tray: what the mouse codes become, the entry record,
// the entry's life, and minimising into the tray.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>

#include "desktop/CoolTrayIcon.h"
#include "desktop/TrayIconHandler.h"
#include "support/FakeTrayShell.h"
#include "toolkit/Application.h"
#include "toolkit/Form.h"
#include "toolkit/Menus.h"

namespace {

class TTestTrayIcon : public TCoolTrayIcon {
public:
    using TCoolTrayIcon::LeavePollTimer;
    using TCoolTrayIcon::SingleClickTimer;
    using TCoolTrayIcon::TCoolTrayIcon;
};

// Steps that are not codes from the tray.
constexpr uint32_t kClickTimerExpires = 0xFFFF0001;
constexpr uint32_t kPollTicks = 0xFFFF0002;
constexpr uint32_t kCursorMoves = 0xFFFF0003;
// Notes whether the leave-poll is running.
constexpr uint32_t kPollState = 0xFFFF0004;

template <typename T>
std::string CaseName(const ::testing::TestParamInfo<T>& param) {
    return param.param.Name;
}

std::string ButtonName(TMouseButton b) {
    return b == TMouseButton::mbLeft ? "L" : b == TMouseButton::mbRight ? "R" : "M";
}

TTrayImage SolidImage(uint32_t rgb) {
    TTrayImage image;
    image.Pixels.fill(rgb);
    return image;
}

struct TDispatchCase {
    const char* Name;
    std::vector<uint32_t> Steps;
    std::string Expected;
    bool DblClickHandler = false;
    bool Enabled = true;
    uint8_t NotifyMode = 0;
    bool LeftPopup = false;
    bool DefaultItem = false;
    bool WantEnterExit = false;
};

void PrintTo(const TDispatchCase& c, std::ostream* os) {
    *os << c.Name;
}

class TrayDispatch : public ::testing::TestWithParam<TDispatchCase> {};

TEST_P(TrayDispatch, MessageSequencesBecomeEvents) {
    const TDispatchCase& c = GetParam();
    TFakeTrayShell shell;
    TComponent owner(nullptr);
    std::string log;
    auto note = [&log](const std::string& word) { log += (log.empty() ? "" : " ") + word; };

    auto* menu = new TPopupMenu(&owner);
    menu->OnPopup = [&](TObject*) { note("menu"); };
    auto* show = new TMenuItem(&owner);
    show->SetCaption("Show");
    show->SetDefault(c.DefaultItem);
    show->OnClick = [&](TObject*) { note("default"); };
    menu->Add(show);

    auto* icon = new TTestTrayIcon(&owner, shell);
    icon->SetIconVisible(true);
    icon->SetPopupMenu(menu);
    icon->SetEnabled(c.Enabled);
    icon->SetNotifyMode(c.NotifyMode);
    icon->SetLeftPopup(c.LeftPopup);
    icon->SetWantEnterExitEvents(c.WantEnterExit);
    icon->OnClick = [&](TObject*) { note("click"); };
    if (c.DblClickHandler) {
        icon->OnDblClick = [&](TObject*) { note("dblclick"); };
    }
    icon->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int, int) {
        note("down:" + ButtonName(b));
    };
    icon->OnMouseUp = [&](TObject*, TMouseButton b, TShiftState, int, int) {
        note("up:" + ButtonName(b));
    };
    icon->OnMouseMove = [&](TObject*, TShiftState, int, int) { note("move"); };
    icon->OnMouseEnter = [&](TObject*) { note("enter"); };
    icon->OnMouseExit = [&](TObject*) { note("exit"); };
    icon->OnBalloonHintShow = [&](TObject*) { note("balloon:show"); };
    icon->OnBalloonHintHide = [&](TObject*) { note("balloon:hide"); };
    icon->OnBalloonHintTimeout = [&](TObject*) { note("balloon:timeout"); };
    icon->OnBalloonHintClick = [&](TObject*) { note("balloon:click"); };

    for (const uint32_t step : c.Steps) {
        if (step == kClickTimerExpires) {
            ASSERT_TRUE(icon->SingleClickTimer().Armed()) << "the click timer was not running";
            icon->SingleClickTimer().Expire();
        } else if (step == kPollTicks) {
            icon->LeavePollTimer().Expire();
        } else if (step == kCursorMoves) {
            shell.CursorX += 30;
        } else if (step == kPollState) {
            note(icon->LeavePollTimer().Armed() ? "poll:on" : "poll:off");
        } else {
            shell.Send(icon->TrayId(), {step});
        }
    }
    menu->Menu()->hide();
    EXPECT_EQ(log, c.Expected);
    EXPECT_FALSE(icon->SingleClickTimer().Armed());
}

INSTANTIATE_TEST_SUITE_P(
    CoolTrayIcon, TrayDispatch,
    ::testing::Values(
        TDispatchCase{"ClickAtRelease", {WM_LBUTTONDOWN, WM_LBUTTONUP}, "down:L click up:L"},
        TDispatchCase{"DoubleClickWithoutHandlerIsOneClick",
                      {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
                      "down:L click up:L up:L"},
        TDispatchCase{"ClickWaitsForTheDoubleClickTime",
                      {WM_LBUTTONDOWN, WM_LBUTTONUP, kClickTimerExpires},
                      "down:L up:L click",
                      true},
        TDispatchCase{
            "DoubleClickDropsTheClick",
            {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, kClickTimerExpires},
            "down:L up:L dblclick up:L",
            true},
        TDispatchCase{"RightButtonOpensTheMenuWhenPressed",
                      {WM_RBUTTONDOWN, WM_RBUTTONUP},
                      "down:R menu up:R"},
        TDispatchCase{"VersionThreeReleasesOnTheContextCode",
                      {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CONTEXTMENU},
                      "down:R menu up:R",
                      false,
                      true,
                      1},
        TDispatchCase{"MiddleButton", {WM_MBUTTONDOWN, WM_MBUTTONUP}, "down:M up:M"},
        TDispatchCase{"LeftPopupOpensTheMenuOnTheLeftButton",
                      {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK},
                      "down:L menu click up:L",
                      false,
                      true,
                      0,
                      true,
                      true},
        TDispatchCase{"DoubleClickChoosesTheDefaultItem",
                      {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
                      "down:L click up:L default up:L",
                      false,
                      true,
                      0,
                      false,
                      true},
        TDispatchCase{"DisabledIgnoresTheMouse",
                      {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
                       WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MOUSEMOVE, kPollState},
                      "poll:off",
                      true,
                      false,
                      0,
                      false,
                      true,
                      true},
        TDispatchCase{"DisabledStillPassesBalloons",
                      {NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK},
                      "balloon:show balloon:hide balloon:timeout balloon:click",
                      false,
                      false},
        TDispatchCase{"PointerEntersMovesAndLeaves",
                      {kPollState, kPollTicks, WM_MOUSEMOVE, kPollState, WM_MOUSEMOVE, kPollTicks,
                       kCursorMoves, kPollTicks, kPollState, kPollTicks, WM_MOUSEMOVE, kPollState},
                      "poll:off enter move poll:on move exit poll:off enter move poll:on",
                      false,
                      true,
                      0,
                      false,
                      false,
                      true},
        TDispatchCase{"OtherCodesAreIgnored", {0x0206, 0x0209, 0x1234}, ""}),
    CaseName<TDispatchCase>);

TEST(CoolTrayIcon, MouseEventsCarryTheCursorAndTheKeys) {
    TFakeTrayShell shell;
    TTestTrayIcon icon(nullptr, shell);
    icon.SetIconVisible(true);
    shell.KeysDown = {VK_SHIFT, VK_CONTROL};
    TShiftState shift = 0;
    int x = 0;
    int y = 0;
    icon.OnMouseDown = [&](TObject*, TMouseButton, TShiftState s, int X, int Y) {
        shift = s;
        x = X;
        y = Y;
    };
    shell.Send(icon.TrayId(), {WM_RBUTTONDOWN});
    EXPECT_EQ(shift, ssShift | ssCtrl | ssRight);
    EXPECT_EQ(x, shell.CursorX);
    EXPECT_EQ(y, shell.CursorY);
}

struct TTipCase {
    const char* Name;
    std::string Hint;
    bool ShowHint;
    std::string Tip;
};

void PrintTo(const TTipCase& c, std::ostream* os) {
    *os << c.Name;
}

class TrayTip : public ::testing::TestWithParam<TTipCase> {};

TEST_P(TrayTip, TipIsCutAndClearedAsShown) {
    const TTipCase& c = GetParam();
    TFakeTrayShell shell;
    TTestTrayIcon icon(nullptr, shell);
    icon.SetIconVisible(true);
    icon.SetShowHint(c.ShowHint);
    icon.SetHint(c.Hint);
    EXPECT_EQ(shell.Entry(icon.TrayId())->Tip, c.Tip);
    EXPECT_EQ(icon.Hint(), c.Hint) << "the hint itself stays whole";
    EXPECT_EQ(icon.TrayRecord().szTip[127], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    CoolTrayIcon, TrayTip,
    ::testing::Values(TTipCase{"Short", "Ping a: 12.0 msec.", true, "Ping a: 12.0 msec."},
                      TTipCase{"LongCutTo127", std::string(200, 'x'), true, std::string(127, 'x')},
                      TTipCase{"HiddenHint", "Ping a: 12.0 msec.", false, ""},
                      TTipCase{"CutBeforeAHalfCharacter", std::string(126, 'x') + "\xC3\xA9", true,
                               std::string(126, 'x')}),
    CaseName<TTipCase>);

// Each icon is an entry of its own: its tip, and the user's clicks on it reach it alone.
TEST(CoolTrayIcon, EachIconIsAnEntryOfItsOwn) {
    TFakeTrayShell shell;
    TTestTrayIcon icons[2] = {{nullptr, shell}, {nullptr, shell}};
    int clicks[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        icons[i].SetIconVisible(true);
        icons[i].SetHint(i == 0 ? "first" : "second");
        icons[i].OnClick = [&clicks, i](TObject*) { ++clicks[i]; };
    }
    shell.Send(icons[1].TrayId(), {WM_LBUTTONDOWN, WM_LBUTTONUP});
    EXPECT_EQ(clicks[0], 0);
    EXPECT_EQ(clicks[1], 1);
    EXPECT_EQ(shell.Entry(icons[0].TrayId())->Tip, "first");
    EXPECT_EQ(shell.Entry(icons[1].TrayId())->Tip, "second");
}

TEST(CoolTrayIcon, LoadingAddsTheEntryAndFreeingRemovesItAtOnce) {
    TFakeTrayShell shell;
    TComponent owner(nullptr);
    owner.BeginLoading();
    auto* icon = new TTestTrayIcon(&owner, shell);
    icon->SetIconVisible(true);
    icon->SetWantEnterExitEvents(true);
    owner.EndLoading();
    const uintptr_t id = icon->TrayId();

    ASSERT_EQ(shell.Calls.size(), 4u);
    EXPECT_EQ(shell.Calls[0].Message, NIM_ADD);
    EXPECT_EQ(shell.Calls[1].Message, NIM_MODIFY);
    EXPECT_EQ(shell.Calls[2].Message, NIM_ADD);
    EXPECT_FALSE(shell.Calls[2].Accepted) << "the second add is refused";
    EXPECT_EQ(shell.Calls[3].Message, NIM_SETVERSION);
    EXPECT_FALSE(icon->LeavePollTimer().Armed()) << "no pointer over the icon yet: nothing to poll";
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 0) << "an idle icon runs no timer";
    EXPECT_EQ(TTrayIconHandler::UserCount(), 1);
    EXPECT_EQ(TSimpleTimerHandler::UserCount(), 3);

    delete icon;
    EXPECT_EQ(shell.Entry(id), nullptr);
    EXPECT_EQ(shell.Calls.back().Message, NIM_DELETE);
    EXPECT_EQ(TTrayIconHandler::UserCount(), 0);
    EXPECT_EQ(TSimpleTimerHandler::UserCount(), 0);
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 0);
    EXPECT_EQ(shell.HandlerCount(), 0);
}

TEST(CoolTrayIcon, CallbacksForAFreedIconGoNowhere) {
    TFakeTrayShell shell;
    TTestTrayIcon stays(nullptr, shell);
    auto* goes = new TTestTrayIcon(nullptr, shell);
    int clicks = 0;
    goes->OnClick = [&](TObject*) { ++clicks; };
    const uintptr_t staleId = goes->TrayId();
    delete goes;
    // A callback the tray sent before the entry went, arriving late.
    stays.TrayRecord().hWnd->TrayMessage(TrayCallbackMessage, staleId, WM_LBUTTONDOWN);
    stays.TrayRecord().hWnd->TrayMessage(TrayCallbackMessage, staleId, WM_LBUTTONUP);
    EXPECT_EQ(clicks, 0);
}

TEST(CoolTrayIcon, EntryComesBackAfterTheTrayHostRestarts) {
    TFakeTrayShell shell;
    TTestTrayIcon icon(nullptr, shell);
    TIcon image;
    image.SetImage(SolidImage(0x123456));
    icon.SetIcon(image);
    icon.SetIconVisible(true);
    icon.SetHint("Ping a: 12.0 msec.");

    shell.RestartHost();
    const TFakeTrayShell::TEntry* entry = shell.Entry(icon.TrayId());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Tip, "Ping a: 12.0 msec.");
    ASSERT_TRUE(entry->HasImage);
    EXPECT_EQ(entry->Image.Pixels[0], 0x123456u);

    icon.SetIconVisible(false);
    shell.RestartHost();
    EXPECT_EQ(shell.Entry(icon.TrayId()), nullptr) << "an entry taken out stays out";
}

TEST(CoolTrayIcon, HostsThatShowMenusGetTheMenuAndItsChoicesAreHeldWhileDisabled) {
    TFakeTrayShell shell;
    TComponent owner(nullptr);
    auto* menu = new TPopupMenu(&owner);
    int shows = 0;
    for (const char* caption : {"Show", "Exit"}) {
        auto* item = new TMenuItem(&owner);
        item->SetCaption(caption);
        menu->Add(item);
    }
    menu->Items(0)->OnClick = [&](TObject*) { ++shows; };
    auto* icon = new TTestTrayIcon(&owner, shell);
    icon->SetPopupMenu(menu);
    icon->SetIconVisible(true);

    const auto& items = shell.Entry(icon->TrayId())->Menu;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Caption, "Show");
    EXPECT_EQ(items[1].Caption, "Exit");
    icon->SetEnabled(false);
    items[0].OnClick();
    EXPECT_EQ(shows, 0);
    icon->SetEnabled(true);
    items[0].OnClick();
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(menu->PopupComponent(), icon);

    delete menu;
    EXPECT_EQ(icon->PopupMenu(), nullptr);
    EXPECT_TRUE(shell.Entry(icon->TrayId())->Menu.empty());
}

struct TMinimiseCase {
    const char* Name;
    bool TrayAvailable;
    bool MinimizeEvent;
    bool Hidden;
};

void PrintTo(const TMinimiseCase& c, std::ostream* os) {
    *os << c.Name;
}

class TrayMinimise : public ::testing::TestWithParam<TMinimiseCase> {};

TEST_P(TrayMinimise, MinimisingSendsTheWindowToTheTrayWhereThereIsOne) {
    const TMinimiseCase& c = GetParam();
    TFakeTrayShell shell;
    shell.Available = c.TrayAvailable;
    TApplication application;
    auto* form = new TForm(&application);
    auto* icon = new TTestTrayIcon(form, shell);
    icon->SetMinimizeToTray(true);
    int minimiseEvents = 0;
    if (c.MinimizeEvent) {
        icon->OnMinimizeToTray = [&](TObject*) { ++minimiseEvents; };
    }
    form->Show();
    form->SetWindowState(TWindowState::wsMinimized);
    QApplication::processEvents();

    EXPECT_EQ(form->Visible(), !c.Hidden);
    EXPECT_TRUE(icon->IconVisible());
    EXPECT_NE(shell.Entry(icon->TrayId()), nullptr);
    EXPECT_EQ(minimiseEvents, c.MinimizeEvent ? 1 : 0);
    EXPECT_EQ(shell.CountCalls(NIM_ADD), 1) << "one way into the tray, not two";
    // The window manager drops the minimised state of the withdrawn window (as xfwm4 does):
    // that is no restore.
    form->Widget()->setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    EXPECT_EQ(form->Visible(), !c.Hidden);

    icon->RestoreMainWindow();
    QApplication::processEvents();
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->WindowState(), TWindowState::wsNormal);

    // Once the icon is gone, minimising is the window's own business again.
    delete icon;
    form->SetWindowState(TWindowState::wsMinimized);
    QApplication::processEvents();
    EXPECT_TRUE(form->Visible());
}

INSTANTIATE_TEST_SUITE_P(
    CoolTrayIcon, TrayMinimise,
    ::testing::Values(TMinimiseCase{"IntoTheTray", true, false, true},
                      TMinimiseCase{"ThroughTheMinimiseEvent", true, true, true},
                      TMinimiseCase{"NoTrayKeepsItMinimised", false, false, false}),
    CaseName<TMinimiseCase>);

// A window in the tray comes back, where it was, when the last tray goes; the icon returns with
// the next tray.
TEST(CoolTrayIcon, AWindowInTheTrayComesBackWhenTheTrayGoes) {
    TFakeTrayShell shell;
    TApplication application;
    auto* form = new TForm(&application);
    auto* icon = new TTestTrayIcon(form, shell);
    icon->SetMinimizeToTray(true);
    icon->SetIconVisible(true);
    form->SetBounds(120, 80, 300, 200);
    form->Show();
    form->SetWindowState(TWindowState::wsMinimized);
    QApplication::processEvents();
    ASSERT_FALSE(form->Visible());

    shell.EndHost();
    QApplication::processEvents();
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->WindowState(), TWindowState::wsNormal);
    EXPECT_EQ(std::vector<int>({form->Left(), form->Top(), form->Width(), form->Height()}),
              std::vector<int>({120, 80, 300, 200}));
    shell.RestartHost();
    EXPECT_NE(shell.Entry(icon->TrayId()), nullptr) << "the icon returns with the next tray";
    delete icon;
}

struct TCloseCase {
    const char* Name;
    bool MinimizeSeen;
    bool TrayAvailable;
    bool IntoTheTray;
};

void PrintTo(const TCloseCase& c, std::ostream* os) {
    *os << c.Name;
}

class TrayClose : public ::testing::TestWithParam<TCloseCase> {};

TEST_P(TrayClose, TitleBarCloseGoesToTheTrayWhereMinimisingCannotBeSeen) {
    const TCloseCase& c = GetParam();
    TFakeTrayShell shell;
    shell.MinimizeReported = c.MinimizeSeen;
    shell.Available = c.TrayAvailable;
    TApplication application;
    auto* form = new TForm(&application);
    auto* icon = new TTestTrayIcon(form, shell);
    icon->SetMinimizeToTray(true);
    icon->SetIconVisible(true);
    form->Show();

    int asked = 0;
    form->OnCloseQuery = [&](TObject*, bool&) { ++asked; };

    form->Widget()->close();  // as the window manager closes it
    EXPECT_EQ(asked, c.IntoTheTray ? 0 : 1) << "the close question";
    QApplication::processEvents();
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(icon->IconVisible(), true);

    // The program's own close (Exit in the menu) is never taken over.
    form->Show();
    form->Close();
    EXPECT_EQ(asked, c.IntoTheTray ? 1 : 2);
    delete icon;
}

INSTANTIATE_TEST_SUITE_P(CoolTrayIcon, TrayClose,
                         ::testing::Values(TCloseCase{"WaylandWithATray", false, true, true},
                                           TCloseCase{"WaylandWithoutATray", false, false, false},
                                           TCloseCase{"MinimisingSeen", true, true, false}),
                         CaseName<TCloseCase>);

TEST(SimpleTimer, ArmedFollowsPeriodAndHandler) {
    int ticks = 0;
    TSimpleTimer timer(0, [&](TObject*) { ++ticks; });
    timer.SetArmed(true);
    EXPECT_FALSE(timer.Armed()) << "a period of 0 does not start";
    timer.SetPeriod(60000);
    timer.SetArmed(true);
    EXPECT_TRUE(timer.Armed());
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 1);
    timer.SetPeriod(0);
    EXPECT_TRUE(timer.Armed()) << "stopped but still wanted";
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 0);
    timer.SetPeriod(60000);
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 1);
    timer.SetOnTick(nullptr);
    EXPECT_TRUE(timer.Armed());
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 0);
    timer.StopTicking(true);
    EXPECT_EQ(TSimpleTimerHandler::RunningCount(), 0) << "never below 0";

    TSimpleTimer once(1, [&](TObject*) { ++ticks; });
    once.SetOneShot(true);
    once.SetArmed(true);
    QElapsedTimer waited;
    waited.start();
    while (ticks == 0 && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(ticks, 1) << "the system timer reaches the object";
    EXPECT_FALSE(once.Armed());
}

}  // namespace
