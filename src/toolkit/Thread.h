#pragma once
// A thread object in the style the components expect: created suspended or running, asked to
// stop through a flag its code polls, resumed, waited for; with priorities and a way to run
// code on the user-interface thread. The body waits for work without looking at a clock: it
// sleeps until it is woken or asked to stop.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/StopSignal.h"

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

class TThread {
public:
    // The body runs once on the new thread; it should poll Terminated().
    TThread(bool createSuspended, std::function<void(TThread&)> body);
    // Asks the thread to stop, starts it if it never ran, and waits for it.
    virtual ~TThread();

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    bool Suspended() const;
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    bool Finished() const { return FFinished.load(); }
    // Waits until the body has returned (not to be called from the thread itself).
    void WaitFor();

    TThreadPriority Priority() const { return FPriority.load(); }
    // Takes effect at once on a running thread, otherwise when it starts.
    void SetPriority(TThreadPriority value);

    // Sleeps up to ms milliseconds; returns early (false) when the thread is asked to stop.
    bool SleepUnlessTerminated(int ms);
    // For the body: sleeps until ready() holds, the thread is asked to stop or, with ms >= 0,
    // ms milliseconds have passed. ready() is evaluated under the thread's lock, so a change
    // followed by Wake() is never missed. Returns ready()'s last answer.
    bool WaitUntil(const std::function<bool()>& ready, int ms = -1);
    // Makes WaitUntil look at its condition again (any thread).
    void Wake();
    // Raised when the thread is asked to stop: waits of the body on the operating system
    // (a probe's reply, a name lookup) watch it and give up at once.
    TStopSignal StopSignal() const { return FStopFd; }

    // Queues a call for the user-interface thread and returns at once. Nothing is queued when
    // there is no application object.
    static void Queue(std::function<void()> call);

private:
    void Run();
    void ApplyPriority();

    std::function<void(TThread&)> FBody;
    std::thread FThread;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    bool FStarted = false;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<TThreadPriority> FPriority{TThreadPriority::tpNormal};
    std::atomic<bool> FRunning{false};
    std::atomic<long> FTid{0};
    // An eventfd; -1 where none could be had (waits then run to their own end).
    TStopSignal FStopFd = kNoStopSignal;
};
