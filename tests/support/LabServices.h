#pragma once
// The real network services for a window in the latency lab, with the desktop's stand-ins: make
// it in the lab's client namespace (enter it first), so that the echo engine's sockets are
// opened there.

#include "platform/Services.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/LinuxNameLookup.h"
#include "support/FakeDesktopNotifier.h"
#include "support/FakeInterProcess.h"
#include "support/FakeRunList.h"
#include "support/FakeShell.h"
#include "support/FakeTrayShell.h"

struct TLabServices {
    TLinuxNameLookup lookup;
    TLinuxIcmpEcho echo;
    TFakeShell shell;
    TFakeTrayShell tray;
    TFakeInterProcess interProcess;
    TFakeRunList runList;
    TFakeDesktopNotifier notifier;
    TPlatformServices services{lookup, echo, shell, tray, interProcess, runList, notifier};
};
