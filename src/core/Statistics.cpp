#include "core/Statistics.h"

#include <algorithm>

#include "toolkit/SysUtils.h"

THostAverage TrimmedMean(const TRing& ring, int pingSize) {
    // Five slots of up to 2^31 - 1 ms each (a long time-out of a host that fails at once) do not
    // fit a 32-bit sum.
    int64_t max = 0;
    int64_t min = 99999999;
    int64_t sum = 0;
    for (const int32_t v : ring) {
        max = std::max<int64_t>(max, v);
        min = std::min<int64_t>(min, v);
        sum += v;
    }
    int64_t s = sum - max - min;
    if (s == 0) {
        s = 1;
    }
    THostAverage result;
    result.Average = static_cast<double>(s) / 3.0;
    result.Speed = (2.0 * pingSize) / result.Average;
    return result;
}

std::string AverageLine(const std::string& host, const THostAverage& average) {
    return "Average ping for " + host + ": " + FormatFixed(average.Average, 5, 2) +
           " msec. Minimum speed " + FormatFixed(average.Speed, 4, 1) + " kb/sec.";
}
