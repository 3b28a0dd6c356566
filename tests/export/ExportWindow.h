#pragma once
// A window on fake network services whose settings turn the metrics endpoint on, with the
// waits and passes the export tests drive it through.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Unit1.h"
#include "export/Scrape.h"
#include "support/FakeServices.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"

using Clock = std::chrono::steady_clock;

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
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

inline std::string Series(const std::string& name, const std::string& host, int slot,
                          const std::string& status = std::string()) {
    return name + "{host=\"" + host + "\",slot=\"" + std::to_string(slot) + "\"" +
           (status.empty() ? std::string() : ",status=\"" + status + "\"") + "}";
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
                 "[TForm1]\r\nEdithost_Text=" + hosts[0] + "\r\nComboBox1_Text=" + hosts[0] +
                     "\r\nComboBox2_Text=" + hosts[1] + "\r\nComboBox3_Text=" + hosts[2] +
                     "\r\nEdit2_Text=" + period +
                     "\r\nCheckBoxMetrics_Checked=True\r\nEditMetrics_Text=" + listen + "\r\n\r\n");
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

    // The three host boxes; host 3's name never resolves.
    std::string hosts[3] = {"a.example", "b.example", "nowhere.example"};
    TApplication application;
    TTempDir dir;
    std::unique_ptr<TForm1> form;
    std::vector<std::string> dialogs;
    TDialogHook oldHook;
};
