#include "export/LatmoMetrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

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
    return {{"host", host}, {"slot", std::to_string(slot)}};
}

}  // namespace

TLatmoMetrics::TLatmoMetrics(const std::string& version, TEchoEngine engine)
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
                  .Register(*FRegistry)) {
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
    if (s->Mean == nullptr) {
        s->Mean = &FMean.Add(SeriesLabels(slot, s->Host));
    }
    s->Mean->Set(milliseconds / 1000);
}
