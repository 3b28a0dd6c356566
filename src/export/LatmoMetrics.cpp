#include "export/LatmoMetrics.h"

#include <arpa/inet.h>
#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

#include <algorithm>

#include "platform/Utf8.h"

namespace {

// 50 µs doubling up to 26 s: the buckets of the smokeping prober, so that dashboards and
// recording rules made for it read Latmo's histogram as well.
prometheus::Histogram::BucketBoundaries RttBuckets() {
    prometheus::Histogram::BucketBoundaries buckets;
    double bound = 0.00005;
    for (int i = 0; i < 20; ++i, bound *= 2) {
        buckets.push_back(bound);
    }
    return buckets;
}

prometheus::Labels SeriesLabels(int slot, const std::string& host) {
    return {{"host", HostLabel(host)}, {"slot", std::to_string(slot)}};
}

// "[2001:DB8:0::1]" and "2001:db8::1" → "2001:db8::1"; a zone ("fe80::1%eth0") is kept as typed.
// Anything that is no IPv6 address comes back as it was.
std::string CanonicalIpv6(const std::string& text) {
    std::string address = text;
    if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
        address = address.substr(1, address.size() - 2);
    }
    const size_t percent = address.find('%');
    const std::string zone = percent == std::string::npos ? std::string() : address.substr(percent);
    in6_addr parsed{};
    char canonical[INET6_ADDRSTRLEN] = {};
    if (inet_pton(AF_INET6, address.substr(0, percent).c_str(), &parsed) != 1 ||
        inet_ntop(AF_INET6, &parsed, canonical, sizeof canonical) == nullptr) {
        return text;
    }
    return canonical + zone;
}

}  // namespace

std::string HostLabel(const std::string& hostText) {
    const std::string text = CanonicalIpv6(hostText);
    std::string label;
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceLength(text, i);
        if (length > 0) {
            label.append(text, i, length);
            i += length;
            continue;
        }
        static const char kHex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(text[i++]);
        label += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
    }
    return label;
}

TLatmoMetrics::TLatmoMetrics(const std::string& version, TEchoEngine engine, int samplesPerMean)
    : FRegistry(std::make_shared<prometheus::Registry>()),
      FRtt(prometheus::BuildHistogram()
               .Name("latmo_rtt_seconds")
               .Help("Round-trip time of every echo answered in time")
               .Register(*FRegistry)),
      FMean(prometheus::BuildGauge()
                .Name("latmo_rtt_trimmed_mean_seconds")
                .Help("Mean of the host's last five round trips without the highest and the "
                      "lowest, as the window shows it")
                .Register(*FRegistry)),
      FRequests(prometheus::BuildCounter()
                    .Name("latmo_echo_requests_total")
                    .Help("Echo requests sent")
                    .Register(*FRegistry)),
      FLost(prometheus::BuildCounter()
                .Name("latmo_echo_lost_total")
                .Help("Echo requests without a reply in time (time-out or error)")
                .Register(*FRegistry)),
      FErrors(prometheus::BuildCounter()
                  .Name("latmo_echo_errors_total")
                  .Help("Lost echoes by their status, and probes whose host name did not "
                        "resolve (status lookup_failed)")
                  .Register(*FRegistry)),
      FSamplesPerMean(samplesPerMean) {
    prometheus::BuildGauge()
        .Name("latmo_info")
        .Help("Latmo's version and the way its echoes leave the machine")
        .Register(*FRegistry)
        .Add({{"version", version}, {"engine", EchoEngineName(engine, true)}})
        .Set(1);
}

TLatmoMetrics::~TLatmoMetrics() = default;

std::weak_ptr<prometheus::Collectable> TLatmoMetrics::Collectable() const {
    return FRegistry;
}

TLatmoMetrics::TSlot* TLatmoMetrics::Slot(int slot) {
    return slot >= 1 && slot <= kSlots ? &FSlots[slot - 1] : nullptr;
}

void TLatmoMetrics::RemoveSeries(TSlot& s) {
    if (s.Rtt != nullptr) {
        FRtt.Remove(s.Rtt);
        FRequests.Remove(s.Requests);
        FLost.Remove(s.Lost);
    }
    if (s.Mean != nullptr) {
        FMean.Remove(s.Mean);
    }
    for (const auto& [status, counter] : s.Errors) {
        FErrors.Remove(counter);
    }
    s = TSlot{};
}

void TLatmoMetrics::SetHost(int slot, const std::string& host) {
    const std::lock_guard<std::mutex> lock(FLock);
    TSlot* s = Slot(slot);
    if (s == nullptr || s->Host == host) {
        return;
    }
    RemoveSeries(*s);
    s->Host = host;
    if (host.empty()) {
        return;
    }
    const prometheus::Labels labels = SeriesLabels(slot, host);
    s->Rtt = &FRtt.Add(labels, RttBuckets());
    s->Requests = &FRequests.Add(labels);
    s->Lost = &FLost.Add(labels);
}

void TLatmoMetrics::RecordEcho(int slot, const TEchoOutcome& outcome) {
    const std::lock_guard<std::mutex> lock(FLock);
    TSlot* s = Slot(slot);
    if (s == nullptr || s->Rtt == nullptr) {
        return;
    }
    s->EchoesInARow = outcome.Kind == TEchoOutcome::TKind::NotSent
                          ? 0
                          : std::min(s->EchoesInARow + 1, FSamplesPerMean);
    if (outcome.Kind == TEchoOutcome::TKind::Replied) {
        s->Requests->Increment();
        s->Rtt->Observe(outcome.RoundTripSeconds);
        return;
    }
    if (outcome.Kind == TEchoOutcome::TKind::Lost) {
        s->Requests->Increment();
        s->Lost->Increment();
    }
    prometheus::Counter*& errors = s->Errors[outcome.Status];
    if (errors == nullptr) {
        prometheus::Labels labels = SeriesLabels(slot, s->Host);
        labels["status"] = outcome.Status;
        errors = &FErrors.Add(labels);
    }
    errors->Increment();
}

void TLatmoMetrics::SetTrimmedMean(int slot, double milliseconds) {
    const std::lock_guard<std::mutex> lock(FLock);
    TSlot* s = Slot(slot);
    if (s == nullptr || s->Rtt == nullptr) {
        return;
    }
    if (s->EchoesInARow < FSamplesPerMean) {
        if (s->Mean != nullptr) {
            FMean.Remove(s->Mean);
            s->Mean = nullptr;
        }
        return;
    }
    if (s->Mean == nullptr) {
        s->Mean = &FMean.Add(SeriesLabels(slot, s->Host));
    }
    s->Mean->Set(milliseconds / 1000);
}
