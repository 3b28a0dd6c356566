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
#include "support/LabServices.h"
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

}  // namespace
