// The graph's history read back from the measurement log's end.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <functional>
#include <string>
#include <vector>

#include "core/LogFiles.h"
#include "core/LogHistory.h"
#include "support/LocaleGuard.h"
#include "support/TempDir.h"

namespace {

constexpr double kMinute = 1.0 / 1440;
// A function, not a constant: EncodeDate needs the statics of its own unit.
TDateTime T0() {
    return EncodeDate(2024, 5, 6) + EncodeTime(9, 0, 0, 0);
}

class LogHistoryTest : public ::testing::Test {
protected:
    const TLocaleGuard locale;
    TTempDir dir;
};

TEST_F(LogHistoryTest, TheTimeReaderReadsWhatTheLogWritesInEveryLocale) {
    const TDateTime times[] = {
        EncodeDate(2024, 5, 6) + EncodeTime(13, 44, 55, 0),
        EncodeDate(2024, 12, 31),  // midnight: the date alone
        EncodeDate(2024, 2, 29) + EncodeTime(0, 0, 1, 0),
        EncodeDate(2024, 7, 1) + EncodeTime(12, 0, 0, 0),
        EncodeDate(2024, 7, 1) + EncodeTime(0, 30, 0, 0),
        EncodeDate(1999, 1, 2) + EncodeTime(23, 59, 59, 0),
    };
    int locales = 0;
    for (const char* name : {"C", "de_DE.UTF-8", "en_US.UTF-8", "ja_JP.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) == nullptr) {
            continue;  // tools/install-deps generates them
        }
        ++locales;
        const TLogTimeReader reader;
        for (const TDateTime t : times) {
            TDateTime read = 0;
            EXPECT_TRUE(reader.Read(DateTimeToStr(t), read)) << name << " " << DateTimeToStr(t);
            EXPECT_NEAR(read, t, 1e-9) << name << " " << DateTimeToStr(t);
        }
        TDateTime read = 0;
        for (const char* bad : {"", "yesterday", "1 2", "12345 1 1 1 1 1"}) {
            EXPECT_FALSE(reader.Read(bad, read)) << name << " '" << bad << "'";
        }
    }
    EXPECT_GE(locales, 1);
    std::setlocale(LC_ALL, "C");
    TDateTime read = 0;
    for (const char* impossible : {"02/30/24 10:00:00", "13/01/24 10:00:00", "01/01/24 24:00:00"}) {
        EXPECT_FALSE(TLogTimeReader().Read(impossible, read)) << impossible;
    }
}

// A log of n lines, one a minute from T0(), as the window writes them; line i's means are i,
// 1000 + i and 2000 + i, and edit may change the line before it is written.
std::string Log(int n, const std::function<void(int, THostMean (&)[3], TDateTime&)>& edit = {}) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        THostMean m[3] = {{"a", 1.0 * i}, {"b", 1000.0 + i}, {"c", 2000.0 + i}};
        TDateTime when = T0() + i * kMinute;
        if (edit) {
            edit(i, m, when);
        }
        text += UpdateLogLine(when, m[0], m[1], m[2]);
    }
    return text;
}

TEST_F(LogHistoryTest, ReadsTheLinesOfTheHostsSetNowAsFarAsTheyAreSound) {
    const std::string hostsABC[3] = {"a", "b", "c"};
    const TDateTime after = T0() + 1000 * kMinute;
    struct Row {
        const char* name;
        std::string log;
        int maxPoints;
        size_t points[3];
        double firstMean;  // host 1's oldest point
    } const rows[] = {
        {"short", Log(3), 300, {3, 3, 3}, 0},
        {"long, cut to the graph's limit", Log(500), 300, {300, 300, 300}, 200},
        {"host 2 set anew on the way",
         Log(150, [](int i, THostMean(&m)[3], TDateTime&) { m[1].Host = i < 100 ? "old" : "b"; }),
         300,
         {150, 50, 150},
         0},
        {"other hosts",
         Log(20, [](int, THostMean(&m)[3], TDateTime&) { m[0].Host = "x"; }),
         300,
         {0, 20, 20},
         0},
        {"a broken line ends the reading", Log(10) + "garbage\r\n" + Log(5), 300, {5, 5, 5}, 0},
        {"a last line cut short is passed over",
         Log(10) + "06/05/24 09:00:00\ta\t 1.0",
         300,
         {10, 10, 10},
         0},
        {"another version's lines",
         Log(10) + "05/06/24 09:10:00\ta\t1\tb\t2\tc\t3\t4\r\n",
         300,
         {0, 0, 0},
         0},
        {"a line later than now",
         Log(10, [&](int i, THostMean(&)[3], TDateTime& w) { w = i == 9 ? after + kMinute : w; }),
         300,
         {0, 0, 0},
         0},
        {"a line later than the next one",
         Log(10, [](int i, THostMean(&)[3], TDateTime& w) { w = i == 4 ? w + kMinute * 60 : w; }),
         300,
         {5, 5, 5},
         5},
        {"lines ended by LF alone",
         "05/06/24 09:00:00\ta\t 1.00\tb\t 2.00\tc\t 3.00\n",
         300,
         {1, 1, 1},
         1},
        {"one endless line", std::string(200000, 'x') + "\r\n", 300, {0, 0, 0}, 0},
        {"empty", "", 300, {0, 0, 0}, 0},
    };
    for (const Row& r : rows) {
        const std::string path = dir.File("latency.log");
        WriteAll(path, r.log);
        struct stat before {};
        stat(path.c_str(), &before);
        const TLogHistory h = ReadLogHistory(path, hostsABC, r.maxPoints, after);
        EXPECT_TRUE(h.Problem.empty()) << r.name << ": " << h.Problem;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(h.Points[i].size(), r.points[i]) << r.name << ", host " << i + 1;
            for (size_t k = 1; k < h.Points[i].size(); ++k) {
                EXPECT_LE(h.Points[i][k - 1].When, h.Points[i][k].When) << r.name;
            }
        }
        if (!h.Points[0].empty()) {
            EXPECT_DOUBLE_EQ(h.Points[0].front().Mean, r.firstMean) << r.name;
        }
        struct stat later {};
        stat(path.c_str(), &later);
        EXPECT_EQ(ReadAll(path), r.log) << r.name << ": the log is never changed";
        EXPECT_TRUE(later.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                    later.st_mtim.tv_nsec == before.st_mtim.tv_nsec)
            << r.name;
    }
}

TEST_F(LogHistoryTest, PointsKeepTheirTimesAndMeans) {
    const std::string path = dir.File("latency.log");
    WriteAll(path, Log(4));
    const std::string hosts[3] = {"a", "b", ""};
    const TLogHistory h = ReadLogHistory(path, hosts, 3, T0() + kMinute * 10);
    ASSERT_EQ(h.Points[1].size(), 3u);
    EXPECT_NEAR(h.Points[1][0].When, T0() + kMinute, 1e-9);
    EXPECT_DOUBLE_EQ(h.Points[1][0].Mean, 1001);
    EXPECT_DOUBLE_EQ(h.Points[1][2].Mean, 1003);
    EXPECT_TRUE(h.Points[2].empty()) << "no host, no points";
}

TEST_F(LogHistoryTest, AMissingLogIsNoProblemAndAnUnreadableOneIsSaid) {
    const std::string hosts[3] = {"a", "b", "c"};
    EXPECT_TRUE(ReadLogHistory(dir.File("none.log"), hosts, 300, T0()).Problem.empty());
    EXPECT_FALSE(ReadLogHistory(dir.Path(), hosts, 300, T0()).Problem.empty());
    const std::string pipe = dir.File("pipe.log");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(ReadLogHistory(pipe, hosts, 300, T0()).Problem, "Not a regular file")
        << "and nothing waits for a writer";
}

}  // namespace
