#include "desktop/TrayIconHandler.h"

#include <algorithm>
#include <memory>

#include "desktop/CoolTrayIcon.h"

namespace {

std::unique_ptr<TTrayIconHandler> gHandler;

}  // namespace

TTrayIconHandler* TTrayIconHandler::Acquire(TCoolTrayIcon* icon) {
    if (gHandler == nullptr) {
        gHandler.reset(new TTrayIconHandler());
    }
    gHandler->FUsers.push_back(icon);
    return gHandler.get();
}

void TTrayIconHandler::Release(TCoolTrayIcon* icon) {
    if (gHandler == nullptr) {
        return;
    }
    std::erase(gHandler->FUsers, icon);
    if (gHandler->FUsers.empty()) {
        gHandler.reset();
    }
}

int TTrayIconHandler::UserCount() {
    return gHandler != nullptr ? static_cast<int>(gHandler->FUsers.size()) : 0;
}

void TTrayIconHandler::TrayMessage(uint32_t Message, uintptr_t WParam, uint32_t LParam) {
    if (Message != TrayCallbackMessage) {
        return;
    }
    const auto it = std::find_if(FUsers.begin(), FUsers.end(), [WParam](const TCoolTrayIcon* icon) {
        return icon->TrayId() == WParam;
    });
    if (it != FUsers.end()) {
        (*it)->TrayCallback(LParam);
    }
}
