// Runs the Windows tests under Wine: Windows' own platform plugin on the X display Wine uses
// (the static Qt has no offscreen one), and one QApplication for the whole run.
// Started as "--latmo-wait-for=NAME [...]", the program is instead a process for the shell tests
// to follow: it waits for the event Local\NAME to be set (a minute at most) and ends.

#include <gtest/gtest.h>

#include <windows.h>

#include <QApplication>
#include <cstring>
#include <string>

namespace {

constexpr char kWaitFor[] = "--latmo-wait-for=";

int WaitForEvent(const std::string& name) {
    const std::wstring wide = L"Local\\" + std::wstring(name.begin(), name.end());
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, wide.c_str());
    if (event == nullptr) {
        return 2;
    }
    const DWORD waited = WaitForSingleObject(event, 60000);
    CloseHandle(event);
    return waited == WAIT_OBJECT_0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], kWaitFor, std::strlen(kWaitFor)) == 0) {
        return WaitForEvent(argv[1] + std::strlen(kWaitFor));
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
