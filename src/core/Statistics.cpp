#include "core/Statistics.h"

#include <algorithm>

#include "toolkit/SysUtils.h"

THostAverage TrimmedMean(const TRing& ring, int pingSize) {
    int32_t max = 0;
    int32_t min = 99999999;
    int32_t sum = 0;
    for (const int32_t v : ring) {
        max = std::max(max, v);
        min = std::min(min, v);
        sum += v;
    }
    int32_t s = sum - max - min;
    if (s == 0) {
        s = 1;
    }
    THostAverage result;
    result.Average = s / 3.0;
    result.Speed = (2.0 * pingSize) / (s / 3.0);
    return result;
}

std::string AverageLine(const std::string& host, const THostAverage& average) {
    return "Average ping for " + host + ": " + FormatFixed(average.Average, 5, 2) +
           " msec. Minimum speed " + FormatFixed(average.Speed, 4, 1) + " kb/sec.";
}
