#pragma once
// ICMP echo messages as bytes on the wire: building requests, replies and error reports, reading
// them back, and what an error report or a socket error means in IP status numbers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

inline constexpr uint8_t kIcmpEchoReply = 0;
inline constexpr uint8_t kIcmpDestUnreachable = 3;
inline constexpr uint8_t kIcmpSourceQuench = 4;
inline constexpr uint8_t kIcmpEchoRequest = 8;
inline constexpr uint8_t kIcmpTimeExceeded = 11;
inline constexpr uint8_t kIcmpParameterProblem = 12;

// ICMPv6 (RFC 4443): errors below 128, informational messages from 128 on.
inline constexpr uint8_t kIcmp6DestUnreachable = 1;
inline constexpr uint8_t kIcmp6PacketTooBig = 2;
inline constexpr uint8_t kIcmp6TimeExceeded = 3;
inline constexpr uint8_t kIcmp6ParameterProblem = 4;
inline constexpr uint8_t kIcmp6EchoRequest = 128;
inline constexpr uint8_t kIcmp6EchoReply = 129;

inline constexpr uint8_t kIpProtocolIcmp = 1;
inline constexpr uint8_t kIpProtocolIcmp6 = 58;
inline constexpr size_t kIcmpHeaderSize = 8;

// One ICMP message. Identifier and Sequence are the two 16-bit words after the checksum (in
// host order); in error reports they are the unused or pointer field and mean nothing.
struct TIcmpMessage {
    uint8_t Type = 0;
    uint8_t Code = 0;
    uint16_t Identifier = 0;
    uint16_t Sequence = 0;
    std::span<const uint8_t> Body;
};

// One IPv4 datagram; addresses in network order. Payload is what follows the header, cut to
// the datagram's total length where the bytes reach that far (a quoted header inside an error
// report carries only the start of its payload).
struct TIpv4Datagram {
    uint32_t Source = 0;
    uint32_t Destination = 0;
    uint8_t Protocol = 0;
    std::span<const uint8_t> Header;
    std::span<const uint8_t> Payload;
};

// One IPv6 packet, as an ICMPv6 error report quotes it: the addresses, and the protocol and
// payload after the fixed header and the extension headers a request of ours can carry
// (hop-by-hop and destination options, routing, fragment). A fragment after the first carries
// no protocol header: NextHeader is then kIpv6NoHeader.
struct TIpv6Packet {
    std::array<uint8_t, 16> Source{};
    std::array<uint8_t, 16> Destination{};
    uint8_t NextHeader = 0;
    std::span<const uint8_t> Payload;
};
inline constexpr uint8_t kIpv6NoHeader = 59;
inline constexpr size_t kIpv6HeaderSize = 40;

// The Internet checksum (RFC 1071) of the bytes; a message that carries its checksum sums to 0.
uint16_t InternetChecksum(std::span<const uint8_t> bytes);

// Replaces `out` by an ICMP message with a correct checksum.
void BuildIcmpMessage(std::vector<uint8_t>& out, uint8_t type, uint8_t code, uint16_t identifier,
                      uint16_t sequence, std::span<const uint8_t> body);

std::optional<TIcmpMessage> ReadIcmpMessage(std::span<const uint8_t> bytes);
std::optional<TIpv4Datagram> ReadIpv4Datagram(std::span<const uint8_t> bytes);
std::optional<TIpv6Packet> ReadIpv6Packet(std::span<const uint8_t> bytes);

// The IP status an ICMP error report stands for; 0 for messages that are not a failure of the
// echo (redirects, router adverts, replies and requests).
uint32_t IcmpErrorStatus(uint8_t type, uint8_t code);
// The same for an ICMPv6 error report: the status the IPv4 report of the same meaning gives.
uint32_t Icmp6ErrorStatus(uint8_t type, uint8_t code);

// The IP status a failing socket call (errno) stands for.
uint32_t SocketErrorStatus(int error);
