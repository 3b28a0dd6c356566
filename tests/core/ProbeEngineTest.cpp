#include <gtest/gtest.h>

#include "core/ProbeEngine.h"
#include "support/FakeIcmpEcho.h"
#include "support/FakeNameLookup.h"

namespace {

constexpr uint32_t kAddr = 0x0100007f;  // 127.0.0.1 in network order

class ProbeEngineTest : public ::testing::Test {
protected:
    ProbeEngineTest() : engine(lookup, echo) {
        lookup.Hosts["example.test"] = kAddr;
        store.FTimeout = 9000;
        store.FWork = {-5, -5, -5, -5, -5};
    }

    void Ping(const std::string& host = "example.test", int pingSize = 1024, bool stop = false) {
        engine.PingHost(store, host, pingSize, stop);
    }
    // Everything obtained for a probe is given back, whichever way the probe ended.
    void ExpectReleased() const {
        EXPECT_EQ(echo.OpenHandles(), 0);
        EXPECT_EQ(lookup.CleanupCalls, lookup.StartupError == 0 ? lookup.StartupCalls : 0);
    }

    TFakeNameLookup lookup;
    TFakeIcmpEcho echo;
    TProbeEngine engine;
    TSampleStore store;
};

struct FailureRow {
    const char* name;
    std::string host;
    int startupError;
    std::vector<int> lookupErrors;
    TFakeEchoOutcome echoOutcome;
    int32_t expectedSlot;  // -1 stands for the time-out value
    int expectedLost;
    std::string expectedError;
};

void PrintTo(const FailureRow& row, std::ostream* os) {
    *os << row.name;
}

class ProbeFailureTable : public ProbeEngineTest,
                          public ::testing::WithParamInterface<FailureRow> {};

TEST_P(ProbeFailureTable, SlotCounterAndText) {
    const FailureRow& row = GetParam();
    lookup.StartupError = row.startupError;
    lookup.ScriptedErrors.assign(row.lookupErrors.begin(), row.lookupErrors.end());
    echo.Script.push_back(row.echoOutcome);
    store.FRingIndex = 2;
    store.FLostCount = 1;

    Ping(row.host);

    EXPECT_EQ(store.FWork[2], row.expectedSlot == -1 ? store.FTimeout.load() : row.expectedSlot);
    EXPECT_EQ(store.FLostCount, 1 + row.expectedLost);
    EXPECT_EQ(store.FPingError, row.expectedError);
    ExpectReleased();
}

INSTANTIATE_TEST_SUITE_P(
    EveryOutcome, ProbeFailureTable,
    ::testing::Values(
        FailureRow{"EmptyHost", "", 0, {}, {}, 1, 0, "Addr. empty"},
        FailureRow{"StartupFails",
                   "example.test",
                   10091,
                   {},
                   {},
                   -1,
                   0,
                   "Error in call to WSAStartup().Error code: 10091 "},
        FailureRow{"LookupFailsTwice",
                   "example.test",
                   0,
                   {11001, 11001},
                   {},
                   -1,
                   0,
                   "Error in call to gethostbyname(). Error code: 11001 Authoritative Answer "
                   "Host not found."},
        FailureRow{"LookupFailsTwiceNotInitialised",
                   "example.test",
                   0,
                   {10093, 10093},
                   {},
                   -1,
                   0,
                   "Error in call to gethostbyname(). Error code: 10093 Successful WSAStartup "
                   "must occur before using this function."},
        FailureRow{"LookupCodeOutsideTable",
                   "example.test",
                   0,
                   {10060, 10060},
                   {},
                   -1,
                   0,
                   "Error in call to gethostbyname(). Error code: 10060 "},
        FailureRow{"SecondLookupTellsLastCode",
                   "example.test",
                   0,
                   {11002, 11004},
                   {},
                   -1,
                   0,
                   "Error in call to gethostbyname(). Error code: 11004 Valid name, no data "
                   "record of requested type."},
        FailureRow{"UnknownName",
                   "nowhere.test",
                   0,
                   {},
                   {},
                   -1,
                   0,
                   "Error in call to gethostbyname(). Error code: 11001 Authoritative Answer "
                   "Host not found."},
        FailureRow{"LookupRetrySucceeds", "example.test", 0, {11002}, {0, 0, 42}, 42, 0, ""},
        FailureRow{"EchoTimesOut",
                   "example.test",
                   0,
                   {},
                   {11010, 11010, 0},
                   -1,
                   1,
                   "Error 11010 in call to IcmpSendEcho(): Request Timed Out"},
        FailureRow{"EchoHostUnreachable",
                   "example.test",
                   0,
                   {},
                   {11003, 11003, 0},
                   -1,
                   1,
                   "Error 11003 in call to IcmpSendEcho(): Destination Host Unreachable"},
        FailureRow{"EchoGeneralFailure",
                   "example.test",
                   0,
                   {},
                   {11050, 11050, 0},
                   -1,
                   1,
                   "Error 11050 in call to IcmpSendEcho(): General Failure"},
        FailureRow{"LookupNonrecoverable",
                   "example.test",
                   0,
                   {11003, 11003},
                   {},
                   -1,
                   0,
                   "Error in call to gethostbyname(). Error code: 11003 Nonrecoverable error "
                   "occurred."},
        FailureRow{"EchoStatusOutsideTable",
                   "example.test",
                   0,
                   {},
                   {11010, 4242, 0},
                   -1,
                   1,
                   "Error 11010 in call to IcmpSendEcho(): "},
        FailureRow{"EchoErrorWithClearedRecord",
                   "example.test",
                   0,
                   {},
                   {5, 0, 0},
                   -1,
                   1,
                   "Error 5 in call to IcmpSendEcho(): "},
        FailureRow{"ReplyAtTimeout", "example.test", 0, {}, {0, 0, 9000}, -1, 1, ""},
        FailureRow{"ReplyAboveTimeout", "example.test", 0, {}, {0, 0, 9500}, -1, 1, ""},
        FailureRow{"ReplyJustBelowTimeout", "example.test", 0, {}, {0, 0, 8999}, 8999, 0, ""},
        FailureRow{"ReplyStatusIgnoredOnSuccess", "example.test", 0, {}, {0, 11003, 17}, 17, 0, ""},
        FailureRow{"ReplyOfZero", "example.test", 0, {}, {0, 0, 0}, 0, 0, ""}),
    [](const ::testing::TestParamInfo<FailureRow>& row) { return std::string(row.param.name); });

// Asked to stop before the probe, or while it waits for the resolver or the reply: the store is
// left as the probe found it, and the wait is not repeated.
TEST_F(ProbeEngineTest, AStoppedProbeChangesNothing) {
    struct {
        const char* when;
        bool atStart;
        std::vector<int> lookupErrors;
        TFakeEchoOutcome echoOutcome;
        int creates;
        size_t lookups;
    } const rows[] = {
        {"before it starts", true, {}, {}, 0, 0},
        {"during the lookup", false, {WSAEINTR}, {}, 1, 1},
        {"during the echo", false, {}, {ECHO_ERROR_CANCELLED, 0, 0}, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.when);
        TFakeNameLookup stopLookup;
        stopLookup.Hosts["example.test"] = kAddr;
        stopLookup.ScriptedErrors.assign(row.lookupErrors.begin(), row.lookupErrors.end());
        TFakeIcmpEcho stopEcho;
        stopEcho.Script.push_back(row.echoOutcome);
        TProbeEngine stopEngine(stopLookup, stopEcho);
        store.FPingError = "left over";
        store.FLostCount = 2;
        const TRing before = store.FWork;
        stopEngine.PingHost(store, "example.test", 1024, row.atStart);
        EXPECT_EQ(store.FWork, before);
        EXPECT_EQ(store.FPingError, "left over");
        EXPECT_EQ(store.FLostCount, 2);
        EXPECT_EQ(stopEcho.CreateCalls(), row.creates);
        EXPECT_EQ(stopEcho.OpenHandles(), 0);
        EXPECT_EQ(stopLookup.Lookups.size(), row.lookups);
        EXPECT_EQ(stopLookup.CleanupCalls, stopLookup.StartupCalls);
    }
}

TEST_F(ProbeEngineTest, EmptyHostTouchesNoNetwork) {
    Ping("");
    EXPECT_EQ(echo.CreateCalls(), 0);
    EXPECT_EQ(lookup.StartupCalls, 0);
}

TEST_F(ProbeEngineTest, LookupIsRepeatedOnceOnly) {
    lookup.ScriptedErrors = {11002, 11002, 0};
    Ping();
    EXPECT_EQ(lookup.Lookups.size(), 2u);
    EXPECT_TRUE(echo.Calls().empty());
}

// A name whose resolver never answers fails, once the time-out has passed, as one the resolver
// gave up on, and is not tried again: no time is left. Looked up with a pass's other names, its
// limit counts from the start of them all.
TEST_F(ProbeEngineTest, ALookupEndsAtTheTimeOut) {
    lookup.Silent = {"silent.test"};
    store.FTimeout = 100;
    const auto waits = [&](const std::string& name) {
        std::vector<int> limits;
        for (const auto& e : lookup.Events()) {
            if (e.What == "wait " + name) {
                limits.push_back(e.TimeoutMs);
            }
        }
        return limits;
    };
    Ping("silent.test");
    EXPECT_EQ(store.FPingError,
              "Error in call to gethostbyname(). Error code: 11002 Non-Authoritative Host not "
              "found, or server failure.");
    EXPECT_EQ(store.FWork[0], 100);
    ASSERT_EQ(waits("silent.test").size(), 1u);
    EXPECT_GE(waits("silent.test")[0], 0);
    EXPECT_LE(waits("silent.test")[0], 100);

    engine.BeginPass({"silent.test", "example.test", "", "silent.test"}, 100);
    EXPECT_EQ(lookup.Lookups,
              (std::vector<std::string>{"silent.test", "silent.test", "example.test"}))
        << "each name once";
    Ping("silent.test");
    Ping("example.test");
    engine.EndPass();
    EXPECT_EQ(store.FPingError, "") << "answered in time";
    ASSERT_EQ(waits("example.test").size(), 1u);
    EXPECT_LT(waits("example.test")[0], 100) << "the limit counts from the start";
    ASSERT_FALSE(echo.Calls().empty());
    EXPECT_EQ(echo.Calls().back().Destination, kAddr);
}

TEST_F(ProbeEngineTest, PayloadIsOneByteShorterThanPingSize) {
    struct {
        int pingSize;
        size_t payload;
    } const rows[] = {{1024, 1023}, {15, 14}, {10000, 9999}, {20000, 9999}};
    for (const auto& row : rows) {
        Ping("example.test", row.pingSize);
        ASSERT_FALSE(echo.Calls().empty());
        EXPECT_EQ(echo.Calls().back().PayloadSize, row.payload) << row.pingSize;
    }
}

TEST_F(ProbeEngineTest, EchoGetsDestinationTimeoutAndOpenHandle) {
    store.FTimeout = 250;
    Ping();
    ASSERT_EQ(echo.Calls().size(), 1u);
    const auto call = echo.Calls().front();
    EXPECT_EQ(call.Destination, kAddr);
    EXPECT_EQ(call.TimeoutMs, 250u);
    EXPECT_NE(call.Handle, INVALID_ECHO_HANDLE);
}

TEST_F(ProbeEngineTest, HandleThatCannotOpenIsReportedAsEchoError) {
    echo.CreateFails = true;
    Ping();
    EXPECT_EQ(store.FPingError, "Error 6 in call to IcmpSendEcho(): ");
    EXPECT_EQ(store.FWork[0], 9000);
    EXPECT_EQ(store.FLostCount, 1);
}

TEST_F(ProbeEngineTest, FillRuleCopiesIntoLaterEmptySlotsOnly) {
    struct Row {
        TRing before;
        int index;
        uint32_t rtt;
        TRing after;
    };
    const Row rows[] = {
        {{0, 0, 0, 0, 0}, 2, 30, {0, 0, 30, 30, 30}},
        {{-5, -5, -5, -5, -5}, 0, 12, {12, 12, 12, 12, 12}},
        {{7, 8, 9, 0, 10}, 1, 5, {7, 5, 9, 5, 10}},
        {{0, 0, 0, -5, 0}, 4, 3, {0, 0, 0, -5, 3}},
        {{1, 1, 1, 1, 1}, 0, 0, {0, 1, 1, 1, 1}},
        {{-5, -5, -5, -5, -5}, 1, 0, {-5, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        store.FWork = row.before;
        store.FRingIndex = row.index;
        echo.Script.push_back({0, 0, row.rtt});
        Ping();
        EXPECT_EQ(store.FWork, row.after) << "index " << row.index << " rtt " << row.rtt;
    }
}

TEST_F(ProbeEngineTest, LostEchoesDoNotFill) {
    store.FWork = {0, 0, 0, 0, 0};
    store.FRingIndex = 1;
    echo.Script.push_back({11010, 11010, 0});
    Ping();
    EXPECT_EQ(store.FWork, (TRing{0, 9000, 0, 0, 0}));
}

TEST_F(ProbeEngineTest, ErrorTextIsClearedByTheNextGoodProbe) {
    echo.Script.push_back({11010, 11010, 0});
    Ping();
    ASSERT_FALSE(store.FPingError.empty());
    Ping();
    EXPECT_EQ(store.FPingError, "");
}

}  // namespace
