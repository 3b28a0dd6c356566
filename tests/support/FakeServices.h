#pragma once
// Every operating-system service as a test double, and the set the window takes. A window test
// fixture derives from it, so the doubles are at hand by name.

#include "platform/Services.h"
#include "support/FakeDesktopNotifier.h"
#include "support/FakeIcmpEcho.h"
#include "support/FakeInterProcess.h"
#include "support/FakeNameLookup.h"
#include "support/FakeRunList.h"
#include "support/FakeShell.h"
#include "support/FakeTrayShell.h"

struct TFakeServices {
    TFakeNameLookup lookup;
    TFakeIcmpEcho echo;
    TFakeShell shell;
    TFakeTrayShell tray;
    TFakeInterProcess interProcess;
    TFakeRunList runList;
    TFakeDesktopNotifier notifier;
    TPlatformServices services{lookup, echo, shell, tray, interProcess, runList, notifier};
};
