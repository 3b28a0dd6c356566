#pragma once
// Name lookup through WinSock: WSAStartup and WSACleanup around a probe, getaddrinfo for the
// name: its IPv4 addresses, as ever; its IPv6 ones when it has no IPv4 address; an IPv6 address
// written out as it stands. getaddrinfo reports in WinSock numbering already.

#include <memory>
#include <string>

#include "platform/LookupHelpers.h"
#include "platform/NameLookup.h"

class TWindowsNameLookup : public TNameLookup {
public:
    int Startup(uint16_t version) override;
    void Cleanup() override;
    // Each name on a helper thread of its own (LookupHelpers.h), which holds WinSock itself;
    // an address written out is answered at once.
    std::unique_ptr<TLookupRequest> StartLookup(const std::string& name) override;

    // getaddrinfo's codes as the interface reports them: WSAHOST_NOT_FOUND, WSATRY_AGAIN and
    // WSANO_DATA as they are, everything else WSANO_RECOVERY.
    static int MapResolverError(int code);

private:
    // The whole lookup of a name, with a hold on WinSock of its own.
    static int HeldLookup(const std::string& name, THostEntry& entry);

    TLookupHelpers FHelpers{&TWindowsNameLookup::HeldLookup};
};
