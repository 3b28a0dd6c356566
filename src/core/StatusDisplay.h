#pragma once
// What the status display shows for a mean: the texts, the tray colour and whether the alarm
// is due. The window applies it; kept apart so every case can be checked without a window.

#include <optional>
#include <string>
#include <vector>

#include "toolkit/Graphics.h"

struct TStatusView {
    std::string Caption;   // the window's caption
    std::string Title;     // the application's title
    std::string TrayText;  // the number painted into the tray icon
    std::string TrayHint;  // the tray icon's tooltip
    // The threshold text was not a whole number: the field gets "9000" and nothing else of
    // the status changes this time.
    bool ThresholdInvalid = false;
    // The tray colours in the order they are assigned (the last one stays).
    std::vector<TColor> TrayColors;
    bool AlarmDue = false;
};

// Without a mean (nothing could be measured) the texts say so, the tray is black and no alarm
// is due.
TStatusView ComputeStatus(std::optional<double> mean, const std::string& host1,
                          const std::string& thresholdText);
