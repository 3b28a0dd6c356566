#pragma once
// The latency lab for integration tests: a client network namespace for the test's own end and
// lab hosts in namespaces of their own, each joined to the client by a veth link. A host's
// kernel does not answer echoes (net.ipv4.icmp_echo_ignore_all=1); our responder does, after a
// set delay, or drops them, or answers with an ICMP error.
//
// The test sends from the client namespace (RunInClient), never from the machine's own: the
// addresses and routes of parallel test processes cannot collide there, and its ICMP settings
// are the test's to choose. Host k has the address 198.18.k.2, and 2001:2:0:k::2 (with ::3 as
// a second address); the client's end of its link is 198.18.k.1/24 and 2001:2:0:k::1/64. Namespaces
// are named latmo-<pid>-<n>; everything is removed again by the destructor, and what a killed test
// process left behind by the next lab.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "lab/LabHostOptions.h"

class TLatencyLab {
public:
    // Empty when a lab can be built here; otherwise, in words, why not (for a test's skip).
    static std::string Unavailable();

    // Builds the client namespace. Throws std::runtime_error when that fails.
    TLatencyLab();
    ~TLatencyLab();
    TLatencyLab(const TLatencyLab&) = delete;
    TLatencyLab& operator=(const TLatencyLab&) = delete;

    // Adds a host with its responder; returns the host's address as text. Throws
    // std::runtime_error when that fails.
    std::string AddHost(const TLabHostOptions& options);

    // A host's IPv6 address, from the IPv4 one AddHost returned.
    static std::string Ipv6Of(const std::string& host);

    // Runs fn on a thread in the client namespace and waits for it.
    void RunInClient(const std::function<void()>& fn) const;

    // Moves the calling thread into the client namespace until the returned guard goes; threads
    // it starts meanwhile are born there too (a whole window with its worker, say).
    class TClientGuard {
    public:
        explicit TClientGuard(int originalNamespace) : FOriginal(originalNamespace) {}
        ~TClientGuard();
        TClientGuard(const TClientGuard&) = delete;
        TClientGuard& operator=(const TClientGuard&) = delete;

    private:
        int FOriginal;
    };
    TClientGuard EnterClient() const;

    // Sets net.ipv4.ping_group_range in the client namespace: every group may use ICMP datagram
    // sockets, or none may (the kernel's default).
    void AllowDatagramSockets(bool allow) const;

    static constexpr int kMaxHosts = 200;

private:
    std::string AddNamespace();
    static void SkipDuplicateAddressDetection(const std::string& name);
    void TearDown() noexcept;

    std::string FClient;
    std::vector<std::string> FNamespaces;
    std::vector<pid_t> FResponders;
    int FHosts = 0;
};
