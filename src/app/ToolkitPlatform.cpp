#include "app/ToolkitPlatform.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/DiagLog.h"

namespace {

#ifndef _WIN32
bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}
#endif

QtMessageHandler gPreviousHandler = nullptr;
// The platform's own words while it starts, held back: on failure the first says why in one
// line; on success they are passed on as they came.
struct THeld {
    QtMsgType Type;
    std::string Category;
    QString Message;
};
std::vector<THeld> gHeld;

void StartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool platform = context.category != nullptr &&
                          std::string(context.category).rfind("qt.qpa", 0) == 0;
    if (type != QtFatalMsg) {
        if (platform) {
            gHeld.push_back({type, context.category, message});
        } else {
            gPreviousHandler(type, context, message);
        }
        return;
    }
    const QString why = (gHeld.empty() ? message : gHeld.front().Message)
                            .section(QLatin1Char('\n'), 0, 0)
                            .trimmed();
    const std::string line =
        "Latmo needs a desktop session to show its window (" + why.toStdString() +
        "): start it from your desktop, or with QT_QPA_PLATFORM=offscreen to run it without a "
        "window";
    std::fprintf(stderr, "latmo: %s\n", line.c_str());
    WriteDiagLog(line);
    ReleaseDiagLog();
    std::_Exit(1);
}

}  // namespace

TToolkitStartGuard::TToolkitStartGuard() { gPreviousHandler = qInstallMessageHandler(StartMessage); }

TToolkitStartGuard::~TToolkitStartGuard() {
    qInstallMessageHandler(gPreviousHandler);
    for (const THeld& held : gHeld) {
        const QMessageLogContext context(nullptr, 0, nullptr, held.Category.c_str());
        gPreviousHandler(held.Type, context, held.Message);
    }
    gHeld.clear();
}

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
