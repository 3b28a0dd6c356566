#pragma once
// Serves a collection of metrics over HTTP at one listen address at a time, for Prometheus to
// scrape. The embedded server starts in a moment but takes up to two seconds to stop (it looks
// at its stop flag between connections and every two seconds; a client that sends nothing
// holds one of its threads for up to a second), so starting and stopping run on a thread of
// their own: neither the window nor the probe passes ever wait for them. Requests are answered
// on the server's own threads; a client that is slow, stuck or malformed only ever holds those.

#include <condition_variable>
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

    // The listen address a text stands for: "5286" or "localhost:5286" is this computer only
    // (127.0.0.1:5286); "192.0.2.7:5286" or "0.0.0.0:5286" is that IPv4 address, typed as
    // such. Port 0 takes any free port. Empty when the text is none of these.
    static std::string ListenAddress(const std::string& text);

    explicit TMetricsServer(std::weak_ptr<prometheus::Collectable> metrics);
    // Stops serving; waits at most about a second, for a client that holds a thread.
    ~TMetricsServer();
    TMetricsServer(const TMetricsServer&) = delete;
    TMetricsServer& operator=(const TMetricsServer&) = delete;

    // Serves at `address` (a result of ListenAddress) from now on, or nowhere when it is
    // empty. Returns at once; a later call that comes before this one took effect replaces it.
    void Serve(const std::string& address);
    // How the latest change turned out, once it has: true the first time it is asked for.
    bool TakeResult(TResult& result);

private:
    void Run();
    TResult Start(const std::string& address);
    void Stop();

    const std::weak_ptr<prometheus::Collectable> FMetrics;
    // Only the server's thread touches these.
    std::unique_ptr<prometheus::Exposer> FExposer;
    std::string FServedHost;
    int FServedPort = 0;

    std::mutex FLock;
    std::condition_variable FChanged;
    std::string FWanted;
    std::string FApplied;
    TResult FResult;
    bool FResultNew = false;
    bool FQuit = false;
    std::thread FThread;
};
