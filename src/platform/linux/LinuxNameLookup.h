#pragma once
// Name lookup through the system resolver (getaddrinfo): a name's IPv4 addresses, as ever; its
// IPv6 ones when it has no IPv4 address; an IPv6 address written out as it stands.

#include <memory>
#include <string>

#include "platform/LookupHelpers.h"
#include "platform/NameLookup.h"

class TLinuxNameLookup : public TNameLookup {
public:
    // There is no network layer to start on Linux; the version is checked all the same, so a
    // caller asking for something other than 1.1 learns it as it would elsewhere.
    int Startup(uint16_t version) override;
    void Cleanup() override {}
    // getaddrinfo() can be neither interrupted nor given a time limit, so a name runs through
    // the resolver on a helper thread of its own: the wait for it gives up at its time limit or
    // stop signal, and the helper then finishes alone and cleans up. An address written out is
    // answered at once.
    std::unique_ptr<TLookupRequest> StartLookup(const std::string& name) override;

    // How resolver failures are reported in WinSock numbering:
    //   EAI_NONAME                                   -> 11001 WSAHOST_NOT_FOUND
    //   EAI_AGAIN                                    -> 11002 WSATRY_AGAIN
    //   EAI_NODATA, EAI_ADDRFAMILY, or a name with
    //   addresses but none of the family asked for   -> 11004 WSANO_DATA
    // A name neither family finds reports what the IPv4 query said.
    //   EAI_FAIL, EAI_MEMORY, EAI_SYSTEM, the rest   -> 11003 WSANO_RECOVERY
    //   an empty name or one holding a NUL byte      -> 10014 WSAEFAULT
    static int MapResolverError(int eaiCode);

private:
    // False for a name the resolver is not asked about: an empty one, one holding a NUL byte, an
    // IPv6 address written out.
    static bool Resolvable(const std::string& name);
    // The whole lookup of a name, as the helper makes it; the error as above.
    static int Lookup(const std::string& name, THostEntry& entry);
    // One resolver query for one address family, into `entry`.
    static int Resolve(const std::string& name, int family, THostEntry& entry);

    TLookupHelpers FHelpers{&TLinuxNameLookup::Lookup};
};
