#include "app/ToolkitPlatform.h"

#include <QGuiApplication>
#include <cstdlib>
#include <string>

#include "toolkit/DiagLog.h"

#ifndef _WIN32
namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace
#endif

#ifdef _WIN32
// Windows has one platform.
void ChooseToolkitPlatform() {}
#else
void ChooseToolkitPlatform() {
    if (Set("QT_QPA_PLATFORM") || !Set("DISPLAY")) {
        return;
    }
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (Set("WAYLAND_DISPLAY") || (session != nullptr && std::string(session) == "wayland")) {
        // Native Wayland still, should the X server turn out to be unreachable.
        setenv("QT_QPA_PLATFORM", "xcb;wayland", 1);
    }
}
#endif

void ReportPlatformLimits() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        WriteDiagLog(
            "The window's place is not restored: a Wayland session does not let programs place "
            "their windows");
    }
}
