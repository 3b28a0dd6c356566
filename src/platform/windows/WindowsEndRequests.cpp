#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include "platform/EndRequests.h"

namespace {

// WM_ENDSESSION with wParam TRUE: the session ends, and the process with it as soon as every
// window has answered. The call is made before the answer, so the settings are saved in time.
class TSessionEndFilter : public TEndRequests, public QAbstractNativeEventFilter {
public:
    explicit TSessionEndFilter(std::function<void()> onEnd) : FOnEnd(std::move(onEnd)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~TSessionEndFilter() override {
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
    }
    TSessionEndFilter(const TSessionEndFilter&) = delete;
    TSessionEndFilter& operator=(const TSessionEndFilter&) = delete;

    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg != nullptr && msg->message == WM_ENDSESSION && msg->wParam != 0) {
            FOnEnd();
        }
        return false;
    }

private:
    std::function<void()> FOnEnd;
};

}  // namespace

std::unique_ptr<TEndRequests> WatchEndRequests(std::function<void()> onEnd) {
    if (QCoreApplication::instance() == nullptr) {
        return nullptr;
    }
    return std::make_unique<TSessionEndFilter>(std::move(onEnd));
}
