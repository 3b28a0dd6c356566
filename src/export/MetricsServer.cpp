#include "export/MetricsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <prometheus/exposer.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool SplitAddress(const std::string& address, std::string& host, int& port) {
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || !AllDigits(address.substr(colon + 1))) {
        return false;
    }
    host = address.substr(0, colon);
    port = std::stoi(address.substr(colon + 1));
    return port <= 65535;
}

sockaddr_in SocketAddress(const std::string& host, int port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &sa.sin_addr);
    return sa;
}

// The embedded server says only that it could not start; binding first gives the reason.
std::string BindProblem(const std::string& host, int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        return std::strerror(errno);
    }
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in sa = SocketAddress(host, port);
    const bool bound = bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    const int error = errno;
    close(s);
    return bound ? std::string() : std::strerror(error);
}

// Connects and goes again at once; false once the listener is gone (the port is free).
bool Knock(const std::string& host, int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        return false;
    }
    const sockaddr_in sa = SocketAddress(host == "0.0.0.0" ? "127.0.0.1" : host, port);
    const bool refused =
        connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 && errno == ECONNREFUSED;
    close(s);
    return !refused;
}

}  // namespace

std::string TMetricsServer::ListenAddress(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    const std::string trimmed =
        first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    std::string host = "127.0.0.1";
    int port = 0;
    if (AllDigits(trimmed)) {
        port = std::stoi(trimmed);
        if (port > 65535) {
            return std::string();
        }
    } else if (!SplitAddress(trimmed, host, port)) {
        return std::string();
    }
    if (host == "localhost") {
        host = "127.0.0.1";
    }
    in_addr parsed{};
    char canonical[INET_ADDRSTRLEN] = {};
    if (inet_pton(AF_INET, host.c_str(), &parsed) != 1 ||
        inet_ntop(AF_INET, &parsed, canonical, sizeof canonical) == nullptr) {
        return std::string();
    }
    return std::string(canonical) + ":" + std::to_string(port);
}

TMetricsServer::TMetricsServer(std::weak_ptr<prometheus::Collectable> metrics)
    : FMetrics(std::move(metrics)), FThread([this] { Run(); }) {}

TMetricsServer::~TMetricsServer() {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FQuit = true;
    }
    FChanged.notify_one();
    FThread.join();
}

void TMetricsServer::Serve(const std::string& address) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FWanted = address;
    }
    FChanged.notify_one();
}

bool TMetricsServer::TakeResult(TResult& result) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (!FResultNew) {
        return false;
    }
    result = FResult;
    FResultNew = false;
    return true;
}

void TMetricsServer::Run() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FChanged.wait(lock, [this] { return FQuit || FWanted != FApplied; });
        if (FQuit) {
            break;
        }
        const std::string wanted = FWanted;
        FApplied = wanted;
        lock.unlock();
        Stop();
        const TResult result = wanted.empty() ? TResult{} : Start(wanted);
        lock.lock();
        FResult = result;
        FResultNew = true;
    }
    lock.unlock();
    Stop();
}

TMetricsServer::TResult TMetricsServer::Start(const std::string& address) {
    TResult result{address, std::string(), std::string()};
    std::string host;
    int port = 0;
    if (!SplitAddress(address, host, port)) {
        result.Error = "not a listen address";
        return result;
    }
    result.Error = BindProblem(host, port);
    if (!result.Error.empty()) {
        return result;
    }
    try {
        // A request is a few hundred bytes at once; whoever sends less in a second or more than
        // 16 kB is dropped, which also bounds how long such a client can hold up a stop.
        // Nothing is served but the metrics: no files, no directory.
        FExposer = std::make_unique<prometheus::Exposer>(std::vector<std::string>{
            "listening_ports", address, "num_threads", "2", "request_timeout_ms", "1000",
            "max_request_size", "16384", "enable_keep_alive", "no"});
        FExposer->RegisterCollectable(FMetrics);
        const std::vector<int> ports = FExposer->GetListeningPorts();
        FServedHost = host;
        FServedPort = ports.empty() ? port : ports.front();
        result.Address = host + ":" + std::to_string(FServedPort);
    } catch (const std::exception& e) {
        FExposer.reset();
        result.Error = std::string("the web server did not start (") + e.what() + ")";
    }
    return result;
}

void TMetricsServer::Stop() {
    if (!FExposer) {
        return;
    }
    std::mutex doneLock;
    std::condition_variable doneChanged;
    bool done = false;
    std::thread closer([&] {
        FExposer.reset();
        const std::lock_guard<std::mutex> lock(doneLock);
        done = true;
        doneChanged.notify_one();
    });
    // The server's listener looks at its stop flag every two seconds, or at once when a
    // connection comes: knock until it lets the port go, so that the next start can take it.
    std::unique_lock<std::mutex> lock(doneLock);
    for (int i = 0; i < 300 && !done; ++i) {
        lock.unlock();
        const bool listening = Knock(FServedHost, FServedPort);
        lock.lock();
        if (!listening) {
            break;
        }
        doneChanged.wait_for(lock, std::chrono::milliseconds(10), [&] { return done; });
    }
    lock.unlock();
    closer.join();
    FServedPort = 0;
}
