#pragma once
// Serves a collection of metrics over HTTP at one listen address at a time, for Prometheus to
// scrape. The embedded server starts in a moment but takes up to two seconds to stop (it looks
// at its stop flag between connections, and a client that sends nothing keeps one of its
// threads for that long), so starting and stopping run on a thread of their own: neither the
// window nor the probe passes ever wait for them. Requests are answered on the server's own
// threads; a client that is slow, stuck or malformed only ever holds those.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace prometheus {
class Collectable;
class Exposer;
}  // namespace prometheus

class TMetricsServer {
public:
    struct TResult {
        std::string Wanted;   // the listen address asked for; empty when serving was stopped
        std::string Address;  // the address served at, with the port bound; empty when none
        std::string Error;    // why serving at Wanted failed; empty when it works
    };
    using TResultHandler = std::function<void(const TResult&)>;

    // The listen address a text stands for: "5286" or "localhost:5286" is this computer only
    // (127.0.0.1:5286); "192.0.2.7:5286" or "0.0.0.0:5286" is that IPv4 address, typed as
    // such. Port 0 takes any free port. Empty when the text is none of these.
    static std::string ListenAddress(const std::string& text);

    // The handler runs on the server's thread, once for every change that took effect.
    TMetricsServer(std::weak_ptr<prometheus::Collectable> metrics, TResultHandler onResult);
    // Stops serving; waits for a stuck client's connection at most two seconds.
    ~TMetricsServer();
    TMetricsServer(const TMetricsServer&) = delete;
    TMetricsServer& operator=(const TMetricsServer&) = delete;

    // Serves at `address` (a result of ListenAddress) from now on, or nowhere when it is
    // empty. Returns at once; a later call that comes before this one took effect replaces it.
    void Serve(const std::string& address);

private:
    void Run();
    TResult Start(const std::string& address);
    void Stop();

    const std::weak_ptr<prometheus::Collectable> FMetrics;
    const TResultHandler FOnResult;
    // Only the server's thread touches these.
    std::unique_ptr<prometheus::Exposer> FExposer;
    std::string FServedHost;
    int FServedPort = 0;

    std::mutex FLock;
    std::condition_variable FChanged;
    std::string FWanted;
    std::string FApplied;
    bool FQuit = false;
    std::thread FThread;
};
