#include "support/FakeTrayShell.h"

#include <algorithm>
#include <cstring>

bool TFakeTrayShell::NotifyIcon(TNotifyIconMessage message, const TNotifyIconData& data) {
    const auto it = FEntries.find(data.uID);
    bool accepted = false;
    TEntry* entry = nullptr;
    switch (message) {
        case NIM_ADD:
            accepted = it == FEntries.end();
            if (accepted) {
                entry = &FEntries[data.uID];
            }
            break;
        case NIM_MODIFY:
            accepted = it != FEntries.end();
            entry = accepted ? &it->second : nullptr;
            break;
        case NIM_DELETE:
            accepted = it != FEntries.end();
            if (accepted) {
                FEntries.erase(it);
            }
            break;
        case NIM_SETVERSION:
            accepted = it != FEntries.end();
            if (accepted) {
                it->second.Version = data.uTimeoutOrVersion;
            }
            break;
    }
    if (entry != nullptr) {
        if (data.uFlags & NIF_MESSAGE) {
            entry->Target = data.hWnd;
            entry->CallbackMessage = data.uCallbackMessage;
        }
        if (data.uFlags & NIF_ICON) {
            entry->HasImage = data.hIcon != nullptr;
            entry->Image = data.hIcon != nullptr ? *data.hIcon : TTrayImage();
        }
        if (data.uFlags & NIF_TIP) {
            entry->Tip.assign(data.szTip, strnlen(data.szTip, sizeof(data.szTip)));
        }
    }
    Calls.push_back({message, data.uID, accepted});
    return accepted;
}

void TFakeTrayShell::SetEntryMenu(uintptr_t id, std::vector<TTrayMenuItem> items) {
    const auto it = FEntries.find(id);
    if (it != FEntries.end()) {
        it->second.Menu = std::move(items);
    }
}

int TFakeTrayShell::AddTaskbarCreatedHandler(std::function<void()> handler) {
    FHandlers.emplace(FNextKey, std::move(handler));
    return FNextKey++;
}

void TFakeTrayShell::RemoveTaskbarCreatedHandler(int key) {
    FHandlers.erase(key);
}

int TFakeTrayShell::AddTrayGoneHandler(std::function<void()> handler) {
    FGoneHandlers.emplace(FNextKey, std::move(handler));
    return FNextKey++;
}

void TFakeTrayShell::RemoveTrayGoneHandler(int key) {
    FGoneHandlers.erase(key);
}

bool TFakeTrayShell::GetCursorPos(int& x, int& y) const {
    if (!CursorKnown) {
        return false;
    }
    x = CursorX;
    y = CursorY;
    return true;
}

void TFakeTrayShell::Send(uintptr_t id, const std::vector<uint32_t>& codes) {
    for (const uint32_t code : codes) {
        const auto it = FEntries.find(id);
        if (it == FEntries.end() || it->second.Target == nullptr) {
            return;
        }
        it->second.Target->TrayMessage(it->second.CallbackMessage, id, code);
    }
}

void TFakeTrayShell::RestartHost() {
    ChangeHost(true, FHandlers);
}

void TFakeTrayShell::EndHost() {
    ChangeHost(false, FGoneHandlers);
}

void TFakeTrayShell::ChangeHost(bool available, const std::map<int, std::function<void()>>& told) {
    FEntries.clear();
    Available = available;
    // A handler may add or remove handlers.
    const auto handlers = told;
    for (const auto& [key, handler] : handlers) {
        handler();
    }
}

const TFakeTrayShell::TEntry* TFakeTrayShell::Entry(uintptr_t id) const {
    const auto it = FEntries.find(id);
    return it != FEntries.end() ? &it->second : nullptr;
}

int TFakeTrayShell::CountCalls(TNotifyIconMessage message) const {
    return static_cast<int>(std::count_if(
        Calls.begin(), Calls.end(), [message](const TCall& c) { return c.Message == message; }));
}
