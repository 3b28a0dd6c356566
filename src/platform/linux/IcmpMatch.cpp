#include "platform/linux/IcmpMatch.h"

#include <algorithm>
#include <limits>

#include "platform/IcmpEcho.h"
#include "platform/linux/IcmpWire.h"

namespace {

bool CarriesOurIds(const TEchoRequestId& request, const TIcmpMessage& message) {
    return message.Identifier == request.Identifier && message.Sequence == request.Sequence;
}

// Our reply: our numbers, from the destination (the kernel names a link-local sender with its
// link, as our destination carries it), with our data whole.
std::optional<TEchoAnswer> Reply(const TEchoRequestId& request, const TIcmpMessage& message,
                                 const TIpAddress& from) {
    if (!CarriesOurIds(request, message) || from != request.Destination ||
        !std::equal(message.Body.begin(), message.Body.end(), request.Payload.begin(),
                    request.Payload.end())) {
        return std::nullopt;
    }
    TEchoAnswer answer;
    answer.Status = IP_SUCCESS;
    answer.Address = from;
    answer.DataSize = static_cast<uint16_t>(
        std::min<size_t>(message.Body.size(), std::numeric_limits<uint16_t>::max()));
    return answer;
}

std::optional<TEchoAnswer> Report(uint32_t status, const TIpAddress& from) {
    TEchoAnswer answer;
    answer.Status = status;
    answer.Address = from;
    return answer;
}

}  // namespace

std::optional<TEchoAnswer> MatchRawDatagram(const TEchoRequestId& request,
                                            std::span<const uint8_t> packet) {
    const auto datagram = ReadIpv4Datagram(packet);
    if (!datagram || datagram->Protocol != kIpProtocolIcmp ||
        InternetChecksum(datagram->Payload) != 0) {
        return std::nullopt;
    }
    const auto message = ReadIcmpMessage(datagram->Payload);
    if (!message) {
        return std::nullopt;
    }
    if (message->Type == kIcmpEchoReply) {
        return Reply(request, *message, datagram->Source);
    }
    const uint32_t status = IcmpErrorStatus(message->Type, message->Code);
    // An error report quotes the IP header of the datagram it is about and at least the first
    // eight bytes of its payload: our request's type, identifier and sequence number.
    const auto quoted = ReadIpv4Datagram(message->Body);
    if (status == 0 || !quoted || quoted->Protocol != kIpProtocolIcmp ||
        quoted->Destination != request.Destination) {
        return std::nullopt;
    }
    const auto sent = ReadIcmpMessage(quoted->Payload);
    if (!sent || sent->Type != kIcmpEchoRequest || !CarriesOurIds(request, *sent)) {
        return std::nullopt;
    }
    return Report(status, datagram->Source);
}

std::optional<TEchoAnswer> MatchPingMessage(const TEchoRequestId& request,
                                            std::span<const uint8_t> message,
                                            const TIpAddress& from) {
    const auto read = ReadIcmpMessage(message);
    if (!read || read->Type != kIcmpEchoReply) {
        return std::nullopt;
    }
    return Reply(request, *read, from);
}

std::optional<TEchoAnswer> MatchIcmp6Message(const TEchoRequestId& request,
                                             std::span<const uint8_t> message,
                                             const TIpAddress& from) {
    const auto read = ReadIcmpMessage(message);
    if (!read || !request.Destination.IsV6()) {
        return std::nullopt;
    }
    if (read->Type == kIcmp6EchoReply) {
        return Reply(request, *read, from);
    }
    // An error report quotes as much of the packet it is about as fits: our request's header
    // with its destination, and our identifier and sequence number after it.
    const uint32_t status = Icmp6ErrorStatus(read->Type, read->Code);
    const auto quoted = ReadIpv6Packet(read->Body);
    if (status == 0 || !quoted || quoted->NextHeader != kIpProtocolIcmp6 ||
        TIpAddress::V6(quoted->Destination.data(), request.Destination.ScopeId()) !=
            request.Destination) {
        return std::nullopt;
    }
    const auto sent = ReadIcmpMessage(quoted->Payload);
    if (!sent || sent->Type != kIcmp6EchoRequest || !CarriesOurIds(request, *sent)) {
        return std::nullopt;
    }
    return Report(status, from);
}

std::optional<TEchoAnswer> MatchQueuedError(const TEchoRequestId& request, uint8_t type,
                                            uint8_t code, const TIpAddress& offender,
                                            const TIpAddress& quotedDestination,
                                            std::span<const uint8_t> quoted) {
    const bool v6 = request.Destination.IsV6();
    const uint32_t status = v6 ? Icmp6ErrorStatus(type, code) : IcmpErrorStatus(type, code);
    const auto sent = ReadIcmpMessage(quoted);
    // The kernel names the quoted destination without the scope our request carried.
    const bool ours = v6 ? quotedDestination.IsV6() &&
                               quotedDestination.V6Bytes() == request.Destination.V6Bytes()
                         : quotedDestination == request.Destination;
    if (status == 0 || !ours || !sent ||
        sent->Type != (v6 ? kIcmp6EchoRequest : kIcmpEchoRequest) ||
        !CarriesOurIds(request, *sent)) {
        return std::nullopt;
    }
    return Report(status, offender);
}
