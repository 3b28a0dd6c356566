#include "platform/linux/PingOutput.h"

#include <arpa/inet.h>
#include <string.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/AddressText.h"
#include "platform/linux/IcmpWire.h"

namespace {

// How ping names the ICMP error reports it prints, with the type and code they stand for; the
// status then comes from the same table the socket engines use. Longer texts come before the
// shorter ones they begin with.
struct TReportText {
    std::string_view Text;
    uint8_t Type;
    uint8_t Code;
    bool V6 = false;  // an ICMPv6 type and code
};
constexpr TReportText kReportTexts[] = {
    {"Destination unreachable: No route", kIcmp6DestUnreachable, 0, true},
    {"Destination unreachable: Administratively prohibited", kIcmp6DestUnreachable, 1, true},
    {"Destination unreachable: Beyond scope", kIcmp6DestUnreachable, 2, true},
    {"Destination unreachable: Address unreachable", kIcmp6DestUnreachable, 3, true},
    {"Destination unreachable: Port unreachable", kIcmp6DestUnreachable, 4, true},
    {"Destination unreachable: Source address failed", kIcmp6DestUnreachable, 5, true},
    {"Destination unreachable: Reject route", kIcmp6DestUnreachable, 6, true},
    {"Destination unreachable", kIcmp6DestUnreachable, 3, true},
    {"Packet too big", kIcmp6PacketTooBig, 0, true},
    {"Time exceeded: Hop limit", kIcmp6TimeExceeded, 0, true},
    {"Time exceeded: Defragmentation failure", kIcmp6TimeExceeded, 1, true},
    {"Destination Net Unreachable for Type of Service", kIcmpDestUnreachable, 11},
    {"Destination Host Unreachable for Type of Service", kIcmpDestUnreachable, 12},
    {"Destination Net Unreachable", kIcmpDestUnreachable, 0},
    {"Destination Host Unreachable", kIcmpDestUnreachable, 1},
    {"Destination Protocol Unreachable", kIcmpDestUnreachable, 2},
    {"Destination Port Unreachable", kIcmpDestUnreachable, 3},
    {"Frag needed and DF set", kIcmpDestUnreachable, 4},
    {"Source Route Failed", kIcmpDestUnreachable, 5},
    {"Destination Net Unknown", kIcmpDestUnreachable, 6},
    {"Destination Host Unknown", kIcmpDestUnreachable, 7},
    {"Source Host Isolated", kIcmpDestUnreachable, 8},
    {"Destination Net Prohibited", kIcmpDestUnreachable, 9},
    {"Destination Host Prohibited", kIcmpDestUnreachable, 10},
    {"Packet filtered", kIcmpDestUnreachable, 13},
    {"Precedence Violation", kIcmpDestUnreachable, 14},
    {"Precedence Cutoff", kIcmpDestUnreachable, 15},
    {"Dest Unreachable", kIcmpDestUnreachable, 1},
    {"Source Quench", kIcmpSourceQuench, 0},
    {"Time to live exceeded", kIcmpTimeExceeded, 0},
    {"Frag reassembly time exceeded", kIcmpTimeExceeded, 1},
    {"Time exceeded", kIcmpTimeExceeded, 0},
    {"Parameter problem", kIcmpParameterProblem, 0},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The address at the start of `text` ("198.18.1.2:" or "2001:2:0:1::2 "), taken off it.
std::optional<TIpAddress> TakeAddress(std::string_view& text) {
    std::string_view word = text.substr(0, text.find(' '));
    text.remove_prefix(word.size());
    if (!word.empty() && word.back() == ':') {
        word.remove_suffix(1);
    }
    return ParseAddressText(word);
}

// "20.123" -> 20123 microseconds; ping prints at most three decimals. A time beyond what a
// reply record can hold comes from a stamp that came back changed, not from a clock.
std::optional<int64_t> ParseMillis(std::string_view text) {
    int64_t whole = 0;
    const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), whole);
    if (error != std::errc() || whole < 0 || whole > int64_t{UINT32_MAX}) {
        return std::nullopt;
    }
    int64_t micros = whole * 1000;
    if (rest < text.data() + text.size() && *rest == '.') {
        int64_t scale = 100;
        for (const char* p = rest + 1; p < text.data() + text.size() && *p >= '0' && *p <= '9';
             ++p, scale /= 10) {
            micros += (*p - '0') * scale;
        }
    }
    return micros;
}

// The number after " icmp_seq=" and before the next blank; nullopt without one. A line cut
// short before the blank has not said which echo it answers.
std::optional<uint32_t> Sequence(std::string_view text) {
    const size_t at = text.find(" icmp_seq=");
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(at + 10);
    uint32_t sequence = 0;
    const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), sequence);
    if (error != std::errc() || rest == text.data() + text.size() || *rest != ' ') {
        return std::nullopt;
    }
    return sequence;
}

// "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=20.1 ms", and the line after it. ping
// takes whatever reply carries its identifier and sequence, but says so when it came from
// another address than the one pinged, cut short or with a bad checksum (a note in parentheses
// after the fields), or with other data than it sent (a line of its own after the reply). Such
// a reply may come from anyone who saw the request, and measures nothing.
bool ReadReplyLine(std::string_view line, std::string_view next, TPingLine& out) {
    size_t bytes = 0;
    const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), bytes);
    std::string_view tail(rest, static_cast<size_t>(line.data() + line.size() - rest));
    if (error != std::errc() || !StartsWith(tail, " bytes from ")) {
        return false;
    }
    tail.remove_prefix(std::string_view(" bytes from ").size());
    const std::optional<TIpAddress> from = TakeAddress(tail);
    const std::optional<uint32_t> sequence = Sequence(tail);
    if (!from || !sequence) {
        return false;
    }
    out.Sequence = *sequence;
    if (tail.find('(') != std::string_view::npos || StartsWith(next, "wrong data byte")) {
        out.Kind = TPingLine::TKind::Refused;
        return true;
    }
    out.Kind = TPingLine::TKind::Reply;
    TEchoReply& reply = out.Reply;
    reply.Address = *from;
    reply.DataSize = static_cast<uint16_t>(bytes >= kIcmpHeaderSize ? bytes - kIcmpHeaderSize : 0);
    const size_t time = tail.find(" time");
    if (time != std::string_view::npos && time + 6 < tail.size() &&
        (tail[time + 5] == '=' || tail[time + 5] == '<')) {
        if (const std::optional<int64_t> micros = ParseMillis(tail.substr(time + 6))) {
            reply.RoundTripMicros = *micros;
            reply.RoundTripTime = static_cast<uint32_t>((*micros + 500) / 1000);
        }
    }
    return true;
}

// "From 198.18.1.1 icmp_seq=1 Destination Host Unreachable": the status; none for reports that
// are no failure of the echo (a redirect).
bool ReadReportLine(std::string_view line, TPingLine& out) {
    if (!StartsWith(line, "From ")) {
        return false;
    }
    line.remove_prefix(5);
    const std::optional<TIpAddress> from = TakeAddress(line);
    const std::optional<uint32_t> sequence = Sequence(line);
    if (!from || !sequence) {
        return false;
    }
    line.remove_prefix(line.find(" icmp_seq=") + 1);
    line.remove_prefix(line.find(' ') + 1);
    for (const TReportText& report : kReportTexts) {
        if (StartsWith(line, report.Text)) {
            out.Kind = TPingLine::TKind::Report;
            out.Sequence = *sequence;
            out.Reply.Address = *from;
            out.Reply.Status = report.V6 ? Icmp6ErrorStatus(report.Type, report.Code)
                                         : IcmpErrorStatus(report.Type, report.Code);
            return true;
        }
    }
    return false;
}

// "ping: sendmsg: Network is unreachable": the errno whose text ends the line, or 0.
int ReadSystemError(std::string_view line) {
    if (!StartsWith(line, "ping: ")) {
        return 0;
    }
    for (int error = 1; error < 134; ++error) {
        const char* text = strerrordesc_np(error);
        if (text != nullptr && line.size() > std::string_view(text).size() &&
            line.substr(line.size() - std::string_view(text).size()) == text &&
            line[line.size() - std::string_view(text).size() - 1] == ' ') {
            return error;
        }
    }
    return 0;
}

}  // namespace

TPingLine ReadPingLine(std::string_view line, std::string_view next) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    TPingLine out;
    if (ReadReplyLine(line, next, out) || ReadReportLine(line, out)) {
        return out;
    }
    if (const int error = ReadSystemError(line); error != 0) {
        out.Error = error;
        // Only a socket that cannot be opened is a matter of permission; a send that a firewall
        // refuses fails as it would on our own socket.
        out.Kind = StartsWith(line, "ping: socket: ") ? TPingLine::TKind::Denied
                                                      : TPingLine::TKind::SystemError;
    } else if (StartsWith(line, "PING ")) {
        out.Kind = TPingLine::TKind::Header;
    } else if (line.find(" packets transmitted, ") != std::string_view::npos) {
        out.Kind = TPingLine::TKind::Summary;
    }
    return out;
}

int PingLineStatus(const TPingLine& line, TEchoReply& reply) {
    using TKind = TPingLine::TKind;
    switch (line.Kind) {
        case TKind::Reply:
            reply = line.Reply;
            reply.Status = IP_SUCCESS;
            return 0;
        case TKind::Report:
            reply.Address = line.Reply.Address;
            reply.Status = line.Reply.Status;
            return static_cast<int>(reply.Status);
        case TKind::Denied:
            reply.Status = IP_GENERAL_FAILURE;
            return ECHO_ERROR_ACCESS_DENIED;
        case TKind::SystemError:
            reply.Status = SocketErrorStatus(line.Error);
            return static_cast<int>(reply.Status);
        case TKind::Refused:
        case TKind::Summary:
            reply.Status = IP_REQ_TIMED_OUT;
            return IP_REQ_TIMED_OUT;
        case TKind::Header:
        case TKind::Other:
            break;
    }
    reply.Status = IP_GENERAL_FAILURE;
    return IP_GENERAL_FAILURE;
}

int ParsePingOutput(std::string_view output, TEchoReply& reply) {
    reply = TEchoReply{};
    // What the one echo came to, by the weight of what ping said: a reply, else an error report
    // about it, else a socket it could not have, else a failed send, else the summary.
    TPingLine outcome;
    const auto weight = [](TPingLine::TKind kind) {
        using TKind = TPingLine::TKind;
        return kind == TKind::Reply         ? 5
               : kind == TKind::Report      ? 4
               : kind == TKind::Denied      ? 3
               : kind == TKind::SystemError ? 2
               : kind == TKind::Summary     ? 1
                                            : 0;
    };
    while (!output.empty()) {
        const size_t end = output.find('\n');
        const std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        TPingLine read = ReadPingLine(line, output.substr(0, output.find('\n')));
        // ping takes any reply with its identifier for one of its own; the one echo it sent is
        // the first.
        if ((read.Kind == TPingLine::TKind::Reply || read.Kind == TPingLine::TKind::Report) &&
            read.Sequence != 1) {
            continue;
        }
        // The first of each kind counts.
        if (weight(read.Kind) > weight(outcome.Kind)) {
            outcome = read;
        }
    }
    return PingLineStatus(outcome, reply);
}
