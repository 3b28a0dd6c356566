#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/ThreadComponent.h"
#include "support/TempDir.h"
#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"
#include "toolkit/StrUtils.h"

namespace {

bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

TEST(ThreadComponent, StartsWhenLoadingEndsAndStopsWithItsOwner) {
    std::atomic<int> loops{0};
    std::atomic<bool> stoppedInOrder{false};
    {
        TComponent owner(nullptr);
        owner.BeginLoading();
        auto* thread = new TabfThreadComponent(&owner);
        thread->SetSuspended(false);
        thread->OnExecute = [&](TObject* sender) {
            auto* self = static_cast<TabfThreadComponent*>(sender);
            while (!self->Terminated()) {
                ++loops;
                self->Sleep(150);
            }
            stoppedInOrder = true;
        };
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(loops.load(), 0) << "nothing runs while the owner is being loaded";
        owner.EndLoading();
        ASSERT_TRUE(PumpUntil([&] { return loops.load() > 0; }));
    }
    EXPECT_TRUE(stoppedInOrder.load()) << "freeing waits for the body to leave";
}

// An error that escapes the body is told on the user-interface thread, in a message box and in
// the diagnostic log, once for each new message; the body runs again and serves what comes next.
TEST(ThreadComponent, AnEscapingExceptionIsToldOnceAndTheBodyRunsOn) {
    const TTempDir dir;
    SetDiagLogPath(dir.File("latmo.log"));
    std::vector<std::string> shown;
    const TDialogHook old = SetDialogHook([&](const TDialogRequest& r) {
        shown.push_back(r.Text);
        return mrOk;
    });
    std::atomic<int> runs{0};
    std::atomic<bool> served{false};
    {
        TComponent owner(nullptr);
        owner.BeginLoading();
        auto* thread = new TabfThreadComponent(&owner);
        thread->SetName("abfThread1");
        thread->SetSuspended(false);
        thread->OnExecute = [&](TObject* sender) {
            const int run = ++runs;
            if (run <= 2) {
                StrToInt("12a");
            }
            if (run == 3) {
                throw std::runtime_error("out of slots");
            }
            served = true;
            auto* self = static_cast<TabfThreadComponent*>(sender);
            while (!self->Terminated()) {
                self->Sleep(1000);
            }
        };
        owner.EndLoading();
        ASSERT_TRUE(PumpUntil([&] { return served.load() && shown.size() >= 2; }));
    }
    SetDialogHook(old);
    SetDiagLogPath("");
    const std::vector<std::string> expected = {
        "Thread abfThread1 raised exception class EConvertError with message \"'12a' is not a "
        "valid integer value\".",
        "Thread abfThread1 raised exception class Exception with message \"out of slots\"."};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(runs.load(), 4);
    const std::string log = ReadAll(dir.File("latmo.log"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    for (const std::string& text : expected) {
        EXPECT_NE(log.find(": " + text + " [Latmo "), std::string::npos) << log;
    }
}

}  // namespace
