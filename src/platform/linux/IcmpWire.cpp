#include "platform/linux/IcmpWire.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/IcmpEcho.h"

namespace {

uint16_t Word(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

uint32_t NetworkOrderAddress(std::span<const uint8_t> bytes, size_t at) {
    uint32_t address = 0;
    std::memcpy(&address, bytes.data() + at, sizeof address);
    return address;
}

void PutWord(std::vector<uint8_t>& out, size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value >> 8);
    out[at + 1] = static_cast<uint8_t>(value & 0xff);
}

}  // namespace

uint16_t InternetChecksum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        sum += Word(bytes, i);
    }
    if (i < bytes.size()) {
        sum += static_cast<uint32_t>(bytes[i]) << 8;
    }
    while ((sum >> 16) != 0) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum & 0xffff);
}

void BuildIcmpMessage(std::vector<uint8_t>& out, uint8_t type, uint8_t code, uint16_t identifier,
                      uint16_t sequence, std::span<const uint8_t> body) {
    out.assign(kIcmpHeaderSize, 0);
    out[0] = type;
    out[1] = code;
    PutWord(out, 4, identifier);
    PutWord(out, 6, sequence);
    out.insert(out.end(), body.begin(), body.end());
    PutWord(out, 2, InternetChecksum(out));
}

std::optional<TIcmpMessage> ReadIcmpMessage(std::span<const uint8_t> bytes) {
    if (bytes.size() < kIcmpHeaderSize) {
        return std::nullopt;
    }
    TIcmpMessage message;
    message.Type = bytes[0];
    message.Code = bytes[1];
    message.Identifier = Word(bytes, 4);
    message.Sequence = Word(bytes, 6);
    message.Body = bytes.subspan(kIcmpHeaderSize);
    return message;
}

std::optional<TIpv4Datagram> ReadIpv4Datagram(std::span<const uint8_t> bytes) {
    constexpr size_t kMinHeader = 20;
    if (bytes.size() < kMinHeader || (bytes[0] >> 4) != 4) {
        return std::nullopt;
    }
    const size_t headerSize = size_t{bytes[0] & 0x0fu} * 4;
    if (headerSize < kMinHeader || headerSize > bytes.size()) {
        return std::nullopt;
    }
    const size_t totalSize = Word(bytes, 2);
    if (totalSize < headerSize) {
        return std::nullopt;
    }
    TIpv4Datagram datagram;
    datagram.Protocol = bytes[9];
    datagram.Source = NetworkOrderAddress(bytes, 12);
    datagram.Destination = NetworkOrderAddress(bytes, 16);
    datagram.Header = bytes.first(headerSize);
    datagram.Payload = bytes.subspan(headerSize, std::min(totalSize, bytes.size()) - headerSize);
    return datagram;
}

std::optional<TIpv6Packet> ReadIpv6Packet(std::span<const uint8_t> bytes) {
    if (bytes.size() < kIpv6HeaderSize || (bytes[0] >> 4) != 6) {
        return std::nullopt;
    }
    TIpv6Packet packet;
    std::memcpy(packet.Source.data(), bytes.data() + 8, 16);
    std::memcpy(packet.Destination.data(), bytes.data() + 24, 16);
    const size_t end = std::min(bytes.size(), kIpv6HeaderSize + Word(bytes, 4));
    uint8_t next = bytes[6];
    size_t at = kIpv6HeaderSize;
    constexpr uint8_t kHopByHop = 0, kRouting = 43, kFragment = 44, kDestinationOptions = 60;
    // A handful of extension headers at most; a loop of them would be no request of ours.
    for (int i = 0; i < 8 && (next == kHopByHop || next == kRouting || next == kFragment ||
                              next == kDestinationOptions);
         ++i) {
        if (at + 8 > end) {
            return std::nullopt;
        }
        const uint8_t following = bytes[at];
        if (next == kFragment) {
            // Only the first fragment (offset 0) begins with the upper-layer header.
            const bool first = (Word(bytes, at + 2) & 0xfff8) == 0;
            at += 8;
            next = first ? following : kIpv6NoHeader;
            continue;
        }
        at += (size_t{bytes[at + 1]} + 1) * 8;
        next = following;
    }
    if (at > end) {
        return std::nullopt;
    }
    packet.NextHeader = next;
    packet.Payload = bytes.subspan(at, end - at);
    return packet;
}

// Destination-unreachable codes (RFC 792, 1122, 1812) fall into the four families the status
// numbering knows. The administrative and type-of-service variants still mean "this net" or
// "this host" cannot be reached; a source-route failure is a route problem; a code we do not
// know from a router still tells the host is out of reach.
uint32_t IcmpErrorStatus(uint8_t type, uint8_t code) {
    switch (type) {
        case kIcmpDestUnreachable:
            switch (code) {
                case 0:   // net unreachable
                case 6:   // net unknown
                case 9:   // net administratively prohibited
                case 11:  // net unreachable for type of service
                    return IP_DEST_NET_UNREACHABLE;
                case 2:
                    return IP_DEST_PROT_UNREACHABLE;
                case 3:
                    return IP_DEST_PORT_UNREACHABLE;
                case 4:
                    return IP_PACKET_TOO_BIG;  // fragmentation needed but not allowed
                case 5:
                    return IP_BAD_ROUTE;  // source route failed
                default:
                    return IP_DEST_HOST_UNREACHABLE;
            }
        case kIcmpSourceQuench:
            return IP_SOURCE_QUENCH;
        case kIcmpTimeExceeded:
            // Code 1 is a fragment reassembly time-out at the destination; every other code is a
            // time-to-live running out on the way.
            return code == 1 ? IP_TTL_EXPIRED_REASSEM : IP_TTL_EXPIRED_TRANSIT;
        case kIcmpParameterProblem:
            return IP_PARAM_PROBLEM;
        default:
            return 0;
    }
}

// RFC 4443's reports with the meaning of their IPv4 counterparts: no route is a net unreachable,
// a route that rejects is one too; an address that cannot be reached, a prohibition, a source
// outside the destination's scope or refused by policy is a host that cannot be reached, as an
// IPv4 prohibition is; a hop limit running out is a time to live running out.
uint32_t Icmp6ErrorStatus(uint8_t type, uint8_t code) {
    switch (type) {
        case kIcmp6DestUnreachable:
            switch (code) {
                case 0:  // no route to destination
                case 6:  // reject route to destination
                    return IP_DEST_NET_UNREACHABLE;
                case 4:
                    return IP_DEST_PORT_UNREACHABLE;
                default:
                    return IP_DEST_HOST_UNREACHABLE;
            }
        case kIcmp6PacketTooBig:
            return IP_PACKET_TOO_BIG;
        case kIcmp6TimeExceeded:
            return code == 1 ? IP_TTL_EXPIRED_REASSEM : IP_TTL_EXPIRED_TRANSIT;
        case kIcmp6ParameterProblem:
            return IP_PARAM_PROBLEM;
        default:
            return 0;
    }
}

// A send that the kernel refuses at once means what an ICMP report from the first hop would
// have meant: no route is a net unreachable, a failed neighbour lookup a host unreachable, a
// datagram too large for the socket a packet too big. A full send queue is a shortage of
// resources like a failed allocation, and so is running out of descriptors. Everything else
// (firewall refusal, a broadcast address without permission) has no status of its own.
uint32_t SocketErrorStatus(int error) {
    switch (error) {
        case ENETUNREACH:
        case ENETDOWN:
            return IP_DEST_NET_UNREACHABLE;
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return IP_DEST_HOST_UNREACHABLE;
        case EMSGSIZE:
            return IP_PACKET_TOO_BIG;
        case ENOBUFS:
        case ENOMEM:
        case EMFILE:
        case ENFILE:
        case EAGAIN:
            return IP_NO_RESOURCES;
        default:
            return IP_GENERAL_FAILURE;
    }
}
