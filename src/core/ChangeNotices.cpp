#include "core/ChangeNotices.h"

#include "core/StatisticsText.h"
#include "platform/Utf8.h"

void TChangeNotices::Probe(int slot, const std::string& host, bool answered, double roundTripMs,
                           const std::string& error) {
    if (slot < 1 || slot > kHosts) {
        return;
    }
    THostTrack& h = FHosts[slot - 1];
    h.LostInARow = answered ? 0 : h.LostInARow + 1;
    h.AnsweredInARow = answered ? h.AnsweredInARow + 1 : 0;
    if (!h.Stopped && h.LostInARow >= kLostInARow) {
        h.Stopped = true;
        FPending.push_back(
            {host + " stopped answering", host + " stopped answering: " + error, true});
    } else if (h.Stopped && h.AnsweredInARow >= kAnsweredInARow) {
        h.Stopped = false;
        FPending.push_back({host + " answers again",
                            host + " answers again: " + FormatRoundTrip(roundTripMs) + ".", false});
    }
}

std::optional<TDesktopNotice> TChangeNotices::Collected(const std::string& host1, double mean1,
                                                        std::optional<int32_t> threshold) {
    if (threshold) {
        const std::string limit = std::to_string(*threshold) + " ms";
        if (!FAbove && mean1 > *threshold) {
            FAbove = true;
            FBelowCount = 0;
            FPending.push_back(
                {"ping above " + limit,
                 "Ping " + host1 + ": " + FormatRoundTrip(mean1) + ", above " + limit + ".", true});
        } else if (FAbove) {
            FBelowCount = mean1 < kBelowFraction * *threshold ? FBelowCount + 1 : 0;
            if (FBelowCount >= kBelowCollections) {
                FAbove = false;
                FBelowCount = 0;
                FPending.push_back({"ping back below " + limit,
                                    "Ping " + host1 + ": " + FormatRoundTrip(mean1) +
                                        ", back below " + limit + ".",
                                    false});
            }
        }
    }
    if (FPending.empty()) {
        return std::nullopt;
    }
    TDesktopNotice notice;
    notice.Title =
        "Latmo: " + (FPending.size() == 1 ? FPending.front().Title
                                          : std::to_string(FPending.size()) + " changes");
    for (const TChange& change : FPending) {
        notice.Text += (notice.Text.empty() ? "" : "\n") + change.Line;
        notice.Warning = notice.Warning || change.Warning;
    }
    FPending.clear();
    notice.Title = Utf8Cut(notice.Title, TDesktopNotice::kMaxTitle);
    notice.Text = Utf8Cut(notice.Text, TDesktopNotice::kMaxText);
    return notice;
}

void TChangeNotices::HostChanged(int slot) {
    if (slot < 1 || slot > kHosts) {
        return;
    }
    FHosts[slot - 1] = THostTrack();
    if (slot == 1) {
        FAbove = false;
        FBelowCount = 0;
    }
}
