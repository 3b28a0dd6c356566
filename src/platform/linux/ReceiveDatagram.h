#pragma once
// Reading one datagram from a socket together with what the kernel says about it: sender,
// receive stamp and, from an error queue, the extended error.

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <span>

#include "platform/IpAddress.h"

struct TReceivedDatagram {
    size_t Size = 0;
    bool Truncated = false;
    // The sender; from an error queue, the destination of the datagram the error is about.
    TIpAddress From;
    // Where the datagram was sent to, where the socket asked (IPV6_RECVPKTINFO).
    TIpAddress To;
    // The kernel's SO_TIMESTAMPNS receive stamp, realtime nanoseconds.
    std::optional<int64_t> StampNs;
    // From an IP_RECVERR or IPV6_RECVERR error queue: where the error came from and, for ICMP
    // errors, the report's type and code and its sender.
    struct TError {
        uint8_t Origin = 0;
        uint8_t Type = 0;
        uint8_t Code = 0;
        TIpAddress Offender;  // all zero when the kernel names none
    };
    std::optional<TError> Error;
};

// One recvmsg() into `buffer` with `flags` (MSG_DONTWAIT, MSG_ERRQUEUE). False when nothing was
// read; errno tells why.
bool ReceiveDatagram(int fd, std::span<uint8_t> buffer, int flags, TReceivedDatagram& out);

// The address a socket address holds; all zero for another family.
TIpAddress AddressOf(const sockaddr_storage& address);
