#include "core/ThreadComponent.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "toolkit/DiagLog.h"
#include "toolkit/Dialogs.h"

namespace {

// How long the body rests after an error before it runs again.
constexpr int kRestAfterErrorMs = 200;

}  // namespace

TabfThreadComponent::TabfThreadComponent(TComponent* AOwner)
    : TComponent(AOwner), FAlive(std::make_shared<std::atomic<bool>>(true)) {
    if (!IsDesigning()) {
        CreateThread();
    }
}

TabfThreadComponent::~TabfThreadComponent() {
    FAlive->store(false);
    StopThread();
}

void TabfThreadComponent::StopThread() {
    // The thread object stays in place until its body has returned, since the body keeps
    // asking Terminated() through it.
    if (FThread) {
        FThread->Terminate();
        FThread->Resume();
        FThread->WaitFor();
    }
}

void TabfThreadComponent::CreateThread() {
    FThread = std::make_unique<TThread>(true, [this](TThread& t) { ThreadBody(t); });
    FThread->SetPriority(FPriority);
}

void TabfThreadComponent::RestartThread() {
    StopThread();
    FThread.reset();
    CreateThread();
    FThread->Resume();
}

void TabfThreadComponent::SetPriority(TThreadPriority value) {
    FPriority = value;
    if (FThread) {
        FThread->SetPriority(value);
    }
}

void TabfThreadComponent::SetSuspended(bool value) {
    FSuspended = value;
    if (!IsLoading() && FThread && !value) {
        FThread->Resume();
    }
}

void TabfThreadComponent::SetSynchronized(bool value) {
    FSynchronized = value;
    if (!IsLoading()) {
        FThreadSynchronized = value;
    }
}

bool TabfThreadComponent::Terminated() const {
    return IsDesigning() || !FThread || FThread->Terminated();
}

void TabfThreadComponent::Sleep(int ms) {
    if (FThread) {
        FThread->SleepUnlessTerminated(ms);
    }
}

bool TabfThreadComponent::WaitUntil(const std::function<bool()>& ready, int ms) {
    return FThread ? FThread->WaitUntil(ready, ms) : ready();
}

void TabfThreadComponent::Wake() {
    if (FThread) {
        FThread->Wake();
    }
}

TStopSignal TabfThreadComponent::StopSignal() const {
    return FThread ? FThread->StopSignal() : kNoStopSignal;
}

void TabfThreadComponent::Loaded() {
    TComponent::Loaded();
    if (FThread && !FSuspended) {
        FThread->Resume();
    }
}

void TabfThreadComponent::ThreadBody(TThread& thread) {
    if (thread.Terminated()) {
        return;
    }
    if (FThreadSynchronized && QCoreApplication::instance() != nullptr &&
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this] { DoExecute(); }, Qt::BlockingQueuedConnection);
        return;
    }
    DoExecute();
}

void TabfThreadComponent::DoExecute() {
    // An error that escapes the body is told, and the body runs again: one failed pass must not
    // end the measuring for the rest of the run. The same error again is told only once.
    std::string lastReported;
    while (OnExecute && !Terminated()) {
        std::string className;
        std::string message;
        try {
            OnExecute(this);
            return;
        } catch (const Exception& e) {
            className = e.ClassName();
            message = e.Message();
        } catch (const std::exception& e) {
            className = "Exception";
            message = e.what();
        } catch (...) {
            className = "Exception";
            message = "Unknown error";
        }
        if (className + message != lastReported) {
            lastReported = className + message;
            ReportException(className, message);
        }
        // A body that fails at once every time would otherwise spin.
        Sleep(kRestAfterErrorMs);
    }
}

void TabfThreadComponent::ReportException(const std::string& className,
                                          const std::string& message) {
    // The report goes to the user-interface thread without waiting for it, so a window being
    // closed at that moment cannot dead-lock with the worker it is waiting for.
    std::weak_ptr<std::atomic<bool>> alive = FAlive;
    TThread::Queue([this, alive, className, message] {
        const auto flag = alive.lock();
        if (flag && flag->load()) {
            DoHandleException(className, message);
        }
    });
}

std::string TabfThreadComponent::ExceptionReportText(const std::string& componentName,
                                                     const std::string& className,
                                                     const std::string& message) {
    return "Thread " + componentName + " raised exception class " + className + " with message \"" +
           message + "\".";
}

void TabfThreadComponent::DoHandleException(const std::string& className,
                                            const std::string& message) {
    WriteDiagLog(ExceptionReportText(Name(), className, message));
    if (OnException) {
        const Exception error(message);
        DispatchEvent([&] { OnException(this, error); });
        return;
    }
    ShowDialog(TDialogRequest{DialogCaption(), ExceptionReportText(Name(), className, message),
                              TMsgDlgType::mtError, mbOK});
}
