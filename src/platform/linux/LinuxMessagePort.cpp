#include "platform/linux/LinuxMessagePort.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/CopyMessageWire.h"
#include "platform/linux/LinuxInterProcess.h"

namespace {

void Watch(int events, int fd) {
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = fd;
    epoll_ctl(events, EPOLL_CTL_ADD, fd, &e);
}

}  // namespace

TLinuxMessagePort::TLinuxMessagePort(int listenFd, std::string path)
    : FListen(listenFd), FPath(std::move(path)) {
    FEvents = epoll_create1(EPOLL_CLOEXEC);
    FTimer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    Watch(FEvents, FListen);
    Watch(FEvents, FTimer);
}

TLinuxMessagePort::~TLinuxMessagePort() {
    CloseCurrent();
    for (const TWaiting& w : FWaiting) {
        close(w.Fd);
    }
    close(FTimer);
    close(FEvents);
    close(FListen);
    TLinuxInterProcess::RemoveFromGuardFolder(FPath);
}

void TLinuxMessagePort::CloseCurrent() {
    if (FCurrent >= 0) {
        close(FCurrent);
        FCurrent = -1;
    }
}

void TLinuxMessagePort::Forget(size_t index) {
    // Closing takes the connection out of the epoll set as well.
    close(FWaiting[index].Fd);
    FWaiting.erase(FWaiting.begin() + static_cast<std::ptrdiff_t>(index));
}

int TLinuxMessagePort::AcceptOne() {
    int fd;
    do {
        fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

TMessagePort::TReceive TLinuxMessagePort::Take(int fd, TCopyMessage& message) {
    switch (ReadCopyMessageNow(fd, message)) {
        case TPacketRead::prMessage:
            // Kept open until the next Receive, for the answer when the sender waits for one.
            FCurrent = fd;
            return TReceive::rMessage;
        case TPacketRead::prRefused:
            close(fd);
            return TReceive::rDropped;
        case TPacketRead::prWaiting:
            break;
    }
    return TReceive::rNone;
}

void TLinuxMessagePort::ArmTimer() {
    itimerspec spec{};
    if (!FWaiting.empty()) {
        // The oldest connection's time runs out first.
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              FWaiting.front().Deadline - std::chrono::steady_clock::now())
                              .count();
        const long long ns = left > 0 ? left : 1;
        spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000LL);
        spec.it_value.tv_nsec = static_cast<long>(ns % 1000000000LL);
    }
    timerfd_settime(FTimer, 0, &spec, nullptr);
}

TMessagePort::TReceive TLinuxMessagePort::Receive(TCopyMessage& message) {
    CloseCurrent();
    uint64_t expirations;
    (void)!read(FTimer, &expirations, sizeof expirations);
    const TReceive result = ReceiveOne(message);
    ArmTimer();
    return result;
}

TMessagePort::TReceive TLinuxMessagePort::ReceiveOne(TCopyMessage& message) {
    // First the connections taken in before, whose packet may have come since.
    const auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < FWaiting.size(); ++i) {
        const int fd = FWaiting[i].Fd;
        const TReceive taken = Take(fd, message);
        if (taken == TReceive::rNone && FWaiting[i].Deadline > now) {
            continue;
        }
        epoll_ctl(FEvents, EPOLL_CTL_DEL, fd, nullptr);
        FWaiting.erase(FWaiting.begin() + static_cast<std::ptrdiff_t>(i));
        if (taken == TReceive::rNone) {
            close(fd);  // nothing sent in time
            return TReceive::rDropped;
        }
        return taken;
    }
    // Then the new ones, one at a time; a sender sends at once, so most packets are there.
    for (int fd; (fd = AcceptOne()) >= 0;) {
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != geteuid()) {
            close(fd);
            return TReceive::rDropped;
        }
        const TReceive taken = Take(fd, message);
        if (taken != TReceive::rNone) {
            return taken;
        }
        Watch(FEvents, fd);
        FWaiting.push_back(
            {fd, std::chrono::steady_clock::now() + std::chrono::milliseconds(kPacketTimeoutMs)});
        if (FWaiting.size() > kMaxWaiting) {
            Forget(0);
            return TReceive::rDropped;
        }
    }
    return TReceive::rNone;
}

void TLinuxMessagePort::Reply(const TCopyMessage& answer) {
    if (FCurrent < 0) {
        return;
    }
    const std::string packet = EncodeCopyMessage(answer);
    (void)!send(FCurrent, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    CloseCurrent();
}
