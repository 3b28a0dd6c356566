#include "platform/ThreadControl.h"

#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

TStopSignal MakeStopSignal() {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd >= 0 ? fd : kNoStopSignal;
}

void RaiseStopSignal(TStopSignal signal) {
    if (signal != kNoStopSignal) {
        // Never read: the descriptor stays readable for every wait that looks at it later.
        (void)!eventfd_write(static_cast<int>(signal), 1);
    }
}

void CloseStopSignal(TStopSignal signal) {
    if (signal != kNoStopSignal) {
        close(static_cast<int>(signal));
    }
}

bool StopSignalRaised(TStopSignal signal) {
    pollfd p{static_cast<int>(signal), POLLIN, 0};
    return signal != kNoStopSignal && poll(&p, 1, 0) == 1;
}

TSignalWait WaitForSignal(TStopSignal signal, TStopSignal stop, int timeoutMs) {
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd waits[2] = {{static_cast<int>(stop), POLLIN, 0}, {static_cast<int>(signal), POLLIN, 0}};
    for (;;) {
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
            waitMs = static_cast<int>(std::max<int64_t>(left.count(), 0));
        }
        // A negative descriptor is passed over by poll().
        const int polled = poll(waits, 2, waitMs);
        if (polled < 0 && errno != EINTR) {
            return TSignalWait::swFailed;
        }
        if (polled > 0 && (waits[0].revents & POLLIN) != 0) {
            return TSignalWait::swStopped;
        }
        if (polled > 0 && (waits[1].revents & POLLIN) != 0) {
            return TSignalWait::swRaised;
        }
        if (polled == 0 && waitMs >= 0) {
            return TSignalWait::swTimedOut;
        }
    }
}

void EndProcessNow(int code) {
    _exit(code);
}

long CurrentThreadNumber() {
    return static_cast<long>(syscall(SYS_gettid));
}

void SetThreadLevel(long thread, TThreadLevel level) {
    // Linux schedules each thread on its own: the idle class is the lowest priority the system
    // offers an ordinary user, and nice 19 stands in where that class is refused.
    const auto tid = static_cast<pid_t>(thread);
    sched_param param{};
    if (level == TThreadLevel::tlLowest) {
        if (sched_setscheduler(tid, SCHED_IDLE, &param) != 0) {
            setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19);
        }
        return;
    }
    sched_setscheduler(tid, SCHED_OTHER, &param);
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), level == TThreadLevel::tlLower ? 10 : 0);
}
