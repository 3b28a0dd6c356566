#pragma once
// Measures one host once: resolves its name, sends one ICMP echo and records the round-trip
// time (or the time-out) in the working ring at the pass's position.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
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
    // the echo give up when `stop` is raised, and the store is left as the probe found it. A
    // lookup that takes longer than the echo time-out reads as one the resolver gave up on.
    void PingHost(TSampleStore& store, const std::string& host, int pingSize, bool stopRequested,
                  TStopSignal stop = kNoStopSignal);

    // Begins a pass over its hosts: their lookups start side by side, each with the time-out as
    // its time limit, and the PingHost calls that follow take their answers, until EndPass. A
    // probe of a host not started so starts its own lookup, with the same limit. Passes repeat
    // every periodMs (0: they do not), which lets the echo engine keep what it needs for the
    // next one.
    void BeginPass(const std::vector<std::string>& hosts, int32_t timeoutMs, int32_t periodMs = 0);
    void EndPass();

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
    // The answer for a host within its time limit, with one more try when the first failed
    // and time is left; WSATRY_AGAIN when the time is up.
    int AwaitLookup(const std::string& host, int32_t timeoutMs, THostEntry& entry,
                    TStopSignal stop);

    TNameLookup& FLookup;
    TIcmpEcho& FEcho;
    // Request payload scratch; the content is irrelevant, only the size matters.
    std::vector<uint8_t> FPayload;
    TEchoReply FLastReply;
    int FLastEchoError = kNoEcho;
    // The lookups BeginPass started, by host, and when their time limit ends.
    std::map<std::string, std::unique_ptr<TLookupRequest>> FStarted;
    std::chrono::steady_clock::time_point FLookupDeadline;
};
