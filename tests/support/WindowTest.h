#pragma once
// The window against fake network services, for the window tests: the real worker thread, the
// real controls (offscreen), fakes that can hold a probe as long as the test wants.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/Unit1.h"
#include "support/FakeServices.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"

// Waits, handling the window's events, until done() holds; false after timeoutMs.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class WindowTest : public ::testing::Test, protected TFakeServices {
protected:
    WindowTest() {
        uint32_t addr = 0x0a000001;
        for (const char* name : TForm1::kBuiltInHosts) {
            lookup.Hosts[name] = addr++;
        }
        lookup.Hosts["new.example"] = 0x0a0000ff;
        oldHook = SetDialogHook([this](const TDialogRequest& r) {
            dialogs.push_back(r.Text);
            dialogCaptions.push_back(r.Caption);
            return mrOk;
        });
    }
    ~WindowTest() override {
        echo.Release();
        form.reset();
        SetDialogHook(oldHook);
        ReleaseDiagLog();
        SetDiagLogPath("");
        std::filesystem::remove_all(settingsDir);
    }

    // The tests collect by hand, at the moments they choose.
    void Open() {
        SetDiagLogPath((settingsDir / "latmo.log").string());
        HoldDiagLog();  // as the program does until the window's "Start"
        form =
            std::make_unique<TForm1>(application, services, TWindowOptions{settingsDir.string()});
        form->TimerRepaint->SetEnabled(false);
    }
    // Waits until the worker has finished every requested pass and rests.
    bool Settle() {
        return WaitUntil(
            [&] { return !form->PassPending() && form->Store().FResultsReady.load(); });
    }
    // The messages of the diagnostic log, without their time and version.
    std::vector<std::string> DiagMessages() const {
        std::ifstream in(settingsDir / "latmo.log", std::ios::binary);
        std::vector<std::string> messages;
        for (std::string line; std::getline(in, line);) {
            const size_t from = line.find(": ");
            const size_t to = line.rfind(" [Latmo ");
            if (from != std::string::npos && to != std::string::npos && to > from) {
                messages.push_back(line.substr(from + 2, to - from - 2));
            }
        }
        return messages;
    }
    void WriteSettings(const std::vector<std::string>& lines) const {
        std::ofstream out(settingsDir / "Latmo.ini", std::ios::binary);
        for (const std::string& line : lines) {
            out << line << "\r\n";
        }
    }
    // Requests one pass and waits for its results; the collection is left to the test.
    bool RunPass() {
        const int begun = form->PassesBegun();
        form->Button1Click(form.get());
        // The request is taken by a pass begun after the click, and no pass is under way: one
        // that was already running when the click came does not count as its pass.
        return WaitUntil([&] {
            return !form->PassPending() && form->PassesBegun() > begun &&
                   form->PassesDone() == form->PassesBegun();
        });
    }

    TApplication application;
    std::unique_ptr<TForm1> form;
    std::vector<std::string> dialogs;
    std::vector<std::string> dialogCaptions;
    TDialogHook oldHook;
    // Each test starts from the design's values, with a settings file of its own.
    const std::filesystem::path settingsDir = [] {
        const auto dir =
            std::filesystem::temp_directory_path() /
            ("latmo-window-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
             std::regex_replace(::testing::UnitTest::GetInstance()->current_test_info()->name(),
                                std::regex("/"), "-"));
        std::filesystem::create_directories(dir);
        return dir;
    }();
};
