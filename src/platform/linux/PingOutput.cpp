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

bool FirstSequence(std::string_view text) {
    const size_t at = text.find(" icmp_seq=");
    return at != std::string_view::npos && text.substr(at + 10, 2) == "1 ";
}

// "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=20.1 ms", and the line after it. ping
// takes whatever reply carries its identifier and sequence, but says so when it came from
// another address than the one pinged, cut short or with a bad checksum (a note in parentheses
// after the fields), or with other data than it sent (a line of its own after the reply). Such
// a reply may come from anyone who saw the request, and measures nothing.
bool ReadReplyLine(std::string_view line, std::string_view next, TEchoReply& reply) {
    size_t bytes = 0;
    const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), bytes);
    std::string_view tail(rest, static_cast<size_t>(line.data() + line.size() - rest));
    if (error != std::errc() || !StartsWith(tail, " bytes from ")) {
        return false;
    }
    tail.remove_prefix(std::string_view(" bytes from ").size());
    const std::optional<TIpAddress> from = TakeAddress(tail);
    // Without the sequence the line was cut short before it said which echo it answers. ping
    // takes any reply with its identifier for one of its own; the one echo it sent is the first.
    if (!from || !FirstSequence(tail) || tail.find('(') != std::string_view::npos ||
        StartsWith(next, "wrong data byte")) {
        return false;
    }
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

// "From 198.18.1.1 icmp_seq=1 Destination Host Unreachable": the status, or 0 for reports
// that are no failure of the echo (a redirect).
uint32_t ReadReportLine(std::string_view line, TEchoReply& reply) {
    if (!StartsWith(line, "From ")) {
        return 0;
    }
    line.remove_prefix(5);
    const std::optional<TIpAddress> from = TakeAddress(line);
    const size_t sequence = line.find("icmp_seq=");
    if (!from || !FirstSequence(line)) {
        return 0;
    }
    const size_t text = line.find(' ', sequence);
    if (text == std::string_view::npos) {
        return 0;
    }
    line.remove_prefix(text + 1);
    for (const TReportText& report : kReportTexts) {
        if (StartsWith(line, report.Text)) {
            reply.Address = *from;
            return report.V6 ? Icmp6ErrorStatus(report.Type, report.Code)
                             : IcmpErrorStatus(report.Type, report.Code);
        }
    }
    return 0;
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

int ParsePingOutput(std::string_view output, TEchoReply& reply) {
    reply = TEchoReply{};
    uint32_t reported = 0;
    int systemError = 0;
    bool summary = false;
    // Only a socket that cannot be opened is a matter of permission; a send that a firewall
    // refuses fails as it would on our own socket.
    bool denied = false;
    while (!output.empty()) {
        const size_t end = output.find('\n');
        std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        TEchoReply candidate;
        if (ReadReplyLine(line, output.substr(0, output.find('\n')), candidate)) {
            reply = candidate;
            reply.Status = IP_SUCCESS;
            return 0;
        }
        if (reported == 0) {
            reported = ReadReportLine(line, candidate);
            if (reported != 0) {
                reply.Address = candidate.Address;
            }
        }
        if (systemError == 0) {
            systemError = ReadSystemError(line);
            denied = systemError != 0 && StartsWith(line, "ping: socket: ");
        }
        summary = summary || line.find(" packets transmitted, ") != std::string_view::npos;
    }
    if (reported != 0) {
        reply.Status = reported;
        return static_cast<int>(reported);
    }
    if (denied) {
        reply.Status = IP_GENERAL_FAILURE;
        return ECHO_ERROR_ACCESS_DENIED;
    }
    if (systemError != 0) {
        reply.Status = SocketErrorStatus(systemError);
        return static_cast<int>(reply.Status);
    }
    reply.Status = summary ? IP_REQ_TIMED_OUT : IP_GENERAL_FAILURE;
    return static_cast<int>(reply.Status);
}
