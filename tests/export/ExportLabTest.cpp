// The endpoint of a whole window watching three lab hosts (20 ms; 80 ms losing every fourth
// echo; unreachable): promtool accepts what a scrape gets, and its counts and means are what
// the window shows. And a minute of idle clients, too long for the quick stage.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/Unit1.h"
#include "export/ExportWindow.h"
#include "export/LatmoMetrics.h"
#include "lab/LatencyLab.h"
#include "plot/XYLine.h"
#include "support/LabServices.h"
#include "support/TempDir.h"
#include "toolkit/Dialogs.h"

namespace {

TEST(ExportLab, PromtoolAcceptsTheScrapeAndItsCountsAndMeansAreTheWindows) {
    if (const std::string why = TLatencyLab::Unavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    if (std::system("command -v promtool >/dev/null") != 0) {
        GTEST_SKIP() << "promtool is not installed (package prometheus; tools/install-deps)";
    }
    TLatencyLab lab;
    TLabHostOptions near, lossy, unreachable;
    near.DelayUs = 20000;
    lossy.DelayUs = 80000;
    lossy.DropFraction = 0.25;
    unreachable.ErrorType = 3;  // destination unreachable: host unreachable
    unreachable.ErrorCode = 1;
    const std::string hosts[3] = {lab.AddHost(near), lab.AddHost(lossy), lab.AddHost(unreachable)};
    TTempDir dir;
    WriteAll(dir.File("Latmo.ini"),
             "[TForm1]\r\nEdithost_Text=" + hosts[0] + "\r\nComboBox1_Text=" + hosts[0] +
                 "\r\nComboBox2_Text=" + hosts[1] + "\r\nComboBox3_Text=" + hosts[2] +
                 "\r\nEditTimeout_Text=1000\r\nCheckBoxMetrics_Checked=True\r\n"
                 "EditMetrics_Text=127.0.0.1:0\r\n\r\n");
    const TDialogHook oldHook = SetDialogHook([](const TDialogRequest&) { return mrOk; });

    const auto inClient = lab.EnterClient();
    TLabServices real;
    TLinuxIcmpEcho& echo = real.echo;
    TApplication application;
    auto form = std::make_unique<TForm1>(application, real.services, TWindowOptions{dir.Path()});
    ASSERT_TRUE(WaitUntil([&] { return !form->MetricsServedAt().empty(); }, 5000));
    // Passes one after the other, each collected before the next one starts.
    while (form->PassesDone() < 9) {
        const int next = form->PassesDone() + 1;
        form->Button1Click(form.get());
        ASSERT_TRUE(WaitUntil(
            [&] { return form->PassesDone() >= next && !form->Store().FResultsReady.load(); },
            10000));
    }
    const std::string text = Scrape(PortOf(form->MetricsServedAt()));
    const double passes = form->PassesDone();

    WriteAll(dir.File("scrape.txt"), text);
    const std::string check = "promtool check metrics < " + dir.File("scrape.txt") + " > " +
                              dir.File("promtool.txt") + " 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0) << ReadAll(dir.File("promtool.txt")) << text;

    const auto value = [&](const std::string& name, int slot, const std::string& extra = "") {
        return MetricValue(text, name + "{host=\"" + hosts[slot - 1] + "\",slot=\"" +
                                     std::to_string(slot) + "\"" + extra + "}");
    };
    double lostShown = 0;
    for (int i = 0; i < form->LineLostPing->Count(); ++i) {
        lostShown += form->LineLostPing->YValue(i) / 20;
    }
    double lost = 0;
    Tsp_XYLine* lines[3] = {form->Line1, form->Line2, form->Line3};
    for (int slot = 1; slot <= 3; ++slot) {
        SCOPED_TRACE(hosts[slot - 1]);
        EXPECT_EQ(value("latmo_echo_requests_total", slot), passes);
        lost += value("latmo_echo_lost_total", slot);
        EXPECT_EQ(value("latmo_rtt_seconds_count", slot),
                  passes - value("latmo_echo_lost_total", slot));
        Tsp_XYLine* line = lines[slot - 1];
        EXPECT_NEAR(value("latmo_rtt_trimmed_mean_seconds", slot) * 1000,
                    line->YValue(line->Count() - 1), 1e-9);
    }
    EXPECT_EQ(lost, lostShown) << "the echoes the window's lost-echo line counted";
    EXPECT_NEAR(value("latmo_rtt_trimmed_mean_seconds", 1), 0.020, 0.0015);
    EXPECT_NEAR(value("latmo_rtt_seconds_sum", 1) / passes, 0.020, 0.0015);
    EXPECT_EQ(value("latmo_echo_lost_total", 1), 0);
    const double lossyLost = value("latmo_echo_lost_total", 2);
    EXPECT_EQ(lossyLost, std::floor(passes / 4)) << "every fourth echo";
    EXPECT_EQ(value("latmo_echo_errors_total", 2, ",status=\"timed_out\""), lossyLost);
    EXPECT_EQ(value("latmo_echo_lost_total", 3), passes);
    EXPECT_EQ(value("latmo_echo_errors_total", 3, ",status=\"host_unreachable\""), passes);
    EXPECT_EQ(MetricValue(text, std::string("latmo_info{engine=\"") +
                                    EchoEngineName(echo.Engine(), true) +
                                    "\",version=\"" LATMO_VERSION_TEXT "\"}"),
              1);
    form.reset();
    SetDialogHook(oldHook);
}

// 300 clients connect, send nothing and stay for a minute (one that the endpoint dropped
// connects again): every scrape meanwhile, one every 2 s, is answered within a second, and the
// passes keep their period. The clients run on a thread of their own, as they would in other
// processes, so that the window's thread is Latmo's alone.
TEST_F(ExportWindow, ThreeHundredIdleClientsHeldAMinuteDelayNoScrape) {
    Open("127.0.0.1:0", "3");
    ASSERT_TRUE(Served());
    const int port = PortOf(form->MetricsServedAt());
    // Idle clients, the test's scrapes and what the endpoint holds stay below the usual limit
    // of 1024 descriptors.
    std::vector<int> idle(300, -1);
    size_t fewestHeld = idle.size();
    int scrapes = 0;
    int answered = 0;
    Clock::duration slowest{};
    std::atomic<bool> done{false};
    std::thread clients([&] {
        const auto start = Clock::now();
        const auto over = [&] { return Clock::now() - start >= std::chrono::seconds(60); };
        while (!over()) {
            for (int& s : idle) {
                if (over()) {
                    break;  // a connect may wait up to 5 s for a server that does not accept
                }
                char byte = 0;
                const ssize_t got = s >= 0 ? recv(s, &byte, 1, MSG_DONTWAIT) : 0;
                if (got < 0 && errno == EAGAIN) {
                    continue;  // still open
                }
                if (s >= 0) {
                    close(s);
                }
                s = ConnectLoopback(port);
            }
            fewestHeld = std::min<size_t>(
                fewestHeld, static_cast<size_t>(std::count_if(idle.begin(), idle.end(),
                                                              [](int s) { return s >= 0; })));
            const auto asked = Clock::now();
            const std::string text = Scrape(port);
            slowest = std::max(slowest, Clock::now() - asked);
            ++scrapes;
            answered += text.find("latmo_info{") != std::string::npos ? 1 : 0;
            std::this_thread::sleep_until(asked + std::chrono::seconds(2));
        }
        done = true;
    });
    const int passesBefore = form->PassesDone();
    const auto start = Clock::now();
    WaitUntil([&] { return done.load(); }, 200000);
    const auto took = Clock::now() - start;
    clients.join();
    for (const int s : idle) {
        close(s);
    }
    EXPECT_EQ(fewestHeld, idle.size()) << "idle clients connected at once";
    EXPECT_EQ(answered, scrapes);
    EXPECT_LT(slowest, std::chrono::seconds(1)) << "the slowest of " << scrapes << " scrapes";
    const auto periods = std::chrono::duration_cast<std::chrono::seconds>(took).count() / 3;
    EXPECT_GE(form->PassesDone() - passesBefore, periods - 2) << "passes every 3 s";
}

}  // namespace
