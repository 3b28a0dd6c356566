#pragma once
// Texts cross the Win32 boundary as UTF-16 and live inside as UTF-8; system errors become the
// errno values and texts the layers above use.

#include <windows.h>

#include <string>

// Windows' headers name their calls after the interfaces' methods; the methods win.
#undef CreateFile
#undef ShellExecute
#undef RegisterWindowMessage
#undef PostMessage
#undef SendMessage

std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, size_t length);
std::string Narrow(const std::wstring& text);
// The errno value nearest to a Win32 error code (EIO for those without one).
int ErrnoOfWin32(DWORD error);
// The system's own text for a Win32 error code, without the line end.
std::string Win32ErrorText(DWORD error);
