#pragma once
// When the desktop hears of a change: host 1 going above the alarm threshold and back below
// it, a host that stops answering and answers again. Each change is told once, never once a
// collection: a host must stay below 90 % of the threshold for two collections to count as
// back, miss three echoes in a row to count as stopped, and answer two in a row to count as
// answering again, so that a host near the threshold or with some loss does not flood the
// desktop.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopNotifier.h"

class TChangeNotices {
public:
    static constexpr int kHosts = 3;
    static constexpr int kLostInARow = 3;
    static constexpr int kAnsweredInARow = 2;
    static constexpr int kBelowCollections = 2;
    static constexpr double kBelowFraction = 0.9;

    // One probe of host `slot` (1 to 3), in the order the passes made them; error is the Log
    // page's text for an unanswered one.
    void Probe(int slot, const std::string& host, bool answered, double roundTripMs,
               const std::string& error);
    // The end of a collection, with host 1's mean and the alarm threshold (none when the
    // threshold is not a number). Gives the notice of what changed since the collection
    // before, one for all of it, or none.
    std::optional<TDesktopNotice> Collected(const std::string& host1, double mean1,
                                            std::optional<int32_t> threshold);
    // The user set another host in this slot: what was known of the old one is forgotten,
    // without a notice.
    void HostChanged(int slot);

private:
    struct THostTrack {
        bool Stopped = false;
        int LostInARow = 0;
        int AnsweredInARow = 0;
    };
    struct TChange {
        std::string Title;
        std::string Line;
        bool Warning;
    };
    THostTrack FHosts[kHosts];
    bool FAbove = false;
    int FBelowCount = 0;
    std::vector<TChange> FPending;
};
