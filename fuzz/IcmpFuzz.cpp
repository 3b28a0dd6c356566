// Feeds arbitrary bytes to the ICMP reply matching, as each socket kind hands them over: whole
// IPv4 datagrams (raw socket), ICMP messages with their sender (datagram socket) and error-queue
// entries; for IPv6, ICMPv6 messages with their sender (either socket kind) and error-queue
// entries. Besides what the sanitizers catch, an answer must be what the bytes say: a reply only
// for an echo reply with the request's identifier and sequence, from the request's destination,
// echoing exactly the data the request carried, and an error only in the IP status numbering.
//
// Input: one byte for the kind (raw, message, queued error, ICMPv6 message, ICMPv6 queued error:
// the byte modulo 5) and for the data the request carried (the byte divided by 5, modulo 4: the
// data the bytes echo, so that a captured reply is ours; that data with its last byte changed;
// cut one byte short; one byte longer), the request (destination, four bytes or sixteen for the
// IPv6 kinds, then identifier and sequence in network order), for a message its sender, for a
// queued error the report's type, code, sender and quoted destination; the bytes as received
// follow.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "platform/IcmpEcho.h"
#include "platform/linux/IcmpMatch.h"
#include "platform/linux/IcmpWire.h"

namespace {

class TReader {
public:
    explicit TReader(std::span<const uint8_t> bytes) : FBytes(bytes) {}
    uint8_t Byte() { return FBytes.empty() ? 0 : Take(1)[0]; }
    uint16_t Word() { return static_cast<uint16_t>((Byte() << 8) | Byte()); }
    uint32_t Address() {
        uint32_t a = 0;
        const auto bytes = Take(4);
        std::memcpy(&a, bytes.data(), bytes.size());
        return a;
    }
    TIpAddress Address6() {
        uint8_t bytes[16] = {};
        const auto taken = Take(16);
        std::memcpy(bytes, taken.data(), taken.size());
        return TIpAddress::V6(bytes);
    }
    std::span<const uint8_t> Rest() const { return FBytes; }

private:
    std::span<const uint8_t> Take(size_t n) {
        const auto part = FBytes.first(std::min(n, FBytes.size()));
        FBytes = FBytes.subspan(part.size());
        return part;
    }
    std::span<const uint8_t> FBytes;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "icmp fuzz: %s\n", what);
    std::abort();
}

bool KnownStatus(uint32_t status) {
    return (status >= IP_BUF_TOO_SMALL && status <= IP_BAD_DESTINATION) ||
           status == IP_NEGOTIATING_IPSEC || status == IP_GENERAL_FAILURE;
}

// The reply the message must be, read afresh.
void CheckReply(const TEchoRequestId& request, const TEchoAnswer& answer,
                std::span<const uint8_t> message, const TIpAddress& from) {
    const auto read = ReadIcmpMessage(message);
    const uint8_t reply = request.Destination.IsV6() ? kIcmp6EchoReply : kIcmpEchoReply;
    if (!read || read->Type != reply || read->Identifier != request.Identifier ||
        read->Sequence != request.Sequence) {
        Fail("a reply that is not an echo reply with our numbers");
    }
    if (from != request.Destination || answer.Address != from) {
        Fail("a reply from another address than the request went to");
    }
    if (!std::equal(read->Body.begin(), read->Body.end(), request.Payload.begin(),
                    request.Payload.end()) ||
        answer.DataSize != std::min<size_t>(read->Body.size(), UINT16_MAX)) {
        Fail("a reply with other data than the request carried");
    }
}

// The data a request carried, from the data the bytes echo (`echoed`, empty when they are no
// echo message) as the input's data byte says.
std::vector<uint8_t> SentData(uint8_t how, std::span<const uint8_t> echoed) {
    std::vector<uint8_t> data(echoed.begin(), echoed.end());
    if (how == 1 && !data.empty()) {
        data.back() = static_cast<uint8_t>(~data.back());
    } else if (how == 2 && !data.empty()) {
        data.pop_back();
    } else if (how == 3) {
        data.push_back(0);
    }
    return data;
}

// The data an ICMP message echoes; empty for anything shorter than a header.
std::span<const uint8_t> Echoed(std::span<const uint8_t> message) {
    const auto read = ReadIcmpMessage(message);
    return read ? read->Body : std::span<const uint8_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReader in(std::span<const uint8_t>(data, size));
    const uint8_t first = in.Byte();
    const uint8_t kind = first % 5;
    const uint8_t how = (first / 5) % 4;
    TEchoRequestId request;
    request.Destination = kind >= 3 ? in.Address6() : TIpAddress(in.Address());
    request.Identifier = in.Word();
    request.Sequence = in.Word();
    std::vector<uint8_t> sent;

    std::optional<TEchoAnswer> answer;
    std::span<const uint8_t> message;
    TIpAddress sender;
    if (kind == 0) {
        const auto bytes = in.Rest();
        const auto datagram = ReadIpv4Datagram(bytes);
        if (datagram) {
            if (datagram->Header.data() != bytes.data() ||
                datagram->Payload.data() + datagram->Payload.size() > bytes.data() + bytes.size()) {
                Fail("a datagram read outside its bytes");
            }
            message = datagram->Payload;
            sender = datagram->Source;
        }
        sent = SentData(how, Echoed(message));
        request.Payload = sent;
        answer = MatchRawDatagram(request, bytes);
        if (!datagram && answer) {
            Fail("an answer from bytes that are no datagram");
        }
    } else if (kind == 1) {
        sender = in.Address();
        message = in.Rest();
        sent = SentData(how, Echoed(message));
        request.Payload = sent;
        answer = MatchPingMessage(request, message, sender);
        if (answer && answer->Address != sender) {
            Fail("a reply from another sender than the socket named");
        }
    } else if (kind == 3) {
        const TIpAddress from = in.Address6();
        sender = from;
        message = in.Rest();
        sent = SentData(how, Echoed(message));
        request.Payload = sent;
        answer = MatchIcmp6Message(request, message, from);
        if (answer && answer->Address != from) {
            Fail("an ICMPv6 answer from another sender than the socket named");
        }
        if (answer && answer->Status != IP_SUCCESS && !ReadIpv6Packet(message.subspan(8))) {
            Fail("an ICMPv6 report that quotes no IPv6 packet");
        }
    } else {
        const uint8_t type = in.Byte();
        const uint8_t code = in.Byte();
        const bool v6 = kind == 4;
        const TIpAddress offender = v6 ? in.Address6() : TIpAddress(in.Address());
        const TIpAddress quoted = v6 ? in.Address6() : TIpAddress(in.Address());
        answer = MatchQueuedError(request, type, code, offender, quoted, in.Rest());
        if (answer && (answer->Status == IP_SUCCESS || quoted.V6Bytes() != request.Destination.V6Bytes() ||
                       quoted.V4() != request.Destination.V4())) {
            Fail("a queued error that is no report about our request");
        }
    }
    if (answer) {
        if (answer->Status == IP_SUCCESS) {
            CheckReply(request, *answer, message, sender);
        } else if (!KnownStatus(answer->Status)) {
            Fail("a status outside the IP status numbering");
        }
    }
    return 0;
}
