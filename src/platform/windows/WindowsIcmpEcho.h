#pragma once
// ICMP echo on Windows through the system's ICMP helper: IcmpSendEcho2 for IPv4 and
// Icmp6SendEcho2 for IPv6, which every user may call. The helper reports its outcomes in the IP
// status numbering the interface uses, so they pass through as they are.

#include <map>
#include <mutex>

#include "platform/IcmpEcho.h"

class TWindowsIcmpEcho : public TIcmpEcho {
public:
    TWindowsIcmpEcho();
    ~TWindowsIcmpEcho() override = default;

    TEchoHandle CreateFile() override;
    void CloseHandle(TEchoHandle handle) override;
    // Each echo opens a helper handle of its own, so that a raised stop signal can close it and
    // so cancel the echo without touching another thread's.
    //   a handle this object did not hand out           -> 6 ECHO_ERROR_INVALID_HANDLE
    //   a payload above kMaxPayload                      -> 87 ECHO_ERROR_INVALID_PARAMETER
    //   the helper cannot be opened                      -> 11050 General Failure
    //   the stop signal raised while waiting             -> 1223 ECHO_ERROR_CANCELLED
    int SendEcho(TEchoHandle handle, const TIpAddress& destination,
                 std::span<const uint8_t> payload, uint32_t timeoutMs, TEchoReply& reply,
                 TStopSignal stop = kNoStopSignal) override;
    std::string PermissionProblem() const override { return std::string(); }
    TEchoEngine Engine() const override { return FEngine; }
    std::string EngineChoice() const override;

    static constexpr size_t kMaxPayload = 65000;

private:
    TEchoEngine FEngine = TEchoEngine::None;
    unsigned long FOpenError = 0;
    std::mutex FMutex;
    std::map<TEchoHandle, bool> FHandles;
    TEchoHandle FNextHandle = 1;
};
