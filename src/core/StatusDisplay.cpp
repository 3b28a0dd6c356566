#include "core/StatusDisplay.h"

#include "toolkit/StrUtils.h"
#include "toolkit/SysUtils.h"

TStatusView ComputeStatus(std::optional<double> mean, const std::string& host1,
                          const std::string& thresholdText) {
    TStatusView view;
    const double average = mean.value_or(0);
    if (mean) {
        view.Caption = "Latmo: " + FormatFixed(average, 5, 1) + " msec.";
        view.Title = FormatFixed(average, 4, 0) + " msec-Latmo";
        // Three characters fit the icon; a mean that rounds to a whole second (999.6 as much as
        // 1000) counts in thousands, where four digits would have to shrink out of sight.
        const std::string milliseconds = FormatFixed(average, 3, 0);
        view.TrayText =
            milliseconds.size() <= 3 ? milliseconds : FormatFixed(average / 1000, 2, 0) + "k";
        view.TrayHint = "Ping " + host1 + ": " + FormatFixed(average, 5, 1) + " msec.";
    } else {
        // No number at all rather than one that looks like a measurement.
        view.Caption = "Latmo: no measurement";
        view.Title = "Latmo";
        view.TrayText = "?";
        view.TrayHint = "Ping " + host1 + ": no measurement";
    }
    int32_t threshold = 0;
    if (!TryStrToInt(thresholdText, threshold)) {
        view.ThresholdInvalid = true;
        return view;
    }
    view.TrayColors.push_back(mean && 2 * average > threshold ? clNavy : clBlack);
    if (mean && average > threshold) {
        view.TrayColors.push_back(clMaroon);
        view.AlarmDue = true;
    }
    return view;
}
