#pragma once
// ICMP echo on Linux: an ICMP datagram socket where net.ipv4.ping_group_range admits the user,
// else a raw ICMP socket (root or cap_net_raw).

#include <atomic>
#include <mutex>
#include <string>

#include "platform/IcmpEcho.h"

class TLinuxIcmpEcho : public TIcmpEcho {
public:
    TLinuxIcmpEcho();
    ~TLinuxIcmpEcho() override;

    TEchoHandle CreateFile() override;
    void CloseHandle(TEchoHandle handle) override;
    int SendEcho(TEchoHandle handle, uint32_t destination, std::span<const uint8_t> payload,
                 uint32_t timeoutMs, TEchoReply& reply) override;
    std::string PermissionProblem() const override;
};
