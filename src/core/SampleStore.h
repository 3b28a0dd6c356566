#pragma once
// The measurements the probe passes produce and the collection reads, shared by the worker
// thread and the user-interface thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Five round-trip times in milliseconds; a value below 1 marks a slot without a measurement.
using TRing = std::array<int32_t, 5>;
inline constexpr int kRingSize = 5;

// A flag one thread raises and the other takes. Every change is told to the hook the window
// gives it, with the new value, so that the worker sleeps until something it waits for has
// changed instead of looking again and again.
class TWakingFlag {
public:
    TWakingFlag& operator=(bool value) {
        FValue.store(value);
        if (FWake) {
            FWake(value);
        }
        return *this;
    }
    operator bool() const { return FValue.load(); }
    bool load() const { return FValue.load(); }
    // Given once, before the worker starts.
    void SetWake(std::function<void(bool)> wake) { FWake = std::move(wake); }

private:
    std::atomic<bool> FValue{false};
    std::function<void(bool)> FWake;
};

struct TSampleStore {
    // Held by the worker for a whole pass and by the user-interface thread for a whole
    // collection or host change; the user-interface thread only ever tries it, so a long pass
    // never freezes the window.
    std::mutex FStoreLock;

    TRing FWork{};   // the ring of the host being probed or collected
    TRing FRing1{};  // the last five results of host 1, 2 and 3
    TRing FRing2{};
    TRing FRing3{};
    int32_t FRingIndex = 0;   // slot written by the next pass, the same for all hosts
    int32_t FLostCount = 0;   // echoes lost in the latest pass
    std::string FPingError;   // what the latest probe had to report; empty when all went well
    std::string FPassErrors;  // error lines gathered by passes since the last collection
    bool FEchoSent = false;   // some echo of this run left the machine (permission was there)
    std::string FHost1;       // the host texts that passes probe
    std::string FHost2;
    std::string FHost3;

    // Written by the user-interface thread, read by the worker during a pass.
    std::atomic<int32_t> FTimeout{0};      // echo time-out, milliseconds
    std::atomic<int32_t> FPingSize{1024};  // bytes, the position of the ping-size track bar
    std::atomic<int32_t> FPeriod{0};       // milliseconds between passes, Timer1's interval
    // Raised by the user-interface thread, taken by the worker when a pass begins.
    TWakingFlag FPingRequest;
    // Raised by the worker when a pass ends, taken by the collection.
    TWakingFlag FResultsReady;
};
