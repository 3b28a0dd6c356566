#include "platform/linux/StatusNotifierClicks.h"

#include "platform/TrayShell.h"

std::vector<uint32_t> TStatusNotifierClicks::Codes(TStatusNotifierRequest request, int64_t nowMs,
                                                   unsigned doubleClickMs) {
    switch (request) {
        case TStatusNotifierRequest::Activate:
            if (FClickOpen && nowMs >= FClickAt && nowMs - FClickAt <= int64_t{doubleClickMs}) {
                FClickOpen = false;
                return {WM_LBUTTONDBLCLK, WM_LBUTTONUP};
            }
            FClickOpen = true;
            FClickAt = nowMs;
            return {WM_LBUTTONDOWN, WM_LBUTTONUP};
        case TStatusNotifierRequest::ContextMenu:
            FClickOpen = false;
            return {WM_RBUTTONDOWN, WM_RBUTTONUP};
        case TStatusNotifierRequest::SecondaryActivate:
            FClickOpen = false;
            return {WM_MBUTTONDOWN, WM_MBUTTONUP};
    }
    return {};
}
