#pragma once
// Window messages as the toolkit hands them to a form's window procedure and to the
// application's hooks: what the window manager did to a window, in the numbering the window's
// design speaks of.

#include <cstdint>
#include <functional>

struct TMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    intptr_t Result = 0;
};

using TWndMethod = std::function<void(TMessage& Message)>;

inline constexpr uint32_t WM_SIZE = 0x0005;
inline constexpr uint32_t WM_SHOWWINDOW = 0x0018;
inline constexpr uint32_t WM_SYSCOMMAND = 0x0112;

// WM_SIZE's WParam.
inline constexpr uintptr_t SIZE_MINIMIZED = 1;
// WM_SYSCOMMAND's WParam.
inline constexpr uintptr_t SC_MINIMIZE = 0xF020;
inline constexpr uintptr_t SC_RESTORE = 0xF120;
// The window's close button or the window manager's close: a Result other than 0 keeps the
// window open without asking anything.
inline constexpr uintptr_t SC_CLOSE = 0xF060;
// WM_SHOWWINDOW's LParam when a window is hidden because the window that owns it went.
inline constexpr intptr_t SW_PARENTCLOSING = 1;
