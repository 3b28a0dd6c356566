#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/AddressText.h"
#include "platform/linux/IcmpMatch.h"
#include "platform/linux/IcmpSocket.h"
#include "platform/linux/IcmpWire.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/PingOutput.h"
#include "support/TempDir.h"

namespace {

constexpr int64_t kMs = 1000000;

TEST(IcmpSocket, RoundTripTrustsTheKernelStampOnlyWhileTheClocksAgree) {
    struct TRow {
        const char* Case;
        std::optional<int64_t> StampAfterSend;  // realtime stamp minus realtime at the send
        int64_t Expected;
    };
    // Sent at realtime 1000 s and monotonic 50 s; read 20.3 ms later on the monotonic clock.
    constexpr int64_t sentReal = 1000000 * kMs;
    constexpr int64_t sentMono = 50000 * kMs;
    constexpr int64_t read = 20 * kMs + 300000;
    const TRow rows[] = {
        {"no stamp", std::nullopt, read},
        {"stamp before the read", 20 * kMs, 20 * kMs},
        {"stamp within the reading slack", read + kMs / 2, read + kMs / 2},
        {"realtime stepped back", -3 * kMs, read},
        {"realtime stepped back a little", -1, read},
        {"realtime stepped forward", 3600000 * kMs, read},
    };
    for (const TRow& row : rows) {
        const std::optional<int64_t> stamp =
            row.StampAfterSend ? std::optional<int64_t>(sentReal + *row.StampAfterSend)
                               : std::nullopt;
        EXPECT_EQ(TIcmpSocket::RoundTripNs(sentReal, sentMono, sentMono + read, stamp),
                  row.Expected)
            << row.Case;
    }
}

TEST(IcmpWire, MessagesReadBackAsBuilt) {
    // The worked example of RFC 1071.
    const std::vector<uint8_t> example = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(InternetChecksum(example), 0x220d);

    const std::vector<uint8_t> body = {1, 2, 3};  // odd length
    std::vector<uint8_t> message;
    BuildIcmpMessage(message, kIcmpEchoRequest, 0, 0xbeef, 0x1234, body);
    EXPECT_EQ(InternetChecksum(message), 0);
    const auto read = ReadIcmpMessage(message);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Type, kIcmpEchoRequest);
    EXPECT_EQ(read->Identifier, 0xbeef);
    EXPECT_EQ(read->Sequence, 0x1234);
    EXPECT_TRUE(std::equal(read->Body.begin(), read->Body.end(), body.begin(), body.end()));
    EXPECT_FALSE(ReadIcmpMessage(std::span<const uint8_t>(message).first(7)));
}

// Whatever arrives on a raw socket is read without trusting its length fields.
TEST(IcmpWire, DatagramsAreReadWithinTheirBytes) {
    std::vector<uint8_t> good(28, 0);
    good[0] = 0x45;
    good[3] = 28;
    good[9] = kIpProtocolIcmp;
    good[12] = 10;
    good[19] = 7;
    const auto read = ReadIpv4Datagram(good);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Source, inet_addr("10.0.0.0"));
    EXPECT_EQ(read->Destination, inet_addr("0.0.0.7"));
    EXPECT_EQ(read->Payload.size(), 8u);

    // A quoted header announces more payload than the report carries: the payload ends with
    // the bytes.
    std::vector<uint8_t> quoted = good;
    quoted[2] = 0x27;
    ASSERT_TRUE(ReadIpv4Datagram(quoted));
    EXPECT_EQ(ReadIpv4Datagram(quoted)->Payload.size(), 8u);

    const auto broken = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    const std::vector<std::vector<uint8_t>> rejected = {
        {},
        std::vector<uint8_t>(good.begin(), good.begin() + 19),
        broken(0, 0x65),  // IPv6
        broken(0, 0x44),  // header shorter than 20 bytes
        broken(0, 0x4f),  // header longer than the bytes
        broken(3, 12),    // total length shorter than the header
    };
    for (size_t i = 0; i < rejected.size(); ++i) {
        EXPECT_FALSE(ReadIpv4Datagram(rejected[i])) << i;
    }
}

// Raw sockets hand over whole datagrams, datagram sockets the ICMP message and its sender; one
// table serves both. A reply counts only with our identifier and sequence, from the host, with
// the data sent: anyone who saw the request can send the rest.
TEST(IcmpMatch, RepliesCountOnlyFromTheHostWithTheDataSent) {
    const uint32_t host = inet_addr("198.18.1.2");
    const uint32_t other = inet_addr("198.18.1.3");
    const uint32_t router = inet_addr("198.18.9.1");
    const std::vector<uint8_t> data(32, 0x5a);
    const TEchoRequestId ours{host, 0x1234, 0x0042, data};
    const auto icmp = [](uint8_t type, uint8_t code, uint16_t id, uint16_t seq,
                         const std::vector<uint8_t>& body) {
        std::vector<uint8_t> message;
        BuildIcmpMessage(message, type, code, id, seq, body);
        return message;
    };
    const auto ipv4 = [](uint32_t from, uint32_t to, const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> packet(20, 0);
        packet[0] = 0x45;
        packet[2] = static_cast<uint8_t>((20 + payload.size()) >> 8);
        packet[3] = static_cast<uint8_t>((20 + payload.size()) & 0xff);
        packet[8] = 64;
        packet[9] = kIpProtocolIcmp;
        std::memcpy(&packet[12], &from, 4);
        std::memcpy(&packet[16], &to, 4);
        packet.insert(packet.end(), payload.begin(), payload.end());
        return packet;
    };
    const auto request = [&](uint32_t to, uint16_t seq) {
        const std::vector<uint8_t> sent =
            ipv4(inet_addr("198.18.1.1"), to, icmp(kIcmpEchoRequest, 0, 0x1234, seq, data));
        return std::vector<uint8_t>(sent.begin(), sent.begin() + 28);  // header and 8 bytes
    };
    std::vector<uint8_t> flipped = data;
    for (uint8_t& b : flipped) {
        b = static_cast<uint8_t>(~b);
    }
    const std::vector<uint8_t> cut(data.begin(), data.end() - 1);
    std::vector<uint8_t> longer = data;
    longer.push_back(0x5a);
    std::vector<uint8_t> badSum = icmp(kIcmpEchoReply, 0, 0x1234, 0x0042, data);
    badSum.back() ^= 1;

    struct Row {
        const char* Case;
        uint32_t From;
        std::vector<uint8_t> Message;
        std::optional<TEchoAnswer> Expected;
        bool RawOnly = false;
    } const rows[] = {
        {"the reply as sent", host, icmp(0, 0, 0x1234, 0x0042, data), TEchoAnswer{0, host, 32}},
        {"data cut short", host, icmp(0, 0, 0x1234, 0x0042, cut), std::nullopt},
        {"no data left", host, icmp(0, 0, 0x1234, 0x0042, {}), std::nullopt},
        {"data changed", host, icmp(0, 0, 0x1234, 0x0042, flipped), std::nullopt},
        {"data longer", host, icmp(0, 0, 0x1234, 0x0042, longer), std::nullopt},
        {"from another address", other, icmp(0, 0, 0x1234, 0x0042, data), std::nullopt},
        {"another sequence", host, icmp(0, 0, 0x1234, 0x0043, data), std::nullopt},
        {"another identifier", host, icmp(0, 0, 0x1235, 0x0042, data), std::nullopt},
        {"a request with our numbers", host, icmp(8, 0, 0x1234, 0x0042, data), std::nullopt},
        {"a broken checksum", host, badSum, std::nullopt, true},
        {"unreachable, about our request", router, icmp(3, 1, 0, 0, request(host, 0x0042)),
         TEchoAnswer{IP_DEST_HOST_UNREACHABLE, router, 0}, true},
        {"time exceeded, about our request", router, icmp(11, 0, 0, 0, request(host, 0x0042)),
         TEchoAnswer{IP_TTL_EXPIRED_TRANSIT, router, 0}, true},
        {"unreachable, about another request", router, icmp(3, 1, 0, 0, request(host, 0x0041)),
         std::nullopt, true},
        {"unreachable, about a request elsewhere", router, icmp(3, 1, 0, 0, request(other, 0x0042)),
         std::nullopt, true},
        {"a redirect quoting our request", router, icmp(5, 1, 0, 0, request(host, 0x0042)),
         std::nullopt, true},
    };
    const auto same = [](const std::optional<TEchoAnswer>& a, const std::optional<TEchoAnswer>& b) {
        return a.has_value() == b.has_value() &&
               (!a ||
                (a->Status == b->Status && a->Address == b->Address && a->DataSize == b->DataSize));
    };
    for (const Row& r : rows) {
        const std::vector<uint8_t> packet = ipv4(r.From, inet_addr("198.18.1.1"), r.Message);
        EXPECT_TRUE(same(MatchRawDatagram(ours, packet), r.Expected)) << r.Case << ", raw";
        if (!r.RawOnly) {
            EXPECT_TRUE(same(MatchPingMessage(ours, r.Message, r.From), r.Expected))
                << r.Case << ", datagram socket";
        }
    }
    // A datagram socket's error queue names the quoted destination and hands over the quote.
    const std::vector<uint8_t> quote = icmp(kIcmpEchoRequest, 0, 0x1234, 0x0042, {});
    EXPECT_TRUE(same(MatchQueuedError(ours, 3, 3, router, host, quote),
                     TEchoAnswer{IP_DEST_PORT_UNREACHABLE, router, 0}));
    EXPECT_FALSE(MatchQueuedError(ours, 3, 3, router, other, quote));
    EXPECT_FALSE(MatchQueuedError(ours, 0, 0, router, host, quote));
    EXPECT_FALSE(MatchQueuedError({host, 0x1234, 0x0043}, 3, 3, router, host, quote));

    // ICMPv6 sockets of either kind name the sender, a link-local one with its link.
    const uint8_t linkLocal[16] = {0xfe, 0x80, 15, 2};
    const TIpAddress host6 = TIpAddress::V6(linkLocal, 3);
    const std::vector<uint8_t> reply6 = icmp(kIcmp6EchoReply, 0, 0x1234, 0x0042, data);
    const TEchoRequestId ours6{host6, 0x1234, 0x0042, data};
    EXPECT_TRUE(same(MatchIcmp6Message(ours6, reply6, host6), TEchoAnswer{0, host6, 32}));
    EXPECT_FALSE(MatchIcmp6Message(ours6, reply6, TIpAddress::V6(linkLocal, 4)));
    EXPECT_FALSE(
        MatchIcmp6Message(ours6, icmp(kIcmp6EchoReply, 0, 0x1234, 0x0042, flipped), host6));
}

// What ping prints about its one echo, read as the socket engines report the same outcome.
TEST(PingOutput, ReadsAsTheSocketEnginesReport) {
    const std::string head = "PING 198.18.1.2 (198.18.1.2) 1023(1051) bytes of data.\n";
    const std::string lost =
        "\n--- 198.18.1.2 ping statistics ---\n"
        "1 packets transmitted, 0 received, 100% packet loss, time 0ms\n";
    const std::string got =
        "\n--- 198.18.1.2 ping statistics ---\n"
        "1 packets transmitted, 1 received, 0% packet loss, time 0ms\n";
    const std::string from = "From 198.18.1.1 icmp_seq=1 ";
    const std::string from6 = "From 2001:2::1 icmp_seq=1 ";
    struct TRow {
        const char* Case;
        std::string Output;
        int Result;
        uint32_t Status;
        int64_t Micros;
        const char* Address;
    } const rows[] = {
        {"reply under 1 ms", head + "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=0.045 ms\n",
         0, IP_SUCCESS, 45, "198.18.1.2"},
        {"reply, 1 decimal", head + "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=20.1 ms\n",
         0, IP_SUCCESS, 20100, "198.18.1.2"},
        {"reply, 2 decimals", "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=9.56 ms\n", 0,
         IP_SUCCESS, 9560, "198.18.1.2"},
        {"reply, whole", "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=63 time=1234 ms\n", 0,
         IP_SUCCESS, 1234000, "198.18.1.2"},
        {"reply with a time beyond any clock",
         "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=9300000000000000 ms\n", 0, IP_SUCCESS,
         -1, "198.18.1.2"},
        // ping's doubts about the one reply it took: no reply came, as far as we are concerned.
        {"reply from another address",
         "1031 bytes from 198.18.1.3: icmp_seq=1 ttl=64 time=20.2 ms (DIFFERENT ADDRESS!)\n" + got,
         IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, -1, "0.0.0.0"},
        {"reply cut short", "108 bytes from 198.18.1.2: icmp_seq=1 ttl=64 (truncated)\n" + got,
         IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, -1, "0.0.0.0"},
        {"reply with a bad checksum",
         "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=2.1 ms (BAD CHECKSUM!)\n" + got,
         IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, -1, "0.0.0.0"},
        {"reply with other data",
         "1031 bytes from 198.18.1.2: icmp_seq=1 ttl=64 time=20.1 ms\nwrong data byte #16 should "
         "be 0x10 but was 0xef\n#16\tef ee ed\n" +
             got,
         IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, -1, "0.0.0.0"},
        {"redirect, then the reply",
         from + "Redirect Host(New nexthop: 198.18.1.9)\n1031 bytes from 198.18.1.2: icmp_seq=1 "
                "ttl=64 time=3.00 ms\n",
         0, IP_SUCCESS, 3000, "198.18.1.2"},
        {"reply to another sequence",
         "1031 bytes from 198.18.1.2: icmp_seq=2 ttl=64 time=1 ms\n" + lost, IP_REQ_TIMED_OUT,
         IP_REQ_TIMED_OUT, -1, "0.0.0.0"},
        {"nothing came back", head + lost, IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, -1, "0.0.0.0"},
        {"net unreachable", from + "Destination Net Unreachable\n", IP_DEST_NET_UNREACHABLE,
         IP_DEST_NET_UNREACHABLE, -1, "198.18.1.1"},
        {"host unreachable", from + "Destination Host Unreachable\n" + lost,
         IP_DEST_HOST_UNREACHABLE, IP_DEST_HOST_UNREACHABLE, -1, "198.18.1.1"},
        {"protocol unreachable", from + "Destination Protocol Unreachable\n",
         IP_DEST_PROT_UNREACHABLE, IP_DEST_PROT_UNREACHABLE, -1, "198.18.1.1"},
        {"port unreachable", from + "Destination Port Unreachable\n", IP_DEST_PORT_UNREACHABLE,
         IP_DEST_PORT_UNREACHABLE, -1, "198.18.1.1"},
        {"host prohibited", from + "Destination Host Prohibited\n", IP_DEST_HOST_UNREACHABLE,
         IP_DEST_HOST_UNREACHABLE, -1, "198.18.1.1"},
        {"fragmentation needed", from + "Frag needed and DF set (mtu = 1400)\n", IP_PACKET_TOO_BIG,
         IP_PACKET_TOO_BIG, -1, "198.18.1.1"},
        {"time to live exceeded", from + "Time to live exceeded\n", IP_TTL_EXPIRED_TRANSIT,
         IP_TTL_EXPIRED_TRANSIT, -1, "198.18.1.1"},
        {"reassembly time exceeded", from + "Frag reassembly time exceeded\n",
         IP_TTL_EXPIRED_REASSEM, IP_TTL_EXPIRED_REASSEM, -1, "198.18.1.1"},
        {"parameter problem", from + "Parameter problem: pointer = 0\n", IP_PARAM_PROBLEM,
         IP_PARAM_PROBLEM, -1, "198.18.1.1"},
        {"source quench", from + "Source Quench\n", IP_SOURCE_QUENCH, IP_SOURCE_QUENCH, -1,
         "198.18.1.1"},
        {"IPv6 reply", "1031 bytes from 2001:2:0:1::2: icmp_seq=1 ttl=64 time=20.1 ms\n", 0,
         IP_SUCCESS, 20100, "2001:2:0:1::2"},
        {"IPv6 no route", from6 + "Destination unreachable: No route\n", IP_DEST_NET_UNREACHABLE,
         IP_DEST_NET_UNREACHABLE, -1, "2001:2::1"},
        {"IPv6 address unreachable", from6 + "Destination unreachable: Address unreachable\n",
         IP_DEST_HOST_UNREACHABLE, IP_DEST_HOST_UNREACHABLE, -1, "2001:2::1"},
        {"IPv6 port unreachable", from6 + "Destination unreachable: Port unreachable\n",
         IP_DEST_PORT_UNREACHABLE, IP_DEST_PORT_UNREACHABLE, -1, "2001:2::1"},
        {"IPv6 packet too big", from6 + "Packet too big: mtu=1280\n", IP_PACKET_TOO_BIG,
         IP_PACKET_TOO_BIG, -1, "2001:2::1"},
        {"IPv6 hop limit", from6 + "Time exceeded: Hop limit\n", IP_TTL_EXPIRED_TRANSIT,
         IP_TTL_EXPIRED_TRANSIT, -1, "2001:2::1"},
        {"no route", "ping: sendmsg: Network is unreachable\n", IP_DEST_NET_UNREACHABLE,
         IP_DEST_NET_UNREACHABLE, -1, "0.0.0.0"},
        {"network down", "ping: connect: Network is unreachable\n", IP_DEST_NET_UNREACHABLE,
         IP_DEST_NET_UNREACHABLE, -1, "0.0.0.0"},
        {"firewall refuses", "ping: sendmsg: Operation not permitted\n", IP_GENERAL_FAILURE,
         IP_GENERAL_FAILURE, -1, "0.0.0.0"},
        {"no permission", "ping: socket: Operation not permitted\n", ECHO_ERROR_ACCESS_DENIED,
         IP_GENERAL_FAILURE, -1, "0.0.0.0"},
        {"cut short", head + "1031 bytes from 198.18.1.2: icmp_se", IP_GENERAL_FAILURE,
         IP_GENERAL_FAILURE, -1, "0.0.0.0"},
        {"garbage", "Segmentation fault\n\x01\xff", IP_GENERAL_FAILURE, IP_GENERAL_FAILURE, -1,
         "0.0.0.0"},
        {"nothing", "", IP_GENERAL_FAILURE, IP_GENERAL_FAILURE, -1, "0.0.0.0"},
    };
    for (const TRow& row : rows) {
        TEchoReply reply;
        EXPECT_EQ(ParsePingOutput(row.Output, reply), row.Result) << row.Case;
        EXPECT_EQ(reply.Status, row.Status) << row.Case;
        EXPECT_EQ(reply.RoundTripMicros, row.Micros) << row.Case;
        if (row.Micros >= 0) {
            EXPECT_EQ(reply.RoundTripTime, (row.Micros + 500) / 1000) << row.Case;
        }
        EXPECT_EQ(reply.Address, ParseAddressText(row.Address).value_or(TIpAddress())) << row.Case;
    }
}

// What a ping that keeps going says about each of its echoes, line by line.
TEST(PingOutput, LinesOfARunThatKeepsGoing) {
    using TKind = TPingLine::TKind;
    const std::string seven = "1031 bytes from 198.18.1.2: icmp_seq=7 ttl=64 time=20.1 ms";
    struct TRow {
        const char* Case;
        std::string Line, Next;
        TKind Kind;
        uint32_t Sequence;
        int Result;
    } const rows[] = {
        {"the start", "PING 198.18.1.2 (198.18.1.2) 1023(1051) bytes of data.", "", TKind::Header,
         0, IP_GENERAL_FAILURE},
        {"a reply", seven, "", TKind::Reply, 7, 0},
        {"a reply with the line after it", seven, seven, TKind::Reply, 7, 0},
        {"a reply with a break of CR LF", seven + "\r", "", TKind::Reply, 7, 0},
        {"a second reply", seven + " (DUP!)", "", TKind::Refused, 7, IP_REQ_TIMED_OUT},
        {"a reply with other data", seven, "wrong data byte #16 should be 0x10 but was 0xef",
         TKind::Refused, 7, IP_REQ_TIMED_OUT},
        {"a reply from elsewhere", seven + " (DIFFERENT ADDRESS!)", "", TKind::Refused, 7,
         IP_REQ_TIMED_OUT},
        {"a report", "From 198.18.1.1 icmp_seq=12 Destination Host Unreachable", "", TKind::Report,
         12, IP_DEST_HOST_UNREACHABLE},
        {"a redirect", "From 198.18.1.1 icmp_seq=12 Redirect Host(New nexthop: 198.18.1.9)", "",
         TKind::Other, 0, IP_GENERAL_FAILURE},
        {"a send that failed", "ping: sendmsg: Network is unreachable", "", TKind::SystemError, 0,
         IP_DEST_NET_UNREACHABLE},
        {"no socket", "ping: socket: Operation not permitted", "", TKind::Denied, 0,
         ECHO_ERROR_ACCESS_DENIED},
        {"a sequence too large", "1031 bytes from 198.18.1.2: icmp_seq=4294967296 ttl=64 time=1 ms",
         "", TKind::Other, 0, IP_GENERAL_FAILURE},
        {"cut short", "1031 bytes from 198.18.1.2: icmp_seq=7", "", TKind::Other, 0,
         IP_GENERAL_FAILURE},
    };
    for (const TRow& row : rows) {
        const TPingLine line = ReadPingLine(row.Line, row.Next);
        EXPECT_EQ(line.Kind, row.Kind) << row.Case;
        EXPECT_EQ(line.Sequence, row.Sequence) << row.Case;
        TEchoReply reply;
        EXPECT_EQ(PingLineStatus(line, reply), row.Result) << row.Case;
        if (row.Kind == TKind::Reply) {
            EXPECT_EQ(reply.RoundTripMicros, 20100) << row.Case;
            EXPECT_EQ(reply.Address, inet_addr("198.18.1.2")) << row.Case;
        }
    }
}

// A program that is ending must not wait for ping: the child is killed and reaped at once.
TEST(LinuxIcmpEcho, StopEndsAPingInFlightAndLeavesNoChild) {
    const TTempDir dir;
    WriteAll(dir.File("ping"),
             "#!/bin/sh\n"
             "case \"$*\" in *127.0.0.1) echo '24 bytes from 127.0.0.1: icmp_seq=1 ttl=64 "
             "time=0.1 ms'; exit 0;; esac\nexec sleep 30\n");
    chmod(dir.File("ping").c_str(), 0755);
    TLinuxIcmpEcho echo(TEchoEngineMode::PingOnly, dir.File("ping"));
    ASSERT_EQ(echo.Engine(), TEchoEngine::SystemPing) << echo.EngineChoice();
    const int stop = eventfd(0, EFD_CLOEXEC);
    std::thread raise([stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const uint64_t one = 1;
        EXPECT_EQ(write(stop, &one, sizeof one), ssize_t(sizeof one));
    });
    const auto start = std::chrono::steady_clock::now();
    const TEchoHandle h = echo.CreateFile();
    TEchoReply reply;
    const std::vector<uint8_t> payload(100, 0);
    EXPECT_EQ(echo.SendEcho(h, inet_addr("198.18.1.2"), payload, 20000, reply, stop),
              ECHO_ERROR_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    raise.join();
    echo.CloseHandle(h);
    close(stop);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// A ping that another user could have put into a folder of PATH would run as this user with
// every echo: the search passes it over for the next, and the log names the one chosen.
TEST(LinuxIcmpEcho, PingIsTakenOnlyFromAFolderNoOtherUserMayWrite) {
    const TTempDir temp;
    const std::string open = temp.File("open");
    const std::string own = temp.File("own");
    const std::string ran = temp.File("planted ping ran");
    for (const std::string& dir : {open, own}) {
        mkdir(dir.c_str(), 0755);
        WriteAll(dir + "/ping",
                 "#!/bin/sh\n" + (dir == open ? "touch '" + ran + "'\n" : std::string()) +
                     "echo '24 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.1 ms'\n");
        chmod((dir + "/ping").c_str(), 0755);
    }
    chmod(open.c_str(), 0777);
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";

    setenv("PATH", (open + ":" + own).c_str(), 1);
    const TLinuxIcmpEcho echo(TEchoEngineMode::PingOnly);
    EXPECT_EQ(echo.Engine(), TEchoEngine::SystemPing) << echo.EngineChoice();
    EXPECT_NE(echo.EngineChoice().find("runs of " + own + "/ping (passed over in PATH: " + open +
                                       " may be written by every user)."),
              std::string::npos)
        << echo.EngineChoice();

    setenv("PATH", open.c_str(), 1);
    const TLinuxIcmpEcho none(TEchoEngineMode::PingOnly);
    EXPECT_EQ(none.Engine(), TEchoEngine::None);
    EXPECT_NE(none.EngineChoice().find("no ping program in PATH is safe to run (" + open +
                                       " may be written by every user)"),
              std::string::npos)
        << none.EngineChoice();
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(std::filesystem::exists(ran));
}

TEST(LinuxIcmpEcho, CallsThatCannotBeMadeSaySo) {
    TLinuxIcmpEcho echo;
    if (!echo.PermissionProblem().empty()) {
        GTEST_SKIP() << echo.PermissionProblem();
    }
    const uint32_t loopback = inet_addr("127.0.0.1");
    const std::vector<uint8_t> small(32, 0);
    const std::vector<uint8_t> huge(TLinuxIcmpEcho::kMaxPayload + 1, 0);
    TEchoReply reply;
    EXPECT_EQ(echo.SendEcho(12345, loopback, small, 1000, reply), ECHO_ERROR_INVALID_HANDLE);

    const TEchoHandle h = echo.CreateFile();
    ASSERT_NE(h, INVALID_ECHO_HANDLE);
    EXPECT_EQ(echo.SendEcho(h, loopback, huge, 1000, reply), ECHO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(echo.SendEcho(h, loopback, small, 0, reply), IP_REQ_TIMED_OUT);
    EXPECT_EQ(reply.Status, IP_REQ_TIMED_OUT);
    EXPECT_EQ(reply.RoundTripMicros, -1);
    EXPECT_EQ(echo.SendEcho(h, loopback, small, 1000, reply), 0);
    EXPECT_EQ(reply.DataSize, small.size());
    echo.CloseHandle(h);
    EXPECT_EQ(echo.SendEcho(h, loopback, small, 1000, reply), ECHO_ERROR_INVALID_HANDLE);
}

}  // namespace
