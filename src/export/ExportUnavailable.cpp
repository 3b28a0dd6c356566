// The metrics endpoint of a build without prometheus-cpp (the Windows program): the Export page
// says that serving is not available, and the measurements are recorded nowhere.

#include "export/LatmoMetrics.h"
#include "export/MetricsServer.h"

namespace prometheus {
class Collectable {};
class Exposer {};
class Registry {};
class Counter {};
class Gauge {};
class Histogram {};
template <typename T>
class Family {};
}  // namespace prometheus

namespace {

prometheus::Family<prometheus::Histogram> gNoHistograms;
prometheus::Family<prometheus::Gauge> gNoGauges;
prometheus::Family<prometheus::Counter> gNoCounters;

}  // namespace

TLatmoMetrics::TLatmoMetrics(const std::string&, TEchoEngine, int samplesPerMean)
    : FRtt(gNoHistograms),
      FMean(gNoGauges),
      FRequests(gNoCounters),
      FLost(gNoCounters),
      FErrors(gNoCounters),
      FSamplesPerMean(samplesPerMean) {}

TLatmoMetrics::~TLatmoMetrics() = default;

void TLatmoMetrics::SetHost(int, const std::string&) {}
void TLatmoMetrics::RecordEcho(int, const TEchoOutcome&) {}
void TLatmoMetrics::SetTrimmedMean(int, double) {}

std::weak_ptr<prometheus::Collectable> TLatmoMetrics::Collectable() const {
    return {};
}

std::string TMetricsServer::ListenAddress(const std::string& text) {
    return text;
}

TMetricsServer::TMetricsServer(std::weak_ptr<prometheus::Collectable> metrics)
    : FMetrics(std::move(metrics)) {}

TMetricsServer::~TMetricsServer() = default;

void TMetricsServer::Serve(const std::string& address) {
    std::lock_guard<std::mutex> lock(FLock);
    FResult = TResult{address, {},
                      address.empty() ? std::string() : std::string("not available in this build")};
    FResultNew = true;
}

bool TMetricsServer::TakeResult(TResult& result) {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FResultNew) {
        return false;
    }
    result = FResult;
    FResultNew = false;
    return true;
}
