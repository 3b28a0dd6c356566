#pragma once
// A timer component: OnTimer every Interval milliseconds while Enabled.

#include <memory>
#include <string>

#include "toolkit/Component.h"

class QTimer;

class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;
    std::string ClassName() const override { return "TTimer"; }

    int Interval() const { return FInterval; }
    // A new interval starts the wait afresh.
    void SetInterval(int value);
    bool Enabled() const { return FEnabled; }
    // Enabling a running timer does not restart its wait.
    void SetEnabled(bool value);

    TNotifyEvent OnTimer;

    // Runs the handler as the timer's expiry does.
    void Tick();

protected:
    void Loaded() override;

private:
    void UpdateTimer();
    std::unique_ptr<QTimer> FTimer;
    int FInterval = 1000;
    bool FEnabled = true;
};
