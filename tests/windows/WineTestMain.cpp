// Runs the Windows tests under Wine: Windows' own platform plugin on the X display Wine uses
// (the static Qt has no offscreen one), and one QApplication for the whole run.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
