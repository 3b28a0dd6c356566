#pragma once
// A small timer object for components that are no controls: click timing, icon cycling and
// pointer polling of the tray icon. Every timer of the process runs on one shared handler,
// which exists while any timer does.

#include <cstdint>
#include <string>

#include "toolkit/Classes.h"

class TSimpleTimer : public TObject {
public:
    explicit TSimpleTimer(unsigned period = 1000, TNotifyEvent onTick = {});
    ~TSimpleTimer() override;
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    std::string ClassName() const override { return "TSimpleTimer"; }

    // The identifier the handler knows the timer by: the object's own address.
    uintptr_t Id() const { return reinterpret_cast<uintptr_t>(this); }

    // Whether the timer is wanted. Arming starts it; disarming stops it.
    bool Armed() const { return FArmed; }
    void SetArmed(bool value);
    // In milliseconds. A new period restarts an armed timer; 0 stops it but leaves it armed.
    unsigned Period() const { return FPeriod; }
    void SetPeriod(unsigned value);
    // A one-shot timer disarms itself at its first expiry.
    bool OneShot() const { return FOneShot; }
    void SetOneShot(bool value) { FOneShot = value; }
    const TNotifyEvent& OnTick() const { return FOnTick; }
    // Taking the handler away stops an armed timer (it stays armed).
    void SetOnTick(TNotifyEvent value);

    // Starts the system timer; false (and nothing started) for a period of 0 or when the
    // system refuses.
    bool StartTicking();
    void StopTicking(bool clearArmed);

    // What an expiry does; the handler calls it, tests call it to move time on.
    void Expire();

private:
    bool FArmed = false;
    unsigned FPeriod;
    bool FOneShot = false;
    TNotifyEvent FOnTick;
};

// The per-process handler: created with the first timer, destroyed with the last one.
class TSimpleTimerHandler {
public:
    static int UserCount();
    static int RunningCount();

private:
    friend class TSimpleTimer;
    static void AddUser();
    static void ReleaseUser();
    static bool SetTimer(TSimpleTimer* timer, unsigned period);
    static bool KillTimer(TSimpleTimer* timer);
};
