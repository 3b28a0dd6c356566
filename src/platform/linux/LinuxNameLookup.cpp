#include "platform/linux/LinuxNameLookup.h"

#include "platform/linux/AddressText.h"
#include "platform/linux/ReceiveDatagram.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

int TLinuxNameLookup::Startup(uint16_t version) {
    constexpr uint16_t kWinSock11 = 0x0101;
    return version == kWinSock11 ? 0 : WSAVERNOTSUPPORTED;
}

int TLinuxNameLookup::MapResolverError(int eaiCode) {
    switch (eaiCode) {
        case 0:
            return 0;
        case EAI_NONAME:
            return WSAHOST_NOT_FOUND;
        case EAI_AGAIN:
            return WSATRY_AGAIN;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return WSANO_DATA;
#endif
        default:
            return WSANO_RECOVERY;
    }
}

std::unique_ptr<TLookupRequest> TLinuxNameLookup::StartLookup(const std::string& name) {
    // Names that need no resolver are answered here and now.
    in_addr v4{};
    return FHelpers.Start(name, !Resolvable(name) || inet_pton(AF_INET, name.c_str(), &v4) == 1);
}

bool TLinuxNameLookup::Resolvable(const std::string& name) {
    const std::optional<TIpAddress> literal = ParseAddressText(name);
    return !name.empty() && name.find('\0') == std::string::npos && !(literal && literal->IsV6());
}

int TLinuxNameLookup::Lookup(const std::string& name, THostEntry& entry) {
    entry = THostEntry{};
    if (name.empty() || name.find('\0') != std::string::npos) {
        return WSAEFAULT;
    }
    // An IPv6 address written out (in brackets or with a zone too) needs no resolver.
    if (!Resolvable(name)) {
        entry.Name = name;
        entry.Addresses.push_back(*ParseAddressText(name));
        return 0;
    }
    const int v4 = Resolve(name, AF_INET, entry);
    // A name with no IPv4 address is reached over IPv6; anything else that went wrong reads
    // as it always has.
    if (v4 == WSAHOST_NOT_FOUND || v4 == WSANO_DATA) {
        THostEntry v6Entry;
        if (Resolve(name, AF_INET6, v6Entry) == 0) {
            entry = v6Entry;
            return 0;
        }
    }
    return v4;
}

int TLinuxNameLookup::Resolve(const std::string& name, int family, THostEntry& entry) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0) {
        if (result != nullptr) {
            freeaddrinfo(result);
        }
        return MapResolverError(rc);
    }
    for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == family && ai->ai_addr != nullptr &&
            ai->ai_addrlen <= sizeof(sockaddr_storage)) {
            sockaddr_storage address{};
            std::memcpy(&address, ai->ai_addr, ai->ai_addrlen);
            entry.Addresses.push_back(AddressOf(address));
        }
    }
    entry.Name =
        (result != nullptr && result->ai_canonname != nullptr) ? result->ai_canonname : name;
    freeaddrinfo(result);
    return entry.Addresses.empty() ? WSANO_DATA : 0;
}
