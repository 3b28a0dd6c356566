// The real echo service against the latency lab, through the probe engine as the program uses
// it, on both socket kinds.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

#include "core/ProbeEngine.h"
#include "lab/LatencyLab.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/LinuxNameLookup.h"

// The socket kind as words in the tests' names.
void PrintTo(TEchoSocketMode mode, std::ostream* os) {
    *os << (mode == TEchoSocketMode::DatagramOnly ? "datagram"
            : mode == TEchoSocketMode::RawOnly    ? "raw"
                                                  : "auto");
}

namespace {

struct TProbe {
    int32_t Slot = 0;
    int32_t Lost = 0;
    std::string Error;
    TEchoReply Reply;
    std::chrono::milliseconds Took{0};
};

// Builds a lab with ICMP datagram sockets allowed in its client namespace; skips without root.
#define LATMO_BUILD_LAB(lab)                                                \
    if (const std::string why = TLatencyLab::Unavailable(); !why.empty()) { \
        GTEST_SKIP() << why;                                                \
    }                                                                       \
    lab = std::make_unique<TLatencyLab>();                                  \
    lab->AllowDatagramSockets(true)

class EchoLab : public ::testing::TestWithParam<TEchoSocketMode> {
protected:
    void SetUp() override { LATMO_BUILD_LAB(lab); }

    // One probe from the client namespace, with a fresh ring as the worker would have it.
    TProbe Probe(const std::string& host, int32_t timeoutMs, int pingSize = 1024) {
        TProbe result;
        lab->RunInClient([&] {
            TSampleStore store;
            store.FTimeout = timeoutMs;
            const auto start = std::chrono::steady_clock::now();
            engine.PingHost(store, host, pingSize, false);
            result.Took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            result.Slot = store.FWork[0];
            result.Lost = store.FLostCount;
            result.Error = store.FPingError;
            result.Reply = engine.LastReply();
        });
        return result;
    }

    std::unique_ptr<TLatencyLab> lab;
    TLinuxNameLookup lookup;
    TLinuxIcmpEcho echo{GetParam()};
    TProbeEngine engine{lookup, echo};
};

INSTANTIATE_TEST_SUITE_P(Sockets, EchoLab,
                         ::testing::Values(TEchoSocketMode::DatagramOnly, TEchoSocketMode::RawOnly),
                         [](const auto& row) {
                             return row.param == TEchoSocketMode::DatagramOnly ? "Datagram" : "Raw";
                         });

TEST_P(EchoLab, LoopbackAnswersWithTheWholePayload) {
    for (const int pingSize : {15, 1024, 10000}) {
        const TProbe probe = Probe("127.0.0.1", 1000, pingSize);
        EXPECT_EQ(probe.Error, "") << pingSize;
        EXPECT_EQ(probe.Lost, 0);
        EXPECT_LT(probe.Slot, 50);
        EXPECT_EQ(probe.Reply.Address, inet_addr("127.0.0.1"));
        EXPECT_EQ(probe.Reply.DataSize, pingSize - 1);
    }
}

// The lab's responder answers after its delay; the echo service must report that delay, and
// rounding to whole milliseconds must not push it off by more than one. No reply can come
// sooner than the delay; a busy machine may hold one back, so the best of three must be close.
TEST_P(EchoLab, MeasuresHostDelaysWithinOneMillisecond) {
    for (const int delayMs : {1, 20, 80, 300}) {
        const std::string host = lab->AddHost({.DelayUs = delayMs * 1000});
        int32_t bestSlot = INT32_MAX;
        int64_t bestMicros = INT64_MAX;
        for (int i = 0; i < 3; ++i) {
            const TProbe probe = Probe(host, 1000);
            EXPECT_EQ(probe.Error, "");
            EXPECT_GE(probe.Slot, delayMs - 1) << host;
            EXPECT_GE(probe.Reply.RoundTripMicros, delayMs * 1000 - 1000) << host;
            EXPECT_EQ(probe.Reply.Address, inet_addr(host.c_str()));
            bestSlot = std::min(bestSlot, probe.Slot);
            bestMicros = std::min(bestMicros, probe.Reply.RoundTripMicros);
        }
        EXPECT_NEAR(bestSlot, delayMs, 1) << host;
        EXPECT_NEAR(double(bestMicros), delayMs * 1000.0, 1000) << host;
    }
}

// 9999 bytes do not fit the link's 1500-byte MTU: request and reply travel in fragments.
TEST_P(EchoLab, LargestPayloadTravelsFragmented) {
    const std::string host = lab->AddHost({.DelayUs = 20000});
    const TProbe probe = Probe(host, 1000, 10000);
    EXPECT_EQ(probe.Error, "");
    EXPECT_NEAR(probe.Slot, 20, 1);
    EXPECT_EQ(probe.Reply.DataSize, 9999);
}

// Decoys arrive halfway: they must neither end the wait nor restart it.
TEST_P(EchoLab, DroppedEchoIsLostAfterTheFullTimeOut) {
    const std::string host = lab->AddHost({.DelayUs = 300000, .DropFraction = 1, .Decoys = true});
    const TProbe probe = Probe(host, 200);
    EXPECT_EQ(probe.Error, "Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    EXPECT_EQ(probe.Slot, 200);
    EXPECT_EQ(probe.Lost, 1);
    EXPECT_GE(probe.Took.count(), 200);
    EXPECT_LT(probe.Took.count(), 290);
}

TEST_P(EchoLab, TimeOutZeroReturnsAtOnce) {
    const std::string host = lab->AddHost({.DelayUs = 300000});
    const TProbe probe = Probe(host, 0);
    EXPECT_EQ(probe.Error, "Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    EXPECT_EQ(probe.Lost, 1);
    EXPECT_LT(probe.Took.count(), 50);
}

struct TErrorRow {
    int Type;
    int Code;
    std::string Text;
    // The kernel keeps reassembly time-outs to itself; only a raw socket sees them.
    bool RawOnly = false;
};

TEST_P(EchoLab, ErrorReportsAboutTheRequestEndTheProbe) {
    const TErrorRow rows[] = {
        {3, 0, "Error 11002 in call to IcmpSendEcho(): Destination Net Unreachable"},
        {3, 1, "Error 11003 in call to IcmpSendEcho(): Destination Host Unreachable"},
        {3, 2, "Error 11004 in call to IcmpSendEcho(): Destination Protocol Unreachable"},
        {3, 3, "Error 11005 in call to IcmpSendEcho(): Destination Port Unreachable"},
        {11, 0, "Error 11013 in call to IcmpSendEcho(): TimeToLive Expired Transit"},
        {11, 1, "Error 11014 in call to IcmpSendEcho(): TimeToLive Expired Reassembly", true},
        {12, 0, "Error 11015 in call to IcmpSendEcho(): Parameter Problem"},
        {4, 0, "Error 11016 in call to IcmpSendEcho(): Source Quench"},
    };
    for (const TErrorRow& row : rows) {
        if (row.RawOnly && GetParam() != TEchoSocketMode::RawOnly) {
            continue;
        }
        const std::string host =
            lab->AddHost({.DelayUs = 5000, .ErrorType = row.Type, .ErrorCode = row.Code});
        const TProbe probe = Probe(host, 1000);
        EXPECT_EQ(probe.Error, row.Text);
        EXPECT_EQ(probe.Slot, 1000);
        EXPECT_EQ(probe.Lost, 1);
        EXPECT_EQ(probe.Reply.Address, inet_addr(host.c_str()));
        EXPECT_LT(probe.Took.count(), 500) << row.Text;
    }
}

// Replies with another sequence or identifier (one of them from another address), an error
// report about another request, and another thread's echoes to a second host (through the same
// service object) all pass during the wait.
TEST_P(EchoLab, OtherIcmpTrafficIsIgnored) {
    const std::string host = lab->AddHost({.DelayUs = 80000, .Decoys = true});
    const std::string busy = lab->AddHost({.DelayUs = 2000});
    std::atomic<bool> done{false};
    std::thread other([&] {
        lab->RunInClient([&] {
            const std::vector<uint8_t> payload(64, 0);
            for (int i = 0; i < 100 && !done; ++i) {
                const TEchoHandle h = echo.CreateFile();
                TEchoReply reply;
                EXPECT_EQ(echo.SendEcho(h, inet_addr(busy.c_str()), payload, 100, reply), 0);
                echo.CloseHandle(h);
            }
        });
    });
    const TProbe probe = Probe(host, 1000);
    done = true;
    other.join();
    EXPECT_EQ(probe.Error, "");
    EXPECT_NEAR(probe.Slot, 80, 1);
}

// A device that cuts the echoed data short or changes it, or a host that answers from another
// of its addresses: the reply is still the reply, as the system's echo call takes it, and says
// what came back from whom.
TEST_P(EchoLab, ChangedRepliesStillCount) {
    struct Row {
        const char* Case;
        TLabHostOptions Options;
        uint16_t DataSize;
        bool OtherSource;
    } const rows[] = {
        {"data cut short", {.DelayUs = 20000, .CutData = 100}, 100, false},
        {"no data left", {.DelayUs = 20000, .CutData = 0}, 0, false},
        {"data inverted", {.DelayUs = 20000, .FlipData = true}, 1023, false},
        {"another source", {.DelayUs = 20000, .OtherSource = true}, 1023, true},
    };
    for (const Row& r : rows) {
        const std::string host = lab->AddHost(r.Options);
        const TProbe probe = Probe(host, 1000);
        EXPECT_EQ(probe.Error, "") << r.Case;
        EXPECT_NEAR(probe.Slot, 20, 1) << r.Case;
        EXPECT_EQ(probe.Lost, 0) << r.Case;
        EXPECT_EQ(probe.Reply.DataSize, r.DataSize) << r.Case;
        const uint32_t from =
            r.OtherSource ? htonl(ntohl(inet_addr(host.c_str())) + 1) : inet_addr(host.c_str());
        EXPECT_EQ(probe.Reply.Address, from) << r.Case;
    }
}

// The first request's reply comes 200 ms into the second request's wait, on the same socket.
TEST_P(EchoLab, LateReplyToAnEarlierRequestIsNotTaken) {
    const std::string host = lab->AddHost({.DelayUs = 300000});
    lab->RunInClient([&] {
        const std::vector<uint8_t> payload(100, 0);
        const TEchoHandle h = echo.CreateFile();
        ASSERT_NE(h, INVALID_ECHO_HANDLE);
        TEchoReply reply;
        EXPECT_EQ(echo.SendEcho(h, inet_addr(host.c_str()), payload, 100, reply), IP_REQ_TIMED_OUT);
        EXPECT_EQ(echo.SendEcho(h, inet_addr(host.c_str()), payload, 1000, reply), 0);
        EXPECT_NEAR(reply.RoundTripTime, 300, 1);
        echo.CloseHandle(h);
    });
}

TEST_P(EchoLab, UnknownNameGivesTheLookupText) {
    const TProbe probe = Probe("no-such-host.invalid", 500);
    // Without a name server in reach the resolver may say "try again" instead of "no name".
    EXPECT_TRUE(probe.Error ==
                    "Error in call to gethostbyname(). Error code: 11001 Authoritative Answer "
                    "Host not found." ||
                probe.Error ==
                    "Error in call to gethostbyname(). Error code: 11002 Non-Authoritative Host "
                    "not found, or server failure.")
        << probe.Error;
    EXPECT_EQ(probe.Slot, 500);
    EXPECT_EQ(probe.Lost, 0);
}

// Takes CAP_NET_RAW out of the calling thread's effective set (capabilities are per thread).
void DropRawSocketCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    data[0].effective &= ~(1u << CAP_NET_RAW);
    ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
}

TEST(EchoPermission, AutoTakesTheSocketTheNamespaceAllows) {
    std::unique_ptr<TLatencyLab> lab;
    LATMO_BUILD_LAB(lab);
    for (const bool datagram : {true, false}) {
        lab->AllowDatagramSockets(datagram);
        lab->RunInClient([&] {
            TLinuxIcmpEcho echo;
            EXPECT_EQ(echo.PermissionProblem(), "");
            const TEchoHandle h = echo.CreateFile();
            EXPECT_EQ(echo.KindOf(h), datagram ? TIcmpSocketKind::Datagram : TIcmpSocketKind::Raw);
            echo.CloseHandle(h);
        });
    }
}

TEST(EchoPermission, WithoutAnySocketTheUserLearnsBothFixes) {
    std::unique_ptr<TLatencyLab> lab;
    LATMO_BUILD_LAB(lab);
    lab->AllowDatagramSockets(false);
    lab->RunInClient([&] {
        DropRawSocketCapability();
        TLinuxNameLookup lookup;
        TLinuxIcmpEcho echo;
        const std::string problem = echo.PermissionProblem();
        EXPECT_NE(problem.find("sudo setcap cap_net_raw+ep /"), std::string::npos) << problem;
        EXPECT_NE(problem.find("sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""),
                  std::string::npos)
            << problem;
        TProbeEngine engine(lookup, echo);
        TSampleStore store;
        store.FTimeout = 1000;
        engine.PingHost(store, "127.0.0.1", 1024, false);
        EXPECT_EQ(store.FPingError, "Error 5 in call to IcmpSendEcho(): General Failure");
        EXPECT_EQ(store.FWork[0], 1000);
        EXPECT_EQ(store.FLostCount, 1);
    });
}

}  // namespace
