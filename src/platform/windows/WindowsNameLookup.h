#pragma once
// Name lookup through WinSock: WSAStartup and WSACleanup around a probe, getaddrinfo for the
// name: its IPv4 addresses, as ever; its IPv6 ones when it has no IPv4 address; an IPv6 address
// written out as it stands. getaddrinfo reports in WinSock numbering already.

#include "platform/NameLookup.h"

class TWindowsNameLookup : public TNameLookup {
public:
    int Startup(uint16_t version) override;
    void Cleanup() override;
    // With a stop signal the resolver runs on a helper thread of its own, so the wait for it
    // can give up when the signal is raised; the helper then finishes alone and cleans up.
    int GetHostByName(const std::string& name, THostEntry& entry,
                      TStopSignal stop = kNoStopSignal) override;

    // getaddrinfo's codes as the interface reports them: WSAHOST_NOT_FOUND, WSATRY_AGAIN and
    // WSANO_DATA as they are, everything else WSANO_RECOVERY.
    static int MapResolverError(int code);
};
