// Name lookups through WinSock under Wine: addresses written out are answered at once, and (with
// LATMO_LAB_RESOLVER set by tests/windows/wine-tests.sh, which lays a resolver configuration
// naming that loopback address over the system's) a server that never answers ends the wait at
// its time limit or stop while other names are answered.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/ThreadControl.h"
#include "platform/windows/WindowsNameLookup.h"

// After the interfaces: WinSock's headers define their names as macros.
#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

// The name a DNS query asks about, as dotted text.
std::string QuestionName(const char* packet, int size) {
    std::string name;
    for (int i = 12; i < size && packet[i] != 0;) {
        const int length = static_cast<unsigned char>(packet[i]);
        if (!name.empty()) {
            name += '.';
        }
        name.append(packet + i + 1, static_cast<size_t>(std::min(length, size - i - 1)));
        i += length + 1;
    }
    return name;
}

TEST(WindowsNameLookup, AddressesWrittenOutAreAnsweredAtOnce) {
    TWindowsNameLookup lookup;
    ASSERT_EQ(lookup.Startup(0x0101), 0);
    THostEntry entry;
    EXPECT_EQ(lookup.StartLookup("127.0.0.1")->Wait(entry, 0, kNoStopSignal), 0);
    ASSERT_EQ(entry.Addresses.size(), 1u);
    EXPECT_EQ(entry.Addresses.front(), TIpAddress(htonl(INADDR_LOOPBACK)));
    EXPECT_EQ(lookup.StartLookup("[::1]")->Wait(entry, 0, kNoStopSignal), 0);
    ASSERT_EQ(entry.Addresses.size(), 1u);
    EXPECT_TRUE(entry.Addresses.front().IsV6());
    EXPECT_EQ(lookup.StartLookup("")->Wait(entry, 0, kNoStopSignal), WSAEFAULT);
    EXPECT_EQ(lookup.GetHostByName(std::string("a\0b", 3), entry), WSAEFAULT);
    lookup.Cleanup();
}

TEST(WindowsNameLookupLab, AServerThatNeverAnswersEndsTheWaitAtItsTimeLimit) {
    const char* resolver = std::getenv("LATMO_LAB_RESOLVER");
    ASSERT_NE(resolver, nullptr) << "runs in wine-tests.sh, beside a resolver of its own";
    TWindowsNameLookup lookup;
    ASSERT_EQ(lookup.Startup(0x0202), 0);
    const SOCKET server = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(server, INVALID_SOCKET);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    ASSERT_EQ(inet_pton(AF_INET, resolver, &at.sin_addr), 1);
    ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0)
        << WSAGetLastError();
    const TStopSignal stop = MakeStopSignal();
    ASSERT_NE(stop, kNoStopSignal);

    const std::unique_ptr<TLookupRequest> slow = lookup.StartLookup("slow.example");
    const std::unique_ptr<TLookupRequest> local = lookup.StartLookup("localhost");
    THostEntry entry;
    ASSERT_EQ(local->Wait(entry, 5000, kNoStopSignal), 0) << "answered beside the slow one";
    EXPECT_EQ(entry.Addresses.front(), TIpAddress(htonl(INADDR_LOOPBACK)));
    fd_set query;
    FD_ZERO(&query);
    FD_SET(server, &query);
    timeval fiveSeconds{5, 0};
    ASSERT_EQ(select(0, &query, nullptr, nullptr, &fiveSeconds), 1)
        << "the resolver asks the silent server";
    EXPECT_EQ(slow->Wait(entry, 200, kNoStopSignal), WSATRY_AGAIN);
    EXPECT_TRUE(entry.Addresses.empty());
    EXPECT_EQ(lookup.GetHostByName("slow.example", entry, stop, 0), WSATRY_AGAIN);
    RaiseStopSignal(stop);
    EXPECT_EQ(lookup.GetHostByName("slow.example", entry, stop), WSAEINTR);

    // Answered at last, "no such name" to each query it makes (its IPv4 and then its IPv6 one,
    // and those the resolver adds), the helper ends, and the request, asked again, has the
    // answer.
    std::string asked;
    for (int i = 0; i < 8 && slow->Wait(entry, 200, kNoStopSignal) == WSATRY_AGAIN; ++i) {
        FD_ZERO(&query);
        FD_SET(server, &query);
        fiveSeconds = timeval{5, 0};
        if (select(0, &query, nullptr, nullptr, &fiveSeconds) != 1) {
            break;
        }
        char packet[512];
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int got = recvfrom(server, packet, sizeof packet, 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
        ASSERT_GE(got, 12);
        asked += ' ';
        asked += QuestionName(packet, got);
        packet[2] = static_cast<char>(packet[2] | 0x80);        // a response
        packet[3] = static_cast<char>((packet[3] & 0xF0) | 3);  // NXDOMAIN
        ASSERT_EQ(sendto(server, packet, got, 0, reinterpret_cast<const sockaddr*>(&from),
                         fromLength),
                  got);
    }
    EXPECT_EQ(slow->Wait(entry, 5000, kNoStopSignal), WSAHOST_NOT_FOUND) << "asked:" << asked;
    CloseStopSignal(stop);
    closesocket(server);
    lookup.Cleanup();
}

}  // namespace
