// Echoes through Windows' ICMP helper: to this machine, and (LATMO_LAB_HOSTS set by
// tests/windows/wine-tests.sh, which runs Wine inside the lab) to hosts with known delays.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ThreadControl.h"
#include "platform/windows/WindowsIcmpEcho.h"

namespace {

// 198.18.k.2 in network order.
TIpAddress V4(unsigned a, unsigned b, unsigned c, unsigned d) {
    return TIpAddress(static_cast<uint32_t>(a | (b << 8) | (c << 16) | (d << 24)));
}

std::vector<uint8_t> Payload(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>('a' + i % 23);
    }
    return bytes;
}

struct TEchoResult {
    int Error = -1;
    TEchoReply Reply;
};

TEchoResult Echo(TWindowsIcmpEcho& echo, const TIpAddress& to, uint32_t timeoutMs,
                 TStopSignal stop = kNoStopSignal) {
    const TEchoHandle handle = echo.CreateFile();
    TEchoResult result;
    const std::vector<uint8_t> payload = Payload(56);
    result.Error = echo.SendEcho(handle, to, payload, timeoutMs, result.Reply, stop);
    echo.CloseHandle(handle);
    return result;
}

// The lab's hosts as the stage names them: "20=198.18.1.2,..." (delay or "drop"/"unreach").
std::string LabHost(const std::string& kind) {
    const char* hosts = std::getenv("LATMO_LAB_HOSTS");
    std::stringstream list(hosts != nullptr ? hosts : "");
    for (std::string item; std::getline(list, item, ',');) {
        const size_t equals = item.find('=');
        if (equals != std::string::npos && item.substr(0, equals) == kind) {
            return item.substr(equals + 1);
        }
    }
    return std::string();
}

TIpAddress Parse(const std::string& text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(text.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
    return V4(a, b, c, d);
}

}  // namespace

TEST(WindowsIcmpEcho, EchoToThisMachineComesBackWithItsPayload) {
    TWindowsIcmpEcho echo;
    ASSERT_EQ(echo.Engine(), TEchoEngine::IcmpLibrary) << echo.EngineChoice();
    const TEchoResult result = Echo(echo, V4(127, 0, 0, 1), 2000);
    ASSERT_EQ(result.Error, 0);
    EXPECT_EQ(result.Reply.Status, 0u);
    EXPECT_EQ(result.Reply.Address, V4(127, 0, 0, 1));
    EXPECT_EQ(result.Reply.DataSize, 56u);
    EXPECT_LT(result.Reply.RoundTripTime, 1000u);
}

TEST(WindowsIcmpEcho, CallsThatCannotBeMadeSayWhy) {
    TWindowsIcmpEcho echo;
    TEchoReply reply;
    const std::vector<uint8_t> payload = Payload(8);
    EXPECT_EQ(echo.SendEcho(12345, V4(127, 0, 0, 1), payload, 100, reply),
              ECHO_ERROR_INVALID_HANDLE);
    const TEchoHandle handle = echo.CreateFile();
    const std::vector<uint8_t> huge = Payload(TWindowsIcmpEcho::kMaxPayload + 1);
    EXPECT_EQ(echo.SendEcho(handle, V4(127, 0, 0, 1), huge, 100, reply),
              ECHO_ERROR_INVALID_PARAMETER);
    echo.CloseHandle(handle);
}

TEST(WindowsIcmpEchoLab, RoundTripsMatchTheLabsDelays) {
    TWindowsIcmpEcho echo;
    for (const int delay : {20, 80, 300}) {
        const std::string host = LabHost(std::to_string(delay));
        ASSERT_FALSE(host.empty()) << "run inside the lab: tests/windows/wine-tests.sh";
        const TEchoResult result = Echo(echo, Parse(host), 2000);
        ASSERT_EQ(result.Error, 0) << host;
        // Whole milliseconds: the delay, plus what the way there and back costs.
        EXPECT_GE(result.Reply.RoundTripTime, static_cast<uint32_t>(delay) - 1) << host;
        EXPECT_LE(result.Reply.RoundTripTime, static_cast<uint32_t>(delay) + 40) << host;
        EXPECT_EQ(result.Reply.Address, Parse(host));
    }
}

TEST(WindowsIcmpEchoLab, LossUnreachableAndTimeOutHaveTheirStatus) {
    TWindowsIcmpEcho echo;
    const struct {
        const char* Kind;
        uint32_t TimeoutMs;
        int Expected;
    } rows[] = {
        {"drop", 500, IP_REQ_TIMED_OUT},
        {"unreach", 2000, IP_DEST_HOST_UNREACHABLE},
        {"300", 100, IP_REQ_TIMED_OUT},
    };
    for (const auto& row : rows) {
        const std::string host = LabHost(row.Kind);
        ASSERT_FALSE(host.empty()) << "run inside the lab: tests/windows/wine-tests.sh";
        const TEchoResult result = Echo(echo, Parse(host), row.TimeoutMs);
        EXPECT_EQ(result.Error, row.Expected) << row.Kind << " " << host;
        EXPECT_EQ(result.Reply.Status, static_cast<uint32_t>(row.Expected)) << row.Kind;
    }
}

TEST(WindowsIcmpEchoLab, ARaisedStopCancelsTheEcho) {
    TWindowsIcmpEcho echo;
    const std::string host = LabHost("300");
    ASSERT_FALSE(host.empty()) << "run inside the lab: tests/windows/wine-tests.sh";
    const TStopSignal stop = MakeStopSignal();
    RaiseStopSignal(stop);
    const TEchoResult result = Echo(echo, Parse(host), 5000, stop);
    EXPECT_EQ(result.Error, ECHO_ERROR_CANCELLED);
    CloseStopSignal(stop);
}
