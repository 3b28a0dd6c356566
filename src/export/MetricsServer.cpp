#include "export/MetricsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <prometheus/collectable.h>
#include <prometheus/text_serializer.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "export/MetricsHttp.h"

namespace {

using namespace std::chrono_literals;

// A scrape sends its request at once: whoever sends none within a second is dropped, as is a
// reader that takes longer than ten to take its answer, or a second to close after it.
constexpr auto kRequestTime = 1s;
constexpr auto kAnswerTime = 10s;
constexpr auto kCloseTime = 1s;
// Open connections at most, well below the usual limit of 1024 descriptors; past it the oldest
// one that has not yet asked for anything makes room, so a scrape always gets in.
constexpr size_t kMaxConnections = 256;
constexpr auto kAcceptPause = 200ms;

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

// A listening socket at host:port (port 0: any free one), or -1 with errno telling why.
int Listen(int family, const std::string& host, int port) {
    const int s = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        return -1;
    }
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage storage{};
    socklen_t size = 0;
    if (family == AF_INET6) {
        // The other family's addresses are not this socket's to answer.
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        auto* sa = reinterpret_cast<sockaddr_in6*>(&storage);
        sa->sin6_family = AF_INET6;
        sa->sin6_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET6, host.c_str(), &sa->sin6_addr);
        size = sizeof *sa;
    } else {
        auto* sa = reinterpret_cast<sockaddr_in*>(&storage);
        sa->sin_family = AF_INET;
        sa->sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, host.c_str(), &sa->sin_addr);
        size = sizeof *sa;
    }
    if (bind(s, reinterpret_cast<const sockaddr*>(&storage), size) != 0 || listen(s, 128) != 0) {
        const int error = errno;
        close(s);
        errno = error;
        return -1;
    }
    return s;
}

int BoundPort(int s) {
    sockaddr_storage storage{};
    socklen_t size = sizeof storage;
    getsockname(s, reinterpret_cast<sockaddr*>(&storage), &size);
    return ntohs(storage.ss_family == AF_INET6
                     ? reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port
                     : reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
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
    : FMetrics(std::move(metrics)) {
    FPoll = epoll_create1(EPOLL_CLOEXEC);
    FWakeUp = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FPoll < 0 || FWakeUp < 0) {
        FBroken = std::strerror(errno);
        return;
    }
    Watch(FWakeUp, EPOLLIN, true);
    FThread = std::thread([this] { Run(); });
}

TMetricsServer::~TMetricsServer() {
    if (FThread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(FLock);
            FQuit = true;
        }
        Wake();
        FThread.join();
    }
    for (const int fd : {FPoll, FWakeUp}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void TMetricsServer::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(FWakeUp, &one, sizeof one);
}

void TMetricsServer::Serve(const std::string& address) {
    const std::lock_guard<std::mutex> lock(FLock);
    FWanted = address;
    if (!FBroken.empty()) {
        FResult = TResult{address,
                          {},
                          address.empty() ? std::string()
                                          : "the server cannot wait for clients (" + FBroken + ")"};
        FResultNew = true;
        return;
    }
    Wake();
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
    epoll_event events[64];
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(FLock);
            if (FQuit) {
                break;
            }
            if (FWanted != FApplied) {
                const std::string wanted = FWanted;
                FApplied = wanted;
                lock.unlock();
                Stop();
                const TResult result = wanted.empty() ? TResult{} : Start(wanted);
                lock.lock();
                FResult = result;
                FResultNew = true;
            }
        }
        const int n = epoll_wait(FPoll, events, 64, DueInMs());
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == FWakeUp) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t got = read(FWakeUp, &count, sizeof count);
            } else if (std::find(FListeners.begin(), FListeners.end(), fd) != FListeners.end()) {
                Accept(fd);
            } else if (const auto c = FConnections.find(fd); c != FConnections.end()) {
                Exchange(fd, c->second);
            }
        }
        DropOverdue();
    }
    Stop();
}

TMetricsServer::TResult TMetricsServer::Start(const std::string& address) {
    TResult result{address, {}, std::string()};
    std::string host;
    int port = 0;
    if (!SplitAddress(address, host, port)) {
        result.Error = "not a listen address";
        return result;
    }
    // Any free port: a port free for IPv4 may be taken for IPv6; a few tries find one free in
    // both.
    for (int attempt = 0; attempt < (port == 0 ? 10 : 1); ++attempt) {
        Stop();
        const int first = Listen(AF_INET, host, port);
        if (first < 0) {
            result.Error = std::strerror(errno);
            return result;
        }
        FListeners.push_back(first);
        const int bound = BoundPort(first);
        result.Addresses = {host + ":" + std::to_string(bound)};
        result.Error.clear();
        if (host != "127.0.0.1") {
            break;
        }
        const int twin = Listen(AF_INET6, "::1", bound);
        const int error = errno;
        const std::string twinAddress = "[::1]:" + std::to_string(bound);
        if (twin >= 0) {
            FListeners.push_back(twin);
            result.Addresses.push_back(twinAddress);
            break;
        }
        // Without IPv6 there is no [::1] for anybody to serve; with it, a scrape of localhost
        // might reach whoever holds the port there.
        if (error != EADDRNOTAVAIL && error != EAFNOSUPPORT) {
            result.Error = std::strerror(error) + std::string(" at ") + twinAddress;
        } else {
            break;
        }
    }
    if (!result.Error.empty()) {
        Stop();
        result.Addresses.clear();
        return result;
    }
    for (const int s : FListeners) {
        Watch(s, EPOLLIN, true);
    }
    return result;
}

void TMetricsServer::Stop() {
    while (!FConnections.empty()) {
        Close(FConnections.begin()->first);
    }
    for (const int s : FListeners) {
        epoll_ctl(FPoll, EPOLL_CTL_DEL, s, nullptr);
        close(s);
    }
    FListeners.clear();
    FAcceptPaused = false;
}

void TMetricsServer::Watch(int fd, uint32_t events, bool added) {
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    epoll_ctl(FPoll, added ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event);
}

void TMetricsServer::Accept(int listener) {
    for (;;) {
        if (FConnections.size() >= kMaxConnections) {
            DropOldest();
        }
        const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            TConnection& c = FConnections[fd];
            c.Opened = TClock::now();
            c.Due = c.Opened + kRequestTime;
            Watch(fd, EPOLLIN, true);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of descriptors: make room, or wait a moment for some to come free, rather
            // than hear of the same waiting client again and again.
            if (!DropOldest()) {
                PauseAccepting(true);
                return;
            }
            continue;
        }
        return;  // EAGAIN: nobody else is waiting
    }
}

bool TMetricsServer::DropOldest() {
    auto oldest = FConnections.end();
    for (auto c = FConnections.begin(); c != FConnections.end(); ++c) {
        const bool waiting = c->second.State == TConnection::TState::Reading;
        const bool oldestWaiting =
            oldest != FConnections.end() && oldest->second.State == TConnection::TState::Reading;
        if (oldest == FConnections.end() || (waiting && !oldestWaiting) ||
            (waiting == oldestWaiting && c->second.Opened < oldest->second.Opened)) {
            oldest = c;
        }
    }
    if (oldest == FConnections.end()) {
        return false;
    }
    Close(oldest->first);
    return true;
}

void TMetricsServer::PauseAccepting(bool paused) {
    FAcceptPaused = paused;
    FAcceptResume = TClock::now() + kAcceptPause;
    for (const int s : FListeners) {
        Watch(s, paused ? 0u : uint32_t{EPOLLIN}, false);
    }
}

void TMetricsServer::Exchange(int fd, TConnection& c) {
    if (c.State == TConnection::TState::Writing) {
        while (c.Sent < c.Data.size()) {
            const ssize_t n =
                send(fd, c.Data.data() + c.Sent, c.Data.size() - c.Sent, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                return;
            }
            if (n <= 0) {
                Close(fd);
                return;
            }
            c.Sent += static_cast<size_t>(n);
        }
        // Closed only once the client has read to the end: closing with its bytes unread would
        // reset the connection and could take the answer's tail with it.
        shutdown(fd, SHUT_WR);
        c.State = TConnection::TState::Draining;
        c.Data.clear();
        c.Due = TClock::now() + kCloseTime;
        Watch(fd, EPOLLIN, false);
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            return;
        }
        if (n <= 0) {
            Close(fd);
            return;
        }
        if (c.State == TConnection::TState::Draining) {
            continue;
        }
        c.Data.append(buffer, static_cast<size_t>(n));
        if (const size_t end = RequestHeadEnd(c.Data); end > 0) {
            Answer(fd, c, HttpAnswer(c.Data.substr(0, end), [this] {
                       const auto metrics = FMetrics.lock();
                       return metrics ? prometheus::TextSerializer().Serialize(metrics->Collect())
                                      : std::string();
                   }));
            return;
        }
        if (c.Data.size() > kMaxRequestHead) {
            Answer(fd, c, HttpHeadTooLarge());
            return;
        }
    }
}

void TMetricsServer::Answer(int fd, TConnection& c, const std::string& answer) {
    c.State = TConnection::TState::Writing;
    c.Data = answer;
    c.Sent = 0;
    c.Due = TClock::now() + kAnswerTime;
    Watch(fd, EPOLLOUT, false);
    Exchange(fd, c);
}

void TMetricsServer::Close(int fd) {
    epoll_ctl(FPoll, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    FConnections.erase(fd);
    if (FAcceptPaused) {
        PauseAccepting(false);
    }
}

int TMetricsServer::DueInMs() const {
    if (FConnections.empty() && !FAcceptPaused) {
        return -1;
    }
    TClock::time_point due = FAcceptPaused ? FAcceptResume : TClock::time_point::max();
    for (const auto& [fd, c] : FConnections) {
        due = std::min(due, c.Due);
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - TClock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000));
}

void TMetricsServer::DropOverdue() {
    const auto now = TClock::now();
    if (FAcceptPaused && FAcceptResume <= now) {
        PauseAccepting(false);
    }
    for (auto c = FConnections.begin(); c != FConnections.end();) {
        const int fd = c->first;
        const bool overdue = c->second.Due <= now;
        ++c;
        if (overdue) {
            Close(fd);
        }
    }
}
