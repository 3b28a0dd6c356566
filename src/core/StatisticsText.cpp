#include "core/StatisticsText.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "platform/Utf8.h"

namespace {

const char* const kNone = "\u2013";  // an en dash: nothing to show yet
// A host name in the tooltip keeps at least this much of itself before lines are left out.
constexpr size_t kMinTipHost = 8;

std::string Shortened(const std::string& text, size_t maxBytes) {
    return text.size() <= maxBytes ? text : Utf8Cut(text, maxBytes) + "\u2026";
}

}  // namespace

std::string FormatRoundTrip(double ms) {
    const int decimals = std::fabs(ms) < 10 ? 2 : std::fabs(ms) < 1000 ? 1 : 0;
    return FormatFixed(ms, 0, decimals) + " ms";
}

std::string FormatLoss(double percent) {
    const bool whole = percent == 0 || percent >= 10;
    return FormatFixed(percent, 0, whole ? 0 : 1) + "%";
}

std::string FormatClock(TDateTime when, TDateTime now) {
    if (std::floor(when) != std::floor(now)) {
        return DateTimeToStr(when);
    }
    const std::tm t = DateTimeToTm(when);
    char buf[64];
    return std::strftime(buf, sizeof buf, "%X", &t) > 0 ? std::string(buf) : DateTimeToStr(when);
}

TStatisticsColumn StatisticsColumn(const THostStatistics& host, bool lastHour, TDateTime now) {
    TStatisticsColumn c;
    if (host.Host().empty()) {
        c.Cells[0] = "no host";
        return c;
    }
    c.Cells[0] = HostStateWord(host.State());
    c.Hints[0] = host.StateError();
    c.Cells[1] = FormatClock(host.StateSince(), now);
    c.Cells[2] = host.LastRoundTrip() ? FormatRoundTrip(*host.LastRoundTrip()) : kNone;
    const TSpanFigures f = lastHour ? host.LastHour(now) : host.SinceSet();
    c.Cells[3] = FormatClock(f.From, now);
    const bool answered = f.Received > 0;
    c.Cells[4] = answered ? FormatRoundTrip(f.Min) : kNone;
    c.Cells[5] = answered ? FormatRoundTrip(f.Mean) : kNone;
    c.Cells[6] = answered ? FormatRoundTrip(f.Max) : kNone;
    c.Cells[7] = f.JitterPairs > 0 ? FormatRoundTrip(f.Jitter) : kNone;
    c.Cells[8] = f.Sent > 0 ? FormatLoss(f.LossPercent()) : kNone;
    c.Cells[9] = std::to_string(f.Sent) + " / " + std::to_string(f.Received);
    c.Cells[10] = f.LastError.empty() ? kNone : FormatClock(f.LastErrorAt, now);
    c.Hints[10] = f.LastError;
    return c;
}

std::string HostTipFigures(const THostStatistics& host, TDateTime now) {
    std::string figures = host.LastRoundTrip() ? FormatRoundTrip(*host.LastRoundTrip())
                                               : std::string(HostStateWord(host.State()));
    const TSpanFigures hour = host.LastHour(now);
    if (hour.Sent > 0) {
        figures += ", " + FormatLoss(hour.LossPercent()) + " lost";
    }
    return figures;
}

std::string TrayTooltip(const std::string& statusLine, const std::string& host1Lost,
                        const THostStatistics& host2, const THostStatistics& host3, TDateTime now,
                        size_t maxBytes) {
    const std::string lost = host1Lost.empty() ? std::string() : "Every echo lost: " + host1Lost;
    // The figures are counted once; only the names are cut to fit.
    const THostStatistics* hosts[2] = {&host2, &host3};
    std::string figures[2];
    for (int i = 0; i < 2; ++i) {
        figures[i] = hosts[i]->Host().empty() ? std::string() : HostTipFigures(*hosts[i], now);
    }
    const auto build = [&](int keep, size_t cap) {
        std::string tip = statusLine;
        if (keep > 0 && !lost.empty()) {
            tip += "\n" + lost;
        }
        for (int i = 0; i + 1 < keep; ++i) {
            if (!hosts[i]->Host().empty()) {
                // Appended piece by piece: "\n" + a temporary trips a false overlap warning
                // of the compiler's at -O3.
                tip += '\n';
                tip += Shortened(hosts[i]->Host(), cap);
                tip += ' ';
                tip += figures[i];
            }
        }
        return tip;
    };
    // The host names give way first, then the lines, from the last one on.
    const size_t longest = std::max(host2.Host().size(), host3.Host().size());
    for (int keep = 3; keep > 0; --keep) {
        for (size_t cap = longest;; --cap) {
            std::string tip = build(keep, cap);
            if (tip.size() <= maxBytes) {
                return tip;
            }
            if (cap <= kMinTipHost) {
                break;
            }
        }
    }
    return statusLine;
}
