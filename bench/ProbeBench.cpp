// latmo-probe-bench HOST COUNT TIMEOUT_MS PING_SIZE [auto|datagram|raw|ping]
//
// Runs COUNT probes one after another through the probe engine with the real Linux services, on a
// fresh ring each time, and prints per probe: the slot value, the error text and the round trip
// in microseconds as the echo service measured it (empty when there was none), tab-separated.
// A closing line starting with '#' sums the replies up. This is how the accuracy of the
// measurement is compared with other tools. The last argument names the echo engine (by default
// the one the program itself would choose).

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <string>

#include "core/ProbeEngine.h"
#include "core/SampleStore.h"
#include "platform/linux/LinuxIcmpEcho.h"
#include "platform/linux/LinuxNameLookup.h"

namespace {

bool ParseInt(const char* text, int64_t low, int64_t high, int64_t& value) {
    const std::string s(text);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size() && value >= low && value <= high;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: latmo-probe-bench HOST COUNT TIMEOUT_MS PING_SIZE [ENGINE]\n"
                 "  COUNT 1..1000000, TIMEOUT_MS 0..2147483647, PING_SIZE 15..10000,\n"
                 "  ENGINE auto (the default), datagram, raw or ping\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int64_t count = 0;
    int64_t timeout = 0;
    int64_t pingSize = 0;
    const std::map<std::string, TEchoEngineMode> modes = {
        {"auto", TEchoEngineMode::Auto},
        {"datagram", TEchoEngineMode::DatagramOnly},
        {"raw", TEchoEngineMode::RawOnly},
        {"ping", TEchoEngineMode::PingOnly}};
    const auto mode = modes.find(argc == 6 ? argv[5] : "auto");
    if ((argc != 5 && argc != 6) || mode == modes.end() || !ParseInt(argv[2], 1, 1000000, count) ||
        !ParseInt(argv[3], 0, std::numeric_limits<int32_t>::max(), timeout) ||
        !ParseInt(argv[4], 15, TProbeEngine::kMaxPayload + 1, pingSize)) {
        return Usage();
    }
    const std::string host = argv[1];

    TLinuxNameLookup lookup;
    TLinuxIcmpEcho echo(mode->second);
    std::fprintf(stderr, "latmo-probe-bench: %s\n", echo.EngineChoice().c_str());
    if (echo.Engine() == TEchoEngine::None) {
        return 1;
    }
    TProbeEngine engine(lookup, echo);

    int64_t replies = 0;
    int64_t sum = 0;
    int64_t least = std::numeric_limits<int64_t>::max();
    int64_t most = 0;
    int64_t lost = 0;
    for (int64_t i = 0; i < count; ++i) {
        TSampleStore store;
        store.FTimeout = static_cast<int32_t>(timeout);
        engine.PingHost(store, host, static_cast<int>(pingSize), false);
        lost += store.FLostCount;
        const int64_t micros = engine.LastReply().RoundTripMicros;
        std::string raw;
        if (micros >= 0) {
            raw = std::to_string(micros);
            ++replies;
            sum += micros;
            least = std::min(least, micros);
            most = std::max(most, micros);
        }
        std::printf("%d\t%s\t%s\n", store.FWork[0], store.FPingError.c_str(), raw.c_str());
        std::fflush(stdout);
    }
    if (replies > 0) {
        std::printf("# mean %.3f ms, min %.3f ms, max %.3f ms, lost %lld of %lld\n",
                    static_cast<double>(sum) / static_cast<double>(replies) / 1000.0,
                    static_cast<double>(least) / 1000.0, static_cast<double>(most) / 1000.0,
                    static_cast<long long>(lost), static_cast<long long>(count));
    } else {
        std::printf("# mean -, min -, max -, lost %lld of %lld\n", static_cast<long long>(lost),
                    static_cast<long long>(count));
    }
    return 0;
}
