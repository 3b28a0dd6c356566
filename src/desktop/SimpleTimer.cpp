#include "desktop/SimpleTimer.h"

#include <QObject>
#include <QTimerEvent>
#include <map>
#include <memory>

#include "toolkit/Dialogs.h"

namespace {

// Runs the system timers and turns each expiry back into its timer object. Expiries are looked
// up, never taken on trust, so a timer freed with an expiry still queued is simply not found.
class TSimpleTimerWindow : public QObject {
public:
    bool Start(TSimpleTimer* timer, unsigned period) {
        Kill(timer);
        const int id = startTimer(static_cast<int>(period));
        if (id == 0) {
            return false;
        }
        FById[id] = timer;
        FByTimer[timer] = id;
        return true;
    }
    bool Kill(TSimpleTimer* timer) {
        const auto it = FByTimer.find(timer);
        if (it == FByTimer.end()) {
            return false;
        }
        killTimer(it->second);
        FById.erase(it->second);
        FByTimer.erase(it);
        return true;
    }

protected:
    void timerEvent(QTimerEvent* event) override {
        const auto it = FById.find(event->timerId());
        if (it != FById.end()) {
            it->second->Expire();
        }
    }

private:
    std::map<int, TSimpleTimer*> FById;
    std::map<TSimpleTimer*, int> FByTimer;
};

std::unique_ptr<TSimpleTimerWindow> gWindow;
int gUserCount = 0;
int gRunningCount = 0;

}  // namespace

int TSimpleTimerHandler::UserCount() {
    return gUserCount;
}
int TSimpleTimerHandler::RunningCount() {
    return gRunningCount;
}

void TSimpleTimerHandler::AddUser() {
    if (gUserCount++ == 0) {
        gWindow = std::make_unique<TSimpleTimerWindow>();
    }
}

void TSimpleTimerHandler::ReleaseUser() {
    if (gUserCount > 0 && --gUserCount == 0) {
        gWindow.reset();
        gRunningCount = 0;
    }
}

bool TSimpleTimerHandler::SetTimer(TSimpleTimer* timer, unsigned period) {
    return gWindow != nullptr && gWindow->Start(timer, period);
}

bool TSimpleTimerHandler::KillTimer(TSimpleTimer* timer) {
    return gWindow != nullptr && gWindow->Kill(timer);
}

TSimpleTimer::TSimpleTimer(unsigned period, TNotifyEvent onTick)
    : FPeriod(period), FOnTick(std::move(onTick)) {
    TSimpleTimerHandler::AddUser();
}

TSimpleTimer::~TSimpleTimer() {
    if (FArmed) {
        StopTicking(true);
    }
    TSimpleTimerHandler::ReleaseUser();
}

void TSimpleTimer::SetArmed(bool value) {
    if (value) {
        StartTicking();
    } else {
        StopTicking(true);
    }
}

void TSimpleTimer::SetPeriod(unsigned value) {
    if (value == FPeriod) {
        return;
    }
    FPeriod = value;
    if (FArmed) {
        if (FPeriod == 0) {
            StopTicking(false);
        } else {
            StartTicking();
        }
    }
}

void TSimpleTimer::SetOnTick(TNotifyEvent value) {
    FOnTick = std::move(value);
    if (!FOnTick && FArmed) {
        StopTicking(false);
    }
}

bool TSimpleTimer::StartTicking() {
    if (FPeriod == 0) {
        return false;
    }
    StopTicking(false);
    if (!TSimpleTimerHandler::SetTimer(this, FPeriod)) {
        return false;
    }
    FArmed = true;
    ++gRunningCount;
    return true;
}

void TSimpleTimer::StopTicking(bool clearArmed) {
    if (clearArmed) {
        FArmed = false;
    }
    if (TSimpleTimerHandler::KillTimer(this) && gRunningCount > 0) {
        --gRunningCount;
    }
}

void TSimpleTimer::Expire() {
    if (FOneShot) {
        StopTicking(true);
    }
    if (FOnTick) {
        DispatchEvent([&] { FOnTick(this); });
    }
}
