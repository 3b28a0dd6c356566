#pragma once
// The per-host statistics in words and numbers: the cells of the Statistics page and the
// tooltip's lines for the hosts. Numbers use the user's locale's decimal separator.

#include <cstddef>
#include <string>

#include "core/HostStatistics.h"

// "20.1 ms": two decimals below 10 ms, one below a second, none above.
std::string FormatRoundTrip(double ms);
// "25%", "0.3%": one decimal where a whole number would hide a loss or a full answer.
std::string FormatLoss(double percent);
// The time of day alone when it is today's, else the date and the time.
std::string FormatClock(TDateTime when, TDateTime now);

// The rows of the Statistics page, top to bottom; the first four do not depend on the span.
inline constexpr int kStatisticsRows = 11;
inline constexpr const char* kStatisticsRowNames[kStatisticsRows] = {
    "State",  "Since", "Last round trip", "Counted from", "Minimum", "Mean", "Maximum",
    "Jitter", "Loss",  "Sent / received", "Last error",
};

// One host's column: a text for each row, and the tooltip where a cell holds more than fits.
struct TStatisticsColumn {
    std::string Cells[kStatisticsRows];
    std::string Hints[kStatisticsRows];
};
TStatisticsColumn StatisticsColumn(const THostStatistics& host, bool lastHour, TDateTime now);

// What a host's line in the tray's tooltip says after the host's name: its latest round trip,
// or its state when the latest echo was not answered, and the loss of the last hour.
std::string HostTipFigures(const THostStatistics& host, TDateTime now);

// The tooltip: the status display's line for host 1 as it is; then, when every echo of host
// 1's since the last collection was lost, that in words (host1Lost: the state, empty when an
// echo was answered); then the lines of hosts 2 and 3. Kept within maxBytes (the tray's 127)
// by shortening the host names of the added lines, and by leaving lines out from the last on
// when that is not enough; the first line itself stays whole.
std::string TrayTooltip(const std::string& statusLine, const std::string& host1Lost,
                        const THostStatistics& host2, const THostStatistics& host3, TDateTime now,
                        size_t maxBytes = 127);
