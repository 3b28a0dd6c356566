#pragma once
// The tray on a Linux desktop: the entries are StatusNotifier items of Latmo's own while a
// StatusNotifier watcher is on the session bus (desktop panels, X11 and Wayland alike), and
// the toolkit's XEmbed icons on an X display with a system tray otherwise. A tray that comes
// later, or comes back, is followed, and the entries' owners are told to add them again. Clicks
// become the mouse-message codes of the tray component; the right button opens the component's
// own menu on XEmbed trays, while StatusNotifier hosts show a copy of that menu themselves.

#include <memory>

#include "platform/TrayShell.h"

class TLinuxTrayShell : public TTrayShell {
public:
    // Needs a QApplication that outlives it.
    TLinuxTrayShell();
    ~TLinuxTrayShell() override;
    TLinuxTrayShell(const TLinuxTrayShell&) = delete;
    TLinuxTrayShell& operator=(const TLinuxTrayShell&) = delete;

    bool TrayAvailable() const override;
    bool MinimizeSeen() const override;
    bool NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) override;
    void SetEntryMenu(uintptr_t id, std::vector<TTrayMenuItem> items) override;
    int AddTaskbarCreatedHandler(std::function<void()> handler) override;
    void RemoveTaskbarCreatedHandler(int key) override;
    int AddTrayGoneHandler(std::function<void()> handler) override;
    void RemoveTrayGoneHandler(int key) override;
    bool GetCursorPos(int& x, int& y) const override;
    bool KeyDown(TVirtualKey key) const override;
    unsigned DoubleClickTime() const override;

    // Whether the host shows entry menus itself (StatusNotifier) rather than reporting the
    // right button (XEmbed).
    bool HostShowsMenus() const;

private:
    class TImpl;
    std::unique_ptr<TImpl> FImpl;
};
