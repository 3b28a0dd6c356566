#pragma once
// The measurements the probe passes produce and the collection reads.

#include <array>
#include <cstdint>
#include <string>

// Five round-trip times in milliseconds; a value below 1 marks a slot without a measurement.
using TRing = std::array<int32_t, 5>;
inline constexpr int kRingSize = 5;

struct TSampleStore {
    TRing FWork{};           // the ring of the host being probed or collected
    int32_t FRingIndex = 0;  // slot written by the current pass, the same for all hosts
    int32_t FTimeout = 0;    // echo time-out, milliseconds
    int32_t FLostCount = 0;  // echoes lost in the current pass
    std::string FPingError;  // what the latest probe had to report; empty when all went well
};
