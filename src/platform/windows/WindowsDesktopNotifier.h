#pragma once
// Desktop notices as balloons of Latmo's own tray entry (Shell_NotifyIconW with NIF_INFO), the
// notices Windows shows beside the notification area. They can be shown while the entry is
// there: a new taskbar (Explorer restarted) forgets it until the tray icon adds it again.

#include <functional>
#include <string>

#include "platform/DesktopNotifier.h"

class TWindowsTrayShell;

class TWindowsDesktopNotifier : public TDesktopNotifier {
public:
    // On the user-interface thread; the tray shell outlives the notifier.
    explicit TWindowsDesktopNotifier(TWindowsTrayShell& tray);
    ~TWindowsDesktopNotifier() override;
    TWindowsDesktopNotifier(const TWindowsDesktopNotifier&) = delete;
    TWindowsDesktopNotifier& operator=(const TWindowsDesktopNotifier&) = delete;

    std::string Unavailable() const override;
    bool Notify(const TDesktopNotice& notice) override;
    void SetAvailabilityChanged(std::function<void()> handler) override;

private:
    TWindowsTrayShell& FTray;
    std::function<void()> FChanged;
};
