#pragma once
// One ICMP echo, as the probe engine sees it: open a handle, send one request and wait for its
// reply, close the handle. Outcomes are reported in the IP status numbering of echo replies.

#include <cstdint>
#include <span>
#include <string>

#include "platform/IpAddress.h"
#include "platform/StopSignal.h"

enum TIpStatus : uint32_t {
    IP_SUCCESS = 0,
    IP_BUF_TOO_SMALL = 11001,
    IP_DEST_NET_UNREACHABLE = 11002,
    IP_DEST_HOST_UNREACHABLE = 11003,
    IP_DEST_PROT_UNREACHABLE = 11004,
    IP_DEST_PORT_UNREACHABLE = 11005,
    IP_NO_RESOURCES = 11006,
    IP_BAD_OPTION = 11007,
    IP_HW_ERROR = 11008,
    IP_PACKET_TOO_BIG = 11009,
    IP_REQ_TIMED_OUT = 11010,
    IP_BAD_REQ = 11011,
    IP_BAD_ROUTE = 11012,
    IP_TTL_EXPIRED_TRANSIT = 11013,
    IP_TTL_EXPIRED_REASSEM = 11014,
    IP_PARAM_PROBLEM = 11015,
    IP_SOURCE_QUENCH = 11016,
    IP_OPTION_TOO_BIG = 11017,
    IP_BAD_DESTINATION = 11018,
    IP_NEGOTIATING_IPSEC = 11032,
    IP_GENERAL_FAILURE = 11050,
};

// Error codes that are not IP status numbers.
enum TEchoCallError : int {
    ECHO_ERROR_ACCESS_DENIED = 5,   // no permission to send ICMP at all
    ECHO_ERROR_INVALID_HANDLE = 6,  // the handle was never opened
    ECHO_ERROR_INVALID_PARAMETER = 87,
    ECHO_ERROR_CANCELLED = 1223,  // the stop signal was raised while waiting for the reply
};

// The reply record of one echo call.
struct TEchoReply {
    TIpAddress Address;            // who answered
    uint32_t Status = 0;           // a TIpStatus
    uint32_t RoundTripTime = 0;    // whole milliseconds, rounded to the nearest
    int64_t RoundTripMicros = -1;  // the raw measurement; -1 when there was none
    uint16_t DataSize = 0;         // echoed payload bytes
};

// The way echoes leave the machine, chosen once when the service is made.
enum class TEchoEngine {
    None,            // no way at all: every send fails with ECHO_ERROR_ACCESS_DENIED
    DatagramSocket,  // an ICMP datagram socket, which the kernel allows some groups
    RawSocket,       // a raw ICMP socket, opened while the process had the privilege
    SystemPing,      // the system's ping program: one run per host while passes repeat
    IcmpLibrary,     // Windows' ICMP helper (IcmpSendEcho2, Icmp6SendEcho2), open to every user
};

// The engine in a few words, for the About page and the diagnostic log (`word` false), or as
// one stable word for machines that read it: datagram, raw, ping, none (`word` true).
inline const char* EchoEngineName(TEchoEngine engine, bool word = false) {
    switch (engine) {
        case TEchoEngine::DatagramSocket:
            return word ? "datagram" : "ICMP datagram socket";
        case TEchoEngine::RawSocket:
            return word ? "raw" : "raw ICMP socket";
        case TEchoEngine::SystemPing:
            return word ? "ping" : "system ping program";
        case TEchoEngine::IcmpLibrary:
            return word ? "icmp" : "Windows ICMP helper";
        case TEchoEngine::None:
            break;
    }
    return word ? "none" : "none (no permission to send ICMP)";
}

using TEchoHandle = intptr_t;
inline constexpr TEchoHandle INVALID_ECHO_HANDLE = -1;

class TIcmpEcho {
public:
    virtual ~TIcmpEcho() = default;

    // Opens what one echo needs; INVALID_ECHO_HANDLE when that is impossible (the send then
    // fails with an error code).
    virtual TEchoHandle CreateFile() = 0;
    virtual void CloseHandle(TEchoHandle handle) = 0;

    // Sends one echo request carrying the payload to an IPv4 or IPv6 destination and
    // waits up to timeoutMs for the matching reply. Returns the error code the call leaves:
    // 0 when the reply arrived (Reply filled), else an IP status number or a TEchoCallError.
    // On failure Reply.Status holds the status where one is known, else 0. The wait gives up
    // with ECHO_ERROR_CANCELLED as soon as `stop` is raised.
    virtual int SendEcho(TEchoHandle handle, const TIpAddress& destination,
                         std::span<const uint8_t> payload, uint32_t timeoutMs, TEchoReply& reply,
                         TStopSignal stop = kNoStopSignal) = 0;

    // The echoes sent between BeginPass and EndPass are a pass, one echo per destination, and
    // passes repeat every periodMs. An engine that runs a helper per destination may keep it
    // for the next pass; EndPass lets go of those the pass did not use. Echoes outside a pass
    // stand alone.
    virtual void BeginPass(uint32_t periodMs) { (void)periodMs; }
    virtual void EndPass() {}

    // Empty while echoes can be sent; otherwise, in plain words, why not and what fixes it.
    virtual std::string PermissionProblem() const = 0;

    virtual TEchoEngine Engine() const = 0;
    // One sentence: which engine is in use and why that one.
    virtual std::string EngineChoice() const = 0;
};
