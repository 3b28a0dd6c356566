#include "support/FakeIcmpEcho.h"

#include <chrono>

#include "platform/ThreadControl.h"

namespace {

bool Raised(TStopSignal stop) {
    return StopSignalRaised(stop);
}

}  // namespace

TEchoHandle TFakeIcmpEcho::CreateFile() {
    std::lock_guard<std::mutex> lock(FMutex);
    ++FCreates;
    if (CreateFails) {
        return INVALID_ECHO_HANDLE;
    }
    ++FOpen;
    return FNext++;
}

void TFakeIcmpEcho::CloseHandle(TEchoHandle) {
    std::lock_guard<std::mutex> lock(FMutex);
    --FOpen;
}

int TFakeIcmpEcho::SendEcho(TEchoHandle handle, const TIpAddress& destination,
                            std::span<const uint8_t> payload, uint32_t timeoutMs, TEchoReply& reply,
                            TStopSignal stop) {
    std::unique_lock<std::mutex> lock(FMutex);
    FCalls.push_back(TCall{handle, destination, payload.size(), timeoutMs});
    ++FWaiting;
    FChanged.notify_all();
    // A test double may look at the stop signal now and then; the real wait polls it.
    while (!FChanged.wait_for(lock, std::chrono::milliseconds(10), [this] { return !FBlocked; })) {
        if (Raised(stop)) {
            --FWaiting;
            reply = TEchoReply{};
            return ECHO_ERROR_CANCELLED;
        }
    }
    --FWaiting;
    TFakeEchoOutcome outcome = DefaultOutcome;
    if (!Script.empty()) {
        outcome = Script.front();
        Script.pop_front();
    }
    if (handle == INVALID_ECHO_HANDLE) {
        reply = TEchoReply{};
        return ECHO_ERROR_INVALID_HANDLE;
    }
    reply = TEchoReply{};
    reply.Address = destination;
    reply.Status = outcome.Status;
    reply.RoundTripTime = outcome.RoundTripMs;
    reply.RoundTripMicros = outcome.Error == 0 ? int64_t{outcome.RoundTripMs} * 1000 : -1;
    return outcome.Error;
}

void TFakeIcmpEcho::Block() {
    std::lock_guard<std::mutex> lock(FMutex);
    FBlocked = true;
}

void TFakeIcmpEcho::Release() {
    std::lock_guard<std::mutex> lock(FMutex);
    FBlocked = false;
    FChanged.notify_all();
}

bool TFakeIcmpEcho::WaitUntilBlocked(int timeoutMs) {
    std::unique_lock<std::mutex> lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return FBlocked && FWaiting > 0; });
}

std::vector<TFakeIcmpEcho::TCall> TFakeIcmpEcho::Calls() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCalls;
}

int TFakeIcmpEcho::OpenHandles() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FOpen;
}

int TFakeIcmpEcho::CreateCalls() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCreates;
}
