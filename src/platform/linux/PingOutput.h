#pragma once
// What the system's ping (iputils, "ping -n", in the C locale) says about its echoes, read into
// the reply record the socket engines fill: line by line as it runs, or the whole output of a
// run that sent one echo.

#include <cstdint>
#include <string_view>

#include "platform/IcmpEcho.h"

// One line of ping's output.
struct TPingLine {
    enum class TKind {
        Other,
        Header,       // "PING 198.18.1.2 (198.18.1.2) 1023(1051) bytes of data.", before it sends
        Reply,        // a reply to echo Sequence: Reply's Address, DataSize and round trip
        Refused,      // a reply to echo Sequence that ping doubts (see below): none at all
        Report,       // an ICMP error report about echo Sequence: Reply's Address and Status
        SystemError,  // a local failure ("ping: sendmsg: Network is unreachable"): Error
        Denied,       // no socket for ping ("ping: socket: Operation not permitted"): Error
        Summary,      // " packets transmitted, "
    };
    TKind Kind = TKind::Other;
    uint32_t Sequence = 0;
    TEchoReply Reply;
    int Error = 0;  // an errno
};

// Reads a line (without its line break); `next` is the line after it where known, since ping
// tells of a reply with other data than it sent in a line of its own after the reply. A reply
// ping doubts is one it marks after its fields ("(DIFFERENT ADDRESS!)", "(truncated)", "(BAD
// CHECKSUM!)", "(DUP!)") or follows with "wrong data byte …".
TPingLine ReadPingLine(std::string_view line, std::string_view next);

// What SendEcho returns for the echo a line tells of, with the reply record filled as the
// socket engines fill it: a reply 0; a doubted reply or the summary IP_REQ_TIMED_OUT; an error
// report, a local failure or no permission as ParsePingOutput says below; anything else
// IP_GENERAL_FAILURE.
int PingLineStatus(const TPingLine& line, TEchoReply& reply);

// For the output of a whole run that sent one echo ("ping -c 1"), returns what SendEcho returns:
//   a reply line ("1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=20.1 ms")  -> 0, with
//       Address, DataSize and the round trip; RoundTripMicros stays -1 when the line has no
//       time or one beyond any wait (the stamp in its data came back changed);
//   a reply ping doubts is none: one it marks after its fields ("(DIFFERENT ADDRESS!)",
//       "(truncated)", "(BAD CHECKSUM!)", "(DUP!)") or follows with "wrong data byte …"; the
//       output reads as if it had not come;
//   an ICMP error report ("From 198.18.1.1 icmp_seq=1 Destination Host Unreachable") -> the
//       IP status the socket engines give for the same report, Address the reporter;
//   a local send error ("ping: sendmsg: Network is unreachable")     -> its errno's status;
//   no permission ("ping: socket: Operation not permitted")           -> ECHO_ERROR_ACCESS_DENIED;
//   the summary line with nothing received                           -> IP_REQ_TIMED_OUT;
//   anything else (garbage, output cut short, nothing)                -> IP_GENERAL_FAILURE.
// A reply wins over an error report in the same output (a redirect, say, then the reply).
int ParsePingOutput(std::string_view output, TEchoReply& reply);
