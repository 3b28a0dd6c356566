// The signals a Linux desktop ends a program with, as the session's end.

#include <gtest/gtest.h>

#include <QApplication>
#include <csignal>

#include "toolkit/SessionEnd.h"

namespace {

// SIGTERM, SIGHUP and SIGINT end the run once, on the user-interface thread; once nobody
// listens any more a signal is dropped rather than killing a program that is still writing
// its settings.
TEST(SessionEnd, SignalsEndTheRunOnceAndStayCaughtUntilTheProcessEnds) {
    int saves = 0;
    int ends = 0;
    {
        const TSessionEnd sessionEnd([&] { ++saves; }, [&] { ++ends; });
        for (const int signal : {SIGHUP, SIGTERM, SIGINT}) {
            ASSERT_EQ(raise(signal), 0);
            for (int i = 0; i < 50 && ends == 0; ++i) {
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        }
        QApplication::processEvents();
    }
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(saves, 0) << "only the session manager asks to save";
    ASSERT_EQ(raise(SIGINT), 0);  // would end the test program, were it not caught
    EXPECT_EQ(ends, 1);
}

}  // namespace
