#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "platform/linux/AddressText.h"
#include "platform/linux/LinuxNameLookup.h"
#include "support/TempDir.h"

namespace {

TEST(LinuxNameLookup, ResolverFailuresMapToWinSockNumbers) {
    const std::pair<int, int> rows[] = {
        {0, 0},
        {EAI_NONAME, WSAHOST_NOT_FOUND},
        {EAI_AGAIN, WSATRY_AGAIN},
        {EAI_FAIL, WSANO_RECOVERY},
        {EAI_MEMORY, WSANO_RECOVERY},
        {EAI_SYSTEM, WSANO_RECOVERY},
        {EAI_NODATA, WSANO_DATA},
        {EAI_ADDRFAMILY, WSANO_DATA},
    };
    for (const auto& [eai, wsa] : rows) {
        EXPECT_EQ(TLinuxNameLookup::MapResolverError(eai), wsa) << eai;
    }
}

TEST(LinuxNameLookup, ResolvesLiteralsAndLocalhostToIPv4) {
    TLinuxNameLookup lookup;
    ASSERT_EQ(lookup.Startup(0x0101), 0);
    THostEntry entry;
    ASSERT_EQ(lookup.GetHostByName("127.0.0.2", entry), 0);
    ASSERT_FALSE(entry.Addresses.empty());
    EXPECT_EQ(entry.Addresses.front(), inet_addr("127.0.0.2"));
    ASSERT_EQ(lookup.GetHostByName("localhost", entry), 0);
    EXPECT_EQ(entry.Addresses.front(), inet_addr("127.0.0.1"));
    lookup.Cleanup();
}

// Which address a host text gives: IPv4 first, as it always was; IPv6 for an address written
// out (in brackets, with a zone) and for a name without an IPv4 address. The names come from a
// hosts file of the test's own, laid over /etc/hosts for one thread (root needed for that part).
TEST(LinuxNameLookup, IPv4FirstThenIPv6) {
    const TTempDir dir;
    WriteAll(dir.File("hosts"), "198.18.7.7 both.test\n2001:2::7 both.test\n2001:2::6 six.test\n");
    const bool ownHosts = geteuid() == 0;
    const uint32_t lo = if_nametoindex("lo");
    struct TRow {
        const char* Host;
        int Error;
        const char* Address;  // as AddressText writes it
        bool NeedsHostsFile = false;
    } const rows[] = {
        {"198.18.1.2", 0, "198.18.1.2"},
        {"2001:2::1", 0, "2001:2::1"},
        {"[2001:2::1]", 0, "2001:2::1"},
        {"fe80::1%lo", 0, "fe80::1%lo"},
        {"[fe80::1%1]", 0, "fe80::1%lo"},
        {"[198.18.1.2]", WSAHOST_NOT_FOUND, ""},
        {"fe80::1%no-such-interface", WSANO_DATA, ""},
        {"both.test", 0, "198.18.7.7", true},
        {"six.test", 0, "2001:2::6", true},
        {"none.test", WSAHOST_NOT_FOUND, "", true},
    };
    ASSERT_EQ(lo, 1u);
    std::thread([&] {
        if (ownHosts) {
            ASSERT_EQ(unshare(CLONE_NEWNS), 0);
            ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
            ASSERT_EQ(mount(dir.File("hosts").c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0);
        }
        TLinuxNameLookup lookup;
        for (const TRow& row : rows) {
            if (row.NeedsHostsFile && !ownHosts) {
                continue;
            }
            THostEntry entry;
            const int error = lookup.GetHostByName(row.Host, entry);
            // Offline, a resolver may say "try again" for a name it cannot find.
            EXPECT_TRUE(error == row.Error || (row.Error != 0 && error == WSATRY_AGAIN))
                << row.Host << ": " << error;
            EXPECT_EQ(entry.Addresses.empty() ? "" : AddressText(entry.Addresses.front()),
                      row.Address)
                << row.Host;
        }
    }).join();
}

TEST(LinuxNameLookup, BadNamesFail) {
    TLinuxNameLookup lookup;
    THostEntry entry;
    // The .invalid domain never resolves; the resolver may answer "no name" or, offline,
    // "try again".
    const int unknown = lookup.GetHostByName("no-such-host.invalid", entry);
    EXPECT_TRUE(unknown == WSAHOST_NOT_FOUND || unknown == WSATRY_AGAIN) << unknown;
    EXPECT_TRUE(entry.Addresses.empty());
    EXPECT_EQ(lookup.GetHostByName("", entry), WSAEFAULT);
    EXPECT_EQ(lookup.GetHostByName(std::string("a\0b", 3), entry), WSAEFAULT);
    EXPECT_EQ(lookup.Startup(0x0202), WSAVERNOTSUPPORTED);
}

// With a stop signal the resolver's answer is awaited beside it: still the answer while the
// signal is down, WSAEINTR at once when it is up.
TEST(LinuxNameLookup, AStopSignalEndsTheWaitForTheResolver) {
    const int stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_GE(stop, 0);
    TLinuxNameLookup lookup;
    THostEntry entry;
    ASSERT_EQ(lookup.GetHostByName("127.0.0.2", entry, stop), 0);
    ASSERT_EQ(entry.Addresses.size(), 1u);
    EXPECT_EQ(entry.Addresses.front(), inet_addr("127.0.0.2"));
    ASSERT_EQ(lookup.GetHostByName("localhost", entry, stop), 0);
    ASSERT_EQ(eventfd_write(stop, 1), 0);
    EXPECT_EQ(lookup.GetHostByName("localhost", entry, stop), WSAEINTR);
    EXPECT_TRUE(entry.Addresses.empty());
    close(stop);
}

// A resolver whose server never answers: the wait ends at its time limit, or at once when the stop
// signal is up, and other names are answered meanwhile. The server is a socket of the test's own
// on a loopback address that takes queries and answers none; a resolv.conf naming it is laid over
// the system's for one thread (root needed), so no query leaves the machine.
TEST(LinuxNameLookup, AServerThatNeverAnswersEndsTheWaitAtItsTimeLimit) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "laying a resolv.conf over the system's needs root";
    }
    const int server = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = inet_addr("127.0.0.153");
    ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0) << errno;
    const TTempDir dir;
    // The resolver's own time-out is long, so only ours can end the wait in time.
    WriteAll(dir.File("resolv.conf"), "nameserver 127.0.0.153\noptions timeout:30 attempts:1\n");
    WriteAll(dir.File("hosts"), "127.0.0.1 localhost\n");
    WriteAll(dir.File("nsswitch.conf"), "hosts: files dns\n");
    const int stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_GE(stop, 0);
    std::thread([&] {
        ASSERT_EQ(unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        for (const char* file : {"resolv.conf", "hosts", "nsswitch.conf"}) {
            const std::string over = std::string("/etc/") + file;
            ASSERT_EQ(mount(dir.File(file).c_str(), over.c_str(), nullptr, MS_BIND, nullptr), 0)
                << over;
        }
        TLinuxNameLookup lookup;
        const std::unique_ptr<TLookupRequest> slow = lookup.StartLookup("slow.example");
        const std::unique_ptr<TLookupRequest> local = lookup.StartLookup("localhost");
        THostEntry entry;
        ASSERT_EQ(local->Wait(entry, 5000, kNoStopSignal), 0) << "answered beside the slow one";
        EXPECT_EQ(entry.Addresses.front(), inet_addr("127.0.0.1"));
        pollfd query{server, POLLIN, 0};
        ASSERT_EQ(poll(&query, 1, 5000), 1) << "the resolver asks the silent server";
        EXPECT_EQ(slow->Wait(entry, 200, kNoStopSignal), WSATRY_AGAIN);
        EXPECT_TRUE(entry.Addresses.empty());
        EXPECT_EQ(lookup.GetHostByName("slow.example", entry, stop, 0), WSATRY_AGAIN);
        ASSERT_EQ(eventfd_write(stop, 1), 0);
        EXPECT_EQ(lookup.GetHostByName("slow.example", entry, stop), WSAEINTR);

        // Answered at last, "no such name" to its IPv4 and then its IPv6 query, the helper ends,
        // and the request, asked again, has the answer.
        for (int i = 0; i < 2 && poll(&query, 1, 5000) == 1; ++i) {
            uint8_t packet[512];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = recvfrom(server, packet, sizeof packet, 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromLength);
            ASSERT_GE(got, 12);
            packet[2] |= 0x80;                                         // a response
            packet[3] = static_cast<uint8_t>((packet[3] & 0xF0) | 3);  // NXDOMAIN
            ASSERT_EQ(sendto(server, packet, static_cast<size_t>(got), 0,
                             reinterpret_cast<const sockaddr*>(&from), fromLength),
                      got);
        }
        EXPECT_EQ(slow->Wait(entry, 5000, kNoStopSignal), WSAHOST_NOT_FOUND);
    }).join();
    close(stop);
    close(server);
}

}  // namespace
