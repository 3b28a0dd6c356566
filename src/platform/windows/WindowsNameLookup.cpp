// The interface first: WinSock's headers define its error names as macros of the same values.
#include "platform/windows/WindowsNameLookup.h"

// WinSock 2 before windows.h, which would bring the old WinSock otherwise.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstring>

#include "platform/windows/Wide.h"

namespace {

TIpAddress AddressOf(const sockaddr* address) {
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return TIpAddress::V6(&v6->sin6_addr, v6->sin6_scope_id);
    }
    return TIpAddress(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

// One query for one family (or a written-out address, numeric), into entry.
int Resolve(const std::string& name, int family, bool numeric, THostEntry& entry) {
    ADDRINFOW hints{};
    hints.ai_family = family;
    hints.ai_flags = AI_CANONNAME | (numeric ? AI_NUMERICHOST : 0);
    ADDRINFOW* result = nullptr;
    const int rc = GetAddrInfoW(Widen(name).c_str(), nullptr, &hints, &result);
    if (rc != 0) {
        if (result != nullptr) {
            FreeAddrInfoW(result);
        }
        return TWindowsNameLookup::MapResolverError(rc);
    }
    for (const ADDRINFOW* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == family && ai->ai_addr != nullptr) {
            const TIpAddress address = AddressOf(ai->ai_addr);
            bool known = false;
            for (const TIpAddress& had : entry.Addresses) {
                known = known || had == address;
            }
            if (!known) {
                entry.Addresses.push_back(address);
            }
        }
    }
    entry.Name = name;
    if (result != nullptr && result->ai_canonname != nullptr) {
        entry.Name = Narrow(result->ai_canonname, wcslen(result->ai_canonname));
    }
    FreeAddrInfoW(result);
    return entry.Addresses.empty() ? WSANO_DATA : 0;
}

// An IPv6 address written out (in brackets too, or with a zone), which needs no resolver.
bool WrittenOutIpv6(const std::string& name, THostEntry& entry) {
    std::string literal = name;
    if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']') {
        literal = literal.substr(1, literal.size() - 2);
    }
    if (literal.find(':') == std::string::npos || Resolve(literal, AF_INET6, true, entry) != 0) {
        entry = THostEntry{};
        return false;
    }
    entry.Name = name;
    return true;
}

// The whole lookup of a name, as the helper makes it.
int Lookup(const std::string& name, THostEntry& entry) {
    entry = THostEntry{};
    if (name.empty() || name.find('\0') != std::string::npos) {
        return WSAEFAULT;
    }
    if (WrittenOutIpv6(name, entry)) {
        return 0;
    }
    const int v4 = Resolve(name, AF_INET, false, entry);
    // A name with no IPv4 address is reached over IPv6; anything else that went wrong reads
    // as it always has.
    if (v4 == WSAHOST_NOT_FOUND || v4 == WSANO_DATA) {
        THostEntry v6Entry;
        if (Resolve(name, AF_INET6, false, v6Entry) == 0) {
            entry = v6Entry;
            return 0;
        }
    }
    return v4;
}

}  // namespace

int TWindowsNameLookup::Startup(uint16_t version) {
    WSADATA data{};
    return WSAStartup(version, &data);
}

void TWindowsNameLookup::Cleanup() {
    WSACleanup();
}

int TWindowsNameLookup::MapResolverError(int code) {
    switch (code) {
        case 0:
            return 0;
        case WSAHOST_NOT_FOUND:
        case WSATRY_AGAIN:
        case WSANO_DATA:
            return code;
        default:
            return WSANO_RECOVERY;
    }
}

std::unique_ptr<TLookupRequest> TWindowsNameLookup::StartLookup(const std::string& name) {
    // Names that need no resolver are answered here and now.
    THostEntry literal;
    in_addr v4{};
    return FHelpers.Start(name, name.empty() || name.find('\0') != std::string::npos ||
                                    InetPtonW(AF_INET, Widen(name).c_str(), &v4) == 1 ||
                                    WrittenOutIpv6(name, literal));
}

int TWindowsNameLookup::HeldLookup(const std::string& name, THostEntry& entry) {
    // A hold of its own: the probe's WSACleanup may come while the resolver still runs.
    WSADATA data{};
    const bool held = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    const int code = Lookup(name, entry);
    if (held) {
        WSACleanup();
    }
    return code;
}
