#include "support/FakeNameLookup.h"

int TFakeNameLookup::Startup(uint16_t) {
    ++StartupCalls;
    return StartupError;
}

void TFakeNameLookup::Cleanup() {
    ++CleanupCalls;
}

int TFakeNameLookup::GetHostByName(const std::string& name, THostEntry& entry, TStopSignal) {
    Lookups.push_back(name);
    entry = THostEntry{};
    if (!ScriptedErrors.empty()) {
        const int e = ScriptedErrors.front();
        ScriptedErrors.pop_front();
        if (e != 0) {
            return e;
        }
    }
    const auto it = Hosts.find(name);
    if (it == Hosts.end()) {
        return WSAHOST_NOT_FOUND;
    }
    entry.Name = name;
    entry.Addresses.push_back(it->second);
    return 0;
}
