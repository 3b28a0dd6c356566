#pragma once
// The worker-thread component: one thread whose body is the OnExecute handler, started when
// the window finishes loading and stopped and waited for when the component goes.

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "toolkit/Component.h"
#include "toolkit/Thread.h"

using TThreadExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TabfThreadComponent : public TComponent {
public:
    explicit TabfThreadComponent(TComponent* AOwner);
    ~TabfThreadComponent() override;
    std::string ClassName() const override { return "TabfThreadComponent"; }

    TThreadPriority Priority() const { return FPriority; }
    void SetPriority(TThreadPriority value);
    bool Suspended() const { return FSuspended; }
    void SetSuspended(bool value);
    bool Synchronized() const { return FSynchronized; }
    void SetSynchronized(bool value);
    int ReturnValue() const { return FReturnValue; }
    void SetReturnValue(int value) { FReturnValue = value; }

    // Whether the thread has been asked to stop (the body's loop and each probe ask this).
    bool Terminated() const;
    // For the thread's own body: rests up to ms milliseconds, less when asked to stop.
    void Sleep(int ms);
    // For the thread's own body: sleeps until ready() holds (looked at again on every Wake()),
    // the thread is asked to stop or, with ms >= 0, ms milliseconds have passed.
    bool WaitUntil(const std::function<bool()>& ready, int ms = -1);
    // Lets the body's WaitUntil look at its condition again.
    void Wake();
    // Raised when the thread is asked to stop; the body's waits on the system watch it.
    TStopSignal StopSignal() const;
    // Replaces the thread by a new one and starts it.
    void RestartThread();

    TNotifyEvent OnExecute;
    TThreadExceptionEvent OnException;
    TNotifyEvent OnTerminate;
    TNotifyEvent OnFinish;

    // The report shown for an exception that escaped OnExecute.
    static std::string ExceptionReportText(const std::string& componentName,
                                           const std::string& className,
                                           const std::string& message);

protected:
    void Loaded() override;
    void DoExecute();
    // Tells of an error that escaped OnExecute: in the diagnostic log, and to OnException or in
    // a message box. Runs on the user-interface thread.
    void DoHandleException(const std::string& className, const std::string& message);
    void CreateThread();

private:
    void ThreadBody(TThread& thread);
    void StopThread();
    void ReportException(const std::string& className, const std::string& message);

    std::unique_ptr<TThread> FThread;
    TThreadPriority FPriority = TThreadPriority::tpNormal;
    bool FSuspended = true;
    bool FSynchronized = false;
    // The thread's own switch: only a value set after loading reaches it.
    std::atomic<bool> FThreadSynchronized{false};
    int FReturnValue = 0;
    // Reports queued for the user-interface thread check this before touching the component.
    std::shared_ptr<std::atomic<bool>> FAlive;
};
