// The interface first: Windows' headers define its message names as macros of the same values.
#include "platform/windows/WindowsInterProcess.h"

#include <windows.h>

#include <shellapi.h>

#include <deque>

#include "platform/windows/Wide.h"

namespace {

constexpr wchar_t kPortClass[] = L"LatmoMessagePort";
// Marks an LRESULT that carries an answer.
constexpr uint64_t kAnswered = uint64_t{1} << 62;
constexpr uint64_t kField = 0xFFFFF;

uint64_t EncodeAnswer(const TCopyMessage& answer) {
    return kAnswered | (uint64_t{answer.Msg & 0xFFFFu} << 40) | ((answer.WParam & kField) << 20) |
           (answer.LParam & kField);
}

class TWindowsSharedBlock : public TSharedBlock {
public:
    TWindowsSharedBlock(HANDLE mapping, uint8_t* view, size_t size)
        : FMapping(mapping), FView(view), FSize(size) {}
    ~TWindowsSharedBlock() override {
        UnmapViewOfFile(FView);
        CloseHandle(FMapping);
    }
    TWindowsSharedBlock(const TWindowsSharedBlock&) = delete;
    TWindowsSharedBlock& operator=(const TWindowsSharedBlock&) = delete;
    uint8_t* Data() const override { return FView; }
    size_t Size() const override { return FSize; }
    bool Current() const override { return true; }

private:
    HANDLE FMapping;
    uint8_t* FView;
    size_t FSize;
};

class TWindowsNamedLock : public TNamedLock {
public:
    explicit TWindowsNamedLock(HANDLE mutex) : FMutex(mutex) {}
    ~TWindowsNamedLock() override { CloseHandle(FMutex); }
    TWindowsNamedLock(const TWindowsNamedLock&) = delete;
    TWindowsNamedLock& operator=(const TWindowsNamedLock&) = delete;
    TTake TryTake() override { return Take(0); }
    TTake Take(int timeoutMs) override {
        switch (
            WaitForSingleObject(FMutex, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs))) {
            case WAIT_OBJECT_0:
                return TTake::tTaken;
            case WAIT_ABANDONED:
                return TTake::tTakenFromDead;
            case WAIT_TIMEOUT:
                return TTake::tBusy;
            default:
                return TTake::tFailed;
        }
    }
    void Give() override { ReleaseMutex(FMutex); }
    bool Current() const override { return true; }

private:
    HANDLE FMutex;
};

class TWindowsMessagePort : public TMessagePort {
public:
    explicit TWindowsMessagePort(const std::string& title) {
        // Message-only: it hears no broadcast and no activation of the system's, only what the
        // other copies send.
        FWindow = MakeHiddenWindow(kPortClass, title, HWND_MESSAGE, this,
                                   &TWindowsMessagePort::WindowProc);
    }
    ~TWindowsMessagePort() override {
        if (FWindow != nullptr) {
            SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
            DestroyWindow(FWindow);
        }
    }
    TWindowsMessagePort(const TWindowsMessagePort&) = delete;
    TWindowsMessagePort& operator=(const TWindowsMessagePort&) = delete;

    bool Opened() const { return FWindow != nullptr; }
    int Descriptor() const override { return -1; }
    void SetArrivalHandler(std::function<void()> arrived) override {
        FArrived = std::move(arrived);
    }

    TReceive Receive(TCopyMessage& message) override {
        if (FWaiting.empty()) {
            return TReceive::rNone;
        }
        message = std::move(FWaiting.front());
        FWaiting.pop_front();
        return TReceive::rMessage;
    }
    void Reply(const TCopyMessage& answer) override { FAnswer = EncodeAnswer(answer); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = OwnerOf<TWindowsMessagePort>(window, msg, lParam);
        const bool ours = msg == WM_COPYDATA || msg == WM_ACTIVATEAPP || msg == WM_SYSCOMMAND ||
                          msg >= kFirstRegisteredMessage;
        if (self == nullptr || !ours || msg == WM_NCCREATE) {
            return DefWindowProcW(window, msg, wParam, lParam);
        }
        TCopyMessage message{msg, static_cast<uint64_t>(wParam), static_cast<uint64_t>(lParam), {}};
        if (msg == WM_COPYDATA) {
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (copy == nullptr || copy->cbData > kMaxCopyDataSize) {
                return 0;
            }
            message.LParam = copy->dwData;
            message.Data.assign(static_cast<const char*>(copy->lpData), copy->cbData);
        }
        self->FWaiting.push_back(std::move(message));
        self->FAnswer = 0;
        if (self->FArrived) {
            // A sent message is answered while its sender waits: handle it now.
            self->FArrived();
        }
        return static_cast<LRESULT>(self->FAnswer);
    }

    HWND FWindow = nullptr;
    std::function<void()> FArrived;
    std::deque<TCopyMessage> FWaiting;
    uint64_t FAnswer = 0;
};

HWND FindPort(const std::string& channel, uint32_t processId) {
    return FindWindowExW(HWND_MESSAGE, nullptr, kPortClass,
                         Widen(TWindowsInterProcess::PortTitle(channel, processId)).c_str());
}

}  // namespace

std::string TWindowsInterProcess::ObjectName(const std::string& name) {
    std::string object = "Local\\" + name;
    for (size_t i = 6; i < object.size(); ++i) {
        if (object[i] == '\\') {
            object[i] = '/';
        }
    }
    return object;
}

std::string TWindowsInterProcess::PortTitle(const std::string& channel, uint32_t processId) {
    return channel + "#" + std::to_string(processId);
}

std::unique_ptr<TSharedBlock> TWindowsInterProcess::OpenSharedBlock(const std::string& name,
                                                                    size_t size, bool& existed,
                                                                    int& error) {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(uint64_t{size} >> 32),
                                        static_cast<DWORD>(size), Widen(ObjectName(name)).c_str());
    if (mapping == nullptr) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (view == nullptr) {
        error = static_cast<int>(GetLastError());
        CloseHandle(mapping);
        return nullptr;
    }
    return std::make_unique<TWindowsSharedBlock>(mapping, static_cast<uint8_t*>(view), size);
}

std::unique_ptr<TNamedLock> TWindowsInterProcess::OpenLock(const std::string& name, bool& existed,
                                                           int& error) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(ObjectName(name)).c_str());
    if (mutex == nullptr) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    return std::make_unique<TWindowsNamedLock>(mutex);
}

std::string TWindowsInterProcess::ErrorText(int error) const {
    return Win32ErrorText(static_cast<DWORD>(error));
}

uint32_t TWindowsInterProcess::CurrentProcessId() const {
    return GetCurrentProcessId();
}

uint32_t TWindowsInterProcess::CurrentThreadId() const {
    return GetCurrentThreadId();
}

unsigned TWindowsInterProcess::ProcessorCount() const {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

uint64_t TWindowsInterProcess::StartTime(uint32_t id) const {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    bool known = false;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)) {
        DWORD code = 0;
        known = GetExitCodeProcess(process, &code) != 0 && code == STILL_ACTIVE &&
                GetProcessTimes(process, &created, &exited, &kernel, &user) != 0;
        CloseHandle(process);
    } else if (HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id)) {
        DWORD code = 0;
        known = GetExitCodeThread(thread, &code) != 0 && code == STILL_ACTIVE &&
                GetThreadTimes(thread, &created, &exited, &kernel, &user) != 0;
        CloseHandle(thread);
    }
    if (!known) {
        return 0;
    }
    return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

std::vector<std::string> TWindowsInterProcess::CommandLineParameters() const {
    std::vector<std::string> parameters;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        parameters.push_back(Narrow(arguments[i], wcslen(arguments[i])));
    }
    LocalFree(arguments);
    return parameters;
}

uint32_t TWindowsInterProcess::RegisterWindowMessage(const std::string& name) const {
    return RegisterWindowMessageW(Widen(name).c_str());
}

std::unique_ptr<TMessagePort> TWindowsInterProcess::OpenPort(const std::string& channel,
                                                             uint32_t processId) {
    auto port = std::make_unique<TWindowsMessagePort>(PortTitle(channel, processId));
    return port->Opened() ? std::move(port) : nullptr;
}

bool TWindowsInterProcess::PortExists(const std::string& channel, uint32_t processId) const {
    return FindPort(channel, processId) != nullptr;
}

bool TWindowsInterProcess::PostMessage(const std::string& channel, uint32_t processId,
                                       const TCopyMessage& message, int waitMs) {
    HWND window = FindPort(channel, processId);
    if (window == nullptr) {
        return false;
    }
    if (message.Msg != WM_COPYDATA) {
        return PostMessageW(window, message.Msg, static_cast<WPARAM>(message.WParam),
                            static_cast<LPARAM>(message.LParam)) != 0;
    }
    DWORD_PTR result = 0;
    COPYDATASTRUCT copy{};
    copy.dwData = static_cast<ULONG_PTR>(message.LParam);
    copy.cbData = static_cast<DWORD>(message.Data.size());
    copy.lpData = const_cast<char*>(message.Data.data());
    return SendMessageTimeoutW(window, WM_COPYDATA, static_cast<WPARAM>(message.WParam),
                               reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                               static_cast<UINT>(waitMs < 0 ? 0 : waitMs), &result) != 0;
}

bool TWindowsInterProcess::SendMessage(const std::string& channel, uint32_t processId,
                                       const TCopyMessage& message, TCopyMessage& answer,
                                       int timeoutMs, TMessagePort*, const std::function<void()>&) {
    HWND window = FindPort(channel, processId);
    if (window == nullptr) {
        return false;
    }
    DWORD_PTR result = 0;
    COPYDATASTRUCT copy{};
    LPARAM lParam = static_cast<LPARAM>(message.LParam);
    if (message.Msg == WM_COPYDATA) {
        copy.dwData = static_cast<ULONG_PTR>(message.LParam);
        copy.cbData = static_cast<DWORD>(message.Data.size());
        copy.lpData = const_cast<char*>(message.Data.data());
        lParam = reinterpret_cast<LPARAM>(&copy);
    }
    if (SendMessageTimeoutW(window, message.Msg, static_cast<WPARAM>(message.WParam), lParam,
                            SMTO_ABORTIFHUNG, static_cast<UINT>(timeoutMs < 0 ? 0 : timeoutMs),
                            &result) == 0) {
        return false;
    }
    const uint64_t value = result;
    if ((value & kAnswered) == 0) {
        return false;
    }
    answer = TCopyMessage{
        static_cast<uint32_t>((value >> 40) & 0xFFFF), (value >> 20) & kField, value & kField, {}};
    return true;
}
