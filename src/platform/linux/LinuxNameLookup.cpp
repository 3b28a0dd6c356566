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
#include <chrono>
#include <cstring>
#include <optional>
#include <system_error>
#include <thread>

// One resolver call and its answer, shared by the helper thread that makes it and every request
// that waits for it; whichever lets go last frees it. The eventfd turns readable, and stays so,
// once the answer is there.
struct TLinuxNameLookup::TPending {
    int Done = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::mutex Mutex;
    bool Answered = false;
    int Code = 0;
    THostEntry Entry;

    TPending() = default;
    TPending(const TPending&) = delete;
    TPending& operator=(const TPending&) = delete;
    ~TPending() {
        if (Done >= 0) {
            close(Done);
        }
    }
    void Answer(int code, THostEntry entry) {
        std::lock_guard<std::mutex> lock(Mutex);
        Code = code;
        Entry = std::move(entry);
        Answered = true;
        (void)!eventfd_write(Done, 1);
    }
    bool IsAnswered() {
        std::lock_guard<std::mutex> lock(Mutex);
        return Answered;
    }
    // The answer, when it is there.
    std::optional<int> Take(THostEntry& entry) {
        std::lock_guard<std::mutex> lock(Mutex);
        if (!Answered) {
            return std::nullopt;
        }
        entry = Entry;
        return Code;
    }
};

namespace {

class TRequest : public TLookupRequest {
public:
    explicit TRequest(std::shared_ptr<TLinuxNameLookup::TPending> pending)
        : FPending(std::move(pending)) {}

    int Wait(THostEntry& entry, int timeoutMs, TStopSignal stop) override {
        entry = THostEntry{};
        using TClock = std::chrono::steady_clock;
        const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd waits[2] = {{static_cast<int>(stop), POLLIN, 0}, {FPending->Done, POLLIN, 0}};
        for (;;) {
            int waitMs = -1;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
                waitMs = static_cast<int>(std::max<int64_t>(left.count(), 0));
            }
            const int polled = poll(waits, 2, waitMs);
            if (polled < 0 && errno != EINTR) {
                return WSANO_RECOVERY;
            }
            if ((waits[0].revents & POLLIN) != 0) {
                return WSAEINTR;
            }
            if (const std::optional<int> code = FPending->Take(entry)) {
                return *code;
            }
            if (polled == 0 && waitMs >= 0) {
                return WSATRY_AGAIN;
            }
        }
    }

private:
    std::shared_ptr<TLinuxNameLookup::TPending> FPending;
};

std::shared_ptr<TLinuxNameLookup::TPending> Answered(int code, THostEntry entry) {
    auto pending = std::make_shared<TLinuxNameLookup::TPending>();
    pending->Answer(code, std::move(entry));
    return pending;
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

std::unique_ptr<TLookupRequest> TLinuxNameLookup::StartLookup(const std::string& name) {
    // Names that need no resolver are answered here and now.
    in_addr v4{};
    if (!Resolvable(name) || inet_pton(AF_INET, name.c_str(), &v4) == 1) {
        THostEntry entry;
        const int code = Lookup(name, entry);
        return std::make_unique<TRequest>(Answered(code, std::move(entry)));
    }
    std::lock_guard<std::mutex> lock(FMutex);
    // A name whose resolver has not answered yet gets no second helper: a resolver that never
    // answers then holds one helper per name, however often the name is asked for.
    for (auto it = FUnderWay.begin(); it != FUnderWay.end();) {
        const std::shared_ptr<TPending> pending = it->second.lock();
        it = pending == nullptr || pending->IsAnswered() ? FUnderWay.erase(it) : std::next(it);
    }
    if (const auto it = FUnderWay.find(name); it != FUnderWay.end()) {
        if (std::shared_ptr<TPending> pending = it->second.lock()) {
            return std::make_unique<TRequest>(std::move(pending));
        }
    }
    auto pending = std::make_shared<TPending>();
    try {
        if (pending->Done < 0) {
            throw std::system_error(errno, std::generic_category());
        }
        std::thread([pending, name] {
            THostEntry entry;
            const int code = Lookup(name, entry);
            pending->Answer(code, std::move(entry));
        }).detach();
    } catch (const std::system_error&) {
        // No helper to be had: the lookup is made here, without a time limit.
        THostEntry entry;
        const int code = Lookup(name, entry);
        return std::make_unique<TRequest>(Answered(code, std::move(entry)));
    }
    FUnderWay[name] = pending;
    return std::make_unique<TRequest>(pending);
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
