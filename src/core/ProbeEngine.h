#pragma once
// Measures one host once: resolves its name, sends one ICMP echo and records the round-trip
// time (or the time-out) in the working ring at the pass's position.

#include <cstdint>
#include <string>
#include <vector>

#include "core/SampleStore.h"
#include "platform/IcmpEcho.h"
#include "platform/NameLookup.h"

class TProbeEngine {
public:
    TProbeEngine(TNameLookup& lookup, TIcmpEcho& echo);

    // Probes `host` into store.FWork[store.FRingIndex]; see the .cpp for the rules. Never
    // throws for network reasons; failures end up as text in store.FPingError. The lookup and
    // the echo give up when `stop` is raised, and the store is left as the probe found it.
    void PingHost(TSampleStore& store, const std::string& host, int pingSize, bool stopRequested,
                  TStopSignal stop = kNoStopSignal);

    // The reply record of the latest echo (for measuring the engine itself).
    const TEchoReply& LastReply() const { return FLastReply; }
    // The echo call's error code of the latest probe (0: a reply came); kNoEcho when no echo
    // went out (an empty host, a name that did not resolve, a stop).
    int LastEchoError() const { return FLastEchoError; }
    static constexpr int kNoEcho = -1;

    // The explanation appended to a failed lookup's message; empty for codes not listed.
    static std::string LookupErrorText(int code);
    // The text of an echo reply's status; empty for statuses not listed.
    static std::string EchoStatusText(uint32_t status);

    static constexpr int kMaxPayload = 9999;
    static constexpr uint16_t kWinSockVersion = 0x0101;

private:
    TNameLookup& FLookup;
    TIcmpEcho& FEcho;
    // Request payload scratch; the content is irrelevant, only the size matters.
    std::vector<uint8_t> FPayload;
    TEchoReply FLastReply;
    int FLastEchoError = kNoEcho;
};
