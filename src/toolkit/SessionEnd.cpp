#include "toolkit/SessionEnd.h"

#include <fcntl.h>
#include <unistd.h>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>

#include "toolkit/Dialogs.h"

namespace {

// A signal handler may only write to a pipe; the notifier reads it on the user-interface
// thread. Once nobody reads any more, the handler's write fails and the signal is dropped:
// a program on its way out is not killed before it has written its settings.
std::atomic<int> gWriteEnd{-1};
int gReadEnd = -1;
const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(gWriteEnd.load(), &byte, 1);
    errno = saved;
}

}  // namespace

TSessionEnd::TSessionEnd(std::function<void()> onSave, std::function<void()> onEnd)
    : FOnSave(std::move(onSave)), FOnEnd(std::move(onEnd)) {
    int fds[2];
    if (gReadEnd < 0 && pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        gReadEnd = fds[0];
        gWriteEnd = fds[1];
        FNotifier = std::make_unique<QSocketNotifier>(gReadEnd, QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(), [this] {
            char buf[16];
            while (read(gReadEnd, buf, sizeof buf) > 0) {
            }
            Ended();
        });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : kSignals) {
            sigaction(signal, &action, nullptr);
        }
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        FCommitConnection = QObject::connect(app, &QGuiApplication::commitDataRequest, app,
                                             [this](QSessionManager&) {
                                                 // A log-out can still be cancelled: save, but keep
                                                 // running.
                                                 if (FOnSave) {
                                                     DispatchEvent([this] { FOnSave(); });
                                                 }
                                             });
    }
}

TSessionEnd::~TSessionEnd() {
    if (FNotifier) {
        // The handlers stay: a signal from now on is dropped instead of killing the process.
        FNotifier.reset();
        const int writeEnd = gWriteEnd.exchange(-1);
        close(writeEnd);
        close(gReadEnd);
        gReadEnd = -1;
    }
    QObject::disconnect(FCommitConnection);
}

void TSessionEnd::Ended() {
    // A second signal while closing changes nothing; the first one is being handled.
    if (FEnded || !FOnEnd) {
        return;
    }
    FEnded = true;
    DispatchEvent([this] { FOnEnd(); });
}
