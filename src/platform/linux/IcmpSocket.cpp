#include "platform/linux/IcmpSocket.h"

// netinet/in.h must come before the kernel headers so that they leave the libc types alone.
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/errqueue.h>
#include <linux/icmp.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/linux/IcmpMatch.h"
#include "platform/linux/ReceiveDatagram.h"

namespace {

constexpr int64_t kNsPerMs = 1000000;
constexpr int64_t kNsPerUs = 1000;
// Room for the largest IPv4 datagram, which is what a raw socket hands over.
constexpr size_t kReceiveBufferSize = 65536;
// A few transient interruptions of a send are retried; more mean something is wrong.
constexpr int kSendAttempts = 3;

int64_t NowNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

uint16_t RandomWord() {
    uint16_t value = 0;
    if (getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
        value = static_cast<uint16_t>(NowNs(CLOCK_MONOTONIC) ^ getpid());
    }
    return value;
}

// One counter for the whole process: a late reply to any earlier request, on this socket or on
// one that held the same port before it, carries a sequence number that is not the current
// one. It starts at random so that two runs of the program do not repeat each other.
uint16_t NextSequence() {
    static std::atomic<uint16_t> next{RandomWord()};
    return next.fetch_add(1, std::memory_order_relaxed);
}

int Fail(TEchoReply& reply, uint32_t status) {
    reply.Status = status;
    return static_cast<int>(status);
}

}  // namespace

TIcmpSocket::TIcmpSocket(int fd, TIcmpSocketKind kind, int family, uint16_t identifier)
    : FFd(fd), FKind(kind), FFamily(family), FIdentifier(identifier), FBuffer(kReceiveBufferSize) {}

TIcmpSocket::~TIcmpSocket() {
    ::close(FFd);
}

// The kernel stamps arriving packets with the realtime clock; the monotonic clock cannot be
// stepped. The stamp is preferred because it leaves out the time our (low-priority) thread needs
// to be scheduled, but only while it agrees with the monotonic measurement: it cannot be negative
// and cannot exceed the monotonic time to the moment we read the packet (plus the drift that
// slewing allows, 0.1 %, and a little for reading the two clocks one after the other). A stepped
// realtime clock fails that test and the monotonic figure is used.
int64_t TIcmpSocket::RoundTripNs(int64_t sentRealNs, int64_t sentMonoNs, int64_t nowMonoNs,
                                 std::optional<int64_t> stampRealNs) {
    const int64_t monotonic = nowMonoNs - sentMonoNs;
    if (!stampRealNs) {
        return monotonic;
    }
    const int64_t kernel = *stampRealNs - sentRealNs;
    const int64_t tolerance = kNsPerMs + monotonic / 1000;
    return (kernel >= 0 && kernel <= monotonic + tolerance) ? kernel : monotonic;
}

namespace {

// A datagram socket learns of ICMP errors about its requests only through its error queue, and
// only when asked to. Binding fixes the port, and with it the identifier the kernel will write.
bool PrepareDatagramSocket(int fd, int family, uint16_t& identifier) {
    const int on = 1;
    sockaddr_storage local{};
    local.ss_family = static_cast<sa_family_t>(family);
    socklen_t size = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (family == AF_INET6) {
        (void)setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
    } else {
        (void)setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return false;
    }
    identifier = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                                          : reinterpret_cast<sockaddr_in&>(local).sin_port);
    return true;
}

// A raw socket sees all ICMP arriving at the host; let only replies and error reports through.
// Requests (anyone's, and our own looped back from the loopback address) stay outside.
void FilterRawSocket(int fd, int family) {
    if (family == AF_INET6) {
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        for (const uint8_t type : {kIcmp6EchoReply, kIcmp6DestUnreachable, kIcmp6PacketTooBig,
                                   kIcmp6TimeExceeded, kIcmp6ParameterProblem}) {
            ICMP6_FILTER_SETPASS(type, &filter);
        }
        (void)setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
        return;
    }
    icmp_filter filter{};
    filter.data =
        ~((1u << kIcmpEchoReply) | (1u << kIcmpDestUnreachable) | (1u << kIcmpSourceQuench) |
          (1u << kIcmpTimeExceeded) | (1u << kIcmpParameterProblem));
    (void)setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
}

}  // namespace

std::unique_ptr<TIcmpSocket> TIcmpSocket::Open(TIcmpSocketKind kind, int family, int& error) {
    const int type =
        (kind == TIcmpSocketKind::Datagram ? SOCK_DGRAM : SOCK_RAW) | SOCK_CLOEXEC | SOCK_NONBLOCK;
    const int protocol = family == AF_INET6 ? int{IPPROTO_ICMPV6} : int{IPPROTO_ICMP};
    const int fd = ::socket(family, type, protocol);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    const int on = 1;
    // Without stamps the round trip falls back to the monotonic clock; no reason to give up.
    (void)setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    if (family == AF_INET) {
        // Payloads up to 9999 bytes must leave in fragments instead of bouncing off a smaller
        // MTU with "fragmentation needed" (which is also what the kernel does with a large
        // ping). IPv6 fragments at the source anyway.
        const int fragment = IP_PMTUDISC_DONT;
        (void)setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &fragment, sizeof fragment);
    }
    uint16_t identifier = 0;
    if (kind == TIcmpSocketKind::Datagram) {
        if (!PrepareDatagramSocket(fd, family, identifier)) {
            error = errno;
            ::close(fd);
            return nullptr;
        }
    } else {
        FilterRawSocket(fd, family);
        identifier = RandomWord();
    }
    error = 0;
    return std::unique_ptr<TIcmpSocket>(new TIcmpSocket(fd, kind, family, identifier));
}

int TIcmpSocket::Echo(const TIpAddress& destination, std::span<const uint8_t> payload,
                      uint32_t timeoutMs, TEchoReply& reply, TStopSignal stop) {
    std::lock_guard<std::mutex> lock(FMutex);
    reply = TEchoReply{};
    if (timeoutMs == 0) {
        return Fail(reply, IP_REQ_TIMED_OUT);
    }
    TExpected expected;
    expected.Destination = destination;
    expected.Sequence = NextSequence();
    expected.Payload = payload;
    const bool v6 = FFamily == AF_INET6;
    BuildIcmpMessage(FRequest, v6 ? kIcmp6EchoRequest : kIcmpEchoRequest, 0, FIdentifier,
                     expected.Sequence, payload);
    if (v6) {
        // The ICMPv6 checksum covers the addresses too; the kernel fills it in.
        FRequest[2] = FRequest[3] = 0;
    }
    sockaddr_storage to{};
    socklen_t toSize = sizeof(sockaddr_in);
    if (v6) {
        auto& to6 = reinterpret_cast<sockaddr_in6&>(to);
        to6.sin6_family = AF_INET6;
        std::memcpy(&to6.sin6_addr, destination.V6Bytes().data(), 16);
        to6.sin6_scope_id = destination.ScopeId();
        toSize = sizeof to6;
    } else {
        auto& to4 = reinterpret_cast<sockaddr_in&>(to);
        to4.sin_family = AF_INET;
        to4.sin_addr.s_addr = destination.V4();
    }
    ssize_t sent = -1;
    for (int attempt = 0; attempt < kSendAttempts && sent < 0; ++attempt) {
        expected.SentRealtimeNs = NowNs(CLOCK_REALTIME);
        expected.SentMonotonicNs = NowNs(CLOCK_MONOTONIC);
        sent = ::sendto(FFd, FRequest.data(), FRequest.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), toSize);
        if (sent < 0 && errno != EINTR) {
            break;
        }
    }
    if (sent < 0) {
        const int error = errno;
        reply.Address = destination;
        return Fail(reply, SocketErrorStatus(error));
    }

    // The wait ends at a fixed moment: whatever else arrives meanwhile only uses up time.
    const int64_t deadline = expected.SentMonotonicNs + int64_t{timeoutMs} * kNsPerMs;
    for (;;) {
        const int64_t left = deadline - NowNs(CLOCK_MONOTONIC);
        if (left <= 0) {
            return Fail(reply, IP_REQ_TIMED_OUT);
        }
        // A negative descriptor is left out of the poll by the kernel.
        pollfd waits[2] = {{FFd, POLLIN, 0}, {static_cast<int>(stop), POLLIN, 0}};
        const timespec wait{static_cast<time_t>(left / 1000000000),
                            static_cast<long>(left % 1000000000)};
        const int polled = ::ppoll(waits, 2, &wait, nullptr);
        if (polled < 0 && errno != EINTR) {
            return Fail(reply, IP_GENERAL_FAILURE);
        }
        if (polled <= 0) {
            continue;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            reply.Address = destination;
            return ECHO_ERROR_CANCELLED;
        }
        const pollfd& ready = waits[0];
        int result = kNotOurs;
        if ((ready.revents & POLLERR) != 0) {
            result = ReadErrorQueue(expected, reply);
        } else if ((ready.revents & POLLIN) != 0) {
            result = ReadReply(expected, reply);
        }
        if (result != kNotOurs) {
            return result;
        }
    }
}

int TIcmpSocket::ReadReply(const TExpected& expected, TEchoReply& reply) {
    TReceivedDatagram received;
    // A failing read here is a pending error on a datagram socket (its details follow in the
    // error queue) or a datagram that went away; either way nothing of ours was read.
    const bool read = ReceiveDatagram(FFd, FBuffer, MSG_DONTWAIT, received);
    const int64_t nowMono = NowNs(CLOCK_MONOTONIC);
    if (!read || received.Size == 0 || received.Truncated) {
        return kNotOurs;
    }
    const std::span<const uint8_t> bytes(FBuffer.data(), received.Size);
    const TEchoRequestId request{expected.Destination, FIdentifier, expected.Sequence,
                                 expected.Payload};
    const std::optional<TEchoAnswer> answer =
        FFamily == AF_INET6             ? MatchIcmp6Message(request, bytes, received.From)
        : FKind == TIcmpSocketKind::Raw ? MatchRawDatagram(request, bytes)
                                        : MatchPingMessage(request, bytes, received.From);
    if (!answer) {
        return kNotOurs;
    }
    reply.Address = answer->Address;
    if (answer->Status != IP_SUCCESS) {
        return Fail(reply, answer->Status);
    }
    const int64_t ns =
        RoundTripNs(expected.SentRealtimeNs, expected.SentMonotonicNs, nowMono, received.StampNs);
    reply.Status = IP_SUCCESS;
    reply.RoundTripTime = static_cast<uint32_t>((ns + kNsPerMs / 2) / kNsPerMs);
    reply.RoundTripMicros = (ns + kNsPerUs / 2) / kNsPerUs;
    reply.DataSize = answer->DataSize;
    return 0;
}

// On a datagram socket the kernel delivers ICMP errors about our requests to the error queue:
// a sock_extended_err with the report's type and code and the sender of the report, the
// quoted request's destination as the address, and the quoted ICMP header as the data.
int TIcmpSocket::ReadErrorQueue(const TExpected& expected, TEchoReply& reply) {
    TReceivedDatagram received;
    if (!ReceiveDatagram(FFd, FBuffer, MSG_ERRQUEUE | MSG_DONTWAIT, received)) {
        // Nothing queued but the socket still flags an error: collect it so the wait does not
        // spin on it.
        int pending = 0;
        socklen_t length = sizeof pending;
        (void)getsockopt(FFd, SOL_SOCKET, SO_ERROR, &pending, &length);
        return kNotOurs;
    }
    // Errors of local origin (a send the kernel could not make) are reported by sendto already.
    const auto& error = received.Error;
    const int origin = FFamily == AF_INET6 ? int{SO_EE_ORIGIN_ICMP6} : int{SO_EE_ORIGIN_ICMP};
    if (!error || error->Origin != origin) {
        return kNotOurs;
    }
    const std::optional<TEchoAnswer> answer =
        MatchQueuedError({expected.Destination, FIdentifier, expected.Sequence, expected.Payload},
                         error->Type, error->Code, error->Offender, received.From,
                         std::span<const uint8_t>(FBuffer.data(), received.Size));
    if (!answer) {
        return kNotOurs;
    }
    reply.Address = answer->Address;
    return Fail(reply, answer->Status);
}
