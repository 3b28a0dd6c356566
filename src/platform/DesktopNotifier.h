#pragma once
// Short messages the desktop shows outside the window, for changes the user should hear of
// while Latmo sits in the tray: a notification of the desktop's notification service on Linux,
// a balloon of the program's tray entry on Windows.

#include <cstddef>
#include <functional>
#include <string>

struct TDesktopNotice {
    // Every desktop shows this much: a tray balloon takes a title of 63 characters and a text
    // of 255. Longer ones are cut by the implementation, at a character's boundary.
    static constexpr size_t kMaxTitle = 63;
    static constexpr size_t kMaxText = 255;

    std::string Title;  // one line
    std::string Text;   // plain text; lines separated by LF
    // Something went wrong (rather than came right): a warning icon where the desktop has one.
    bool Warning = false;
};

class TDesktopNotifier {
public:
    virtual ~TDesktopNotifier() = default;

    // Empty while notices can be shown; otherwise why not, in words for the user (no
    // notification service runs, no tray entry to carry a balloon).
    virtual std::string Unavailable() const = 0;
    // Hands one notice to the desktop without waiting for it to be shown; each notice is one
    // of its own (a tray balloon replaces the one before). False when it could not go out.
    virtual bool Notify(const TDesktopNotice& notice) = 0;
    // Called on the user-interface thread whenever Unavailable() may have changed (a
    // notification service started or ended, the tray came back). One handler; an empty one
    // removes it.
    virtual void SetAvailabilityChanged(std::function<void()> handler) = 0;
};
