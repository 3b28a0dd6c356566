#pragma once
// Host-name lookup as the probe engine sees it: a network layer that is started and ended around
// every probe, and lookups that run side by side, each waited for within a time limit, and that
// report failure through WinSock error numbers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/IpAddress.h"
#include "platform/StopSignal.h"

// WinSock error numbers: the numbering in which start-up and lookup failures are reported,
// whatever the platform underneath.
enum TWinSockError : int {
    WSAEINTR = 10004,
    WSAEFAULT = 10014,
    WSAEINPROGRESS = 10036,
    WSAENETDOWN = 10050,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// What a successful lookup yields; the first address is the destination. A name's IPv4
// addresses when it has any, else its IPv6 ones.
struct THostEntry {
    std::string Name;
    std::vector<TIpAddress> Addresses;
};

// A lookup under way. Letting go of it stops the waiting, not the lookup, which may finish
// alone.
class TLookupRequest {
public:
    virtual ~TLookupRequest() = default;
    // Waits for the answer, and may be asked again for the same one. Returns the error code the
    // lookup leaves behind: 0 on success (Entry then holds the addresses), else a WinSock error
    // number; WSATRY_AGAIN when no answer came within timeoutMs (as a resolver says of a
    // server that does not answer; 0 only takes an answer that is there, kNoTimeLimit waits as
    // long as the resolver does); WSAEINTR when `stop` was raised before the answer came.
    virtual int Wait(THostEntry& entry, int timeoutMs, TStopSignal stop) = 0;
};

inline constexpr int kNoTimeLimit = -1;

class TNameLookup {
public:
    virtual ~TNameLookup() = default;

    // Starts the network layer for one probe. Returns 0 or a WinSock error number; only a
    // start-up that returned 0 is balanced by Cleanup().
    virtual int Startup(uint16_t version) = 0;
    virtual void Cleanup() = 0;

    // Starts resolving a name and returns at once, so that several names can be looked up side
    // by side.
    virtual std::unique_ptr<TLookupRequest> StartLookup(const std::string& name) = 0;

    // Resolves a name: starts the lookup and waits for it.
    int GetHostByName(const std::string& name, THostEntry& entry, TStopSignal stop = kNoStopSignal,
                      int timeoutMs = kNoTimeLimit) {
        return StartLookup(name)->Wait(entry, timeoutMs, stop);
    }
};
