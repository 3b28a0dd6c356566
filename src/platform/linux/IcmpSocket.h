#pragma once
// One open ICMP socket and the echo exchange over it: send a request, then wait for the reply
// or error report that belongs to it (IcmpMatch.h), letting everything else go by.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/IcmpEcho.h"
#include "platform/linux/IcmpWire.h"

enum class TIcmpSocketKind {
    Datagram,  // SOCK_DGRAM/IPPROTO_ICMP: allowed by net.ipv4.ping_group_range
    Raw,       // SOCK_RAW/IPPROTO_ICMP: needs cap_net_raw
};

class TIcmpSocket {
public:
    // Opens an ICMP (AF_INET) or ICMPv6 (AF_INET6) socket in the calling thread's network
    // namespace. On failure returns nullptr and leaves the errno in `error`.
    static std::unique_ptr<TIcmpSocket> Open(TIcmpSocketKind kind, int family, int& error);
    ~TIcmpSocket();
    TIcmpSocket(const TIcmpSocket&) = delete;
    TIcmpSocket& operator=(const TIcmpSocket&) = delete;

    TIcmpSocketKind Kind() const { return FKind; }
    int Family() const { return FFamily; }

    // One echo as TIcmpEcho::SendEcho describes it, to an address of the socket's family.
    // Exchanges on one socket take turns.
    int Echo(const TIpAddress& destination, std::span<const uint8_t> payload, uint32_t timeoutMs,
             TEchoReply& reply, TStopSignal stop = kNoStopSignal);

    // The round trip in nanoseconds from the send's realtime and monotonic readings, the
    // monotonic reading after the reply was read, and the kernel's realtime receive stamp.
    static int64_t RoundTripNs(int64_t sentRealNs, int64_t sentMonoNs, int64_t nowMonoNs,
                               std::optional<int64_t> stampRealNs);

private:
    TIcmpSocket(int fd, TIcmpSocketKind kind, int family, uint16_t identifier);

    // What is being waited for.
    struct TExpected {
        TIpAddress Destination;
        uint16_t Sequence = 0;
        std::span<const uint8_t> Payload;
        int64_t SentRealtimeNs = 0;
        int64_t SentMonotonicNs = 0;
    };
    // Outcome of reading one queued datagram: -1 when it was not ours, else the call's result.
    static constexpr int kNotOurs = -1;
    int ReadReply(const TExpected& expected, TEchoReply& reply);
    int ReadErrorQueue(const TExpected& expected, TEchoReply& reply);

    const int FFd;
    const TIcmpSocketKind FKind;
    const int FFamily;
    // The echo identifier our requests carry on the wire. On a datagram socket the kernel puts
    // the socket's local port there, whatever we write.
    const uint16_t FIdentifier;
    std::mutex FMutex;
    std::vector<uint8_t> FRequest;
    std::vector<uint8_t> FBuffer;
};
