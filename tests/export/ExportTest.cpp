// The Export page against fake network services: what the passes count reaches the endpoint,
// failures to serve are told once, and hostile clients hold up neither passes nor the window.

#include "export/ExportWindow.h"
#include "export/MetricsHttp.h"
#include "export/MetricsServer.h"
#include "plot/XYLine.h"

#include <cstdlib>

namespace {

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

// Only GET and HEAD of /metrics are served; every other request gets its refusal, and the
// connection closes after every answer.
TEST(HttpAnswer, OnlyTheMetricsAreServed) {
    const struct {
        const char* Head;
        const char* Status;
        bool Body;  // the metrics follow the head of the answer
    } rows[] = {
        {"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK\r\n", true},
        {"GET /metrics?format=text HTTP/1.0\n\n", "HTTP/1.1 200 OK\r\n", true},
        {"HEAD /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\n", false},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", false},
        {"GET /metrics/../etc/passwd HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n", false},
        {"POST /metrics HTTP/1.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n", false},
        {"GET /metrics\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", false},
        {"\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", false},
    };
    for (const auto& row : rows) {
        const std::string head = row.Head;
        EXPECT_EQ(RequestHeadEnd(head + "more"), head.size()) << head;
        EXPECT_EQ(RequestHeadEnd(head.substr(0, head.size() - 1)), 0u) << head;
        const std::string answer = HttpAnswer(head, [] { return std::string("latmo_info 1\n"); });
        EXPECT_EQ(answer.rfind(row.Status, 0), 0u) << head << answer;
        EXPECT_NE(answer.find("\r\nConnection: close\r\n"), std::string::npos) << answer;
        EXPECT_EQ(answer.find("latmo_info 1\n") != std::string::npos, row.Body) << answer;
    }
}

// The trimmed mean is served only once the host's five latest samples are all its echoes: the
// start-up fill of the ring, or a name that never resolves, is no measurement to alert on.
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

    std::string text = Scrape(PortOf(form->MetricsServedAt()));
    const double absent = -1;
    const struct {
        std::string Series;
        double Value;
    } rows[] = {
        {Series("latmo_echo_requests_total", "a.example", 1), 3},
        {Series("latmo_echo_lost_total", "a.example", 1), 0},
        {Series("latmo_rtt_seconds_count", "a.example", 1), 3},
        {Series("latmo_rtt_seconds_sum", "a.example", 1), 0.060},
        {Series("latmo_rtt_trimmed_mean_seconds", "a.example", 1), absent},
        {Series("latmo_echo_requests_total", "b.example", 2), 3},
        {Series("latmo_echo_lost_total", "b.example", 2), 2},
        {Series("latmo_rtt_seconds_count", "b.example", 2), 1},
        {Series("latmo_echo_errors_total", "b.example", 2, "timed_out"), 1},
        {Series("latmo_echo_errors_total", "b.example", 2, "host_unreachable"), 1},
        {Series("latmo_rtt_trimmed_mean_seconds", "b.example", 2), absent},
        {Series("latmo_echo_requests_total", "nowhere.example", 3), 0},
        {Series("latmo_echo_errors_total", "nowhere.example", 3, "lookup_failed"), 3},
        {"latmo_info{engine=\"datagram\",version=\"" LATMO_VERSION_TEXT "\"}", 1},
    };
    for (const auto& row : rows) {
        EXPECT_NEAR(MetricValue(text, row.Series), row.Value, 1e-9) << row.Series << "\n" << text;
    }

    // Five echoes of each of hosts 1 and 2: their means are the ones the graph shows.
    ASSERT_TRUE(RunPass());
    ASSERT_TRUE(RunPass());
    text = Scrape(PortOf(form->MetricsServedAt()));
    Tsp_XYLine* lines[3] = {form->Line1, form->Line2, form->Line3};
    for (int slot = 1; slot <= 2; ++slot) {
        Tsp_XYLine* line = lines[slot - 1];
        EXPECT_NEAR(
            MetricValue(text, Series("latmo_rtt_trimmed_mean_seconds", hosts[slot - 1], slot)),
            line->YValue(line->Count() - 1) / 1000, 1e-9)
            << text;
    }
    EXPECT_EQ(MetricValue(text, Series("latmo_rtt_trimmed_mean_seconds", hosts[2], 3)), absent)
        << "the time-outs written for a name that never resolved\n"
        << text;

    // The change raises a pass of its own, which may count once for the new host.
    form->ComboBox2->SetText("new.example");
    form->Timer1Timer(form.get());
    ASSERT_TRUE(WaitUntil([&] {
        form->TimerRepaintTimer(form.get());
        return form->Store().FHost2 == "new.example";
    }));
    ASSERT_TRUE(RunPass());
    const std::string after = Scrape(PortOf(form->MetricsServedAt()));
    EXPECT_EQ(after.find("b.example"), std::string::npos) << after;
    const double requests =
        MetricValue(after, Series("latmo_echo_requests_total", "new.example", 2));
    EXPECT_TRUE(requests == 1 || requests == 2) << after;
    EXPECT_EQ(MetricValue(after, Series("latmo_rtt_trimmed_mean_seconds", "new.example", 2)),
              absent)
        << "the reset ring's fill\n"
        << after;
    EXPECT_GT(MetricValue(after, Series("latmo_rtt_trimmed_mean_seconds", "a.example", 1)), 0);

    form.reset();
    const std::string ini = ReadAll(dir.File("Latmo.ini"));
    EXPECT_NE(ini.find("\r\nCheckBoxMetrics_Checked=True\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("\r\nEditMetrics_Text=127.0.0.1:0\r\n"), std::string::npos) << ini;
}

// Whatever bytes a host box holds, the scrape is one Prometheus takes whole; an IPv6 address is
// one host however it is typed.
TEST_F(ExportWindow, EveryHostLabelIsUtf8AndAnIpv6AddressIsOneHost) {
    hosts[1] = "[2001:DB8:0::1]";
    hosts[2] = "caf\xe9";
    Open("127.0.0.1:0");
    ASSERT_TRUE(Served());
    ASSERT_TRUE(RunPass());
    const std::string text = Scrape(PortOf(form->MetricsServedAt()));
    EXPECT_EQ(form->ComboBox3->Text(), "caf\xe9") << "the box keeps what it was given";
    EXPECT_GT(MetricValue(text, Series("latmo_echo_requests_total", "2001:db8::1", 2)), -1) << text;
    // The label's text is caf\xE9, its backslash escaped in the exposition format.
    EXPECT_EQ(
        MetricValue(text, Series("latmo_echo_errors_total", "caf\\\\xE9", 3, "lookup_failed")),
        form->PassesDone())
        << text;
    if (std::system("command -v promtool >/dev/null") == 0) {
        WriteAll(dir.File("scrape.txt"), text);
        const std::string check = "promtool check metrics < " + dir.File("scrape.txt") + " > " +
                                  dir.File("promtool.txt") + " 2>&1";
        EXPECT_EQ(std::system(check.c_str()), 0) << ReadAll(dir.File("promtool.txt")) << text;
    }

    const struct {
        const char* Text;
        const char* Label;
    } rows[] = {
        {"a.example", "a.example"},
        {"caf\xc3\xa9.example", "caf\xc3\xa9.example"},  // UTF-8 as it is
        {"caf\xe9", "caf\\xE9"},
        {"\xc3", "\\xC3"},                    // a sequence cut short
        {"\xc0\xaf", "\\xC0\\xAF"},           // an overlong form
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},  // a surrogate
        {"2001:db8::1", "2001:db8::1"},
        {"[2001:db8::1]", "2001:db8::1"},
        {"2001:DB8:0:0::1", "2001:db8::1"},
        {"[fe80::1%eth0]", "fe80::1%eth0"},
        {"[a.example]", "[a.example]"},
        {"198.18.1.2", "198.18.1.2"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HostLabel(row.Text), row.Label) << row.Text;
    }
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
// passes keep their 3-second period and every one is collected; a scrape behind them all is
// answered at once, and the box stops the endpoint without a wait.
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

    // With every one of them still connected, a scrape is answered at once.
    const auto asked = Clock::now();
    const std::string text = Scrape(port);
    EXPECT_LT(Clock::now() - asked, std::chrono::seconds(1)) << "202 clients came before it";
    EXPECT_NE(text.find("latmo_info{"), std::string::npos) << text;

    // Stopping waits for none of them.
    const auto start = Clock::now();
    form->CheckBoxMetrics->SetChecked(false);
    form->CheckBoxMetricsExit(form.get());
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100)) << "the window never waits";
    ASSERT_TRUE(WaitUntil([&] { return form->LabelMetrics->Caption() == "Not serving."; }));
    EXPECT_EQ(ConnectLoopback(port), -1) << "the port is free again";
    for (const int s : hostile) {
        close(s);
    }
    EXPECT_TRUE(dialogs.empty());
}

// 127.0.0.1 comes with [::1] on the same port, so that nobody else answers a scrape of
// localhost that picks IPv6; where another program holds [::1] at the port, nothing is served.
// The page says which addresses are served and who can read them.
TEST_F(ExportWindow, LoopbackIsServedInBothFamiliesAndThePageSaysWhoCanRead) {
    const int probe = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_addr = in6addr_loopback;
    if (bind(probe, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        close(probe);
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    }
    close(probe);
    Open("127.0.0.1:0");
    ASSERT_TRUE(Served());
    const int port = PortOf(form->MetricsServedAt());
    const std::string twin = "[::1]:" + std::to_string(port);
    EXPECT_EQ(form->LabelMetrics->Caption(), "Serving at http://127.0.0.1:" + std::to_string(port) +
                                                 "/metrics\nand at http://" + twin + "/metrics");
    EXPECT_EQ(form->LabelMetricsReach->Caption(), "Only this computer can read the host names.");
    EXPECT_NE(Scrape(port, AF_INET6).find("latmo_info{"), std::string::npos);

    // An impostor at [::1] of the port asked for.
    const int impostor = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(impostor, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    sa.sin6_port = 0;
    ASSERT_EQ(bind(impostor, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(listen(impostor, 1), 0);
    socklen_t size = sizeof sa;
    getsockname(impostor, reinterpret_cast<sockaddr*>(&sa), &size);
    const std::string taken = std::to_string(ntohs(sa.sin6_port));
    const struct {
        std::string Text;
        std::string Caption;
        std::string Reach;
    } rows[] = {
        {"127.0.0.1:" + taken, "Not serving: Address already in use at [::1]:" + taken, ""},
        {"0.0.0.0:0", "Serving at http://0.0.0.0:", "Every network can read the host names."},
    };
    for (const auto& row : rows) {
        form->EditMetrics->SetText(row.Text);
        form->EditMetricsExit(form.get());
        ASSERT_TRUE(WaitUntil([&] {
            form->TimerRepaintTimer(form.get());
            return form->LabelMetrics->Caption().rfind(row.Caption, 0) == 0;
        })) << row.Text
            << ": " << form->LabelMetrics->Caption();
        EXPECT_EQ(form->LabelMetricsReach->Caption(), row.Reach) << row.Text;
    }
    ASSERT_TRUE(WaitUntil([&] { return !dialogs.empty(); }));
    EXPECT_NE(dialogs[0].find("at 127.0.0.1:" + taken + ": Address already in use at [::1]:" +
                              taken + "."),
              std::string::npos)
        << dialogs[0];
    EXPECT_EQ(dialogs.size(), 1u);
    close(impostor);
}

}  // namespace
