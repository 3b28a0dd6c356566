#pragma once
// The figure shown for a host: the mean of its five results without the highest and the
// lowest one.

#include <string>

#include "core/SampleStore.h"

struct THostAverage {
    double Average = 0;  // milliseconds
    double Speed = 0;    // kilobytes per second the echo's payload travelled at, both ways
};

// max counts from 0 and min from 99999999, so slots below 1 still take part as they are; a
// remaining sum of 0 counts as 1, which keeps the speed finite.
THostAverage TrimmedMean(const TRing& ring, int pingSize);

// "Average ping for <host>: <mean> msec. Minimum speed <speed> kb/sec." in the user's locale.
std::string AverageLine(const std::string& host, const THostAverage& average);
