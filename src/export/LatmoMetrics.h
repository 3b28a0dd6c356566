#pragma once
// What Latmo tells Prometheus: for each host slot the round trip of every echo, the trimmed
// mean the window shows and the counts of echoes sent, lost and failed, plus the version and
// the echo engine. Everything here may be called from any thread; the probe passes and the
// collection never wait for a scrape longer than it takes to copy a few numbers.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/IcmpEcho.h"

namespace prometheus {
class Collectable;
class Registry;
class Counter;
class Gauge;
class Histogram;
template <typename T>
class Family;
}  // namespace prometheus

// How one probe of a host ended.
struct TEchoOutcome {
    enum class TKind {
        Replied,  // a reply within the time-out
        Lost,     // an echo went out and no reply came in time, or an error came back
        NotSent,  // no echo could go out (the name did not resolve)
    };
    TKind Kind = TKind::Replied;
    double RoundTripSeconds = 0;  // when Replied
    std::string Status;           // otherwise: why, one word of EchoStatusWord
};

// The status label of a failed echo, from the echo call's error code (an IP status number or
// a TEchoCallError); 0 means the reply came too late.
std::string EchoStatusWord(int echoError);
// The status label of a probe that sent no echo because its name did not resolve.
inline constexpr const char* kLookupFailedWord = "lookup_failed";

// The host label of a host box's text. A label value must be UTF-8, or Prometheus refuses the
// whole scrape: a byte that is no part of a well-formed sequence (a name written in an 8-bit
// code page) becomes the four characters \xNN. An IPv6 address is one label however it was
// typed: without brackets, in its shortest lower-case form.
std::string HostLabel(const std::string& hostText);

class TLatmoMetrics {
public:
    static constexpr int kSlots = 3;

    // `samplesPerMean`: how many of a host's latest probes its trimmed mean is taken over.
    TLatmoMetrics(const std::string& version, TEchoEngine engine, int samplesPerMean);
    ~TLatmoMetrics();
    TLatmoMetrics(const TLatmoMetrics&) = delete;
    TLatmoMetrics& operator=(const TLatmoMetrics&) = delete;

    // Slot 1, 2 or 3 probes `host` from now on: the series of the host it probed before go
    // (Prometheus marks them stale), the new host's start from zero. An empty host has none.
    void SetHost(int slot, const std::string& host);
    void RecordEcho(int slot, const TEchoOutcome& outcome);
    // The window's mean of the slot's latest samples. Until the latest `samplesPerMean` probes
    // of the host all sent an echo, some of those samples are the fill of a reset ring or the
    // time-out written for a name that did not resolve, not measurements of the host: the mean
    // is then not served at all, so that no alert reads it as one.
    void SetTrimmedMean(int slot, double milliseconds);

    // What a scrape collects.
    std::weak_ptr<prometheus::Collectable> Collectable() const;

private:
    struct TSlot {
        std::string Host;
        prometheus::Histogram* Rtt = nullptr;
        prometheus::Counter* Requests = nullptr;
        prometheus::Counter* Lost = nullptr;
        prometheus::Gauge* Mean = nullptr;  // there only while the mean is the host's own
        int EchoesInARow = 0;               // the latest probes that sent an echo, up to a mean's
        std::map<std::string, prometheus::Counter*> Errors;
    };
    TSlot* Slot(int slot);
    void RemoveSeries(TSlot& slot);

    std::shared_ptr<prometheus::Registry> FRegistry;
    prometheus::Family<prometheus::Histogram>& FRtt;
    prometheus::Family<prometheus::Gauge>& FMean;
    prometheus::Family<prometheus::Counter>& FRequests;
    prometheus::Family<prometheus::Counter>& FLost;
    prometheus::Family<prometheus::Counter>& FErrors;
    const int FSamplesPerMean;
    std::mutex FLock;
    TSlot FSlots[kSlots];
};
