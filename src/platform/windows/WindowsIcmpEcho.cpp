// The interface first: Windows' headers define its status names as macros of the same values.
#include "platform/windows/WindowsIcmpEcho.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include "platform/windows/Wide.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

// ICMPV6_ECHO_REPLY, which mingw-w64's headers leave out.
struct TIcmp6EchoReply {
    IPV6_ADDRESS_EX Address;
    ULONG Status;
    unsigned int RoundTripTime;
};

bool IsIpStatus(DWORD error) {
    return error >= IP_BUF_TOO_SMALL && error <= IP_GENERAL_FAILURE;
}

// One echo in flight: its helper handle, its completion event and the buffer the helper
// writes the reply into. The helper may write until the event is set.
struct TEchoCall {
    HANDLE Icmp = INVALID_HANDLE_VALUE;
    HANDLE Done = nullptr;
    std::vector<uint8_t> Buffer;
    ~TEchoCall() {
        if (Icmp != INVALID_HANDLE_VALUE) {
            IcmpCloseHandle(Icmp);
        }
        if (Done != nullptr) {
            ::CloseHandle(Done);
        }
    }
};

// Waits for the helper's answer, or for the stop signal. False when stopped: the call's handle
// is closed then, which ends the echo on Windows (not under Wine, which answers in its own
// time); a call the helper may still write into is left to it rather than freed under it.
bool WaitForAnswer(std::unique_ptr<TEchoCall>& call, DWORD timeoutMs, TStopSignal stop) {
    HANDLE waits[2] = {call->Done, reinterpret_cast<HANDLE>(stop)};
    const DWORD count = stop != kNoStopSignal ? 2 : 1;
    // The helper ends the echo itself at the time-out; the margin only guards against one
    // that never answers.
    const DWORD limit = timeoutMs + 5000;
    const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, limit);
    if (woke == WAIT_OBJECT_0) {
        return true;
    }
    IcmpCloseHandle(call->Icmp);
    call->Icmp = INVALID_HANDLE_VALUE;
    if (WaitForSingleObject(call->Done, 0) != WAIT_OBJECT_0) {
        (void)call.release();  // still the helper's: a few hundred bytes, once, as the program ends
    }
    return false;
}

}  // namespace

TWindowsIcmpEcho::TWindowsIcmpEcho() {
    HANDLE probe = IcmpCreateFile();
    if (probe == INVALID_HANDLE_VALUE) {
        FOpenError = GetLastError();
        return;
    }
    IcmpCloseHandle(probe);
    FEngine = TEchoEngine::IcmpLibrary;
}

std::string TWindowsIcmpEcho::EngineChoice() const {
    if (FEngine == TEchoEngine::None) {
        return "Echo engine: none, the Windows ICMP helper cannot be opened (error " +
               std::to_string(FOpenError) + ").";
    }
    return "Echo engine: Windows ICMP helper (IcmpSendEcho2), which every user may use.";
}

TEchoHandle TWindowsIcmpEcho::CreateFile() {
    std::lock_guard<std::mutex> lock(FMutex);
    const TEchoHandle handle = FNextHandle++;
    FHandles.emplace(handle, true);
    return handle;
}

void TWindowsIcmpEcho::CloseHandle(TEchoHandle handle) {
    std::lock_guard<std::mutex> lock(FMutex);
    FHandles.erase(handle);
}

int TWindowsIcmpEcho::SendEcho(TEchoHandle handle, const TIpAddress& destination,
                               std::span<const uint8_t> payload, uint32_t timeoutMs,
                               TEchoReply& reply, TStopSignal stop) {
    reply = TEchoReply{};
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (FHandles.count(handle) == 0) {
            return ECHO_ERROR_INVALID_HANDLE;
        }
    }
    if (payload.size() > kMaxPayload) {
        return ECHO_ERROR_INVALID_PARAMETER;
    }
    const bool v6 = destination.IsV6();
    auto call = std::make_unique<TEchoCall>();
    call->Icmp = v6 ? Icmp6CreateFile() : IcmpCreateFile();
    call->Done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (call->Icmp == INVALID_HANDLE_VALUE || call->Done == nullptr) {
        reply.Address = destination;
        reply.Status = IP_GENERAL_FAILURE;
        return IP_GENERAL_FAILURE;
    }
    // Room for one reply, its payload and an ICMP error's quoted datagram.
    const size_t replySize = v6 ? sizeof(TIcmp6EchoReply) : sizeof(ICMP_ECHO_REPLY);
    call->Buffer.assign(replySize + payload.size() + 8 + 128, 0);
    void* data = const_cast<uint8_t*>(payload.data());
    const auto dataSize = static_cast<WORD>(payload.size());
    const auto bufferSize = static_cast<DWORD>(call->Buffer.size());
    DWORD sent;
    if (v6) {
        sockaddr_in6 source{};
        source.sin6_family = AF_INET6;
        sockaddr_in6 target{};
        target.sin6_family = AF_INET6;
        std::memcpy(&target.sin6_addr, destination.V6Bytes().data(), 16);
        target.sin6_scope_id = destination.ScopeId();
        sent = Icmp6SendEcho2(call->Icmp, call->Done, nullptr, nullptr, &source, &target, data,
                              dataSize, nullptr, call->Buffer.data(), bufferSize, timeoutMs);
    } else {
        sent = IcmpSendEcho2(call->Icmp, call->Done, nullptr, nullptr, destination.V4(), data,
                             dataSize, nullptr, call->Buffer.data(), bufferSize, timeoutMs);
    }
    DWORD error = sent == 0 ? GetLastError() : ERROR_SUCCESS;
    if (sent == 0 && error != ERROR_IO_PENDING) {
        reply.Address = destination;
        reply.Status = IsIpStatus(error) ? static_cast<uint32_t>(error)
                                         : static_cast<uint32_t>(IP_GENERAL_FAILURE);
        return static_cast<int>(reply.Status);
    }
    if (sent == 0 && !WaitForAnswer(call, timeoutMs, stop)) {
        reply.Address = destination;
        return ECHO_ERROR_CANCELLED;
    }
    const DWORD replies = v6 ? Icmp6ParseReplies(call->Buffer.data(), bufferSize)
                             : IcmpParseReplies(call->Buffer.data(), bufferSize);
    if (replies == 0) {
        error = GetLastError();
        reply.Address = destination;
        reply.Status = IsIpStatus(error) ? static_cast<uint32_t>(error)
                                         : static_cast<uint32_t>(IP_REQ_TIMED_OUT);
        return static_cast<int>(reply.Status);
    }
    if (v6) {
        const auto* answer = reinterpret_cast<const TIcmp6EchoReply*>(call->Buffer.data());
        reply.Address = TIpAddress::V6(answer->Address.sin6_addr, answer->Address.sin6_scope_id);
        reply.Status = answer->Status;
        reply.RoundTripTime = answer->RoundTripTime;
        reply.DataSize = dataSize;
    } else {
        const auto* answer = reinterpret_cast<const ICMP_ECHO_REPLY*>(call->Buffer.data());
        reply.Address = TIpAddress(answer->Address);
        reply.Status = answer->Status;
        reply.RoundTripTime = answer->RoundTripTime;
        reply.DataSize = answer->DataSize;
    }
    // The helper measures whole milliseconds; that is all there is to tell.
    reply.RoundTripMicros = int64_t{reply.RoundTripTime} * 1000;
    return reply.Status == IP_SUCCESS ? 0 : static_cast<int>(reply.Status);
}
