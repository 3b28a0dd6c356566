#pragma once
// Which received ICMP traffic answers one echo request: its reply, an error report about it, or
// nothing of ours. Works on the bytes alone, so whatever a network delivers can be checked
// without a socket.
//
// A reply counts when it is an echo reply carrying our identifier and sequence number, from the
// address the request went to, with the very data we sent. Identifier and sequence travel in
// the clear: whoever sees or guesses them can answer in the host's stead, from elsewhere or with
// whatever data, and only a reply from the host with our data measures the way to the host and
// back. An error report counts when it quotes our request to our destination; it comes from
// whichever router or host found the fault.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/IpAddress.h"

struct TEchoRequestId {
    TIpAddress Destination;
    uint16_t Identifier = 0;
    uint16_t Sequence = 0;
    std::span<const uint8_t> Payload;  // the data the request carried
};

struct TEchoAnswer {
    uint32_t Status = 0;    // IP_SUCCESS for the reply, else the IP status of the report
    TIpAddress Address;     // who answered or reported
    uint16_t DataSize = 0;  // echoed data bytes of a reply
};

// A whole IPv4 datagram as a raw ICMP socket hands it over (its checksum must hold).
std::optional<TEchoAnswer> MatchRawDatagram(const TEchoRequestId& request,
                                            std::span<const uint8_t> packet);

// An ICMP message as an ICMP datagram socket hands it over, and the address it came from.
std::optional<TEchoAnswer> MatchPingMessage(const TEchoRequestId& request,
                                            std::span<const uint8_t> message,
                                            const TIpAddress& from);

// An ICMPv6 message as an ICMPv6 socket hands it over (the kernel keeps the IPv6 header), and
// the address it came from. A raw socket gets error reports this way too; each quotes the
// IPv6 packet it is about.
std::optional<TEchoAnswer> MatchIcmp6Message(const TEchoRequestId& request,
                                             std::span<const uint8_t> message,
                                             const TIpAddress& from);

// An entry of an ICMP datagram socket's error queue: the report's type and code, its sender,
// the destination of the datagram it is about, and the ICMP header quoted from that datagram.
// Type and code are ICMPv6 ones when the request went to an IPv6 address.
std::optional<TEchoAnswer> MatchQueuedError(const TEchoRequestId& request, uint8_t type,
                                            uint8_t code, const TIpAddress& offender,
                                            const TIpAddress& quotedDestination,
                                            std::span<const uint8_t> quoted);
