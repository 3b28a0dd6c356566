#pragma once
// The one target per process that the shell sends every tray entry's callbacks to. It exists
// while any tray icon does and hands each callback to the icon it names.

#include <cstdint>
#include <vector>

#include "platform/TrayShell.h"

class TCoolTrayIcon;

inline constexpr uint32_t WM_USER = 0x0400;
// The callback message every entry is added with.
inline constexpr uint32_t TrayCallbackMessage = WM_USER + 1024;

class TTrayIconHandler : public TTrayCallbackTarget {
public:
    // The handler for a new icon, created for the first one.
    static TTrayIconHandler* Acquire(TCoolTrayIcon* icon);
    // The icon is going; the handler goes with its last icon.
    static void Release(TCoolTrayIcon* icon);
    static int UserCount();

    // The entry's id names the icon. Only icons that are still there are reached: a callback
    // the shell sent for an entry whose icon has gone in the meantime is dropped.
    void TrayMessage(uint32_t Message, uintptr_t WParam, uint32_t LParam) override;

private:
    TTrayIconHandler() = default;
    std::vector<TCoolTrayIcon*> FUsers;
};
