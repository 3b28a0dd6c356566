#include "toolkit/SessionEnd.h"

#include <fcntl.h>
#include <unistd.h>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>

#include "toolkit/Dialogs.h"

namespace {

// A signal handler may only write to a pipe; the notifier reads it on the user-interface
// thread.
int gPipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction gPrevious[3];

extern "C" void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(gPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TSessionEnd::TSessionEnd(std::function<void()> onEnd) : FOnEnd(std::move(onEnd)) {
    if (gPipe[0] < 0 && pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        FNotifier = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(), [this] {
            char buf[16];
            while (read(gPipe[0], buf, sizeof buf) > 0) {
            }
            Ended();
        });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            sigaction(kSignals[i], &action, &gPrevious[i]);
        }
    }
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        FCommitConnection = QObject::connect(app, &QGuiApplication::commitDataRequest, app,
                                             [this](QSessionManager&) { Ended(); });
    }
}

TSessionEnd::~TSessionEnd() {
    if (FNotifier) {
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            sigaction(kSignals[i], &gPrevious[i], nullptr);
        }
        FNotifier.reset();
        close(gPipe[0]);
        close(gPipe[1]);
        gPipe[0] = gPipe[1] = -1;
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
