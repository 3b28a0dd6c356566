// The interface first: WinSock's headers define its error names as macros of the same values.
#include "platform/windows/WindowsNameLookup.h"

// WinSock 2 before windows.h, which would bring the old WinSock otherwise.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/windows/Wide.h"

namespace {

// Not a getaddrinfo() code.
constexpr int kStopped = -1;

// One resolver call shared by the helper thread that makes it and the wait for it. Whichever of
// the two lets go last frees the answer.
struct TPendingLookup {
    std::wstring Name;
    ADDRINFOW Hints{};
    HANDLE Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::mutex Mutex;
    int Code = 0;
    ADDRINFOW* Result = nullptr;
    ~TPendingLookup() {
        if (Result != nullptr) {
            FreeAddrInfoW(Result);
        }
        if (Done != nullptr) {
            CloseHandle(Done);
        }
    }
};

int ResolveUnlessStopped(const std::wstring& name, const ADDRINFOW& hints, ADDRINFOW*& result,
                         TStopSignal stop) {
    auto pending = std::make_shared<TPendingLookup>();
    pending->Name = name;
    pending->Hints = hints;
    if (stop == kNoStopSignal || pending->Done == nullptr) {
        return GetAddrInfoW(name.c_str(), nullptr, &hints, &result);
    }
    try {
        std::thread([pending] {
            ADDRINFOW* answer = nullptr;
            const int code = GetAddrInfoW(pending->Name.c_str(), nullptr, &pending->Hints, &answer);
            std::lock_guard<std::mutex> lock(pending->Mutex);
            pending->Code = code;
            pending->Result = answer;
            SetEvent(pending->Done);
        }).detach();
    } catch (const std::system_error&) {
        return GetAddrInfoW(name.c_str(), nullptr, &hints, &result);
    }
    HANDLE waits[2] = {reinterpret_cast<HANDLE>(stop), pending->Done};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        return kStopped;
    }
    std::lock_guard<std::mutex> lock(pending->Mutex);
    result = pending->Result;
    pending->Result = nullptr;
    return pending->Code;
}

TIpAddress AddressOf(const sockaddr* address) {
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return TIpAddress::V6(&v6->sin6_addr, v6->sin6_scope_id);
    }
    return TIpAddress(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

// One query for one family (or a written-out address, numeric), into entry.
int Resolve(const std::string& name, int family, bool numeric, THostEntry& entry,
            TStopSignal stop) {
    ADDRINFOW hints{};
    hints.ai_family = family;
    hints.ai_flags = AI_CANONNAME | (numeric ? AI_NUMERICHOST : 0);
    ADDRINFOW* result = nullptr;
    const int rc = ResolveUnlessStopped(Widen(name), hints, result, numeric ? kNoStopSignal : stop);
    if (rc == kStopped) {
        return WSAEINTR;
    }
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

int TWindowsNameLookup::GetHostByName(const std::string& name, THostEntry& entry,
                                      TStopSignal stop) {
    entry = THostEntry{};
    if (name.empty() || name.find('\0') != std::string::npos) {
        return WSAEFAULT;
    }
    // An IPv6 address written out (in brackets too, or with a zone) needs no resolver.
    std::string literal = name;
    if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']') {
        literal = literal.substr(1, literal.size() - 2);
    }
    if (literal.find(':') != std::string::npos &&
        Resolve(literal, AF_INET6, true, entry, kNoStopSignal) == 0) {
        entry.Name = name;
        return 0;
    }
    entry = THostEntry{};
    const int v4 = Resolve(name, AF_INET, false, entry, stop);
    // A name with no IPv4 address is reached over IPv6; anything else that went wrong reads
    // as it always has.
    if (v4 == WSAHOST_NOT_FOUND || v4 == WSANO_DATA) {
        THostEntry v6Entry;
        if (Resolve(name, AF_INET6, false, v6Entry, stop) == 0) {
            entry = v6Entry;
            return 0;
        }
    }
    return v4;
}
