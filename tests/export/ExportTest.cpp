// The Export page against fake network services: what the passes count reaches the endpoint,
// failures to serve are told once, and hostile clients hold up neither passes nor the window.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "core/Unit1.h"
#include "export/MetricsServer.h"
#include "export/Scrape.h"
#include "plot/XYLine.h"
#include "support/FakeServices.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string Series(const std::string& name, const std::string& host, int slot,
                   const std::string& status = std::string()) {
    return name + "{host=\"" + host + "\",slot=\"" + std::to_string(slot) + "\"" +
           (status.empty() ? std::string() : ",status=\"" + status + "\"") + "}";
}

TEST(ListenAddress, APortAloneIsLoopbackAndAnythingButIPv4AndAPortIsRefused) {
    const struct {
        const char* Text;
        const char* Address;
    } rows[] = {
        {"5286", "127.0.0.1:5286"},
        {" 5286 ", "127.0.0.1:5286"},
        {"0", "127.0.0.1:0"},
        {"localhost:9000", "127.0.0.1:9000"},
        {"0.0.0.0:5286", "0.0.0.0:5286"},
        {"192.0.2.7:80", "192.0.2.7:80"},
        {"65536", ""},
        {"127.0.0.1:70000", ""},
        {"", ""},
        {"abc", ""},
        {":5286", ""},
        {"127.0.0.1:", ""},
        {"1.2.3:80", ""},
        {"[::1]:5286", ""},
        {"example.org:5286", ""},
        // What the embedded server would read as more ports or other kinds of port.
        {"5286,8080", ""},
        {"127.0.0.1:5286s", ""},
        {"+5286", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TMetricsServer::ListenAddress(row.Text), row.Address) << '"' << row.Text << '"';
    }
}

// A window on fake services whose settings ask for the endpoint at any free loopback port.
class ExportWindow : public ::testing::Test, protected TFakeServices {
protected:
    ExportWindow() {
        lookup.Hosts = {
            {"a.example", 0x0a000001}, {"b.example", 0x0a000002}, {"new.example", 0x0a000003}};
        oldHook = SetDialogHook([this](const TDialogRequest& r) {
            dialogs.push_back(r.Text);
            return mrOk;
        });
        SetDiagLogPath(dir.File("latmo.log"));
    }
    ~ExportWindow() override {
        form.reset();
        SetDialogHook(oldHook);
        SetDiagLogPath("");
    }
    void Open(const std::string& listen, const std::string& period = "45") {
        WriteAll(dir.File("Latmo.ini"),
                 "[TForm1]\r\nEdithost_Text=a.example\r\nComboBox1_Text=a.example\r\n"
                 "ComboBox2_Text=b.example\r\nComboBox3_Text=nowhere.example\r\nEdit2_Text=" +
                     period + "\r\nCheckBoxMetrics_Checked=True\r\nEditMetrics_Text=" + listen +
                     "\r\n\r\n");
        form = std::make_unique<TForm1>(application, services, TWindowOptions{dir.Path()});
    }
    // The collection's timer brings the server's word.
    bool Served() {
        return WaitUntil([&] {
            form->TimerRepaintTimer(form.get());
            return !form->MetricsServedAt().empty();
        });
    }
    // One requested pass, collected.
    bool RunPass() {
        const int next = form->PassesDone() + 1;
        form->Button1Click(form.get());
        return WaitUntil([&] {
            form->TimerRepaintTimer(form.get());
            return form->PassesDone() >= next && !form->Store().FResultsReady.load();
        });
    }

    TApplication application;
    TTempDir dir;
    std::unique_ptr<TForm1> form;
    std::vector<std::string> dialogs;
    TDialogHook oldHook;
};

TEST_F(ExportWindow, WhatThePassesCountReachesTheEndpointAndAHostChangeStartsNewSeries) {
    Open("127.0.0.1:0");
    form->TimerRepaint->SetEnabled(false);
    ASSERT_TRUE(Served()) << "the stored box and address apply at start";
    ASSERT_TRUE(WaitUntil([&] { return form->PassesDone() >= 1; }));
    form->TimerRepaintTimer(form.get());
    // Start-up's pass had 10 ms replies; then one pass with a time-out on host 2, one with an
    // ICMP error. Host 3's name never resolves.
    echo.Script = {{0, 0, 30}, {IP_REQ_TIMED_OUT, IP_REQ_TIMED_OUT, 0}};
    ASSERT_TRUE(RunPass());
    echo.Script = {{0, 0, 20}, {IP_DEST_HOST_UNREACHABLE, IP_DEST_HOST_UNREACHABLE, 0}};
    ASSERT_TRUE(RunPass());

    const std::string text = Scrape(PortOf(form->MetricsServedAt()));
    const struct {
        std::string Series;
        double Value;
    } rows[] = {
        {Series("latmo_echo_requests_total", "a.example", 1), 3},
        {Series("latmo_echo_lost_total", "a.example", 1), 0},
        {Series("latmo_rtt_seconds_count", "a.example", 1), 3},
        {Series("latmo_rtt_seconds_sum", "a.example", 1), 0.060},
        {Series("latmo_rtt_trimmed_mean_seconds", "a.example", 1), form->Average() / 1000},
        {Series("latmo_echo_requests_total", "b.example", 2), 3},
        {Series("latmo_echo_lost_total", "b.example", 2), 2},
        {Series("latmo_rtt_seconds_count", "b.example", 2), 1},
        {Series("latmo_echo_errors_total", "b.example", 2, "timed_out"), 1},
        {Series("latmo_echo_errors_total", "b.example", 2, "host_unreachable"), 1},
        {Series("latmo_echo_requests_total", "nowhere.example", 3), 0},
        {Series("latmo_echo_errors_total", "nowhere.example", 3, "lookup_failed"), 3},
        {"latmo_info{engine=\"datagram\",version=\"" LATMO_VERSION_TEXT "\"}", 1},
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(MetricValue(text, row.Series), row.Value, 1e-9) << row.Series << "\n" << text;
    }
    EXPECT_NEAR(form->Average(), form->Line1->YValue(form->Line1->Count() - 1), 1e-9)
        << "the mean is the one the graph shows";

    // The change raises a pass of its own, which may count once for the new host.
    form->ComboBox2->SetText("new.example");
    form->Timer1Timer(form.get());
    ASSERT_TRUE(WaitUntil([&] {
        form->TimerRepaintTimer(form.get());
        return form->Store().FHost2 == "new.example";
    }));
    const std::string after = Scrape(PortOf(form->MetricsServedAt()));
    EXPECT_EQ(after.find("b.example"), std::string::npos) << after;
    const double requests =
        MetricValue(after, Series("latmo_echo_requests_total", "new.example", 2));
    EXPECT_TRUE(requests == 0 || requests == 1) << after;

    form.reset();
    const std::string ini = ReadAll(dir.File("Latmo.ini"));
    EXPECT_NE(ini.find("\r\nCheckBoxMetrics_Checked=True\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("\r\nEditMetrics_Text=127.0.0.1:0\r\n"), std::string::npos) << ini;
}

// Each failure is told once, in a box and in the diagnostic log, and the passes go on.
TEST_F(ExportWindow, AnAddressThatCannotBeServedIsToldOnceAndMeasuringGoesOn) {
    const int held = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof sa;
    ASSERT_EQ(bind(held, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(held, 1), 0);
    getsockname(held, reinterpret_cast<sockaddr*>(&sa), &size);
    const std::string port = std::to_string(ntohs(sa.sin_port));

    Open("127.0.0.1:" + port);
    const struct {
        std::string Text;  // typed into the field; empty: the stored one at start-up
        std::string Told;
    } rows[] = {
        {"", "cannot serve its measurements at 127.0.0.1:" + port + ": Address already in use."},
        {"0.0.0.0:" + port, "at 0.0.0.0:" + port + ": Address already in use."},
        {"abc", "\"abc\" is not a listen address"},
        {"192.0.2.7:5286", "at 192.0.2.7:5286: Cannot assign requested address."},
    };
    size_t told = 0;
    for (const auto& row : rows) {
        if (!row.Text.empty()) {
            form->EditMetrics->SetText(row.Text);
            form->EditMetricsExit(form.get());
        }
        ASSERT_TRUE(WaitUntil([&] { return dialogs.size() > told; })) << row.Text;
        EXPECT_NE(dialogs.back().find(row.Told), std::string::npos) << dialogs.back();
        EXPECT_NE(ReadAll(dir.File("latmo.log")).find(row.Told), std::string::npos);
        // Leaving the field again without a change tells nothing more.
        form->EditMetricsExit(form.get());
        WaitUntil([] { return false; }, 300);
        EXPECT_EQ(dialogs.size(), ++told) << row.Text;
        EXPECT_TRUE(form->MetricsServedAt().empty());
        EXPECT_EQ(form->LabelMetrics->Caption().rfind("Not serving: ", 0), 0u);
    }
    const int passes = form->PassesDone();
    form->Button1Click(form.get());
    EXPECT_TRUE(WaitUntil([&] { return form->PassesDone() > passes; }));
    close(held);
}

// A client that sends nothing, one that sends a megabyte of headers and 200 at once: the
// passes keep their 3-second period and every one is collected; the endpoint answers again
// once they are gone, and the box stops it without a wait.
TEST_F(ExportWindow, HostileClientsDelayNeitherPassesNorTheWindow) {
    Open("127.0.0.1:0", "3");
    ASSERT_TRUE(Served());
    const int port = PortOf(form->MetricsServedAt());
    std::vector<int> hostile;
    std::thread attack([&] {
        hostile.push_back(ConnectLoopback(port));
        const int big = ConnectLoopback(port);
        hostile.push_back(big);
        std::string headers = "GET /metrics HTTP/1.1\r\n";
        while (headers.size() < 1024 * 1024) {
            headers += "X-Filler: " + std::string(100, 'x') + "\r\n";
        }
        send(big, headers.data(), headers.size(), MSG_NOSIGNAL);
        for (int i = 0; i < 200; ++i) {
            hostile.push_back(ConnectLoopback(port));
        }
    });

    std::vector<Clock::time_point> passes;
    int collected = 0;
    const auto end = Clock::now() + std::chrono::seconds(8);
    while (Clock::now() < end) {
        const int done = form->PassesDone();
        if (done > static_cast<int>(passes.size())) {
            passes.resize(static_cast<size_t>(done), Clock::now());
        }
        collected = form->LineLostPing->Count();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    attack.join();
    ASSERT_GE(passes.size(), 3u);
    for (size_t i = 1; i < passes.size(); ++i) {
        EXPECT_LT(passes[i] - passes[i - 1], std::chrono::milliseconds(3700)) << "pass " << i;
    }
    EXPECT_GE(collected, static_cast<int>(passes.size()) - 1) << "the window collects";

    // All but the silent client go; the endpoint answers again.
    for (size_t i = 1; i < hostile.size(); ++i) {
        close(hostile[i]);
    }
    std::string text;
    EXPECT_TRUE(WaitUntil([&] { return !(text = Scrape(port)).empty(); }, 15000));
    EXPECT_NE(text.find("latmo_info{"), std::string::npos) << text;

    // Stopping takes the server up to a second while a client holds a thread of it.
    const auto start = Clock::now();
    form->CheckBoxMetrics->SetChecked(false);
    form->CheckBoxMetricsExit(form.get());
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100)) << "the window never waits";
    ASSERT_TRUE(WaitUntil([&] { return form->LabelMetrics->Caption() == "Not serving."; }));
    EXPECT_EQ(ConnectLoopback(port), -1) << "the port is free again";
    close(hostile[0]);
    EXPECT_TRUE(dialogs.empty());
}

}  // namespace
