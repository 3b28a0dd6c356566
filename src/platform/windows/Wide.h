#pragma once
// What every Windows service needs at the Win32 boundary: texts cross it as UTF-16 and live
// inside as UTF-8; system errors become the errno values and texts the layers above use; hidden
// windows hear the system's messages.

#include <windows.h>

#include <string>

// Windows' headers name their calls after the interfaces' methods; the methods win.
#undef CreateFile
#undef ShellExecute
#undef ShellExecuteEx
#undef RegisterWindowMessage
#undef PostMessage
#undef SendMessage

std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, size_t length);
std::string Narrow(const std::wstring& text);
// At most maxUnits UTF-16 units of text, cut before a character rather than inside one, for
// the fixed text fields of Win32 records.
std::wstring WidenCut(const std::string& text, size_t maxUnits);
// The errno value nearest to a Win32 error code (EIO for those without one).
int ErrnoOfWin32(DWORD error);
// The system's own text for a Win32 error code, without the line end.
std::string Win32ErrorText(DWORD error);

// A window of the calling thread that is never shown, of its own class, whose messages go to
// proc; parent HWND_MESSAGE makes it message-only. OwnerOf gives proc the owner back.
HWND MakeHiddenWindow(const wchar_t* className, const std::string& title, HWND parent, void* owner,
                      WNDPROC proc);
// In proc: the owner given to MakeHiddenWindow; nullptr before it is known.
template <typename T>
T* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}
