#pragma once
// Name lookup through WinSock: WSAStartup and WSACleanup around a probe, getaddrinfo for the
// name: its IPv4 addresses, as ever; its IPv6 ones when it has no IPv4 address; an IPv6 address
// written out as it stands. getaddrinfo reports in WinSock numbering already.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/NameLookup.h"

class TWindowsNameLookup : public TNameLookup {
public:
    int Startup(uint16_t version) override;
    void Cleanup() override;
    // The resolver can be given neither a time limit nor a stop, so a name runs through it on a
    // helper thread of its own (with its own hold on WinSock): the wait for it gives up at its
    // time limit or stop signal, and the helper then finishes alone and cleans up. A name whose
    // resolver has not answered yet gets no second helper. An address written out is answered
    // at once.
    std::unique_ptr<TLookupRequest> StartLookup(const std::string& name) override;

    // getaddrinfo's codes as the interface reports them: WSAHOST_NOT_FOUND, WSATRY_AGAIN and
    // WSANO_DATA as they are, everything else WSANO_RECOVERY.
    static int MapResolverError(int code);

    struct TPending;

private:
    // The lookups whose resolver has not answered yet, by name.
    std::mutex FMutex;
    std::map<std::string, std::weak_ptr<TPending>> FUnderWay;
};
