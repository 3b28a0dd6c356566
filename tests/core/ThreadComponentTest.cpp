#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/ThreadComponent.h"
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

TEST(ThreadComponent, AnEscapingExceptionIsReportedOnTheUserInterfaceThread) {
    std::vector<std::string> shown;
    const TDialogHook old = SetDialogHook([&](const TDialogRequest& r) {
        shown.push_back(r.Text);
        return mrOk;
    });
    {
        TComponent owner(nullptr);
        owner.BeginLoading();
        auto* thread = new TabfThreadComponent(&owner);
        thread->SetName("abfThread1");
        thread->SetSuspended(false);
        thread->OnExecute = [](TObject*) { StrToInt("12a"); };
        owner.EndLoading();
        ASSERT_TRUE(PumpUntil([&] { return !shown.empty(); }));
    }
    SetDialogHook(old);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0],
              "Thread abfThread1 raised exception class EConvertError with message \"'12a' is not "
              "a valid integer value\".");
}

}  // namespace
