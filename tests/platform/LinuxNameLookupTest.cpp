#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <unistd.h>

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

}  // namespace
