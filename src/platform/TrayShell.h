#pragma once
// The desktop's notification area ("tray") as the tray icon component sees it: entries are
// added, modified and removed through one notify call that carries a record with a 16 x 16
// image and a tip; what the user does to an entry comes back as mouse-message codes sent to the
// target the record names; a host that (re)appears is announced so entries can be put back.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr int kTrayImageSize = 16;

// The larger sizes trays draw their icons at (22 to 32 pixels, twice that on HiDPI screens).
inline constexpr std::array<int, 5> kTrayLargerSides = {22, 24, 32, 48, 64};

// The same picture painted anew for a larger tray: Side x Side pixels laid out as in the
// 16 x 16 image.
struct TTrayImageAtSize {
    int Side = 0;
    std::vector<uint32_t> Pixels;
    std::vector<uint8_t> Mask;
    bool operator==(const TTrayImageAtSize&) const = default;
};

// One tray image: colours as 0x00RRGGBB, row by row from the top left, and a mask that is
// non-zero where the image is transparent. A tray that draws icons larger than 16 pixels takes
// the nearest of Larger (smallest first) instead of stretching the 16 x 16 pixels; Larger is
// empty where the 16 x 16 image is all there is.
struct TTrayImage {
    std::array<uint32_t, kTrayImageSize * kTrayImageSize> Pixels{};
    std::array<uint8_t, kTrayImageSize * kTrayImageSize> Mask{};
    std::vector<TTrayImageAtSize> Larger;
    bool operator==(const TTrayImage&) const = default;
};

// Hands each size of the picture to use(side, pixels, mask), the 16 x 16 image first, then the
// larger ones; a larger one whose pixels or mask do not fill its square is passed over.
template <typename TUse>
void ForEachTraySize(const TTrayImage& image, TUse&& use) {
    use(kTrayImageSize, image.Pixels.data(), image.Mask.data());
    for (const TTrayImageAtSize& larger : image.Larger) {
        if (larger.Side > 0 &&
            larger.Pixels.size() ==
                static_cast<size_t>(larger.Side) * static_cast<size_t>(larger.Side) &&
            larger.Mask.size() == larger.Pixels.size()) {
            use(larger.Side, larger.Pixels.data(), larger.Mask.data());
        }
    }
}

// Where the shell sends what happens to an entry: Message is the record's uCallbackMessage,
// WParam its uID, LParam one of the codes below.
class TTrayCallbackTarget {
public:
    virtual ~TTrayCallbackTarget() = default;
    virtual void TrayMessage(uint32_t Message, uintptr_t WParam, uint32_t LParam) = 0;
};

// The entry record. cbSize names the record's form by its classic size (the form with the
// 128-byte tip, the balloon texts and the version field), not this structure's own size.
struct TNotifyIconData {
    uint32_t cbSize = 0;
    TTrayCallbackTarget* hWnd = nullptr;
    uintptr_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    const TTrayImage* hIcon = nullptr;  // read during the call only
    char szTip[128] = {};
    uint32_t dwState = 0;
    uint32_t dwStateMask = 0;
    char szInfo[256] = {};
    uint32_t uTimeoutOrVersion = 0;
    char szInfoTitle[64] = {};
    uint32_t dwInfoFlags = 0;
};

inline constexpr uint32_t kNotifyIconDataSize = 488;

enum TNotifyIconMessage : uint32_t {
    NIM_ADD = 0,
    NIM_MODIFY = 1,
    NIM_DELETE = 2,
    NIM_SETVERSION = 4,
};

enum TNotifyIconFlag : uint32_t {
    NIF_MESSAGE = 1,
    NIF_ICON = 2,
    NIF_TIP = 4,
};

// What happened, as LParam of the callback.
enum TTrayMouseMessage : uint32_t {
    WM_CONTEXTMENU = 0x007B,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    NIN_SELECT = 0x0400,
    NIN_KEYSELECT = 0x0401,
    NIN_BALLOONSHOW = 0x0402,
    NIN_BALLOONHIDE = 0x0403,
    NIN_BALLOONTIMEOUT = 0x0404,
    NIN_BALLOONUSERCLICK = 0x0405,
};

// Keys the pointer handling asks about.
enum TVirtualKey : int { VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12 };

// A menu item of an entry, for hosts that show an entry's menu themselves instead of telling
// the program about the right button.
struct TTrayMenuItem {
    std::string Caption;
    bool Default = false;
    std::function<void()> OnClick;
};

class TTrayShell {
public:
    virtual ~TTrayShell() = default;

    // Whether the desktop has a tray at all now; without one, entries are kept but not seen.
    virtual bool TrayAvailable() const = 0;
    // Whether the desktop tells a program that its window was minimised. Where it does not (a
    // Wayland session), a window cannot be minimised into the tray.
    virtual bool MinimizeSeen() const { return true; }

    // Adds, modifies or removes the entry the record's uID names, or sets its notification
    // version. Adding refuses an entry that is there already; the others refuse an unknown
    // one. The record is only read during the call.
    virtual bool NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) = 0;

    // The menu of an entry that is there, for hosts that show it themselves; empty for none.
    // Removing the entry forgets it.
    virtual void SetEntryMenu(uintptr_t id, std::vector<TTrayMenuItem> items) = 0;

    // Called whenever a tray host has (re)appeared. The shell has forgotten its entries by
    // then, as a new host knows none of them: whoever wants one shown adds it again. Returns a
    // key for RemoveTaskbarCreatedHandler.
    virtual int AddTaskbarCreatedHandler(std::function<void()> handler) = 0;
    virtual void RemoveTaskbarCreatedHandler(int key) = 0;
    // Called whenever the last tray host has gone: the entries are kept for a host that comes
    // later, but nobody sees them meanwhile. Returns a key for RemoveTrayGoneHandler.
    virtual int AddTrayGoneHandler(std::function<void()> handler) = 0;
    virtual void RemoveTrayGoneHandler(int key) = 0;

    // The pointer and keyboard as a tray message is handled: the cursor in screen coordinates
    // (false when unknown), whether a key is down, and the double-click time in milliseconds.
    virtual bool GetCursorPos(int& x, int& y) const = 0;
    virtual bool KeyDown(TVirtualKey key) const = 0;
    virtual unsigned DoubleClickTime() const = 0;
};
