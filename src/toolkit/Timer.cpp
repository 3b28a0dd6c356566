#include "toolkit/Timer.h"

#include <QTimer>

#include "toolkit/Dialogs.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FTimer(std::make_unique<QTimer>()) {
    FTimer->setTimerType(Qt::CoarseTimer);
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] { Tick(); });
    UpdateTimer();
}

TTimer::~TTimer() {
    FTimer->stop();
}

void TTimer::SetInterval(int value) {
    if (value == FInterval) {
        return;
    }
    FInterval = value;
    UpdateTimer();
}

void TTimer::SetEnabled(bool value) {
    if (value == FEnabled) {
        return;
    }
    FEnabled = value;
    UpdateTimer();
}

void TTimer::Loaded() {
    TComponent::Loaded();
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    FTimer->stop();
    // A timer counts from the end of loading, like every other component's behaviour.
    if (FEnabled && FInterval > 0 && !IsLoading()) {
        FTimer->start(FInterval);
    }
}

void TTimer::Tick() {
    if (OnTimer) {
        DispatchEvent([&] { OnTimer(this); });
    }
}
