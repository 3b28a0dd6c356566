#include "toolkit/Thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <chrono>

#include "platform/ThreadControl.h"

TThread::TThread(bool createSuspended, std::function<void(TThread&)> body)
    : FBody(std::move(body)), FStopFd(MakeStopSignal()) {
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
    CloseStopSignal(FStopFd);
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
    RaiseStopSignal(FStopFd);
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
    const long tid = FTid.load();
    if (tid == 0) {
        return;
    }
    const TThreadPriority p = FPriority.load();
    SetThreadLevel(tid, p == TThreadPriority::tpIdle || p == TThreadPriority::tpLowest
                            ? TThreadLevel::tlLowest
                        : p == TThreadPriority::tpLower ? TThreadLevel::tlLower
                                                        : TThreadLevel::tlNormal);
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
    FTid = CurrentThreadNumber();
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
