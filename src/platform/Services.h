#pragma once
// The operating-system services one run of the program uses. main() creates the real ones and
// hands them to the window; tests hand in fakes.

#include "platform/DesktopNotifier.h"
#include "platform/IcmpEcho.h"
#include "platform/InterProcess.h"
#include "platform/NameLookup.h"
#include "platform/RunList.h"
#include "platform/Shell.h"
#include "platform/TrayShell.h"

struct TPlatformServices {
    TNameLookup& Lookup;
    TIcmpEcho& Echo;
    TShell& Shell;
    TTrayShell& Tray;
    TInterProcess& InterProcess;
    TRunList& RunList;
    TDesktopNotifier& Notifier;
};
