#include "platform/linux/LinuxNameLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

int TLinuxNameLookup::GetHostByName(const std::string& name, THostEntry& entry) {
    entry = THostEntry{};
    if (name.empty() || name.find('\0') != std::string::npos) {
        return WSAEFAULT;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0) {
        if (result != nullptr) {
            freeaddrinfo(result);
        }
        // With AF_INET asked for, a name that exists only with IPv6 addresses comes back as
        // "no name" from some resolvers; telling it apart is not worth a second query.
        return MapResolverError(rc);
    }
    for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr != nullptr &&
            ai->ai_addrlen >= sizeof(sockaddr_in)) {
            const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
            entry.Addresses.push_back(sin->sin_addr.s_addr);
        }
    }
    entry.Name =
        (result != nullptr && result->ai_canonname != nullptr) ? result->ai_canonname : name;
    freeaddrinfo(result);
    return entry.Addresses.empty() ? WSANO_DATA : 0;
}
