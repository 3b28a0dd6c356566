#include <windows.h>

#include "platform/ThreadControl.h"

TStopSignal MakeStopSignal() {
    // Manual reset: once set, it stays set for every wait that looks at it later.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event != nullptr ? reinterpret_cast<TStopSignal>(event) : kNoStopSignal;
}

void RaiseStopSignal(TStopSignal signal) {
    if (signal != kNoStopSignal) {
        SetEvent(reinterpret_cast<HANDLE>(signal));
    }
}

void CloseStopSignal(TStopSignal signal) {
    if (signal != kNoStopSignal) {
        CloseHandle(reinterpret_cast<HANDLE>(signal));
    }
}

bool StopSignalRaised(TStopSignal signal) {
    return signal != kNoStopSignal &&
           WaitForSingleObject(reinterpret_cast<HANDLE>(signal), 0) == WAIT_OBJECT_0;
}

TSignalWait WaitForSignal(TStopSignal signal, TStopSignal stop, int timeoutMs) {
    // The stop first: of two set at once, the lower is reported, so a raised stop wins.
    HANDLE waits[2] = {reinterpret_cast<HANDLE>(stop), reinterpret_cast<HANDLE>(signal)};
    const bool watchStop = stop != kNoStopSignal;
    const DWORD waited =
        WaitForMultipleObjects(watchStop ? 2 : 1, watchStop ? waits : waits + 1, FALSE,
                               timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (waited == WAIT_TIMEOUT) {
        return TSignalWait::swTimedOut;
    }
    if (watchStop && waited == WAIT_OBJECT_0) {
        return TSignalWait::swStopped;
    }
    return waited == WAIT_OBJECT_0 + (watchStop ? 1 : 0) ? TSignalWait::swRaised
                                                         : TSignalWait::swFailed;
}

void EndProcessNow(int code) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    // TerminateProcess does not return for the calling process; the compiler cannot know.
    for (;;) {
        Sleep(INFINITE);
    }
}

long CurrentThreadNumber() {
    return static_cast<long>(GetCurrentThreadId());
}

void SetThreadLevel(long thread, TThreadLevel level) {
    HANDLE handle = OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(thread));
    if (handle == nullptr) {
        return;
    }
    SetThreadPriority(handle, level == TThreadLevel::tlLowest  ? THREAD_PRIORITY_IDLE
                              : level == TThreadLevel::tlLower ? THREAD_PRIORITY_BELOW_NORMAL
                                                               : THREAD_PRIORITY_NORMAL);
    CloseHandle(handle);
}
