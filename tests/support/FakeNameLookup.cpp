#include "support/FakeNameLookup.h"

#include <chrono>
#include <optional>
#include <thread>

#include "platform/ThreadControl.h"

namespace {

// A silent name that nobody stops or limits stands for a resolver that gives up after a while.
constexpr int kSilentGivesUpMs = 10000;

}  // namespace

class TFakeNameLookup::TRequest : public TLookupRequest {
public:
    TRequest(TFakeNameLookup& owner, std::string name) : FOwner(owner), FName(std::move(name)) {}

    int Wait(THostEntry& entry, int timeoutMs, TStopSignal stop) override {
        FOwner.Record("wait " + FName, timeoutMs);
        entry = THostEntry{};
        if (FOwner.Silent.count(FName) != 0) {
            // A test double may look at the stop signal now and then; the real wait watches it.
            const auto deadline =
                std::chrono::steady_clock::now() +
                std::chrono::milliseconds(timeoutMs >= 0 ? timeoutMs : kSilentGivesUpMs);
            while (!StopSignalRaised(stop) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return StopSignalRaised(stop) ? WSAEINTR : WSATRY_AGAIN;
        }
        // Asked again, the same answer.
        if (!FCode) {
            FCode = FOwner.Answer(FName, FEntry);
        }
        entry = FEntry;
        return *FCode;
    }

private:
    TFakeNameLookup& FOwner;
    const std::string FName;
    std::optional<int> FCode;
    THostEntry FEntry;
};

int TFakeNameLookup::Startup(uint16_t) {
    ++StartupCalls;
    return StartupError;
}

void TFakeNameLookup::Cleanup() {
    ++CleanupCalls;
}

std::unique_ptr<TLookupRequest> TFakeNameLookup::StartLookup(const std::string& name) {
    Lookups.push_back(name);
    Record("start " + name, kNoTimeLimit);
    return std::make_unique<TRequest>(*this, name);
}

int TFakeNameLookup::Answer(const std::string& name, THostEntry& entry) {
    if (!ScriptedErrors.empty()) {
        const int e = ScriptedErrors.front();
        ScriptedErrors.pop_front();
        if (e != 0) {
            return e;
        }
    }
    const auto it = Hosts.find(name);
    if (it == Hosts.end()) {
        return WSAHOST_NOT_FOUND;
    }
    entry.Name = name;
    entry.Addresses.push_back(it->second);
    return 0;
}

void TFakeNameLookup::Record(const std::string& what, int timeoutMs) {
    std::lock_guard<std::mutex> lock(FMutex);
    FEvents.push_back({what, timeoutMs, std::this_thread::get_id()});
}

std::vector<TFakeNameLookup::TEvent> TFakeNameLookup::Events() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FEvents;
}
