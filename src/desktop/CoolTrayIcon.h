#pragma once
// A non-visual component that owns one tray entry: its image and tooltip, the mouse on it
// turned into events, its popup menu, and minimise-to-tray and restore of the main window.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "desktop/Icon.h"
#include "desktop/SimpleTimer.h"
#include "platform/TrayShell.h"
#include "toolkit/Component.h"
#include "toolkit/Control.h"
#include "toolkit/Messages.h"

class QObject;
class TApplication;
class TForm;
class TPopupMenu;
class TTrayIconHandler;

using TCycleEvent = std::function<void(TObject* Sender, int NextIndex)>;
using TStartupEvent = std::function<void(TObject* Sender, bool& ShowMainForm)>;

// What the shell announces when a tray host has (re)appeared, as the application hook sees it.
inline constexpr uint32_t TaskbarCreatedMessage = 0xC000;

class TCoolTrayIcon : public TComponent {
public:
    // The shell outlives the component.
    TCoolTrayIcon(TComponent* AOwner, TTrayShell& shell);
    ~TCoolTrayIcon() override;

    std::string ClassName() const override { return "TCoolTrayIcon"; }

    // While false every mouse message from the tray is ignored; balloon notifications still
    // come through. A plain value: setting it does nothing else.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }

    // The tooltip; each assignment updates the entry.
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);

    // The image in the tray; each assignment updates the entry.
    const TIcon& Icon() const { return FIcon; }
    void SetIcon(const TIcon& value);

    // Whether the entry is in the tray: true adds it, false removes it.
    bool IconVisible() const { return FIconVisible; }
    void SetIconVisible(bool value);

    TImageList* IconList() const { return FIconList; }
    void SetIconList(TImageList* value);
    int IconIndex() const { return FIconIndex; }
    void SetIconIndex(int value);
    bool CycleIcons() const { return FCycleIcons; }
    void SetCycleIcons(bool value);
    unsigned CycleInterval() const { return FCycleInterval; }
    void SetCycleInterval(unsigned value);

    // The menu the right button opens (and the left one too with LeftPopup).
    TPopupMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupMenu* value);
    bool LeftPopup() const { return FLeftPopup; }
    void SetLeftPopup(bool value) { FLeftPopup = value; }

    // Reports the pointer entering and leaving the icon: entering with the first move the tray
    // reports, leaving as a poll finds the pointer elsewhere. The poll runs only in between.
    bool WantEnterExitEvents() const { return FWantEnterExitEvents; }
    void SetWantEnterExitEvents(bool value);

    // Minimising the main form hides it and its taskbar entry, leaving the tray entry.
    bool MinimizeToTray() const { return FMinimizeToTray; }
    void SetMinimizeToTray(bool value) { FMinimizeToTray = value; }

    // 0: classic notifications; 1: version-3 notifications (the context menu as its own code).
    uint8_t NotifyMode() const { return FNotifyMode; }
    void SetNotifyMode(uint8_t value);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TCycleEvent OnCycle;
    TStartupEvent OnStartup;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TNotifyEvent OnMinimizeToTray;
    TNotifyEvent OnBalloonHintShow;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TNotifyEvent OnBalloonHintClick;

    // Whether a freshly placed component shows a stock image (design time only).
    virtual bool WantsDefaultIcon() const { return true; }
    virtual void AddTrayEntry();
    virtual void RemoveTrayEntry();
    virtual void UpdateTrayEntry();

    // Brings the main form back: no longer minimised, visible, in front.
    void RestoreMainWindow();
    // Hides the main form and its taskbar entry.
    void HideMainWindow();
    void HideTaskbarButton();
    // Hides the main form (where a tray exists to bring it back) and puts the entry in the tray.
    virtual void SendToTray();
    // Opens the popup menu at the cursor.
    void ShowMenuAtCursor();

    // The entry's id, unique to the instance, and the record as the last shell call saw it.
    uintptr_t TrayId() const { return reinterpret_cast<uintptr_t>(this); }
    const TNotifyIconData& TrayRecord() const { return FTrayRecord; }

protected:
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // The event dispatchers; each raises its event when one is assigned.
    virtual void Click();
    virtual void DblClick();
    virtual void Cycle(int NextIndex);
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseEnter();
    virtual void MouseExit();

    TTrayShell& Shell() const { return FShell; }
    TSimpleTimer& SingleClickTimer() const { return *FSingleClickTimer; }
    TSimpleTimer& LeavePollTimer() const { return *FLeavePollTimer; }
    TSimpleTimer& IconCycleTimer() const { return *FIconCycleTimer; }

private:
    friend class TTrayIconHandler;
    // The shell's callback: what the user did to the entry.
    void TrayCallback(uint32_t code);
    void PrepareTrayRecord();
    void PassMenuToShell();
    void MenuItemChosen(int index);
    bool ApplicationHook(TMessage& Message);
    void OwnerWindowProc(TMessage& Message);
    // The last tray is gone: a window hidden into it comes back.
    void TrayGone();
    void SingleClickTimerTick();
    void LeavePollTick();
    void CycleTick();
    TShiftState KeyShiftState() const;
    TForm* MainForm() const;

    TTrayShell& FShell;
    TTrayIconHandler* FHandler;
    TApplication* FApplication = nullptr;
    TForm* FOwnerForm = nullptr;

    bool FEnabled = true;
    TIcon FIcon;
    bool FIconVisible = false;
    std::string FHint;
    bool FShowHint = true;
    TPopupMenu* FPopupMenu = nullptr;
    bool FLeftPopup = false;
    bool FMinimizeToTray = false;
    bool FPressed = false;
    bool FClickPending = false;
    std::unique_ptr<TSimpleTimer> FIconCycleTimer;
    std::unique_ptr<TSimpleTimer> FSingleClickTimer;
    std::unique_ptr<TSimpleTimer> FLeavePollTimer;
    int FLastCursorX = 0;
    int FLastCursorY = 0;
    bool FCursorOutside = true;
    bool FWantEnterExitEvents = false;
    uint8_t FNotifyMode = 0;
    bool FDoubleClicked = false;
    int FIconIndex = 0;
    TImageList* FIconList = nullptr;
    bool FCycleIcons = false;
    unsigned FCycleInterval = 0;
    TWndMethod FPrevWindowProc;
    bool FWindowProcReplaced = false;
    int FHookKey = 0;
    int FTaskbarKey = 0;
    int FTrayGoneKey = 0;
    TNotifyIconData FTrayRecord;
    // What waits for the window's close to be through; it goes with the icon.
    std::unique_ptr<QObject> FAfterClose;
};
