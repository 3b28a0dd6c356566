#include "platform/linux/LinuxNameLookup.h"

#include "platform/linux/AddressText.h"
#include "platform/linux/ReceiveDatagram.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Not a getaddrinfo() code: those are 0 or negative.
constexpr int kStopped = 1;

// One resolver call shared by the helper thread that makes it and the wait for it. Whichever of
// the two lets go last frees the answer.
struct TPendingLookup {
    std::string Name;
    addrinfo Hints{};
    int Done = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::mutex Mutex;
    int Code = 0;
    addrinfo* Result = nullptr;
    ~TPendingLookup() {
        if (Result != nullptr) {
            freeaddrinfo(Result);
        }
        if (Done >= 0) {
            close(Done);
        }
    }
};

// getaddrinfo() itself cannot be interrupted. Returns its code with `result` handed over, or
// kStopped when the stop signal was raised first (or is raised already).
int ResolveUnlessStopped(const std::string& name, const addrinfo& hints, addrinfo*& result,
                         TStopSignal stop) {
    auto pending = std::make_shared<TPendingLookup>();
    pending->Name = name;
    pending->Hints = hints;
    if (pending->Done < 0) {
        return getaddrinfo(name.c_str(), nullptr, &hints, &result);
    }
    try {
        std::thread([pending] {
            addrinfo* answer = nullptr;
            const int code = getaddrinfo(pending->Name.c_str(), nullptr, &pending->Hints, &answer);
            std::lock_guard<std::mutex> lock(pending->Mutex);
            pending->Code = code;
            pending->Result = answer;
            (void)!eventfd_write(pending->Done, 1);
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: resolve here, without the stop.
        return getaddrinfo(name.c_str(), nullptr, &hints, &result);
    }
    pollfd waits[2] = {{static_cast<int>(stop), POLLIN, 0}, {pending->Done, POLLIN, 0}};
    for (;;) {
        if (poll(waits, 2, -1) < 0 && errno != EINTR) {
            return EAI_SYSTEM;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            return kStopped;
        }
        if ((waits[1].revents & POLLIN) != 0) {
            break;
        }
    }
    std::lock_guard<std::mutex> lock(pending->Mutex);
    result = pending->Result;
    pending->Result = nullptr;
    return pending->Code;
}

}  // namespace

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

int TLinuxNameLookup::GetHostByName(const std::string& name, THostEntry& entry, TStopSignal stop) {
    entry = THostEntry{};
    if (name.empty() || name.find('\0') != std::string::npos) {
        return WSAEFAULT;
    }
    // An IPv6 address written out (in brackets or with a zone too) needs no resolver.
    if (const std::optional<TIpAddress> literal = ParseAddressText(name);
        literal && literal->IsV6()) {
        entry.Name = name;
        entry.Addresses.push_back(*literal);
        return 0;
    }
    const int v4 = Resolve(name, AF_INET, entry, stop);
    // A name with no IPv4 address is reached over IPv6; anything else that went wrong reads
    // as it always has.
    if (v4 == WSAHOST_NOT_FOUND || v4 == WSANO_DATA) {
        THostEntry v6Entry;
        if (Resolve(name, AF_INET6, v6Entry, stop) == 0) {
            entry = v6Entry;
            return 0;
        }
    }
    return v4;
}

int TLinuxNameLookup::Resolve(const std::string& name, int family, THostEntry& entry,
                              TStopSignal stop) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    // An address written out needs no resolver and so no helper to wait for.
    in_addr literal{};
    const bool waits = stop != kNoStopSignal && inet_pton(AF_INET, name.c_str(), &literal) != 1;
    const int rc = waits ? ResolveUnlessStopped(name, hints, result, stop)
                         : getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc == kStopped) {
        return WSAEINTR;
    }
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
