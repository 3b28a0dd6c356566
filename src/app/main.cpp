// Builds the platform services, the application object and the main window, then runs the
// message loop. Nothing may leave main() as a crash: a failure is reported in words.

#include <QApplication>
#include <cstdio>
#include <exception>
#include <memory>

#include "core/Unit1.h"
#include "platform/Services.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/LinuxNameLookup.h"
#include "platform/linux/LinuxShell.h"
#include "platform/linux/LinuxTrayShell.h"
#include "toolkit/Application.h"
#include "toolkit/DiagLog.h"
#include "toolkit/SessionEnd.h"

int main(int argc, char** argv) {
    try {
        QApplication qtApp(argc, argv);
        TLinuxNameLookup lookup;
        TLinuxIcmpEcho echo;
        TLinuxShell shell;
        TLinuxTrayShell tray;
        const TPlatformServices services{lookup, echo, shell, tray};

        TApplication application;
        auto form = std::make_unique<TForm1>(application, services);
        // Logging out, shutting down or a signal closes the window in order, without a
        // question, so that the settings are saved on the way out.
        const TSessionEnd sessionEnd([&] {
            form->WMQueryEndSession();
            form->Close();
            application.Terminate();
        });
        form->Show();
        const int code = application.Run();
        form.reset();
        return code;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "latmo: %s\n", e.what());
        WriteDiagLog(std::string("Fatal error: ") + e.what());
    } catch (...) {
        std::fprintf(stderr, "latmo: unknown fatal error\n");
        WriteDiagLog("Fatal error");
    }
    return 1;
}
