// Desktop notices over D-Bus, on a bus of the test's own with a service that records them.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/linux/LinuxDesktopNotifier.h"
#include "support/NotificationRecorder.h"
#include "support/PrivateBus.h"

namespace {

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

class LinuxDesktopNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus.Problem().empty()) {
            GTEST_SKIP() << bus.Problem();
        }
    }
    TPrivateBus bus;
};

TEST_F(LinuxDesktopNotifierTest, SaysWhenNoServiceRunsAndHearsOneCome) {
    TLinuxDesktopNotifier notifier(bus.Address());
    EXPECT_EQ(notifier.Unavailable(), "No notification service runs on this desktop.");
    EXPECT_FALSE(notifier.Notify({"t", "x", false}));
    int changes = 0;
    notifier.SetAvailabilityChanged([&] { ++changes; });

    auto recorder = std::make_unique<TNotificationRecorder>(bus.Address());
    ASSERT_TRUE(recorder->Registered());
    ASSERT_TRUE(WaitUntil([&] { return notifier.Unavailable().empty(); }));
    EXPECT_EQ(changes, 1);
    recorder.reset();
    ASSERT_TRUE(WaitUntil([&] { return !notifier.Unavailable().empty(); }));
    EXPECT_EQ(changes, 2);
}

TEST_F(LinuxDesktopNotifierTest, NoticesReachTheServiceAsTheyWereGiven) {
    struct Row {
        bool markup;
        TDesktopNotice notice;
        std::string summary;
        std::string body;
        int urgency;
    } const rows[] = {
        {false,
         {"Latmo: h3 stopped answering", "h3 stopped answering: Error 11003", true},
         "Latmo: h3 stopped answering",
         "h3 stopped answering: Error 11003",
         1},
        {false,
         {"Latmo: a<b & c", "a<b & c answers again", false},
         "Latmo: a<b & c",
         "a<b & c answers again",
         0},
        // A service that reads mark-up would take "<b" for a tag.
        {true,
         {"Latmo: a<b & c", "a<b & c answers again", false},
         "Latmo: a<b & c",
         "a&lt;b &amp; c answers again",
         0},
        {false,
         {std::string(70, 't'), std::string(254, 'x') + "\u00e9", false},
         std::string(63, 't'),
         std::string(254, 'x'),
         0},
    };
    for (const Row& r : rows) {
        const TNotificationRecorder recorder(bus.Address(), r.markup);
        ASSERT_TRUE(recorder.Registered());
        TLinuxDesktopNotifier notifier(bus.Address());
        ASSERT_TRUE(notifier.Unavailable().empty()) << notifier.Unavailable();
        ASSERT_TRUE(notifier.Notify(r.notice));
        ASSERT_TRUE(WaitUntil([&] { return recorder.Notices().size() == 1; })) << r.summary;
        const TRecordedNotice got = recorder.Notices().front();
        EXPECT_EQ(got.App, "Latmo");
        EXPECT_EQ(got.Summary, r.summary);
        EXPECT_EQ(got.Body, r.body);
        EXPECT_EQ(got.Urgency, r.urgency);
    }
}

TEST_F(LinuxDesktopNotifierTest, EachNoticeGoesOnceAndInOrder) {
    const TNotificationRecorder recorder(bus.Address(), true);
    TLinuxDesktopNotifier notifier(bus.Address());
    // The first ones wait for the service to say how it reads a body.
    for (const char* title : {"one", "two", "three"}) {
        ASSERT_TRUE(notifier.Notify({title, "", false}));
    }
    ASSERT_TRUE(WaitUntil([&] { return recorder.Notices().size() >= 3; }));
    ASSERT_TRUE(notifier.Notify({"four", "", false}));
    ASSERT_TRUE(WaitUntil([&] { return recorder.Notices().size() >= 4; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QCoreApplication::processEvents();
    const auto notices = recorder.Notices();
    ASSERT_EQ(notices.size(), 4u);
    EXPECT_EQ(notices[0].Summary, "one");
    EXPECT_EQ(notices[2].Summary, "three");
    EXPECT_EQ(notices[3].Summary, "four");
}

}  // namespace
