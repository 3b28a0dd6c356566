#include "core/ProbeEngine.h"

#include <algorithm>
#include <chrono>
#include <span>

namespace {

// Releases what one probe obtained, whichever way it ends.
class TProbeResources {
public:
    TProbeResources(TNameLookup& lookup, TIcmpEcho& echo)
        : FLookup(lookup), FEcho(echo), FHandle(echo.CreateFile()) {}
    ~TProbeResources() {
        if (FHandle != INVALID_ECHO_HANDLE) {
            FEcho.CloseHandle(FHandle);
        }
        if (FStarted) {
            FLookup.Cleanup();
        }
    }
    TProbeResources(const TProbeResources&) = delete;
    TProbeResources& operator=(const TProbeResources&) = delete;

    int Startup(uint16_t version) {
        const int e = FLookup.Startup(version);
        FStarted = (e == 0);
        return e;
    }
    TEchoHandle Handle() const { return FHandle; }

private:
    TNameLookup& FLookup;
    TIcmpEcho& FEcho;
    TEchoHandle FHandle;
    bool FStarted = false;
};

}  // namespace

TProbeEngine::TProbeEngine(TNameLookup& lookup, TIcmpEcho& echo)
    : FLookup(lookup), FEcho(echo), FPayload(kMaxPayload, 0) {}

std::string TProbeEngine::LookupErrorText(int code) {
    switch (code) {
        case 10004:
            return "The (blocking) call was canceled through WSACancelBlockingCall.";
        case 10014:
            return "The name argument is not a valid part of the user address space.";
        case 10036:
            return "A blocking Windows Sockets 1.1 call is in progress, or the service provider "
                   "is still processing a callback function.";
        case 10050:
            return "The network subsystem has failed.";
        case 10093:
            return "Successful WSAStartup must occur before using this function.";
        case 11001:
            return "Authoritative Answer Host not found.";
        case 11002:
            return "Non-Authoritative Host not found, or server failure.";
        case 11003:
            return "Nonrecoverable error occurred.";
        case 11004:
            return "Valid name, no data record of requested type.";
        default:
            return std::string();
    }
}

std::string TProbeEngine::EchoStatusText(uint32_t status) {
    switch (status) {
        case IP_BUF_TOO_SMALL:
            return "Buffer Too Small";
        case IP_DEST_NET_UNREACHABLE:
            return "Destination Net Unreachable";
        case IP_DEST_HOST_UNREACHABLE:
            return "Destination Host Unreachable";
        case IP_DEST_PROT_UNREACHABLE:
            return "Destination Protocol Unreachable";
        case IP_DEST_PORT_UNREACHABLE:
            return "Destination Port Unreachable";
        case IP_NO_RESOURCES:
            return "No Resources";
        case IP_BAD_OPTION:
            return "Bad Option";
        case IP_HW_ERROR:
            return "Hardware Error";
        case IP_PACKET_TOO_BIG:
            return "Packet Too Big";
        case IP_REQ_TIMED_OUT:
            return "Request Timed Out";
        case IP_BAD_REQ:
            return "Bad Request";
        case IP_BAD_ROUTE:
            return "Bad Route";
        case IP_TTL_EXPIRED_TRANSIT:
            return "TimeToLive Expired Transit";
        case IP_TTL_EXPIRED_REASSEM:
            return "TimeToLive Expired Reassembly";
        case IP_PARAM_PROBLEM:
            return "Parameter Problem";
        case IP_SOURCE_QUENCH:
            return "Source Quench";
        case IP_OPTION_TOO_BIG:
            return "Option Too Big";
        case IP_BAD_DESTINATION:
            return "Bad Destination";
        case IP_NEGOTIATING_IPSEC:
            return "Negotiating IPSEC";
        case IP_GENERAL_FAILURE:
            return "General Failure";
        default:
            return std::string();
    }
}

namespace {

using TClock = std::chrono::steady_clock;

int MsLeft(TClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

}  // namespace

void TProbeEngine::BeginPass(const std::vector<std::string>& hosts, int32_t timeoutMs,
                             int32_t periodMs) {
    FEcho.BeginPass(static_cast<uint32_t>(std::max(periodMs, 0)));
    FStarted.clear();
    FLookupDeadline = TClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (const std::string& host : hosts) {
        if (!host.empty() && FStarted.count(host) == 0) {
            FStarted.emplace(host, FLookup.StartLookup(host));
        }
    }
}

void TProbeEngine::EndPass() {
    FStarted.clear();
    FEcho.EndPass();
}

int TProbeEngine::AwaitLookup(const std::string& host, int32_t timeoutMs, THostEntry& entry,
                              TStopSignal stop) {
    // A lookup started with the pass's others counts its time limit from then, so that a slow
    // name holds the hosts after it up by no more than the limit.
    std::unique_ptr<TLookupRequest> own;
    TLookupRequest* request = nullptr;
    TClock::time_point deadline = FLookupDeadline;
    if (const auto it = FStarted.find(host); it != FStarted.end()) {
        request = it->second.get();
    } else {
        own = FLookup.StartLookup(host);
        request = own.get();
        deadline = TClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    }
    int error = request->Wait(entry, MsLeft(deadline), stop);
    // Resolvers fail transiently often enough that one retry pays for itself, while there is
    // time left for it.
    if (error != 0 && error != WSAEINTR && MsLeft(deadline) > 0) {
        entry = THostEntry{};
        error = FLookup.StartLookup(host)->Wait(entry, MsLeft(deadline), stop);
    }
    return error;
}

void TProbeEngine::PingHost(TSampleStore& store, const std::string& host, int pingSize,
                            bool stopRequested, TStopSignal stop) {
    // A stopping worker must get out quickly and leave everything as it was.
    if (stopRequested) {
        return;
    }
    const size_t slot = static_cast<size_t>(std::clamp(store.FRingIndex, 0, kRingSize - 1));
    const int32_t slotBefore = store.FWork[slot];
    const std::string errorBefore = store.FPingError;
    const auto stopped = [&] {
        store.FWork[slot] = slotBefore;
        store.FPingError = errorBefore;
    };
    // One reading for the whole probe: the user may change the time-out meanwhile.
    const int32_t timeoutMs = store.FTimeout;
    store.FWork[slot] = timeoutMs;
    store.FPingError.clear();
    FLastReply = TEchoReply{};
    FLastEchoError = kNoEcho;

    if (host.empty()) {
        store.FWork[slot] = 1;
        store.FPingError = "Addr. empty";
        return;
    }

    TProbeResources res(FLookup, FEcho);
    const int startError = res.Startup(kWinSockVersion);
    if (startError != 0) {
        store.FPingError = "Error in call to WSAStartup()." + std::string("Error code: ") +
                           std::to_string(startError) + " ";
        return;
    }

    THostEntry entry;
    int lookupError = AwaitLookup(host, timeoutMs, entry, stop);
    if (lookupError == WSAEINTR) {
        stopped();
        return;
    }
    // A lookup that claims success without an address has no destination to offer.
    if (lookupError == 0 && entry.Addresses.empty()) {
        lookupError = WSANO_DATA;
    }
    if (lookupError != 0) {
        store.FPingError = "Error in call to " + std::string("gethostbyname().") +
                           " Error code: " + std::to_string(lookupError) + " " +
                           LookupErrorText(lookupError);
        return;
    }

    const size_t payloadSize = static_cast<size_t>(std::clamp(pingSize - 1, 0, kMaxPayload));
    const uint32_t timeout = static_cast<uint32_t>(std::max(timeoutMs, 0));
    TEchoReply reply{};
    const int echoError = FEcho.SendEcho(res.Handle(), entry.Addresses.front(),
                                         std::span<const uint8_t>(FPayload.data(), payloadSize),
                                         timeout, reply, stop);
    FLastReply = reply;
    if (echoError == ECHO_ERROR_CANCELLED) {
        stopped();
        return;
    }
    FLastEchoError = echoError;
    store.FEchoSent = store.FEchoSent || echoError != ECHO_ERROR_ACCESS_DENIED;

    if (echoError != 0) {
        store.FPingError = "Error " + std::to_string(echoError) + " in call to " +
                           std::string("IcmpSendEcho(): ") + EchoStatusText(reply.Status);
        store.FWork[slot] = timeoutMs;
        ++store.FLostCount;
        return;
    }
    const int64_t rtt = reply.RoundTripTime;
    if (rtt < timeoutMs) {
        const auto value = static_cast<int32_t>(rtt);
        store.FWork[slot] = value;
        // A freshly reset ring shows the first measurement in its empty later slots, so the
        // mean is meaningful before the ring has come round once.
        for (size_t i = slot + 1; i < store.FWork.size(); ++i) {
            if (store.FWork[i] < 1) {
                store.FWork[i] = value;
            }
        }
    } else {
        store.FWork[slot] = timeoutMs;
        ++store.FLostCount;
    }
}
