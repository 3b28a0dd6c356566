#include "platform/windows/WindowsDesktopNotifier.h"

#include "platform/windows/WindowsTrayShell.h"

TWindowsDesktopNotifier::TWindowsDesktopNotifier(TWindowsTrayShell& tray) : FTray(tray) {
    FTray.SetEntriesChanged([this] {
        if (FChanged) {
            FChanged();
        }
    });
}

TWindowsDesktopNotifier::~TWindowsDesktopNotifier() {
    FTray.SetEntriesChanged({});
}

std::string TWindowsDesktopNotifier::Unavailable() const {
    return FTray.HasEntry() ? std::string()
                            : std::string("Latmo has no icon in the notification area to show "
                                          "notices at.");
}

bool TWindowsDesktopNotifier::Notify(const TDesktopNotice& notice) {
    return FTray.ShowBalloon(notice.Title, notice.Text, notice.Warning);
}

void TWindowsDesktopNotifier::SetAvailabilityChanged(std::function<void()> handler) {
    FChanged = std::move(handler);
}
