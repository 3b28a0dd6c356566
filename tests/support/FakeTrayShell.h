#pragma once
// A tray that keeps its entries in memory, records every notify call, and lets a test act as
// the user (clicks as message codes) and as the desktop (a tray host that restarts).

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/TrayShell.h"

class TFakeTrayShell : public TTrayShell {
public:
    struct TEntry {
        TTrayCallbackTarget* Target = nullptr;
        uint32_t CallbackMessage = 0;
        std::string Tip;
        bool HasImage = false;
        TTrayImage Image;
        uint32_t Version = 0;
        std::vector<TTrayMenuItem> Menu;
    };
    struct TCall {
        TNotifyIconMessage Message;
        uintptr_t Id;
        bool Accepted;
    };

    bool TrayAvailable() const override { return Available; }
    bool MinimizeSeen() const override { return MinimizeReported; }
    bool NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) override;
    void SetEntryMenu(uintptr_t id, std::vector<TTrayMenuItem> items) override;
    int AddTaskbarCreatedHandler(std::function<void()> handler) override;
    void RemoveTaskbarCreatedHandler(int key) override;
    int AddTrayGoneHandler(std::function<void()> handler) override;
    void RemoveTrayGoneHandler(int key) override;
    bool GetCursorPos(int& x, int& y) const override;
    bool KeyDown(TVirtualKey key) const override { return KeysDown.count(key) != 0; }
    unsigned DoubleClickTime() const override { return DoubleClickMs; }

    // The user: each code goes to the entry's target for as long as the entry is there.
    void Send(uintptr_t id, const std::vector<uint32_t>& codes);
    // The desktop: the tray host restarts, forgetting every entry, and announces itself.
    void RestartHost();
    // The desktop: the tray host ends, forgetting every entry, and leaves no tray.
    void EndHost();

    // nullptr when there is no such entry.
    const TEntry* Entry(uintptr_t id) const;
    int CountCalls(TNotifyIconMessage message) const;
    int HandlerCount() const { return static_cast<int>(FHandlers.size() + FGoneHandlers.size()); }

    bool Available = true;
    // False as in a Wayland session, where the desktop keeps a window's minimised state to
    // itself.
    bool MinimizeReported = true;
    bool CursorKnown = true;
    int CursorX = 100;
    int CursorY = 200;
    std::set<TVirtualKey> KeysDown;
    unsigned DoubleClickMs = 500;
    std::vector<TCall> Calls;

private:
    // Forgets every entry and tells the handlers.
    void ChangeHost(bool available, const std::map<int, std::function<void()>>& told);

    std::map<uintptr_t, TEntry> FEntries;
    std::map<int, std::function<void()>> FHandlers;
    std::map<int, std::function<void()>> FGoneHandlers;
    int FNextKey = 1;
};
