#pragma once
// A name lookup that answers from a script and records what it was asked. A silent name is never
// answered: its wait lasts until its time limit or its stop signal.

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/NameLookup.h"

class TFakeNameLookup : public TNameLookup {
public:
    int Startup(uint16_t version) override;
    void Cleanup() override;
    std::unique_ptr<TLookupRequest> StartLookup(const std::string& name) override;

    // Names that resolve, to one IPv4 address in network order.
    std::map<std::string, TIpAddress> Hosts;
    // Names whose lookup never answers.
    std::set<std::string> Silent;
    // Error codes handed out, in order, before the Hosts table is consulted (0 = consult it).
    std::deque<int> ScriptedErrors;
    // A code returned by Startup().
    int StartupError = 0;

    int StartupCalls = 0;
    int CleanupCalls = 0;
    // The names lookups were started for.
    std::vector<std::string> Lookups;

    // What was started and waited for, in order: "start NAME", "wait NAME".
    struct TEvent {
        std::string What;
        int TimeoutMs = kNoTimeLimit;  // of a wait
        std::thread::id Thread;
    };
    std::vector<TEvent> Events() const;

private:
    class TRequest;
    int Answer(const std::string& name, THostEntry& entry);
    void Record(const std::string& what, int timeoutMs);

    mutable std::mutex FMutex;
    std::vector<TEvent> FEvents;
};
