#include "toolkit/Thread.h"

#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>

TThread::TThread(bool createSuspended, std::function<void(TThread&)> body)
    : FBody(std::move(body)), FStopFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!createSuspended) {
        Resume();
    }
}

TThread::~TThread() {
    Terminate();
    // A thread that never ran still has to finish its life in order: start it so its body
    // sees the stop request at once.
    Resume();
    WaitFor();
    if (FStopFd >= 0) {
        close(FStopFd);
    }
}

void TThread::Resume() {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FStarted) {
        return;
    }
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

bool TThread::Suspended() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return !FStarted;
}

void TThread::Terminate() {
    FTerminated = true;
    if (FStopFd >= 0) {
        // Never read: the descriptor stays readable for every wait that looks at it later.
        (void)!eventfd_write(FStopFd, 1);
    }
    Wake();
}

void TThread::Wake() {
    std::lock_guard<std::mutex> lock(FMutex);
    FWake.notify_all();
}

void TThread::WaitFor() {
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FThread.joinable() || FThread.get_id() == std::this_thread::get_id()) {
            return;
        }
        t = std::move(FThread);
    }
    t.join();
}

void TThread::SetPriority(TThreadPriority value) {
    FPriority = value;
    if (FRunning) {
        ApplyPriority();
    }
}

void TThread::ApplyPriority() {
    // Linux schedules each thread on its own: the idle class is the lowest priority the system
    // offers an ordinary user, and nice 19 stands in where that class is refused.
    const auto tid = static_cast<pid_t>(FTid.load());
    if (tid == 0) {
        return;
    }
    const TThreadPriority p = FPriority.load();
    sched_param param{};
    if (p == TThreadPriority::tpIdle || p == TThreadPriority::tpLowest) {
        if (sched_setscheduler(tid, SCHED_IDLE, &param) != 0) {
            setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19);
        }
        return;
    }
    sched_setscheduler(tid, SCHED_OTHER, &param);
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), p == TThreadPriority::tpLower ? 10 : 0);
}

bool TThread::SleepUnlessTerminated(int ms) {
    std::unique_lock<std::mutex> lock(FMutex);
    return !FWake.wait_for(lock, std::chrono::milliseconds(ms),
                           [this] { return FTerminated.load(); });
}

bool TThread::WaitUntil(const std::function<bool()>& ready, int ms) {
    std::unique_lock<std::mutex> lock(FMutex);
    const auto done = [&] { return FTerminated.load() || ready(); };
    if (ms < 0) {
        FWake.wait(lock, done);
    } else {
        FWake.wait_for(lock, std::chrono::milliseconds(ms), done);
    }
    return ready();
}

void TThread::Run() {
    FTid = static_cast<long>(syscall(SYS_gettid));
    FRunning = true;
    ApplyPriority();
    if (FBody) {
        FBody(*this);
    }
    FRunning = false;
    FFinished = true;
}

void TThread::Queue(std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}
