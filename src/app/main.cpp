// Builds the platform services, the application object and the main window, then runs the
// message loop. Nothing may leave main() as a crash: a failure is reported in words.

#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "app/ToolkitPlatform.h"
#include "core/Unit1.h"
#include "platform/Services.h"
#ifdef _WIN32
#include "platform/windows/WindowsDesktopNotifier.h"
#include "platform/windows/WindowsIcmpEcho.h"
#include "platform/windows/WindowsInterProcess.h"
#include "platform/windows/WindowsNameLookup.h"
#include "platform/windows/WindowsRunList.h"
#include "platform/windows/WindowsShell.h"
#include "platform/windows/WindowsTrayShell.h"
#else
#include "platform/linux/LinuxDesktopNotifier.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/LinuxInterProcess.h"
#include "platform/linux/LinuxNameLookup.h"
#include "platform/linux/LinuxRunList.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxTrayShell.h"
#include "platform/linux/Privileges.h"
#endif
#include "settings/FileIO.h"
#include "toolkit/Application.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/SessionEnd.h"

namespace {

#ifdef _WIN32
using TSystemIcmpEcho = TWindowsIcmpEcho;
using TSystemNameLookup = TWindowsNameLookup;
using TSystemShell = TWindowsShell;
using TSystemTrayShell = TWindowsTrayShell;
using TSystemInterProcess = TWindowsInterProcess;
using TSystemRunList = TWindowsRunList;

// Every user may send echoes on Windows, and nothing needs the privileges Linux drops.
void KeepOnlyTrustedEnvironment() {}
std::string GiveUpCapabilities() {
    return std::string();
}
#else
using TSystemIcmpEcho = TLinuxIcmpEcho;
using TSystemNameLookup = TLinuxNameLookup;
using TSystemShell = TLinuxShell;
using TSystemTrayShell = TLinuxTrayShell;
using TSystemInterProcess = TLinuxInterProcess;
using TSystemRunList = TLinuxRunList;
#endif

// A failure that keeps the program from running: said on standard error, in the diagnostic
// log and, while there is a desktop to show it on, in a message box.
void ReportFatal(const std::string& text) {
    std::fprintf(stderr, "latmo: %s\n", text.c_str());
    WriteDiagLog("Fatal error: " + text);
    if (QApplication::instance() != nullptr) {
        ShowDialog(TDialogRequest{"Latmo", text, TMsgDlgType::mtError, mbOK});
    }
}

// What start-up finds before the window's "Start" line waits for it, however the run ends.
struct TDiagLogHold {
    TDiagLogHold() { HoldDiagLog(); }
    ~TDiagLogHold() { ReleaseDiagLog(); }
};

}  // namespace

int main(int argc, char** argv) {
    const TDiagLogHold hold;
    KeepOnlyTrustedEnvironment();
    // Before the toolkit: the raw socket, where that is the engine, is opened while the process
    // still has the privilege for it, and then the privilege goes, before any plugin is loaded.
    TSystemIcmpEcho echo;
    if (const std::string given = GiveUpCapabilities(); !given.empty()) {
        WriteDiagLog(given);
    }
    ChooseToolkitPlatform();
    const std::unique_ptr<QApplication> qtApp = [&] {
        const TToolkitStartGuard noDesktop;
        return std::make_unique<QApplication>(argc, argv);
    }();
    ReportPlatformLimits();
    try {
        TSystemNameLookup lookup;
        TSystemShell shell;
        TSystemTrayShell tray;
        TSystemInterProcess interProcess;
        TSystemRunList runList;
#ifdef _WIN32
        // The balloon belongs to the tray entry.
        TWindowsDesktopNotifier notifier(tray);
#else
        TLinuxDesktopNotifier notifier;
#endif
        const TPlatformServices services{lookup,       echo,    shell,   tray,
                                         interProcess, runList, notifier};

        TApplication application;
        auto form = std::make_unique<TForm1>(application, services);
        // A log-out announced by the session manager marks the session's end and saves, but
        // leaves Latmo running, since the user may still cancel it. The session's end itself
        // or a signal closes the window in order, without a question, so that the settings
        // are written on the way out.
        const TSessionEnd sessionEnd(
            [&] {
                form->WMQueryEndSession();
                form->FormDeactivate(form.get());
            },
            [&] {
                form->WMQueryEndSession();
                form->Close();
                application.Terminate();
            });
        form->Show();
        const int code = application.Run();
        form.reset();
        return code;
    } catch (const EFOpenError& e) {
        ReportFatal(std::string("The settings file cannot be read: ") + e.what() +
                    ". Latmo ends and leaves the file as it is.");
    } catch (const std::exception& e) {
        ReportFatal(e.what());
    } catch (...) {
        ReportFatal("An unknown error ended the program.");
    }
    return 1;
}
