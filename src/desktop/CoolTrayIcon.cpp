#include "desktop/CoolTrayIcon.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "desktop/TrayIconHandler.h"
#include "toolkit/Application.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Form.h"
#include "toolkit/Menus.h"

namespace {

constexpr size_t kTipLength = sizeof(TNotifyIconData::szTip) - 1;
constexpr unsigned kLeavePollPeriod = 20;

// Raises an event the way the toolkit dispatches every event: only when assigned, and with an
// escaping exception reported rather than passed on.
template <typename Event, typename... Args>
void Raise(const Event& event, Args&&... args) {
    if (event) {
        DispatchEvent([&] { event(std::forward<Args>(args)...); });
    }
}

TApplication* FindApplication(TComponent* component) {
    for (; component != nullptr; component = component->Owner()) {
        if (auto* application = dynamic_cast<TApplication*>(component)) {
            return application;
        }
    }
    return nullptr;
}

}  // namespace

TCoolTrayIcon::TCoolTrayIcon(TComponent* AOwner, TTrayShell& shell)
    : TComponent(AOwner),
      FShell(shell),
      FHandler(TTrayIconHandler::Acquire(this)),
      FAfterClose(std::make_unique<QObject>()) {
    FIcon.OnChange = [this](TObject*) { UpdateTrayEntry(); };
    FTrayRecord.cbSize = kNotifyIconDataSize;
    FTrayRecord.hWnd = FHandler;
    FTrayRecord.uID = TrayId();
    FTrayRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    FTrayRecord.uCallbackMessage = TrayCallbackMessage;
    FIconCycleTimer = std::make_unique<TSimpleTimer>(1000, [this](TObject*) { CycleTick(); });
    FSingleClickTimer =
        std::make_unique<TSimpleTimer>(1000, [this](TObject*) { SingleClickTimerTick(); });
    FLeavePollTimer =
        std::make_unique<TSimpleTimer>(kLeavePollPeriod, [this](TObject*) { LeavePollTick(); });

    FApplication = FindApplication(AOwner);
    if (FApplication != nullptr) {
        FHookKey = FApplication->HookMainWindow([this](TMessage& m) { return ApplicationHook(m); });
    }
    FTaskbarKey = FShell.AddTaskbarCreatedHandler([this] {
        TMessage message{TaskbarCreatedMessage, 0, 0, 0};
        ApplicationHook(message);
    });
    FTrayGoneKey = FShell.AddTrayGoneHandler([this] { TrayGone(); });
    FOwnerForm = dynamic_cast<TForm*>(AOwner);
    if (FOwnerForm != nullptr) {
        FPrevWindowProc = FOwnerForm->WindowProc();
        FOwnerForm->SetWindowProc([this](TMessage& m) { OwnerWindowProc(m); });
        FWindowProcReplaced = true;
    }
}

TCoolTrayIcon::~TCoolTrayIcon() {
    RemoveTrayEntry();
    FIconCycleTimer.reset();
    FSingleClickTimer.reset();
    FLeavePollTimer.reset();
    FIcon.OnChange = nullptr;
    FShell.RemoveTaskbarCreatedHandler(FTaskbarKey);
    FShell.RemoveTrayGoneHandler(FTrayGoneKey);
    if (FApplication != nullptr) {
        FApplication->UnhookMainWindow(FHookKey);
    }
    if (FOwnerForm != nullptr && FWindowProcReplaced) {
        FOwnerForm->SetWindowProc(FPrevWindowProc);
    }
    TTrayIconHandler::Release(this);
}

void TCoolTrayIcon::Loaded() {
    TComponent::Loaded();
    if (FOwnerForm != nullptr && OnStartup) {
        bool showMainForm = true;
        Raise(OnStartup, this, showMainForm);
        if (!showMainForm) {
            HideMainWindow();
        }
    }
    UpdateTrayEntry();
    SetIconVisible(FIconVisible);
    SetCycleIcons(FCycleIcons);
    SetWantEnterExitEvents(FWantEnterExitEvents);
    SetNotifyMode(FNotifyMode);
}

void TCoolTrayIcon::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) {
        return;
    }
    if (AComponent == FPopupMenu) {
        FPopupMenu = nullptr;
        PassMenuToShell();
    }
    if (AComponent == FIconList) {
        FIconList = nullptr;
    }
}

void TCoolTrayIcon::SetHint(const std::string& value) {
    FHint = value;
    UpdateTrayEntry();
}

void TCoolTrayIcon::SetShowHint(bool value) {
    FShowHint = value;
    UpdateTrayEntry();
}

void TCoolTrayIcon::SetIcon(const TIcon& value) {
    TNotifyEvent notify = std::move(FIcon.OnChange);
    FIcon.OnChange = nullptr;
    FIcon.Assign(value);
    FIcon.OnChange = std::move(notify);
    UpdateTrayEntry();
}

void TCoolTrayIcon::SetIconVisible(bool value) {
    if (value) {
        AddTrayEntry();
    } else {
        RemoveTrayEntry();
    }
}

void TCoolTrayIcon::SetIconList(TImageList* value) {
    if (FIconList != nullptr) {
        FIconList->RemoveFreeNotification(this);
    }
    FIconList = value;
    if (FIconList != nullptr) {
        FIconList->FreeNotification(this);
    }
    SetIconIndex(0);
}

void TCoolTrayIcon::SetIconIndex(int value) {
    if (FIconList == nullptr || FIconList->Count() == 0) {
        FIconIndex = 0;
    } else {
        FIconIndex = std::clamp(value, 0, FIconList->Count() - 1);
        TNotifyEvent notify = std::move(FIcon.OnChange);
        FIcon.OnChange = nullptr;
        FIconList->GetIcon(FIconIndex, FIcon);
        FIcon.OnChange = std::move(notify);
    }
    UpdateTrayEntry();
}

void TCoolTrayIcon::SetCycleIcons(bool value) {
    FCycleIcons = value;
    if (FCycleIcons) {
        SetIconIndex(0);
        FIconCycleTimer->SetPeriod(FCycleInterval);
        FIconCycleTimer->SetArmed(true);
    } else {
        FIconCycleTimer->SetArmed(false);
    }
}

void TCoolTrayIcon::SetCycleInterval(unsigned value) {
    FCycleInterval = value;
    SetCycleIcons(FCycleIcons);
}

void TCoolTrayIcon::SetPopupMenu(TPopupMenu* value) {
    if (FPopupMenu != nullptr) {
        FPopupMenu->RemoveFreeNotification(this);
    }
    FPopupMenu = value;
    if (FPopupMenu != nullptr) {
        FPopupMenu->FreeNotification(this);
    }
    PassMenuToShell();
}

void TCoolTrayIcon::SetWantEnterExitEvents(bool value) {
    FWantEnterExitEvents = value;
    // The poll only looks for the pointer leaving the icon, so it runs only while the pointer
    // is known to be over it: from the first move the tray reports until the pointer is seen
    // elsewhere. A tray that reports no moves never starts it.
    FLeavePollTimer->SetArmed(value && !FCursorOutside);
}

void TCoolTrayIcon::SetNotifyMode(uint8_t value) {
    FNotifyMode = value;
    FTrayRecord.uTimeoutOrVersion = FNotifyMode == 1 ? 3 : 0;
    FShell.NotifyIcon(NIM_SETVERSION, FTrayRecord);
}

void TCoolTrayIcon::PrepareTrayRecord() {
    FTrayRecord.hIcon = FIcon.Handle();
    std::memset(FTrayRecord.szTip, 0, sizeof(FTrayRecord.szTip));
    if (!FHint.empty() && FShowHint) {
        size_t length = std::min(FHint.size(), kTipLength);
        // A cut inside a multi-byte character would leave half of it behind: stop before it.
        if (length < FHint.size()) {
            while (length > 0 && (static_cast<unsigned char>(FHint[length]) & 0xC0) == 0x80) {
                --length;
            }
        }
        std::memcpy(FTrayRecord.szTip, FHint.data(), length);
    }
}

void TCoolTrayIcon::AddTrayEntry() {
    FIconVisible = true;
    PrepareTrayRecord();
    FShell.NotifyIcon(NIM_ADD, FTrayRecord);
    PassMenuToShell();
}

void TCoolTrayIcon::RemoveTrayEntry() {
    FIconVisible = false;
    PrepareTrayRecord();
    FShell.NotifyIcon(NIM_DELETE, FTrayRecord);
}

void TCoolTrayIcon::UpdateTrayEntry() {
    PrepareTrayRecord();
    FShell.NotifyIcon(NIM_MODIFY, FTrayRecord);
}

void TCoolTrayIcon::PassMenuToShell() {
    if (!FIconVisible) {
        return;
    }
    std::vector<TTrayMenuItem> items;
    if (FPopupMenu != nullptr && FPopupMenu->AutoPopup()) {
        for (int i = 0; i < FPopupMenu->Count(); ++i) {
            const TMenuItem* item = FPopupMenu->Items(i);
            items.push_back({item->Caption(), item->Default(), [this, i] { MenuItemChosen(i); }});
        }
    }
    FShell.SetEntryMenu(TrayId(), std::move(items));
}

void TCoolTrayIcon::MenuItemChosen(int index) {
    // A host that shows the menu itself does not ask first, so the choice is held back here
    // while the icon is disabled, as a click would be.
    if (!FEnabled || FPopupMenu == nullptr || index >= FPopupMenu->Count()) {
        return;
    }
    FPopupMenu->SetPopupComponent(this);
    FPopupMenu->Items(index)->Click();
}

TShiftState TCoolTrayIcon::KeyShiftState() const {
    TShiftState shift = 0;
    if (FShell.KeyDown(VK_SHIFT)) {
        shift |= ssShift;
    }
    if (FShell.KeyDown(VK_MENU)) {
        shift |= ssAlt;
    }
    if (FShell.KeyDown(VK_CONTROL)) {
        shift |= ssCtrl;
    }
    return shift;
}

void TCoolTrayIcon::TrayCallback(uint32_t code) {
    const bool balloon = code >= NIN_BALLOONSHOW && code <= NIN_BALLOONUSERCLICK;
    if (!balloon && !FEnabled) {
        return;
    }
    int x = 0;
    int y = 0;
    FShell.GetCursorPos(x, y);
    const TShiftState keys = KeyShiftState();
    switch (code) {
        case WM_MOUSEMOVE:
            if (FWantEnterExitEvents && FCursorOutside) {
                FCursorOutside = false;
                FLeavePollTimer->SetArmed(true);
                MouseEnter();
            }
            MouseMove(keys, x, y);
            FLastCursorX = x;
            FLastCursorY = y;
            break;
        case WM_LBUTTONDOWN:
            if (OnDblClick) {
                FSingleClickTimer->SetPeriod(FShell.DoubleClickTime());
                FSingleClickTimer->SetArmed(true);
            }
            MouseDown(TMouseButton::mbLeft, keys | ssLeft, x, y);
            FPressed = true;
            if (FLeftPopup) {
                ShowMenuAtCursor();
            }
            break;
        case WM_LBUTTONUP:
            if (FPressed) {
                FClickPending = true;
            }
            if (FPressed && !FSingleClickTimer->Armed()) {
                FPressed = false;
                FClickPending = false;
                Click();
            }
            FPressed = false;
            MouseUp(TMouseButton::mbLeft, keys | ssLeft, x, y);
            break;
        case WM_LBUTTONDBLCLK:
            FClickPending = false;
            FDoubleClicked = true;
            DblClick();
            if (FPopupMenu != nullptr && FPopupMenu->AutoPopup() && !FLeftPopup) {
                for (int i = 0; i < FPopupMenu->Count(); ++i) {
                    if (FPopupMenu->Items(i)->Default()) {
                        FPopupMenu->Items(i)->Click();
                        break;
                    }
                }
            }
            break;
        case WM_RBUTTONDOWN:
            MouseDown(TMouseButton::mbRight, keys | ssRight, x, y);
            ShowMenuAtCursor();
            break;
        case WM_RBUTTONUP:
            if (FNotifyMode == 0) {
                MouseUp(TMouseButton::mbRight, keys | ssRight, x, y);
            }
            break;
        case WM_MBUTTONDOWN:
            MouseDown(TMouseButton::mbMiddle, keys | ssMiddle, x, y);
            break;
        case WM_MBUTTONUP:
            MouseUp(TMouseButton::mbMiddle, keys | ssMiddle, x, y);
            break;
        case WM_CONTEXTMENU:
        case NIN_SELECT:
        case NIN_KEYSELECT:
            if (FNotifyMode == 1) {
                MouseUp(TMouseButton::mbRight, keys | ssRight, x, y);
            }
            break;
        case NIN_BALLOONSHOW:
        case NIN_BALLOONHIDE:
        case NIN_BALLOONTIMEOUT:
        case NIN_BALLOONUSERCLICK:
            Raise(code == NIN_BALLOONSHOW      ? OnBalloonHintShow
                  : code == NIN_BALLOONHIDE    ? OnBalloonHintHide
                  : code == NIN_BALLOONTIMEOUT ? OnBalloonHintTimeout
                                               : OnBalloonHintClick,
                  this);
            break;
        default:
            break;
    }
}

void TCoolTrayIcon::SingleClickTimerTick() {
    FSingleClickTimer->SetArmed(false);
    if (!FDoubleClicked && FClickPending) {
        FClickPending = false;
        Click();
    }
    FDoubleClicked = false;
}

void TCoolTrayIcon::LeavePollTick() {
    if (FCursorOutside) {
        return;
    }
    int x = 0;
    int y = 0;
    if (!FShell.GetCursorPos(x, y)) {
        return;
    }
    if (x != FLastCursorX || y != FLastCursorY) {
        FCursorOutside = true;
        FLeavePollTimer->SetArmed(false);
        MouseExit();
    }
}

void TCoolTrayIcon::CycleTick() {
    if (FIconList == nullptr || FIconList->Count() == 0) {
        return;
    }
    TIcon image;
    FIconList->GetIcon(FIconIndex, image);
    SetIcon(image);
    const int next = FIconIndex + 1 < FIconList->Count() ? FIconIndex + 1 : 0;
    Cycle(next);
    FIconIndex = next;
}

void TCoolTrayIcon::ShowMenuAtCursor() {
    int x = 0;
    int y = 0;
    if (FPopupMenu == nullptr || !FPopupMenu->AutoPopup() || !FShell.GetCursorPos(x, y)) {
        return;
    }
    // The menu takes the pointer and the keyboard itself as it opens, so nothing has to be
    // brought to the front first, and it closes by itself when the user clicks elsewhere.
    FPopupMenu->SetPopupComponent(this);
    FPopupMenu->Popup(x, y);
}

TForm* TCoolTrayIcon::MainForm() const {
    return FApplication != nullptr ? FApplication->MainForm() : nullptr;
}

bool TCoolTrayIcon::ApplicationHook(TMessage& Message) {
    if (Message.Msg == WM_SIZE && Message.WParam == SIZE_MINIMIZED) {
        if (FMinimizeToTray) {
            SendToTray();
        }
    } else if (Message.Msg == WM_SYSCOMMAND && Message.WParam == SC_RESTORE) {
        if (TForm* form = MainForm()) {
            form->Show();
        }
    } else if (Message.Msg == TaskbarCreatedMessage) {
        if (FIconVisible) {
            AddTrayEntry();
        }
    }
    return false;
}

void TCoolTrayIcon::OwnerWindowProc(TMessage& Message) {
    if (Message.Msg == WM_SHOWWINDOW && Message.WParam != 0 && Message.LParam == 0) {
        FOwnerForm->BringToFront();
    } else if ((Message.Msg == WM_SHOWWINDOW && Message.WParam == 0 &&
                Message.LParam == SW_PARENTCLOSING &&
                !(FApplication != nullptr && FApplication->Terminated())) ||
               (Message.Msg == WM_SYSCOMMAND && Message.WParam == SC_MINIMIZE)) {
        if (FMinimizeToTray && OnMinimizeToTray) {
            Raise(OnMinimizeToTray, this);
            SendToTray();
            Message.Result = 1;
            return;
        }
    } else if (Message.Msg == WM_SYSCOMMAND && Message.WParam == SC_CLOSE) {
        // Where minimising cannot be seen, the tray would be out of reach: closing the window
        // from its title bar puts it there instead, and Exit in the menu ends the program.
        if (FMinimizeToTray && FIconVisible && !FShell.MinimizeSeen() && FShell.TrayAvailable()) {
            Message.Result = 1;
            // Once the close is through: a window hidden in the middle of its own close counts
            // as closed, and the last one closed ends the program.
            QTimer::singleShot(0, FAfterClose.get(), [this] { SendToTray(); });
            return;
        }
    }
    if (FPrevWindowProc) {
        FPrevWindowProc(Message);
    }
}

void TCoolTrayIcon::SendToTray() {
    // Without a tray nothing could bring a hidden window back, so it stays minimised instead.
    if (FShell.TrayAvailable()) {
        HideMainWindow();
    }
    AddTrayEntry();
}

void TCoolTrayIcon::TrayGone() {
    // Nothing could bring a window hidden into the tray back any more, so it is shown again
    // where it was; the entry stays wanted and returns with the next tray.
    TForm* form = MainForm();
    if (FOwnerForm == nullptr || form == nullptr || form->Visible() ||
        (FApplication != nullptr && FApplication->Terminated())) {
        return;
    }
    RestoreMainWindow();
}

void TCoolTrayIcon::HideMainWindow() {
    TForm* form = MainForm();
    if (FOwnerForm == nullptr || form == nullptr) {
        return;
    }
    form->Hide();
    HideTaskbarButton();
}

void TCoolTrayIcon::HideTaskbarButton() {
    // The taskbar entry belongs to the main form's own window here: hiding that window takes
    // the entry away.
    TForm* form = MainForm();
    if (form != nullptr && form->Visible()) {
        form->Hide();
    }
}

void TCoolTrayIcon::RestoreMainWindow() {
    TForm* form = MainForm();
    if (FOwnerForm == nullptr || form == nullptr) {
        return;
    }
    if (form->WindowState() == TWindowState::wsMinimized) {
        form->SetWindowState(TWindowState::wsNormal);
    }
    form->Show();
    form->BringToFront();
}

void TCoolTrayIcon::Click() {
    Raise(OnClick, this);
}
void TCoolTrayIcon::DblClick() {
    Raise(OnDblClick, this);
}
void TCoolTrayIcon::Cycle(int NextIndex) {
    Raise(OnCycle, this, NextIndex);
}
void TCoolTrayIcon::MouseEnter() {
    Raise(OnMouseEnter, this);
}
void TCoolTrayIcon::MouseExit() {
    Raise(OnMouseExit, this);
}

void TCoolTrayIcon::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    Raise(OnMouseDown, this, Button, Shift, X, Y);
}

void TCoolTrayIcon::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    Raise(OnMouseUp, this, Button, Shift, X, Y);
}

void TCoolTrayIcon::MouseMove(TShiftState Shift, int X, int Y) {
    Raise(OnMouseMove, this, Shift, X, Y);
}
