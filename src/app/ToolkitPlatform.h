#pragma once
// Which of the toolkit's platforms Latmo runs on. A Wayland session tells a program neither
// where its window is nor that it was minimised, so the window's placement and minimising into
// the tray cannot work there natively. Where the session also offers X11 (XWayland, DISPLAY
// set), Latmo runs on that, unless the user chose a platform with QT_QPA_PLATFORM.

// Before the application object is built.
void ChooseToolkitPlatform();

// Once the application object is built: says in the diagnostic log what the platform in use
// cannot do.
void ReportPlatformLimits();

// While it lives (around building the application object): a platform that cannot start (no
// display to connect to, no plugin) ends the program with one line saying what Latmo needs and
// exit code 1, instead of the toolkit's abort. Other messages of the toolkit pass as they would.
class TToolkitStartGuard {
public:
    TToolkitStartGuard();
    ~TToolkitStartGuard();
    TToolkitStartGuard(const TToolkitStartGuard&) = delete;
    TToolkitStartGuard& operator=(const TToolkitStartGuard&) = delete;
};
