#pragma once
// What a StatusNotifier host asks of an item, turned into the mouse-message codes a tray entry
// reports on a tray that passes the mouse on. Such a host sends requests, not the mouse: one
// request once a click is over, no button presses or releases of its own, no double clicks and
// no pointer moves. So a click becomes a press and a release, a second Activate within the
// double-click time becomes the double click, and moves are never reported: whatever waits for
// the pointer to enter or leave the icon hears nothing rather than a guess.

#include <cstdint>
#include <vector>

enum class TStatusNotifierRequest {
    Activate,           // the primary action: a left click
    ContextMenu,        // the menu: a right click, where the host does not show the menu itself
    SecondaryActivate,  // a middle click
};

class TStatusNotifierClicks {
public:
    // The codes for one request arriving at nowMs (any steady clock, in milliseconds).
    std::vector<uint32_t> Codes(TStatusNotifierRequest request, int64_t nowMs,
                                unsigned doubleClickMs);

private:
    // When the click that could start a double click came; none after a double click, so a
    // third click starts anew.
    bool FClickOpen = false;
    int64_t FClickAt = 0;
};
