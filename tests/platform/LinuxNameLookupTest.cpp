#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/linux/LinuxNameLookup.h"

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
