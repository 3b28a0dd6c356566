#include "platform/LookupHelpers.h"

#include <optional>
#include <system_error>
#include <thread>

#include "platform/ThreadControl.h"

// One resolver call and its answer, shared by the helper thread that makes it and every request
// that waits for it; whichever lets go last frees it. Done is raised, for good, once the answer
// is there. An answer known at once (an address written out) needs none: no descriptor or
// handle is made for it, which every pass would otherwise pay for.
struct TLookupHelpers::TPending {
    const TStopSignal Done;
    std::mutex Mutex;
    bool Answered = false;
    int Code = 0;
    THostEntry Entry;

    explicit TPending(bool helped) : Done(helped ? MakeStopSignal() : kNoStopSignal) {}
    TPending(const TPending&) = delete;
    TPending& operator=(const TPending&) = delete;
    ~TPending() { CloseStopSignal(Done); }
    void Answer(int code, THostEntry entry) {
        std::lock_guard<std::mutex> lock(Mutex);
        Code = code;
        Entry = std::move(entry);
        Answered = true;
        RaiseStopSignal(Done);
    }
    bool IsAnswered() {
        std::lock_guard<std::mutex> lock(Mutex);
        return Answered;
    }
    // The answer, when it is there.
    std::optional<int> Take(THostEntry& entry) {
        std::lock_guard<std::mutex> lock(Mutex);
        if (!Answered) {
            return std::nullopt;
        }
        entry = Entry;
        return Code;
    }
};

namespace {

using TPending = TLookupHelpers::TPending;

class TRequest : public TLookupRequest {
public:
    explicit TRequest(std::shared_ptr<TPending> pending) : FPending(std::move(pending)) {}

    int Wait(THostEntry& entry, int timeoutMs, TStopSignal stop) override {
        entry = THostEntry{};
        // Answered when asked: nothing to wait for, and a stop comes too late to matter.
        if (FPending->Done == kNoStopSignal) {
            return FPending->Take(entry).value_or(WSANO_RECOVERY);
        }
        const TSignalWait waited = WaitForSignal(FPending->Done, stop, timeoutMs);
        if (waited == TSignalWait::swStopped) {
            return WSAEINTR;
        }
        if (const std::optional<int> code = FPending->Take(entry)) {
            return *code;
        }
        return waited == TSignalWait::swTimedOut ? WSATRY_AGAIN : WSANO_RECOVERY;
    }

private:
    std::shared_ptr<TPending> FPending;
};

}  // namespace

TLookupHelpers::TLookupHelpers(TResolve resolve) : FResolve(std::move(resolve)) {}

std::unique_ptr<TLookupRequest> TLookupHelpers::Start(const std::string& name, bool now) {
    const auto here = [&] {
        auto pending = std::make_shared<TPending>(false);
        THostEntry entry;
        const int code = FResolve(name, entry);
        pending->Answer(code, std::move(entry));
        return std::make_unique<TRequest>(std::move(pending));
    };
    if (now) {
        return here();
    }
    std::lock_guard<std::mutex> lock(FMutex);
    for (auto it = FUnderWay.begin(); it != FUnderWay.end();) {
        const std::shared_ptr<TPending> pending = it->second.lock();
        it = pending == nullptr || pending->IsAnswered() ? FUnderWay.erase(it) : std::next(it);
    }
    if (const auto it = FUnderWay.find(name); it != FUnderWay.end()) {
        if (std::shared_ptr<TPending> pending = it->second.lock()) {
            return std::make_unique<TRequest>(std::move(pending));
        }
    }
    auto pending = std::make_shared<TPending>(true);
    if (pending->Done == kNoStopSignal) {
        return here();
    }
    try {
        std::thread([pending, name, resolve = FResolve] {
            THostEntry entry;
            const int code = resolve(name, entry);
            pending->Answer(code, std::move(entry));
        }).detach();
    } catch (const std::system_error&) {
        return here();
    }
    FUnderWay[name] = pending;
    return std::make_unique<TRequest>(pending);
}
