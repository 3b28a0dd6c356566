#pragma once
// A desktop notification service that keeps what it is given, and can be there or not.

#include <functional>
#include <string>
#include <vector>

#include "platform/DesktopNotifier.h"

class TFakeDesktopNotifier : public TDesktopNotifier {
public:
    std::string Unavailable() const override { return FProblem; }
    bool Notify(const TDesktopNotice& notice) override {
        if (!FProblem.empty()) {
            return false;
        }
        Notices.push_back(notice);
        return true;
    }
    void SetAvailabilityChanged(std::function<void()> handler) override {
        FChanged = std::move(handler);
    }

    // The service goes (a reason) or comes (empty), and the window hears of it.
    void SetProblem(const std::string& problem) {
        FProblem = problem;
        if (FChanged) {
            FChanged();
        }
    }

    std::vector<TDesktopNotice> Notices;

private:
    std::string FProblem;
    std::function<void()> FChanged;
};
