// What filling the graph from the measurement log costs at start: the history of a 100 MB log
// (some 1.7 million lines) read from its end, against reading the whole file.
//   latmo-history-bench [benchmark options]
// The log is written into the temporary directory first (a few seconds) and removed at the end. The
// figures are for a log in the page cache; a cold start adds the disk's time for the few blocks at
// the file's end.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/LogFiles.h"
#include "core/LogHistory.h"

namespace {

constexpr double kSecond = 1.0 / 86400;
std::string gLog;
TDateTime gNow = 0;

// A log as Latmo writes it: a line every 3 s for the three lab hosts, up to `bytes`.
void WriteLog(const std::string& path, size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    const TDateTime start = EncodeDate(2024, 1, 1);
    size_t written = 0;
    std::string chunk;
    for (long i = 0; written < bytes; ++i) {
        const double d = static_cast<double>(i % 97);
        chunk +=
            UpdateLogLine(start + static_cast<double>(i) * 3 * kSecond, {"198.18.1.2", 20 + d / 10},
                          {"198.18.2.2", 80 + d}, {"198.18.3.2", 1000});
        if (chunk.size() > (1u << 20)) {
            out << chunk;
            written += chunk.size();
            chunk.clear();
        }
        gNow = start + static_cast<double>(i + 1) * 3 * kSecond;
    }
}

void HistoryFromTheEnd(benchmark::State& state, std::string host1) {
    const std::string hosts[3] = {std::move(host1), "198.18.2.2", "198.18.3.2"};
    const int maxPoints = static_cast<int>(state.range(0));
    size_t points = 0;
    for (auto _ : state) {
        const TLogHistory history = ReadLogHistory(gLog, hosts, maxPoints, gNow);
        points = history.Points[1].size();
        benchmark::DoNotOptimize(history);
    }
    state.counters["points"] = static_cast<double>(points);
    state.counters["log_MB"] = static_cast<double>(std::filesystem::file_size(gLog)) / 1e6;
}

void BM_HistoryOfTheSameHosts(benchmark::State& state) {
    HistoryFromTheEnd(state, "198.18.1.2");
}
BENCHMARK(BM_HistoryOfTheSameHosts)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond);

// Host 1 set anew since: its points end at once, the other two still fill up.
void BM_HistoryWithHost1Changed(benchmark::State& state) {
    HistoryFromTheEnd(state, "other.example");
}
BENCHMARK(BM_HistoryWithHost1Changed)->Arg(1000)->Unit(benchmark::kMillisecond);

// What reading the whole log would cost instead.
void BM_WholeLogRead(benchmark::State& state) {
    for (auto _ : state) {
        std::ifstream in(gLog, std::ios::binary);
        std::string text(std::filesystem::file_size(gLog), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        benchmark::DoNotOptimize(text.size());
    }
}
BENCHMARK(BM_WholeLogRead)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    gLog = (std::filesystem::temp_directory_path() /
            ("latmo-history-bench-" + std::to_string(getpid()) + ".log"))
               .string();
    std::fprintf(stderr, "writing a 100 MB log to %s\n", gLog.c_str());
    WriteLog(gLog, 100u * 1000 * 1000);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(gLog);
    return 0;
}
