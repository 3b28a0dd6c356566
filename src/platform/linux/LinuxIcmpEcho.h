#pragma once
// ICMP echo on Linux: an ICMP datagram socket where net.ipv4.ping_group_range admits the user,
// else a raw ICMP socket (root or cap_net_raw).

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/IcmpEcho.h"
#include "platform/linux/IcmpSocket.h"

// Which socket kinds CreateFile may use. Auto tries the datagram socket first: it needs no
// privilege, and the kernel hands it only the replies to its own requests.
enum class TEchoSocketMode { Auto, DatagramOnly, RawOnly };

class TLinuxIcmpEcho : public TIcmpEcho {
public:
    // Tries once, here, whether the calling thread may open an allowed socket kind; the answer
    // is what PermissionProblem() reports from then on.
    explicit TLinuxIcmpEcho(TEchoSocketMode mode = TEchoSocketMode::Auto);
    ~TLinuxIcmpEcho() override;

    // Opens a socket in the calling thread's network namespace.
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
    int SendEcho(TEchoHandle handle, uint32_t destination, std::span<const uint8_t> payload,
                 uint32_t timeoutMs, TEchoReply& reply, TStopSignal stop = kNoStopSignal) override;
    std::string PermissionProblem() const override { return FPermissionProblem; }

    // The socket kind behind a handle; nullopt when the handle is not open.
    std::optional<TIcmpSocketKind> KindOf(TEchoHandle handle) const;

    // What fits into one IPv4 datagram after the IP and ICMP headers, with room for options.
    static constexpr size_t kMaxPayload = 65000;

private:
    std::shared_ptr<TIcmpSocket> Find(TEchoHandle handle) const;

    const TEchoSocketMode FMode;
    std::string FPermissionProblem;
    mutable std::mutex FMutex;
    // Shared so that a send in progress keeps its socket even when the handle is closed from
    // another thread meanwhile.
    std::map<TEchoHandle, std::shared_ptr<TIcmpSocket>> FSockets;
    TEchoHandle FNextHandle = 1;
};
