#pragma once
// What one run of the system's ping (iputils, "ping -n -c 1", in the C locale) says about its
// one echo, read into the reply record the socket engines fill.

#include <string_view>

#include "platform/IcmpEcho.h"

// Returns what SendEcho returns:
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
