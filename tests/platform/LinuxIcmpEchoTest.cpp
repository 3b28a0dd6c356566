#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <optional>
#include <vector>

#include "platform/linux/IcmpSocket.h"
#include "platform/linux/IcmpWire.h"
#include "platform/linux/LinuxIcmpEcho.h"

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
