#pragma once
// Desktop notices as freedesktop notifications: calls to org.freedesktop.Notifications on the
// session bus, answered by whatever notification service the desktop runs (or starts on demand).

#include <memory>
#include <string>

#include "platform/DesktopNotifier.h"

class TLinuxDesktopNotifier : public TDesktopNotifier {
public:
    // Connects to the session bus, or to the bus at busAddress when one is given.
    explicit TLinuxDesktopNotifier(const std::string& busAddress = std::string());
    ~TLinuxDesktopNotifier() override;
    TLinuxDesktopNotifier(const TLinuxDesktopNotifier&) = delete;
    TLinuxDesktopNotifier& operator=(const TLinuxDesktopNotifier&) = delete;

    std::string Unavailable() const override;
    bool Notify(const TDesktopNotice& notice) override;
    void SetAvailabilityChanged(std::function<void()> handler) override;

    class TState;

private:
    std::unique_ptr<TState> FState;
};
