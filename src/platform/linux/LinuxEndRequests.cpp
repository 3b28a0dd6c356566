#include <fcntl.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

#include "platform/EndRequests.h"

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

class TSignalRequests : public TEndRequests {
public:
    explicit TSignalRequests(std::function<void()> onEnd)
        : FNotifier(std::make_unique<QSocketNotifier>(gReadEnd, QSocketNotifier::Read)) {
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                         [onEnd = std::move(onEnd)] {
                             char buf[16];
                             while (read(gReadEnd, buf, sizeof buf) > 0) {
                             }
                             onEnd();
                         });
    }
    ~TSignalRequests() override {
        // The handlers stay: a signal from now on is dropped instead of killing the process.
        FNotifier.reset();
        const int writeEnd = gWriteEnd.exchange(-1);
        close(writeEnd);
        close(gReadEnd);
        gReadEnd = -1;
    }
    TSignalRequests(const TSignalRequests&) = delete;
    TSignalRequests& operator=(const TSignalRequests&) = delete;

private:
    std::unique_ptr<QSocketNotifier> FNotifier;
};

}  // namespace

std::unique_ptr<TEndRequests> WatchEndRequests(std::function<void()> onEnd) {
    int fds[2];
    if (gReadEnd >= 0 || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return nullptr;
    }
    gReadEnd = fds[0];
    gWriteEnd = fds[1];
    auto requests = std::make_unique<TSignalRequests>(std::move(onEnd));
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        sigaction(signal, &action, nullptr);
    }
    return requests;
}
