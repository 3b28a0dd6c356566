#pragma once
// What the program may do beyond an ordinary user's rights, kept as short as the echo engine
// allows: a raw socket is opened while the process holds cap_net_raw, then every capability is
// given up for the rest of the run.

#include <string>

// When the kernel started us with more rights than our caller (a file capability, say), the
// toolkit must not read its plugin paths and the like from an environment the caller chose:
// everything but the display, the session bus, the locale, the user's folders, the path and the
// choice of display plugin goes. Nothing changes for an ordinary start.
void KeepOnlyTrustedEnvironment();

// Empties the effective, permitted, inheritable and ambient capability sets. Returns what the
// diagnostic log should say: empty when there was nothing to give up, else what was done (or why
// it could not be).
std::string GiveUpCapabilities();
