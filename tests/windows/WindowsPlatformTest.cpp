// The Windows platform services against the real system calls, under Wine in CI: files with
// non-ASCII names and spaces, the Run key, program starts, named objects and window messages
// between copies, the tray's hidden window, and the session's end.

#include <gtest/gtest.h>

#include <QWidget>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/EndRequests.h"
#include "platform/Files.h"
#include "platform/windows/WindowsDesktopNotifier.h"
#include "platform/windows/WindowsInterProcess.h"
#include "platform/windows/WindowsRunList.h"
#include "platform/windows/WindowsShell.h"
#include "platform/windows/WindowsTrayShell.h"

// After the interfaces: Windows' headers define their names as macros.
#include "platform/windows/Wide.h"

namespace {

namespace fs = std::filesystem;

// Windows' headers made the interfaces' names macros of plain numbers.
constexpr auto kHide = static_cast<TShellShowCommand>(SW_HIDE);

// A fresh folder whose name holds a blank and letters beyond ASCII, removed afterwards.
class TWideDir {
public:
    TWideDir() {
        FPath = fs::temp_directory_path() / fs::path(L"latmo w\u00e4s \u00dcnic\u00f8de " +
                                                     std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(FPath);
    }
    ~TWideDir() {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    TWideDir(const TWideDir&) = delete;
    TWideDir& operator=(const TWideDir&) = delete;
    std::string Utf8() const { return Narrow(FPath.wstring()); }
    std::string File(const std::string& name) const { return Utf8() + "\\" + name; }
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

std::string ReadValue(HKEY root, const std::string& name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(root, Widen(TWindowsRunList::kRunKey).c_str(), Widen(name).c_str(),
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data,
                     &size) != ERROR_SUCCESS) {
        return "<none>";
    }
    return Narrow(data, wcslen(data));
}

// The whole file, or why it could not be read; "too large" past limit.
std::string ReadAll(const std::string& path, std::string& text, size_t limit = 1 << 20) {
    bool tooLarge = false;
    text.clear();
    const std::string failure = ReadWholeFile(path, limit, text, tooLarge);
    return tooLarge ? "too large" : failure;
}

std::wstring Environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    std::wstring value(size, L'\0');
    value.resize(size == 0 ? 0 : GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

// Lets the thread's windows have what was posted to them, for at most a moment.
void Pump() {
    MSG msg;
    for (int i = 0; i < 100 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != 0; ++i) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

TEST(WindowsFiles, AFolderWithBlanksAndNonAsciiLettersHoldsTheProgramsFiles) {
    const TWideDir dir;
    const std::string ini = dir.File("Latmo \u00e9t\u00e9.ini");
    EXPECT_TRUE(DirectoryWritable(dir.Utf8()));
    EXPECT_FALSE(FileEntryExists(ini));
    ASSERT_EQ(ReplaceFileWith(ini, "[TForm1]\r\nA=\u00fc\r\n", TWriteFault()), 0);
    ASSERT_EQ(ReplaceFileWith(ini, "[TForm1]\r\nA=2\r\n", TWriteFault()), 0);
    std::string text;
    ASSERT_EQ(ReadAll(ini, text), "");
    EXPECT_EQ(text, "[TForm1]\r\nA=2\r\n");
    EXPECT_TRUE(fs::exists(dir.Path() / fs::path(Widen("Latmo \u00e9t\u00e9.ini"))));
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

    const std::string log = dir.File("latmo.log");
    EXPECT_EQ(AppendToFile(log, "one\r\n"), "");
    EXPECT_EQ(AppendToFile(log, "two\r\n"), "");
    ASSERT_EQ(ReadAll(log, text), "");
    EXPECT_EQ(text, "one\r\ntwo\r\n");
}

TEST(WindowsFiles, FailuresAreToldInTheirOwnWords) {
    const TWideDir dir;
    const std::string ini = dir.File("Latmo.ini");
    ASSERT_EQ(ReplaceFileWith(ini, "old", TWriteFault()), 0);
    // A failing step leaves the old file and no temporary one.
    EXPECT_EQ(
        ReplaceFileWith(ini, "new",
                        [](TWriteStep step) { return step == TWriteStep::wsSync ? ENOSPC : 0; }),
        ENOSPC);
    std::string text;
    EXPECT_EQ(ReadAll(ini, text), "");
    EXPECT_EQ(text, "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    // A file its owner made read-only is not replaced.
    SetFileAttributesW(Widen(ini).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ReplaceFileWith(ini, "new", TWriteFault()), EACCES);
    SetFileAttributesW(Widen(ini).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadAll(dir.Utf8(), text), SysErrorMessage(EISDIR));
    EXPECT_EQ(ReadAll(dir.File("missing.ini"), text), SysErrorMessage(ENOENT));
    // Past the limit by its size: nothing of it is read.
    EXPECT_EQ(ReadAll(ini, text, 2), "too large");
    EXPECT_EQ(text, "");
    EXPECT_EQ(ReadAll(ini, text, 3), "");
    EXPECT_EQ(text, "old");
    EXPECT_EQ(AppendToFile(dir.Utf8(), "x"), "Not a regular file");
}

TEST(WindowsRunList, TheRunValueIsQuotedSoThatAPathWithBlanksStarts) {
    TWindowsRunList list;
    const std::string name = "LatmoTest" + std::to_string(GetCurrentProcessId());
    const std::string program = "C:\\Program Files\\L\u00e4tmo tools\\latmo.exe";
    ASSERT_TRUE(list.OpenKey(TRunListScope::rsUser, true)) << list.LastProblem();
    ASSERT_TRUE(list.WriteValue(TRunListScope::rsUser, name, program, false)) << list.LastProblem();
    EXPECT_TRUE(list.ValueExists(TRunListScope::rsUser, name));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, name), "\"" + program + "\"");
    EXPECT_TRUE(list.DeleteValue(TRunListScope::rsUser, name));
    EXPECT_FALSE(list.ValueExists(TRunListScope::rsUser, name));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, name), "<none>");
    EXPECT_EQ(list.KeyPath(TRunListScope::rsUser),
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

TEST(WindowsShell, AProgramInAFolderWithBlanksStartsWithItsParameters) {
    EXPECT_EQ(TWindowsShell::CommandLine("C:\\a b\\x.exe", "-q \"c d\""),
              "\"C:\\a b\\x.exe\" -q \"c d\"");
    EXPECT_TRUE(TWindowsShell::IsProgram("VersionCheck.EXE"));
    EXPECT_FALSE(TWindowsShell::IsProgram("alarm.wav"));
    // A bare name comes from PATH's folders, never from the current one.
    EXPECT_FALSE(TWindowsShell::FindProgram("notepad.exe").empty());
    EXPECT_TRUE(TWindowsShell::FindProgram("no-such-latmo-program.exe").empty());

    // This test program, copied into such a folder, writes its report where it is told.
    const TWideDir dir;
    const std::string copy = dir.File("probe copy.exe");
    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    fs::copy_file(fs::path(self), fs::path(Widen(copy)));
    const std::string report = dir.File("report \u00e9.xml");
    TWindowsShell shell;
    ASSERT_TRUE(shell.ShellExecute("open", copy,
                                   "--gtest_filter=None --gtest_output=\"xml:" + report + "\"",
                                   dir.Utf8(), kHide));
    for (int i = 0; i < 300 && !FileExists(report); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(FileExists(report));
    EXPECT_FALSE(shell.ShellExecute("open", dir.File("missing.exe"), "", "", kHide));

    // PATH's absolute folders in their order; the current one never, named or not.
    const std::wstring oldPath = Environment(L"PATH");
    wchar_t oldFolder[MAX_PATH * 4];
    GetCurrentDirectoryW(MAX_PATH * 4, oldFolder);
    SetCurrentDirectoryW(Widen(dir.Utf8()).c_str());
    SetEnvironmentVariableW(L"PATH", Widen("C:\no-such-latmo-folder;" + dir.Utf8()).c_str());
    EXPECT_EQ(TWindowsShell::FindProgram("probe copy.exe"), copy);
    SetEnvironmentVariableW(L"PATH", L".;probe");
    EXPECT_EQ(TWindowsShell::FindProgram("probe copy.exe"), "");
    SetEnvironmentVariableW(L"PATH", oldPath.c_str());
    SetCurrentDirectoryW(oldFolder);
}

// What ShellExecuteEx starts is followed until it ends: a program until it exits, a document
// while the program its type names runs. Both are copies of this test program that wait for an
// event of the test's own, so the test ends them.
TEST(WindowsShell, AFollowedProgramOrDocumentRunsUntilItsProcessEnds) {
    const TWideDir dir;
    const std::string copy = dir.File("waiter copy.exe");
    wchar_t self[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    fs::copy_file(fs::path(self), fs::path(Widen(copy)));
    const std::string id = std::to_string(GetCurrentProcessId());
    const std::string event = "LatmoShellTest" + id;
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, Widen("Local\\" + event).c_str());
    ASSERT_NE(go, nullptr);
    // A document type of the test's own, opened by the waiter.
    const std::wstring extension = Widen(".latmotest" + id);
    const std::wstring type = Widen("LatmoTest.Document" + id);
    const std::wstring command =
        Widen("\"" + copy + "\" --latmo-wait-for=" + event + " \"%1\"");
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, extension.c_str(), nullptr, REG_SZ, type.c_str(),
                              static_cast<DWORD>((type.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (type + L"\\shell\\open\\command").c_str(),
                              nullptr, REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    const std::string document = dir.File("alarm" + Narrow(extension));
    ASSERT_EQ(ReplaceFileWith(document, "RIFF", TWriteFault()), 0);
    struct {
        const char* What;
        std::string File, Parameters;
    } const rows[] = {
        {"a program", copy, "--latmo-wait-for=" + event},
        {"a document", document, ""},
    };
    TWindowsShell shell;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        ResetEvent(go);
        const std::unique_ptr<TShellProcess> process =
            shell.ShellExecuteEx("open", row.File, row.Parameters, "", kHide);
        ASSERT_NE(process, nullptr);
        EXPECT_TRUE(process->Running());
        SetEvent(go);
        bool running = true;
        for (int i = 0; i < 1000 && running; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            running = process->Running();
        }
        EXPECT_FALSE(running);
    }
    EXPECT_EQ(shell.ShellExecuteEx("open", dir.File("missing.exe"), "", "", kHide), nullptr);
    EXPECT_EQ(shell.ShellExecuteEx("open", dir.File("missing" + Narrow(extension)), "", "", kHide),
              nullptr);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, extension.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, type.c_str());
    CloseHandle(go);
}

TEST(WindowsInterProcess, NamedObjectsAreSharedAndADeadHoldersLockIsToldOf) {
    TWindowsInterProcess ipc;
    EXPECT_EQ(ipc.ObjectsBlocked(), "") << "another session holds no name in ours";
    const std::string name = "LatmoTest_" + std::to_string(GetCurrentProcessId()) + "_C:\\x";
    EXPECT_EQ(TWindowsInterProcess::ObjectName(name).rfind("Local\\", 0), 0u);
    EXPECT_EQ(TWindowsInterProcess::ObjectName(name).find('\\', 6), std::string::npos);
    bool existed = true;
    int error = 0;
    auto first = ipc.OpenSharedBlock(name + "_Map", 4096, existed, error);
    ASSERT_NE(first, nullptr) << ipc.ErrorText(error);
    EXPECT_FALSE(existed);
    auto second = ipc.OpenSharedBlock(name + "_Map", 4096, existed, error);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(existed);
    first->Data()[7] = 42;
    EXPECT_EQ(second->Data()[7], 42);

    auto lock = ipc.OpenLock(name + "_Lock", existed, error);
    ASSERT_NE(lock, nullptr);
    TNamedLock::TTake other = TNamedLock::TTake::tFailed;
    // A thread that takes the lock and ends without giving it back.
    std::thread([&] {
        bool e = false;
        int er = 0;
        auto mine = ipc.OpenLock(name + "_Lock", e, er);
        other = mine->TryTake();
    }).join();
    EXPECT_EQ(other, TNamedLock::TTake::tTaken);
    EXPECT_EQ(lock->TryTake(), TNamedLock::TTake::tTakenFromDead);
    std::thread([&] {
        bool e = false;
        int er = 0;
        other = ipc.OpenLock(name + "_Lock", e, er)->TryTake();
    }).join();
    EXPECT_EQ(other, TNamedLock::TTake::tBusy);
    lock->Give();

    EXPECT_GT(ipc.StartTime(ipc.CurrentProcessId()), 0u);
    EXPECT_EQ(ipc.StartTime(0xFFFFFFF0u), 0u);
    EXPECT_EQ(ipc.RegisterWindowMessage("LatmoTestMessage"),
              ipc.RegisterWindowMessage("LatmoTestMessage"));
}

TEST(WindowsInterProcess, MessagesAndCopyDataReachACopysPortAndAreAnswered) {
    TWindowsInterProcess ipc;
    const std::string channel = "LatmoTestChannel";
    const uint32_t pid = ipc.CurrentProcessId();
    auto port = ipc.OpenPort(channel, pid);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->Descriptor(), -1);
    EXPECT_TRUE(ipc.PortExists(channel, pid));
    EXPECT_FALSE(ipc.PortExists(channel, pid + 1));
    const uint32_t question = ipc.RegisterWindowMessage("LatmoTestQuestion");
    std::vector<TCopyMessage> heard;
    port->SetArrivalHandler([&] {
        TCopyMessage message;
        while (port->Receive(message) == TMessagePort::TReceive::rMessage) {
            heard.push_back(message);
            if (message.Msg == question) {
                port->Reply(TCopyMessage{question, 7, 1, {}});
            }
        }
    });
    const std::string text = "-minimized \"C:\\a b\\\u00fc.ini\"";
    ASSERT_TRUE(ipc.PostMessage(channel, pid, TCopyMessage{WM_COPYDATA, 99, 3, text}, 1000));
    ASSERT_TRUE(ipc.PostMessage(channel, pid, TCopyMessage{WM_ACTIVATEAPP, 1, 0, {}}, 1000));
    Pump();
    TCopyMessage answer;
    ASSERT_TRUE(
        ipc.SendMessage(channel, pid, TCopyMessage{question, 5, 0, {}}, answer, 1000, nullptr, {}));
    EXPECT_EQ(answer, (TCopyMessage{question, 7, 1, {}}));
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0], (TCopyMessage{WM_COPYDATA, 99, 3, text}));
    EXPECT_EQ(heard[1], (TCopyMessage{WM_ACTIVATEAPP, 1, 0, {}}));
    EXPECT_EQ(heard[2].Msg, question);
    port.reset();
    EXPECT_FALSE(ipc.PortExists(channel, pid));
}

namespace {

struct TRecordingTarget : TTrayCallbackTarget {
    std::vector<uint32_t> Codes;
    void TrayMessage(uint32_t message, uintptr_t id, uint32_t code) override {
        EXPECT_EQ(message, 0x0400u + 7);
        EXPECT_EQ(id, 3u);
        Codes.push_back(code);
    }
};

// The record of entry 3, whose messages go to target.
TNotifyIconData EntryRecord(TRecordingTarget& target, const TTrayImage& image) {
    TNotifyIconData record;
    record.cbSize = kNotifyIconDataSize;
    record.hWnd = &target;
    record.uID = 3;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = 0x0400 + 7;
    record.hIcon = &image;
    return record;
}

}  // namespace

TEST(WindowsTrayShell, ClicksReachTheEntrysTargetAndANewTaskbarAsksForItAgain) {
    TWindowsTrayShell shell;
    TRecordingTarget target;
    TTrayImage image;
    image.Pixels.fill(0x00FF0000);
    TNotifyIconData record = EntryRecord(target, image);
    std::strcpy(record.szTip, "Latmo \xc3\xbc 20 ms");
    ASSERT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_ADD), record));
    EXPECT_FALSE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_ADD), record));
    EXPECT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_MODIFY), record));
    HWND window = static_cast<HWND>(shell.Window());
    SendMessageW(window, TWindowsTrayShell::kCallbackMessage, 3, WM_LBUTTONDBLCLK);
    SendMessageW(window, TWindowsTrayShell::kCallbackMessage, 3, WM_RBUTTONUP);
    EXPECT_EQ(target.Codes, (std::vector<uint32_t>{WM_LBUTTONDBLCLK, WM_RBUTTONUP}));

    int asked = 0;
    const int key = shell.AddTaskbarCreatedHandler([&] { ++asked; });
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(asked, 1);
    // The new taskbar knows no entry: it is added again, not modified.
    EXPECT_FALSE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_MODIFY), record));
    EXPECT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_ADD), record));
    shell.RemoveTaskbarCreatedHandler(key);
    EXPECT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_DELETE), record));
    EXPECT_FALSE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_DELETE), record));
}

// Notices are balloons of Latmo's own entry: there while the entry is, gone with it when a new
// taskbar forgets it, and back when the entry is added again; the window hears of each change.
TEST(WindowsDesktopNotifier, NoticesAreBalloonsOfTheEntryWhileItIsThere) {
    TWindowsTrayShell shell;
    TWindowsDesktopNotifier notifier(shell);
    int changes = 0;
    notifier.SetAvailabilityChanged([&] { ++changes; });
    const TDesktopNotice notice{"Host 1 is above the alarm value",
                                "192.0.2.7: 250 ms\nAlarm value 200 ms", true};
    EXPECT_NE(notifier.Unavailable(), "");
    EXPECT_FALSE(notifier.Notify(notice));

    TRecordingTarget target;
    TTrayImage image;
    TNotifyIconData record = EntryRecord(target, image);
    ASSERT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_ADD), record));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(notifier.Unavailable(), "");
    EXPECT_TRUE(notifier.Notify(notice));
    EXPECT_TRUE(notifier.Notify(TDesktopNotice{std::string(200, 'T'), std::string(900, 'x'), false}))
        << "cut to the record's fields";

    SendMessageW(static_cast<HWND>(shell.Window()), RegisterWindowMessageW(L"TaskbarCreated"), 0,
                 0);
    EXPECT_EQ(changes, 2);
    EXPECT_NE(notifier.Unavailable(), "");
    EXPECT_FALSE(notifier.Notify(notice));
    ASSERT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_ADD), record));
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(notifier.Notify(notice));
    EXPECT_TRUE(shell.NotifyIcon(static_cast<TNotifyIconMessage>(NIM_DELETE), record));
    EXPECT_EQ(changes, 4);
    EXPECT_NE(notifier.Unavailable(), "");
}

TEST(WindowsText, AFixedFieldTakesWholeCharactersOnly) {
    struct {
        const char* Text;
        size_t Units;
        const wchar_t* Cut;
    } const rows[] = {
        {"Latmo", 9, L"Latmo"},
        {"Latmo", 3, L"Lat"},
        {"\xc3\xa4\xc3\xb6\xc3\xbc", 2, L"\u00e4\u00f6"},
        // A character beyond the 16-bit range takes two units, and is not halved.
        {"ab\xf0\x9f\x93\xb6", 3, L"ab"},
        {"ab\xf0\x9f\x93\xb6", 4, L"ab\U0001F4F6"},
        {"\xf0\x9f\x93\xb6", 1, L""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(WidenCut(row.Text, row.Units), row.Cut) << row.Text << " " << row.Units;
    }
}

TEST(WindowsEndRequests, TheSessionsEndReachesTheProgramBeforeItIsAnswered) {
    int ended = 0;
    auto requests = WatchEndRequests([&] { ++ended; });
    ASSERT_NE(requests, nullptr);
    QWidget window;
    window.show();
    HWND handle = reinterpret_cast<HWND>(window.winId());
    SendMessageW(handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    EXPECT_EQ(ended, 0);
    // A session end that was cancelled is not one.
    SendMessageW(handle, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_EQ(ended, 0);
    SendMessageW(handle, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(ended, 1);
    requests.reset();
}
