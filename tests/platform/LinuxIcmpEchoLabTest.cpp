// The real echo service against the latency lab, through the probe engine as the program uses
// it, on both socket kinds.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <grp.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "core/ProbeEngine.h"
#include "lab/LatencyLab.h"
#include "platform/linux/AddressText.h"
#include "platform/linux/CapturedRun.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/LinuxNameLookup.h"
#include "platform/linux/LinuxShell.h"
#include "support/TempDir.h"

// One engine, over one address family.
struct TEngineFamily {
    TEchoEngineMode Mode;
    bool V6;
};

void PrintTo(const TEngineFamily& row, std::ostream* out) {
    *out << (row.Mode == TEchoEngineMode::DatagramOnly ? "Datagram"
             : row.Mode == TEchoEngineMode::RawOnly    ? "Raw"
                                                       : "Ping")
         << (row.V6 ? "6" : "4");
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

class EchoLab : public ::testing::TestWithParam<TEngineFamily> {
protected:
    // The engine is chosen, and a raw socket opened, in the namespace the service is made in.
    void SetUp() override {
        LATMO_BUILD_LAB(lab);
        lab->RunInClient([&] { echo = std::make_unique<TLinuxIcmpEcho>(GetParam().Mode); });
        ASSERT_EQ(echo->Engine(), kEngines.at(GetParam().Mode)) << echo->EngineChoice();
        engine = std::make_unique<TProbeEngine>(lookup, *echo);
    }

    // One probe from the client namespace, with a fresh ring as the worker would have it.
    TProbe Probe(const std::string& host, int32_t timeoutMs, int pingSize = 1024) {
        TProbe result;
        lab->RunInClient([&] {
            TSampleStore store;
            store.FTimeout = timeoutMs;
            const auto start = std::chrono::steady_clock::now();
            engine->PingHost(store, host, pingSize, false);
            result.Took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            result.Slot = store.FWork[0];
            result.Lost = store.FLostCount;
            result.Error = store.FPingError;
            result.Reply = engine->LastReply();
        });
        return result;
    }

    std::unique_ptr<TLatencyLab> lab;
    TLinuxNameLookup lookup;
    static bool Ping() { return GetParam().Mode == TEchoEngineMode::PingOnly; }
    static bool V6() { return GetParam().V6; }
    // A lab host, by the address of the family under test.
    std::string AddHost(const TLabHostOptions& options) {
        const std::string v4 = lab->AddHost(options);
        return V6() ? TLatencyLab::Ipv6Of(v4) : v4;
    }
    static TIpAddress Address(const std::string& text) { return *ParseAddressText(text); }
    static std::string Loopback() { return V6() ? "::1" : "127.0.0.1"; }

    std::unique_ptr<TLinuxIcmpEcho> echo;
    std::unique_ptr<TProbeEngine> engine;

    static inline const std::map<TEchoEngineMode, TEchoEngine> kEngines = {
        {TEchoEngineMode::DatagramOnly, TEchoEngine::DatagramSocket},
        {TEchoEngineMode::RawOnly, TEchoEngine::RawSocket},
        {TEchoEngineMode::PingOnly, TEchoEngine::SystemPing}};
};

INSTANTIATE_TEST_SUITE_P(Engines, EchoLab,
                         ::testing::Values(TEngineFamily{TEchoEngineMode::DatagramOnly, false},
                                           TEngineFamily{TEchoEngineMode::RawOnly, false},
                                           TEngineFamily{TEchoEngineMode::PingOnly, false},
                                           TEngineFamily{TEchoEngineMode::DatagramOnly, true},
                                           TEngineFamily{TEchoEngineMode::RawOnly, true},
                                           TEngineFamily{TEchoEngineMode::PingOnly, true}),
                         [](const auto& row) { return ::testing::PrintToString(row.param); });

TEST_P(EchoLab, LoopbackAnswersWithTheWholePayload) {
    for (const int pingSize : {15, 1024, 10000}) {
        const TProbe probe = Probe(Loopback(), 1000, pingSize);
        EXPECT_EQ(probe.Error, "") << pingSize;
        EXPECT_EQ(probe.Lost, 0);
        EXPECT_LT(probe.Slot, 50);
        EXPECT_EQ(probe.Reply.Address, Address(Loopback()));
        // ping's data begins with its 16-byte stamp, so it never sends less.
        EXPECT_EQ(probe.Reply.DataSize, std::max(pingSize - 1, Ping() ? 16 : 0));
    }
}

// The lab's responder answers after its delay; the echo service must report that delay, and
// rounding to whole milliseconds must not push it off by more than one. No reply can come
// sooner than the delay; a busy machine may hold one back, so the best of three must be close.
TEST_P(EchoLab, MeasuresHostDelaysWithinOneMillisecond) {
    for (const int delayMs : {1, 20, 80, 300}) {
        const std::string host = AddHost({.DelayUs = delayMs * 1000});
        int32_t bestSlot = INT32_MAX;
        int64_t bestMicros = INT64_MAX;
        for (int i = 0; i < 3; ++i) {
            const TProbe probe = Probe(host, 1000);
            EXPECT_EQ(probe.Error, "");
            EXPECT_GE(probe.Slot, delayMs - 1) << host;
            EXPECT_GE(probe.Reply.RoundTripMicros, delayMs * 1000 - 1000) << host;
            EXPECT_EQ(probe.Reply.Address, Address(host));
            bestSlot = std::min(bestSlot, probe.Slot);
            bestMicros = std::min(bestMicros, probe.Reply.RoundTripMicros);
        }
        EXPECT_NEAR(bestSlot, delayMs, 1) << host;
        EXPECT_NEAR(double(bestMicros), delayMs * 1000.0, 1000) << host;
    }
}

// 9999 bytes do not fit the link's 1500-byte MTU: request and reply travel in fragments.
TEST_P(EchoLab, LargestPayloadTravelsFragmented) {
    const std::string host = AddHost({.DelayUs = 20000});
    const TProbe probe = Probe(host, 1000, 10000);
    EXPECT_EQ(probe.Error, "");
    EXPECT_NEAR(probe.Slot, 20, 1);
    EXPECT_EQ(probe.Reply.DataSize, 9999);
}

// Decoys arrive halfway: they must neither end the wait nor restart it. (ping takes a reply
// with its identifier and another sequence for its own and ends; see OtherIcmpTraffic.)
TEST_P(EchoLab, DroppedEchoIsLostAfterTheFullTimeOut) {
    const std::string host = AddHost({.DelayUs = 300000, .DropFraction = 1, .Decoys = !Ping()});
    const TProbe probe = Probe(host, 200);
    EXPECT_EQ(probe.Error, "Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    EXPECT_EQ(probe.Slot, 200);
    EXPECT_EQ(probe.Lost, 1);
    EXPECT_GE(probe.Took.count(), 200);
    EXPECT_LT(probe.Took.count(), 290);
}

TEST_P(EchoLab, TimeOutZeroReturnsAtOnce) {
    const std::string host = AddHost({.DelayUs = 300000});
    const TProbe probe = Probe(host, 0);
    EXPECT_EQ(probe.Error, "Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    EXPECT_EQ(probe.Lost, 1);
    EXPECT_LT(probe.Took.count(), 50);
}

// IPv4 reports; an IPv6 host answers with the ICMPv6 report of the same meaning, where there is
// one.
struct TErrorRow {
    int Type;
    int Code;
    std::string Text;
    // The kernel keeps reassembly time-outs to itself; only a raw socket sees them.
    bool RawOnly = false;
    bool V4Only = false;
    // Our IPv4 requests may be fragmented, so no router reports them too big; an IPv6 one may.
    bool V6Only = false;
};

TEST_P(EchoLab, ErrorReportsAboutTheRequestEndTheProbe) {
    const TErrorRow rows[] = {
        {3, 0, "Error 11002 in call to IcmpSendEcho(): Destination Net Unreachable"},
        {3, 1, "Error 11003 in call to IcmpSendEcho(): Destination Host Unreachable"},
        {3, 2, "Error 11004 in call to IcmpSendEcho(): Destination Protocol Unreachable", false,
         true},
        {3, 3, "Error 11005 in call to IcmpSendEcho(): Destination Port Unreachable"},
        {3, 4, "Error 11009 in call to IcmpSendEcho(): Packet Too Big", false, false, true},
        {11, 0, "Error 11013 in call to IcmpSendEcho(): TimeToLive Expired Transit"},
        {11, 1, "Error 11014 in call to IcmpSendEcho(): TimeToLive Expired Reassembly", true},
        {12, 0, "Error 11015 in call to IcmpSendEcho(): Parameter Problem"},
        {4, 0, "Error 11016 in call to IcmpSendEcho(): Source Quench", false, true},
    };
    for (const TErrorRow& row : rows) {
        if ((row.RawOnly && GetParam().Mode != TEchoEngineMode::RawOnly) || (row.V4Only && V6()) ||
            (row.V6Only && !V6())) {
            continue;
        }
        const std::string host =
            AddHost({.DelayUs = 5000, .ErrorType = row.Type, .ErrorCode = row.Code});
        const TProbe probe = Probe(host, 1000);
        EXPECT_EQ(probe.Error, row.Text);
        EXPECT_EQ(probe.Slot, 1000);
        EXPECT_EQ(probe.Lost, 1);
        EXPECT_EQ(probe.Reply.Address, Address(host));
        EXPECT_LT(probe.Took.count(), 500) << row.Text;
    }
}

// Replies with another sequence or identifier, forged replies with ours (from another address,
// or with other data), an error report about another request, and another thread's echoes to a
// second host (through the same service object) all pass during the wait.
TEST_P(EchoLab, OtherIcmpTrafficIsIgnored) {
    const std::string host = AddHost({.DelayUs = 80000, .Decoys = true});
    const std::string busy = AddHost({.DelayUs = 2000});
    std::atomic<bool> done{false};
    std::thread other([&] {
        lab->RunInClient([&] {
            const std::vector<uint8_t> payload(64, 0);
            for (int i = 0; i < 100 && !done; ++i) {
                const TEchoHandle h = echo->CreateFile();
                TEchoReply reply;
                EXPECT_EQ(echo->SendEcho(h, Address(busy), payload, 100, reply), 0);
                echo->CloseHandle(h);
            }
        });
    });
    const TProbe probe = Probe(host, 1000);
    done = true;
    other.join();
    if (Ping()) {
        // ping ends at the first reply with its identifier, whatever its sequence: the echo is
        // lost then, but never measured wrong.
        EXPECT_EQ(probe.Error, "Error 11010 in call to IcmpSendEcho(): Request Timed Out");
        return;
    }
    EXPECT_EQ(probe.Error, "");
    EXPECT_NEAR(probe.Slot, 80, 1);
}

// A reply with the request's numbers that comes from another address, or with its data cut
// short or changed, may come from anyone who saw the request: no engine takes it for the
// host's, and with no other reply the echo is lost.
TEST_P(EchoLab, ChangedRepliesAreRefused) {
    struct Row {
        const char* Case;
        TLabHostOptions Options;
    } const rows[] = {
        {"data cut short", {.DelayUs = 20000, .CutData = 100}},
        {"no data left", {.DelayUs = 20000, .CutData = 0}},
        {"data inverted", {.DelayUs = 20000, .FlipData = true}},
        {"another source", {.DelayUs = 20000, .OtherSource = true}},
    };
    for (const Row& r : rows) {
        const TProbe probe = Probe(AddHost(r.Options), 200);
        EXPECT_EQ(probe.Error, "Error 11010 in call to IcmpSendEcho(): Request Timed Out")
            << r.Case;
        EXPECT_EQ(probe.Slot, 200) << r.Case;
        EXPECT_EQ(probe.Lost, 1) << r.Case;
    }
}

// The first request's reply comes 200 ms into the second request's wait, on the same socket.
TEST_P(EchoLab, LateReplyToAnEarlierRequestIsNotTaken) {
    const std::string host = AddHost({.DelayUs = 300000});
    lab->RunInClient([&] {
        const std::vector<uint8_t> payload(100, 0);
        const TEchoHandle h = echo->CreateFile();
        ASSERT_NE(h, INVALID_ECHO_HANDLE);
        TEchoReply reply;
        EXPECT_EQ(echo->SendEcho(h, Address(host), payload, 100, reply), IP_REQ_TIMED_OUT);
        EXPECT_EQ(echo->SendEcho(h, Address(host), payload, 1000, reply), 0);
        EXPECT_NEAR(reply.RoundTripTime, 300, 1);
        echo->CloseHandle(h);
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

// Runs `work` in a child process of the lab's client namespace that runs as an ordinary user
// (nobody), with the services such a user has there, and returns the lines of what it wrote.
std::vector<std::string> AsOrdinaryUser(
    const TLatencyLab& lab,
    const std::function<std::string(TLinuxIcmpEcho& echo, TProbeEngine& engine)>& work) {
    std::vector<std::string> lines;
    lab.RunInClient([&] {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(out[0]);
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
                _exit(2);
            }
            TLinuxNameLookup lookup;
            TLinuxIcmpEcho echo;
            TProbeEngine engine(lookup, echo);
            const std::string text = work(echo, engine);
            _exit(write(out[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 3);
        }
        close(out[1]);
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
            text.append(buffer, size_t(got));
        }
        close(out[0]);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
    });
    return lines;
}

// One probe's line: the slot, the lost count and the Log page's error text.
std::string ProbeLine(TProbeEngine& engine, const std::string& host, int32_t timeoutMs) {
    TSampleStore store;
    store.FTimeout = timeoutMs;
    engine.PingHost(store, host, 1024, false);
    return std::to_string(store.FWork[0]) + " " + std::to_string(store.FLostCount) + " " +
           store.FPingError + "\n";
}

// Probes each host in a child process that runs as an ordinary user (nobody), with whatever
// engine the client namespace lets such a user have. One line per probe comes back: the slot,
// the lost count and the Log page's error text.
std::vector<std::string> ProbeAsOrdinaryUser(const TLatencyLab& lab,
                                             const std::vector<std::string>& hosts,
                                             int32_t timeoutMs, TEchoEngine& engineUsed) {
    std::vector<std::string> lines =
        AsOrdinaryUser(lab, [&](TLinuxIcmpEcho& echo, TProbeEngine& engine) {
            std::string text = std::to_string(int(echo.Engine())) + "\n";
            for (const std::string& host : hosts) {
                text += ProbeLine(engine, host, timeoutMs);
            }
            return text;
        });
    if (!lines.empty()) {
        engineUsed = TEchoEngine(std::stoi(lines.front()));
        lines.erase(lines.begin());
    }
    return lines;
}

// What an ordinary user on a machine that closes ICMP datagram sockets gets through ping is
// what one on a machine that opens them gets through the socket: the same whole milliseconds
// in every echo, the same losses and errors, the same Log-page lines.
TEST(EchoPermission, PingAndDatagramSocketGiveTheSameResults) {
    std::unique_ptr<TLatencyLab> lab;
    LATMO_BUILD_LAB(lab);
    std::vector<std::string> hosts;
    for (const int delayMs : {1, 20, 80, 300}) {
        const std::string host = lab->AddHost({.DelayUs = delayMs * 1000});
        hosts.insert(hosts.end(), 3, host);
    }
    hosts.push_back(lab->AddHost({.DelayUs = 1000, .DropFraction = 1}));
    hosts.push_back(lab->AddHost({.DelayUs = 700000}));  // beyond the time-out
    hosts.push_back(lab->AddHost({.DelayUs = 1000, .ErrorType = 3, .ErrorCode = 1}));
    hosts.push_back(lab->AddHost({.DelayUs = 1000, .ErrorType = 3, .ErrorCode = 0}));
    TEchoEngine datagramEngine = TEchoEngine::None;
    TEchoEngine pingEngine = TEchoEngine::None;
    // The lab's delays and a busy machine's scheduling only ever add a millisecond or two, to
    // either engine, now and then: each engine's echo counts with the shortest time it gave in
    // up to three rounds. A fault of an engine shows in every round.
    const auto fastest = [](std::vector<std::string>& kept, const std::vector<std::string>& now) {
        if (kept.size() != now.size()) {
            kept = now;
            return;
        }
        for (size_t i = 0; i < kept.size(); ++i) {
            const size_t keptSpace = kept[i].find(' ');
            const size_t nowSpace = now[i].find(' ');
            if (kept[i].substr(keptSpace) == now[i].substr(nowSpace) &&
                std::stoi(now[i]) < std::stoi(kept[i])) {
                kept[i] = now[i];
            }
        }
    };
    std::vector<std::string> datagram;
    std::vector<std::string> ping;
    for (int round = 0; round < 3 && (round == 0 || ping != datagram); ++round) {
        lab->AllowDatagramSockets(true);
        fastest(datagram, ProbeAsOrdinaryUser(*lab, hosts, 500, datagramEngine));
        lab->AllowDatagramSockets(false);
        fastest(ping, ProbeAsOrdinaryUser(*lab, hosts, 500, pingEngine));
    }
    EXPECT_EQ(datagramEngine, TEchoEngine::DatagramSocket);
    EXPECT_EQ(pingEngine, TEchoEngine::SystemPing);
    ASSERT_EQ(datagram.size(), hosts.size());
    EXPECT_EQ(ping, datagram);
    EXPECT_EQ(datagram[1], "1 0 ");
    EXPECT_EQ(datagram[4], "20 0 ");
    EXPECT_EQ(datagram[12], "500 1 Error 11010 in call to IcmpSendEcho(): Request Timed Out");
    EXPECT_EQ(datagram[15],
              "500 1 Error 11002 in call to IcmpSendEcho(): Destination Net Unreachable");
}

// The processes the calling process has started and not reaped, by their ids.
std::set<std::string> OwnChildren() {
    std::set<std::string> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        for (std::string pid; in >> pid;) {
            children.insert(pid);
        }
    }
    return children;
}

// Passes as the program makes them, one every periodMs, by an ordinary user: the hosts of each
// row are one pass, probed with the row's time-out. Comes back with a line per probe as
// ProbeAsOrdinaryUser gives it, and after each pass a line "children" with the processes the
// service keeps, then one after a pass that probed nothing.
std::vector<std::string> PassesAsOrdinaryUser(
    const TLatencyLab& lab, const std::vector<std::pair<std::vector<std::string>, int32_t>>& rows,
    int32_t periodMs) {
    return AsOrdinaryUser(lab, [&](TLinuxIcmpEcho&, TProbeEngine& engine) {
        std::string text;
        const auto start = std::chrono::steady_clock::now();
        for (size_t pass = 0; pass <= rows.size(); ++pass) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(periodMs) * pass);
            const auto& [hosts, timeoutMs] = pass < rows.size() ? rows[pass] : decltype(rows[0]){};
            engine.BeginPass(hosts, timeoutMs, periodMs);
            for (const std::string& host : hosts) {
                text += ProbeLine(engine, host, timeoutMs);
            }
            engine.EndPass();
            text += "children";
            for (const std::string& pid : OwnChildren()) {
                text += " " + pid;
            }
            text += "\n";
        }
        return text;
    });
}

// Through ping, passes that repeat keep one ping per host running, which answers pass after pass
// what the datagram socket answers; a change of the time-out starts them anew, and so does a
// second echo to a host within one pass, which ping has not sent yet. A host that no pass asks
// for is pinged no more. Forged replies to echoes ping is still to send are no answer to them:
// with a forger about, an echo through ping is lost or measured right, never measured wrong.
TEST(EchoPermission, PassesThroughPingKeepOnePingPerHost) {
    std::unique_ptr<TLatencyLab> lab;
    LATMO_BUILD_LAB(lab);
    const std::vector<std::string> hosts = {
        lab->AddHost({.DelayUs = 1000}),
        lab->AddHost({.DelayUs = 20000}),
        lab->AddHost({.DelayUs = 1000, .DropFraction = 1}),
        lab->AddHost({.DelayUs = 700000}),  // beyond the time-out
        lab->AddHost({.DelayUs = 1000, .ErrorType = 3, .ErrorCode = 1}),
        lab->AddHost({.DelayUs = 80000, .Decoys = true}),
    };
    const std::vector<std::pair<std::vector<std::string>, int32_t>> rows = {
        {hosts, 500}, {hosts, 500}, {hosts, 500}, {{hosts[1], hosts[1]}, 400}};
    const std::vector<std::string> datagram = PassesAsOrdinaryUser(*lab, rows, 1500);
    lab->AllowDatagramSockets(false);
    const std::vector<std::string> ping = PassesAsOrdinaryUser(*lab, rows, 1500);
    const auto probes = [](const std::vector<std::string>& lines) {
        std::vector<std::string> result;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(result),
                     [](const std::string& line) { return line.rfind("children", 0) != 0; });
        return result;
    };
    const auto children = [](const std::vector<std::string>& lines) {
        std::vector<std::string> result;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(result),
                     [](const std::string& line) { return line.rfind("children", 0) == 0; });
        return result;
    };
    const std::string lost = "500 1 Error 11010 in call to IcmpSendEcho(): Request Timed Out";
    const std::vector<std::string> datagramProbes = probes(datagram);
    std::vector<std::string> pingProbes = probes(ping);
    ASSERT_EQ(datagramProbes.size(), 20u);
    ASSERT_EQ(pingProbes.size(), 20u);
    // Times within the jitter of the lab and a busy machine, which only ever adds to them: a
    // passes' run is too long to repeat as the equivalence test above does.
    const auto slot = [](const std::string& line) { return std::stoi(line); };
    const auto rest = [](const std::string& line) { return line.substr(line.find(' ')); };
    const auto measured = [&](const std::string& line, int32_t delayMs) {
        return rest(line) == " 0 " && slot(line) >= delayMs && slot(line) <= delayMs + 3;
    };
    for (const size_t forged : {5, 11, 17}) {
        EXPECT_TRUE(measured(datagramProbes[forged], 80)) << datagramProbes[forged];
        EXPECT_TRUE(measured(pingProbes[forged], 80) || pingProbes[forged] == lost)
            << pingProbes[forged];
        pingProbes[forged] = datagramProbes[forged];
    }
    // The same losses and texts.
    for (size_t i = 0; i < datagramProbes.size(); ++i) {
        EXPECT_NEAR(slot(pingProbes[i]), slot(datagramProbes[i]), 3) << i;
        EXPECT_EQ(rest(pingProbes[i]), rest(datagramProbes[i])) << i;
    }
    EXPECT_TRUE(measured(datagramProbes[1], 20)) << datagramProbes[1];
    EXPECT_EQ(datagramProbes[3], lost);
    EXPECT_TRUE(measured(datagramProbes[19], 20)) << datagramProbes[19];

    const std::vector<std::string> datagramChildren = children(datagram);
    ASSERT_EQ(datagramChildren.size(), 5u);
    EXPECT_EQ(datagramChildren[0], "children") << "the sockets need no process";
    const std::vector<std::string> pings = children(ping);
    ASSERT_EQ(pings.size(), 5u);
    EXPECT_EQ(std::count(pings[0].begin(), pings[0].end(), ' '), 6) << "one ping per host";
    EXPECT_EQ(pings[1], pings[0]) << "kept for the next pass";
    EXPECT_EQ(pings[2], pings[0]);
    ASSERT_EQ(std::count(pings[3].begin(), pings[3].end(), ' '), 1) << "the others are ended";
    EXPECT_EQ(pings[0].find(pings[3].substr(pings[3].find(' '))), std::string::npos)
        << "another time-out, another ping";
    EXPECT_EQ(pings[4], "children") << "no host, no ping, and none left unreaped";
}

// The engine the service chooses in the namespace's and the thread's circumstances, and what a
// probe says when none can send. The stand-ins for ping are scripts: one that is refused its
// socket as ping is without its capability, one that ends at once, and none at all.
TEST(EchoPermission, EachEngineIsChosenWhereTheOnesBeforeItAreClosed) {
    std::unique_ptr<TLatencyLab> lab;
    LATMO_BUILD_LAB(lab);
    const TTempDir dir;
    WriteAll(dir.File("refused"),
             "#!/bin/sh\necho 'ping: socket: Operation not permitted'\nexit 2\n");
    WriteAll(dir.File("silent"), "#!/bin/sh\nexit 0\n");
    chmod(dir.File("refused").c_str(), 0755);
    chmod(dir.File("silent").c_str(), 0755);
    const std::string realPing = TLinuxShell::FindProgram("ping");
    struct TRow {
        const char* Case;
        bool Datagram, Raw;
        std::string Ping;
        TEchoEngine Expected;
    } const rows[] = {
        {"datagram sockets allowed", true, true, realPing, TEchoEngine::DatagramSocket},
        {"raw sockets allowed", false, true, realPing, TEchoEngine::RawSocket},
        {"only ping may send", false, false, realPing, TEchoEngine::SystemPing},
        {"ping refused its socket", false, false, dir.File("refused"), TEchoEngine::None},
        {"ping ends at once", false, false, dir.File("silent"), TEchoEngine::None},
        {"no ping at all", false, false, dir.File("missing"), TEchoEngine::None},
    };
    for (const TRow& row : rows) {
        lab->AllowDatagramSockets(row.Datagram);
        lab->RunInClient([&] {
            if (!row.Raw) {
                DropRawSocketCapability();
            }
            TLinuxNameLookup lookup;
            TLinuxIcmpEcho echo(TEchoEngineMode::Auto, row.Ping);
            EXPECT_EQ(echo.Engine(), row.Expected) << row.Case << ": " << echo.EngineChoice();
            TProbeEngine engine(lookup, echo);
            TSampleStore store;
            store.FTimeout = 1000;
            engine.PingHost(store, "127.0.0.1", 1024, false);
            if (row.Expected != TEchoEngine::None) {
                EXPECT_EQ(echo.PermissionProblem(), "") << row.Case;
                EXPECT_EQ(store.FPingError, "") << row.Case;
                EXPECT_TRUE(store.FEchoSent) << row.Case;
                return;
            }
            const std::string problem = echo.PermissionProblem();
            EXPECT_NE(problem.find("\n- for this program only: setcap cap_net_raw+ep /"),
                      std::string::npos)
                << row.Case << ": " << problem;
            EXPECT_NE(problem.find("sysctl -w net.ipv4.ping_group_range=\"0 2147483647\", and "
                                   "to keep it after a restart the line "
                                   "net.ipv4.ping_group_range = 0 2147483647 in /etc/sysctl.d/"),
                      std::string::npos)
                << row.Case << ": " << problem;
            EXPECT_EQ(store.FPingError, "Error 5 in call to IcmpSendEcho(): General Failure");
            EXPECT_EQ(store.FWork[0], 1000);
            EXPECT_EQ(store.FLostCount, 1);
            EXPECT_FALSE(store.FEchoSent) << row.Case;
        });
    }
}

}  // namespace
