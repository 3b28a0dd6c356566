// The whole window against three lab hosts with different delays: real sockets, the real
// worker, real timers, the measurement log on disk.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "core/Unit1.h"
#include "lab/LatencyLab.h"
#include "platform/linux/LinuxDesktopNotifier.h"
#include "support/LabServices.h"
#include "support/NotificationRecorder.h"
#include "support/PrivateBus.h"
#include "toolkit/Dialogs.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    std::string f;
    while (std::getline(s, f, '\t')) {
        fields.push_back(f);
    }
    return fields;
}

// A lab, a scratch directory for the settings and logs, and dialogs answered with OK.
class WindowLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = TLatencyLab::Unavailable(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        lab = std::make_unique<TLatencyLab>();
        std::filesystem::create_directories(dir);
        oldHook = SetDialogHook([](const TDialogRequest&) { return mrOk; });
    }
    void TearDown() override {
        if (lab) {
            SetDialogHook(oldHook);
            std::filesystem::remove_all(dir);
        }
    }

    std::unique_ptr<TLatencyLab> lab;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("latmo-windowlab-" + std::to_string(getpid()));
    TDialogHook oldHook;
};

TEST_F(WindowLab, SixPassesOfThreeHostsReachTheLogPageAndTheMeasurementLog) {
    const int delaysMs[3] = {5, 40, 120};
    std::string hosts[3];
    for (int i = 0; i < 3; ++i) {
        TLabHostOptions options;
        options.DelayUs = delaysMs[i] * 1000;
        hosts[i] = lab->AddHost(options);
    }
    const std::string logName = (dir / "latency.log").string();
    {
        // The window and the worker it starts both live in the lab's client namespace.
        const auto inClient = lab->EnterClient();
        TLabServices real;
        TApplication application;
        TForm1 form(application, real.services, TWindowOptions{dir.string()});
        form.Show();

        // Typed in as a user would: three hosts, a 3-second period, a log file.
        form.ComboBox1->SetText(hosts[0]);
        form.ComboBox2->SetText(hosts[1]);
        form.ComboBox3->SetText(hosts[2]);
        form.Edit2->SetText("3");
        form.Edit2Exit(&form);
        form.Timer1Timer(&form);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (form.Store().FHost3 != hosts[2] && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        ASSERT_EQ(form.Store().FHost3, hosts[2]);
        form.EditLog->SetText(logName);

        // "Ping hosts" asks for the next pass as soon as the one before has been logged, rather
        // than waiting for the period.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(45);
        size_t logged = 0;
        form.Button1Click(&form);
        while (logged < 6 && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (const size_t now = ReadLines(logName).size(); now > logged) {
                logged = now;
                form.Button1Click(&form);
            }
        }
        const auto lines = ReadLines(logName);
        ASSERT_GE(lines.size(), 6u);
        for (const std::string& line : lines) {
            ASSERT_FALSE(line.empty());
            EXPECT_EQ(line.back(), '\r') << "lines end in CR LF";
            const auto fields = SplitTabs(line.substr(0, line.size() - 1));
            ASSERT_EQ(fields.size(), 7u) << line;
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(fields[1 + 2 * i], hosts[i]);
                EXPECT_GE(fields[2 + 2 * i].size(), 5u);
            }
        }
        // Six passes on: every ring holds five real round trips.
        const auto fields = SplitTabs(lines[5].substr(0, lines[5].size() - 1));
        for (int i = 0; i < 3; ++i) {
            const double mean = std::stod(fields[2 + 2 * i]);
            EXPECT_NEAR(mean, delaysMs[i], 1.5) << hosts[i];
        }
        const auto page = form.Memo1->Lines().ToVector();
        ASSERT_EQ(page.size(), 3u) << "no errors, one line per host";
        EXPECT_EQ(page[0].rfind("Average ping for " + hosts[1] + ": ", 0), 0u);
        EXPECT_EQ(page[1].rfind("Average ping for " + hosts[2] + ": ", 0), 0u);
        EXPECT_EQ(page[2].rfind("Average ping for " + hosts[0] + ": ", 0), 0u);
        EXPECT_NE(page[2].find(" msec. Minimum speed "), std::string::npos);
    }
}

// A host that drops every echo and the longest time-out: the pass waits a minute for the reply,
// and the window still goes within a second.
TEST_F(WindowLab, TheWindowGoesWithinASecondWhileAProbeWaitsForAMinute) {
    TLabHostOptions dropping;
    dropping.DropFraction = 1;
    const std::string host = lab->AddHost(dropping);
    {
        const auto inClient = lab->EnterClient();
        TLabServices real;
        TApplication application;
        auto form =
            std::make_unique<TForm1>(application, real.services, TWindowOptions{dir.string()});
        for (TComboBox* box : {form->ComboBox1, form->ComboBox2, form->ComboBox3}) {
            box->SetText(host);
        }
        form->EditTimeout->SetText("60000");
        form->EditTimeoutExit(form.get());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (form->Store().FHost1 != host && std::chrono::steady_clock::now() < deadline) {
            form->Timer1Timer(form.get());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        ASSERT_EQ(form->Store().FHost1, host);
        // The change came with a request; the pass it starts waits for its first reply.
        while (form->PassPending() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        ASSERT_FALSE(form->PassPending()) << "the worker took the request";
        const int done = form->PassesDone();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(form->PassesDone(), done) << "the pass waits for its reply";

        const auto start = std::chrono::steady_clock::now();
        form.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

// The README's lab: 20 ms, 80 ms losing every fourth echo, and a host that is unreachable. The
// Statistics page's figures match what the lab was set to, and a notification service on the
// session bus hears of each change once: host 3 stopping, and host 1 going above the threshold
// and back below it.
TEST_F(WindowLab, TheStatisticsMatchTheLabAndEachChangeIsNotifiedOnce) {
    const TPrivateBus bus;
    ASSERT_TRUE(bus.Problem().empty()) << bus.Problem();
    const TNotificationRecorder recorder(bus.Address(), true);
    ASSERT_TRUE(recorder.Registered());
    TLabHostOptions steady;
    steady.DelayUs = 20000;
    TLabHostOptions lossy;
    lossy.DelayUs = 80000;
    lossy.DropFraction = 0.25;
    TLabHostOptions unreachable;
    unreachable.ErrorType = 3;
    unreachable.ErrorCode = 1;
    const std::string hosts[3] = {lab->AddHost(steady), lab->AddHost(lossy),
                                  lab->AddHost(unreachable)};
    std::ofstream(dir / "Latmo.ini", std::ios::binary)
        << "[TForm1]\r\nEdithost_Text=" << hosts[0] << "\r\nComboBox1_Text=" << hosts[0]
        << "\r\nComboBox2_Text=" << hosts[1] << "\r\nComboBox3_Text=" << hosts[2]
        << "\r\nEditTimeout_Text=1000\r\nCheckBoxNotify_Checked=True\r\n";
    const auto inClient = lab->EnterClient();
    TLabServices real;
    TLinuxDesktopNotifier notifier(bus.Address());
    const TPlatformServices services{real.lookup,       real.echo,    real.shell, real.tray,
                                     real.interProcess, real.runList, notifier};
    TApplication application;
    TForm1 form(application, services, TWindowOptions{dir.string()});
    form.TimerRepaint->SetEnabled(false);
    form.PageControl1->SetActivePage(form.TabSheet9);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    // Passes one after the other, each collected, the first one of start-up included, until
    // host 1 has had `count` more probes (two requests may make one pass).
    const auto passes = [&](int count) {
        const int target = form.HostStatistics(1).SinceSet().Sent + count;
        while (form.HostStatistics(1).SinceSet().Sent < target &&
               std::chrono::steady_clock::now() < deadline) {
            while (!form.Store().FResultsReady.load() &&
                   std::chrono::steady_clock::now() < deadline) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            }
            form.TimerRepaintTimer(&form);
            form.Button1Click(&form);
        }
    };
    const int n = 24;
    passes(n);
    ASSERT_EQ(form.HostStatistics(1).SinceSet().Sent, n);

    const TSpanFigures s1 = form.HostStatistics(1).SinceSet();
    EXPECT_EQ(s1.Received, n);
    EXPECT_NEAR(s1.Mean, 20, 3);
    EXPECT_NEAR(s1.Min, 20, 3);
    EXPECT_LT(s1.Jitter, 1.5) << "a steady host";
    const TSpanFigures s2 = form.HostStatistics(2).SinceSet();
    // Within three standard errors of a quarter.
    EXPECT_NEAR(s2.LossPercent(), 25, 300 * std::sqrt(0.25 * 0.75 / n));
    EXPECT_NEAR(s2.Mean, 80, 3);
    const TSpanFigures s3 = form.HostStatistics(3).SinceSet();
    EXPECT_EQ(s3.Received, 0);
    EXPECT_DOUBLE_EQ(s3.LossPercent(), 100);
    EXPECT_EQ(form.LabelStatCells[2][0]->Caption(), "unreachable");
    EXPECT_EQ(form.LabelStatCells[2][8]->Caption(), "100%");
    EXPECT_EQ(form.LabelStatCells[0][0]->Caption(), "answering");
    EXPECT_EQ(form.LabelStatCells[0][8]->Caption(), "0%");

    // Host 1 above the threshold for a while, then back below it.
    form.EditAlarmSec->SetText("15");
    passes(3);
    form.EditAlarmSec->SetText("1000");
    passes(3);
    while (recorder.Notices().size() < 3 && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    const auto notices = recorder.Notices();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].Summary, "Latmo: " + hosts[2] + " stopped answering");
    EXPECT_EQ(notices[0].Body, hosts[2] +
                                   " stopped answering: Error 11003 in call to IcmpSendEcho(): "
                                   "Destination Host Unreachable");
    EXPECT_EQ(notices[1].Summary, "Latmo: ping above 15 ms");
    EXPECT_EQ(notices[2].Summary, "Latmo: ping back below 1000 ms");
}

}  // namespace
