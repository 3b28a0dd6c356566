#pragma once
// Serves a collection of metrics over HTTP at one listen address at a time, for Prometheus to
// scrape. One thread of its own waits on every socket at once: a client that connects and sends
// nothing costs a descriptor until it is dropped, never a turn of anyone else's, so a scrape is
// answered at once however many such clients there are. Starting and stopping happen on that
// thread too, so neither the window nor the probe passes ever wait for the server.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace prometheus {
class Collectable;
}  // namespace prometheus

class TMetricsServer {
public:
    struct TResult {
        std::string Wanted;  // the listen address asked for; empty when serving was stopped
        // The addresses served at, with the port bound, the one asked for first; none when
        // serving failed or was stopped.
        std::vector<std::string> Addresses;
        std::string Error;  // why serving at Wanted failed; empty when it works
    };

    // The listen address a text stands for: "5286" or "localhost:5286" is this computer only
    // (127.0.0.1:5286); "192.0.2.7:5286" or "0.0.0.0:5286" is that IPv4 address, typed as
    // such. Port 0 takes any free port. Empty when the text is none of these.
    static std::string ListenAddress(const std::string& text);

    explicit TMetricsServer(std::weak_ptr<prometheus::Collectable> metrics);
    ~TMetricsServer();
    TMetricsServer(const TMetricsServer&) = delete;
    TMetricsServer& operator=(const TMetricsServer&) = delete;

    // Serves at `address` (a result of ListenAddress) from now on, or nowhere when it is
    // empty. Returns at once; a later call that comes before this one took effect replaces it.
    // 127.0.0.1 is served together with [::1] on the same port: a scraper whose target name
    // (localhost, say) has both addresses may pick either, and the one Latmo left free would be
    // anybody's to serve.
    void Serve(const std::string& address);
    // How the latest change turned out, once it has: true the first time it is asked for.
    bool TakeResult(TResult& result);

private:
    using TClock = std::chrono::steady_clock;
    struct TConnection {
        enum class TState { Reading, Writing, Draining };
        TState State = TState::Reading;
        std::string Data;  // the request received so far, or the answer being sent
        size_t Sent = 0;
        TClock::time_point Opened;
        TClock::time_point Due;  // dropped then, whatever state it is in
    };
    void Run();
    TResult Start(const std::string& address);
    void Stop();
    void Wake();
    void Accept(int listener);
    bool DropOldest();
    void PauseAccepting(bool paused);
    void Exchange(int fd, TConnection& connection);
    void Answer(int fd, TConnection& connection, const std::string& answer);
    void Watch(int fd, uint32_t events, bool added);
    void Close(int fd);
    int DueInMs() const;
    void DropOverdue();

    const std::weak_ptr<prometheus::Collectable> FMetrics;
    // Only the server's thread touches these.
    std::vector<int> FListeners;
    std::map<int, TConnection> FConnections;
    // Set while no descriptor is left for a new connection; accepting resumes then.
    TClock::time_point FAcceptResume;
    bool FAcceptPaused = false;

    // Made once; when either cannot be made, nothing is served and every change says why.
    int FPoll = -1;
    int FWakeUp = -1;
    std::string FBroken;

    std::mutex FLock;
    std::string FWanted;
    std::string FApplied;
    TResult FResult;
    bool FResultNew = false;
    bool FQuit = false;
    std::thread FThread;
};
