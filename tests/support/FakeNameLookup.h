#pragma once
// A name lookup that answers from a script and records what it was asked.

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/NameLookup.h"

class TFakeNameLookup : public TNameLookup {
public:
    int Startup(uint16_t version) override;
    void Cleanup() override;
    int GetHostByName(const std::string& name, THostEntry& entry,
                      TStopSignal stop = kNoStopSignal) override;

    // Names that resolve, to one IPv4 address in network order.
    std::map<std::string, TIpAddress> Hosts;
    // Error codes handed out, in order, before the Hosts table is consulted (0 = consult it).
    std::deque<int> ScriptedErrors;
    // A code returned by Startup().
    int StartupError = 0;

    int StartupCalls = 0;
    int CleanupCalls = 0;
    std::vector<std::string> Lookups;
};
