#pragma once
// ICMP echo on Linux, through the first way the machine allows this user: an ICMP datagram
// socket where net.ipv4.ping_group_range admits the user's group, else a raw ICMP socket (root
// or cap_net_raw), else the system's ping program, which carries the privilege itself.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/IcmpEcho.h"
#include "platform/linux/IcmpSocket.h"
#include "platform/linux/PingSession.h"

// Which engines the constructor may choose. Auto tries them in the order above: the datagram
// socket needs no privilege and the kernel hands it only the replies with its own identifier; a
// program per host costs most.
enum class TEchoEngineMode { Auto, DatagramOnly, RawOnly, PingOnly };

class TLinuxIcmpEcho : public TIcmpEcho {
public:
    // Chooses the engine once, here, in the calling thread's network namespace. The raw socket
    // is opened here and serves every echo of the run, so that the process can give up its
    // privileges right after. `pingProgram` replaces the search for "ping" (tests).
    explicit TLinuxIcmpEcho(TEchoEngineMode mode = TEchoEngineMode::Auto,
                            const std::string& pingProgram = std::string());
    ~TLinuxIcmpEcho() override;

    // A datagram socket is opened per handle, in the calling thread's network namespace. While
    // no engine works, each call tries a datagram socket again, so that echoes go out as soon
    // as the machine allows them.
    TEchoHandle CreateFile() override;
    void CloseHandle(TEchoHandle handle) override;
    // On INVALID_ECHO_HANDLE the call reports why the calling thread's latest CreateFile failed:
    //   no permission for any allowed socket kind          -> 5 ECHO_ERROR_ACCESS_DENIED,
    //                                                         status 11050 General Failure
    //   out of descriptors or memory                       -> 11006 No Resources
    //   anything else (no IPv4, no ICMP sockets at all)    -> 11050 General Failure
    // A handle this object did not hand out (or closed)    -> 6 ECHO_ERROR_INVALID_HANDLE;
    // a payload above kMaxPayload                          -> 87 ECHO_ERROR_INVALID_PARAMETER.
    // A raised stop signal ends the wait for the reply    -> 1223 ECHO_ERROR_CANCELLED.
    int SendEcho(TEchoHandle handle, const TIpAddress& destination,
                 std::span<const uint8_t> payload, uint32_t timeoutMs, TEchoReply& reply,
                 TStopSignal stop = kNoStopSignal) override;
    // Through the system's ping, a pass's echo to a destination comes from one ping kept
    // running at the period (PingSession.h) while the destination, the payload size, the
    // time-out and the period stay the same; an echo outside a pass is one run of its own.
    void BeginPass(uint32_t periodMs) override;
    void EndPass() override;
    std::string PermissionProblem() const override;
    TEchoEngine Engine() const override { return FEngine.load(); }
    std::string EngineChoice() const override;

    // The socket kind behind a handle (its IPv4 socket); nullopt when the handle is not open or
    // has no socket.
    std::optional<TIcmpSocketKind> KindOf(TEchoHandle handle) const;

    // What fits into one IPv4 datagram after the IP and ICMP headers, with room for options.
    static constexpr size_t kMaxPayload = 65000;

    // The words a user needs when nothing can be sent: why, and the two fixes with the
    // commands for this program's own path.
    static std::string NoPermissionText(const std::string& programPath);

private:
    // What a handle stands for: the ping program, or a socket per address family. The raw
    // sockets are shared by every handle; a datagram handle opens its IPv6 socket at its first
    // IPv6 echo.
    struct TEntry {
        bool Ping = false;
        std::shared_ptr<TIcmpSocket> Socket4;
        std::shared_ptr<TIcmpSocket> Socket6;
    };
    void Choose(TEchoEngineMode mode, const std::string& pingProgram);
    TEchoHandle Add(TEntry entry);
    // The handle's socket for the family, opened now where that is how the engine works; null
    // with `error` set when there is none. False when the handle is not open.
    bool SocketFor(TEchoHandle handle, bool v6, TEntry& entry, std::shared_ptr<TIcmpSocket>& socket,
                   int& error);
    int SendThroughPing(const TIpAddress& destination, size_t payloadSize, uint32_t timeoutMs,
                        TEchoReply& reply, TStopSignal stop);

    std::atomic<TEchoEngine> FEngine{TEchoEngine::None};
    std::string FWhy;  // why the engine in use was chosen (or why none could be)
    bool FPermissionDenied = false;
    std::string FPingProgram;
    std::shared_ptr<TIcmpSocket> FRawSocket4;
    std::shared_ptr<TIcmpSocket> FRawSocket6;
    mutable std::mutex FMutex;
    // Shared so that a send in progress keeps its socket even when the handle is closed from
    // another thread meanwhile.
    std::map<TEchoHandle, TEntry> FHandles;
    TEchoHandle FNextHandle = 1;
    // The period of the pass under way; 0 outside a pass.
    std::atomic<uint32_t> FPassPeriodMs{0};
    // The pings kept running, by destination; their echoes take turns.
    std::mutex FSessionsMutex;
    std::map<std::string, std::unique_ptr<TPingSession>> FSessions;
};
