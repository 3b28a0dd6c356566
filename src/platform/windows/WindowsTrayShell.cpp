// The interface first: Windows' headers define its message names as macros of the same values.
#include "platform/windows/WindowsTrayShell.h"

#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <vector>

#include "platform/windows/Wide.h"

namespace {

constexpr wchar_t kWindowClass[] = L"LatmoTrayWindow";

// An icon made of the 16 x 16 image: colours with full alpha, transparent where the mask says.
HICON MakeIcon(const TTrayImage& image) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = kTrayImageSize;
    header.bV5Height = -kTrayImageSize;  // top row first
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (colour == nullptr) {
        return nullptr;
    }
    auto* pixels = static_cast<uint32_t*>(bits);
    // The mask bitmap: one bit a pixel, rows padded to 16 bits, set where transparent.
    std::vector<uint8_t> maskBits(kTrayImageSize * 2, 0);
    for (int i = 0; i < kTrayImageSize * kTrayImageSize; ++i) {
        const bool clear = image.Mask[static_cast<size_t>(i)] != 0;
        pixels[i] = clear ? 0 : (0xFF000000u | (image.Pixels[static_cast<size_t>(i)] & 0xFFFFFF));
        if (clear) {
            const int row = i / kTrayImageSize;
            const int column = i % kTrayImageSize;
            maskBits[static_cast<size_t>(row * 2 + column / 8)] |=
                static_cast<uint8_t>(0x80 >> (column % 8));
        }
    }
    HBITMAP mask = CreateBitmap(kTrayImageSize, kTrayImageSize, 1, 1, maskBits.data());
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = colour;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    return icon;
}

}  // namespace

class TWindowsTrayShell::TImpl {
public:
    struct TEntry {
        TTrayCallbackTarget* Target = nullptr;
        uint32_t Message = 0;
        HICON Icon = nullptr;
    };

    TImpl() : FTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")) {
        // A top-level window, never shown: a message-only window would not hear the shell's
        // broadcast.
        FWindow = MakeHiddenWindow(kWindowClass, "Latmo tray", nullptr, this, &TImpl::WindowProc);
    }
    ~TImpl() {
        for (auto& [id, entry] : FEntries) {
            NOTIFYICONDATAW data = Record(id);
            Shell_NotifyIconW(NIM_DELETE, &data);
            if (entry.Icon != nullptr) {
                DestroyIcon(entry.Icon);
            }
        }
        if (FWindow != nullptr) {
            DestroyWindow(FWindow);
        }
    }

    NOTIFYICONDATAW Record(uintptr_t id) const {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = FWindow;
        data.uID = static_cast<UINT>(id);
        return data;
    }

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = OwnerOf<TImpl>(window, message, lParam);
        if (self != nullptr && message == kCallbackMessage) {
            const auto it = self->FEntries.find(static_cast<uintptr_t>(wParam));
            if (it != self->FEntries.end() && it->second.Target != nullptr) {
                it->second.Target->TrayMessage(it->second.Message, static_cast<uintptr_t>(wParam),
                                               static_cast<uint32_t>(LOWORD(lParam)));
            }
            return 0;
        }
        if (self != nullptr && message == self->FTaskbarCreated && message != 0) {
            self->TaskbarCreated();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void TaskbarCreated() {
        // The new shell knows none of the entries: forget them, and let their owners add them.
        // The broadcast also comes when the shell only changed (the screen's resolution), with
        // the entries still shown: those are taken away first, so that adding them works.
        for (auto& [id, entry] : FEntries) {
            NOTIFYICONDATAW data = Record(id);
            Shell_NotifyIconW(NIM_DELETE, &data);
            if (entry.Icon != nullptr) {
                DestroyIcon(entry.Icon);
            }
        }
        FEntries.clear();
        EntriesChanged();
        const auto handlers = FCreatedHandlers;
        for (const auto& [key, handler] : handlers) {
            handler();
        }
    }

    void EntriesChanged() const {
        if (FEntriesChanged) {
            const auto handler = FEntriesChanged;
            handler();
        }
    }

    HWND FWindow = nullptr;
    UINT FTaskbarCreated = 0;
    std::function<void()> FEntriesChanged;
    std::map<uintptr_t, TEntry> FEntries;
    std::map<int, std::function<void()>> FCreatedHandlers;
    std::map<int, std::function<void()>> FGoneHandlers;
    int FNextKey = 1;
};

TWindowsTrayShell::TWindowsTrayShell() : FImpl(std::make_unique<TImpl>()) {}

TWindowsTrayShell::~TWindowsTrayShell() = default;

void* TWindowsTrayShell::Window() const {
    return FImpl->FWindow;
}

bool TWindowsTrayShell::TrayAvailable() const {
    return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
}

bool TWindowsTrayShell::NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) {
    const auto it = FImpl->FEntries.find(data.uID);
    const bool known = it != FImpl->FEntries.end();
    if ((message == NIM_ADD) == known) {
        return false;
    }
    NOTIFYICONDATAW record = FImpl->Record(data.uID);
    if (message == NIM_SETVERSION) {
        record.uVersion = data.uTimeoutOrVersion;
        return Shell_NotifyIconW(NIM_SETVERSION, &record) != 0;
    }
    if (message == NIM_DELETE) {
        const bool removed = Shell_NotifyIconW(NIM_DELETE, &record) != 0;
        if (it->second.Icon != nullptr) {
            DestroyIcon(it->second.Icon);
        }
        FImpl->FEntries.erase(it);
        FImpl->EntriesChanged();
        return removed;
    }
    TImpl::TEntry& entry = FImpl->FEntries[data.uID];
    record.uFlags = data.uFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
    if ((data.uFlags & NIF_MESSAGE) != 0) {
        entry.Target = data.hWnd;
        entry.Message = data.uCallbackMessage;
        record.uCallbackMessage = kCallbackMessage;
    }
    HICON old = nullptr;
    if ((data.uFlags & NIF_ICON) != 0 && data.hIcon != nullptr) {
        old = entry.Icon;
        entry.Icon = MakeIcon(*data.hIcon);
        record.hIcon = entry.Icon;
    }
    if ((data.uFlags & NIF_TIP) != 0) {
        const std::wstring tip =
            Widen(std::string(data.szTip, strnlen(data.szTip, sizeof data.szTip)));
        wcsncpy(record.szTip, tip.c_str(), std::size(record.szTip) - 1);
    }
    const bool done = Shell_NotifyIconW(message == NIM_ADD ? NIM_ADD : NIM_MODIFY, &record) != 0;
    if (old != nullptr) {
        DestroyIcon(old);
    }
    if (!done && message == NIM_ADD) {
        if (entry.Icon != nullptr) {
            DestroyIcon(entry.Icon);
        }
        FImpl->FEntries.erase(data.uID);
    }
    if (done && message == NIM_ADD) {
        FImpl->EntriesChanged();
    }
    return done;
}

bool TWindowsTrayShell::HasEntry() const {
    return !FImpl->FEntries.empty();
}

bool TWindowsTrayShell::ShowBalloon(const std::string& title, const std::string& text,
                                    bool warning) {
    if (FImpl->FEntries.empty()) {
        return false;
    }
    NOTIFYICONDATAW record = FImpl->Record(FImpl->FEntries.begin()->first);
    record.uFlags = NIF_INFO;
    record.dwInfoFlags = warning ? NIIF_WARNING : NIIF_INFO;
    const std::wstring wideTitle = WidenCut(title, std::size(record.szInfoTitle) - 1);
    const std::wstring wideText = WidenCut(text, std::size(record.szInfo) - 1);
    wcsncpy(record.szInfoTitle, wideTitle.c_str(), std::size(record.szInfoTitle) - 1);
    wcsncpy(record.szInfo, wideText.c_str(), std::size(record.szInfo) - 1);
    return Shell_NotifyIconW(NIM_MODIFY, &record) != 0;
}

void TWindowsTrayShell::SetEntriesChanged(std::function<void()> handler) {
    FImpl->FEntriesChanged = std::move(handler);
}

int TWindowsTrayShell::AddTaskbarCreatedHandler(std::function<void()> handler) {
    const int key = FImpl->FNextKey++;
    FImpl->FCreatedHandlers.emplace(key, std::move(handler));
    return key;
}

void TWindowsTrayShell::RemoveTaskbarCreatedHandler(int key) {
    FImpl->FCreatedHandlers.erase(key);
}

int TWindowsTrayShell::AddTrayGoneHandler(std::function<void()> handler) {
    const int key = FImpl->FNextKey++;
    FImpl->FGoneHandlers.emplace(key, std::move(handler));
    return key;
}

void TWindowsTrayShell::RemoveTrayGoneHandler(int key) {
    FImpl->FGoneHandlers.erase(key);
}

bool TWindowsTrayShell::GetCursorPos(int& x, int& y) const {
    POINT point{};
    if (::GetCursorPos(&point) == 0) {
        return false;
    }
    x = point.x;
    y = point.y;
    return true;
}

bool TWindowsTrayShell::KeyDown(TVirtualKey key) const {
    return (GetKeyState(static_cast<int>(key)) & 0x8000) != 0;
}

unsigned TWindowsTrayShell::DoubleClickTime() const {
    return GetDoubleClickTime();
}
