#pragma once
// The tray of the Windows shell: Shell_NotifyIconW on a hidden window of Latmo's own, which
// hears what happens to the entries and the shell's "TaskbarCreated" broadcast, after which the
// entries' owners add them again (Explorer restarted, or started after Latmo).

#include <map>
#include <memory>
#include <string>

#include "platform/TrayShell.h"

class TWindowsTrayShell : public TTrayShell {
public:
    // On the user-interface thread, whose message loop serves the hidden window.
    TWindowsTrayShell();
    ~TWindowsTrayShell() override;
    TWindowsTrayShell(const TWindowsTrayShell&) = delete;
    TWindowsTrayShell& operator=(const TWindowsTrayShell&) = delete;

    bool TrayAvailable() const override;
    bool NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) override;
    // Windows reports the right button; the component shows its own menu.
    void SetEntryMenu(uintptr_t, std::vector<TTrayMenuItem>) override {}
    int AddTaskbarCreatedHandler(std::function<void()> handler) override;
    void RemoveTaskbarCreatedHandler(int key) override;
    // The Windows tray does not go while the desktop runs: a restarted Explorer announces
    // itself, and that is all there is to hear.
    int AddTrayGoneHandler(std::function<void()> handler) override;
    void RemoveTrayGoneHandler(int key) override;
    bool GetCursorPos(int& x, int& y) const override;
    bool KeyDown(TVirtualKey key) const override;
    unsigned DoubleClickTime() const override;

    // Whether an entry is there (Latmo's one).
    bool HasEntry() const;
    // A balloon at the entry that is there, replacing the one before: a warning or an
    // information icon, the title and the text cut to the record's 63 and 255 characters. False
    // when there is no entry or the shell refused it.
    bool ShowBalloon(const std::string& title, const std::string& text, bool warning);
    // Called on this thread after an entry came or went, and when a new taskbar made the shell
    // forget them (before their owners are asked to add them again). One handler; an empty one
    // removes it.
    void SetEntriesChanged(std::function<void()> handler);

    // The hidden window's handle, for tests that send it what the shell would.
    void* Window() const;
    // The message the shell sends the hidden window for an entry.
    static constexpr uint32_t kCallbackMessage = 0x8000 + 0x0C1;  // WM_APP + 0xC1

private:
    class TImpl;
    std::unique_ptr<TImpl> FImpl;
};
