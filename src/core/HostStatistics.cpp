#include "core/HostStatistics.h"

#include <algorithm>
#include <cmath>

const char* HostStateWord(THostState state) {
    switch (state) {
        case THostState::Answering:
            return "answering";
        case THostState::TimedOut:
            return "timed out";
        case THostState::Unreachable:
            return "unreachable";
        case THostState::Failing:
            return "error";
        case THostState::NoName:
            return "no name";
        case THostState::Unknown:
            break;
    }
    return "waiting";
}

THostState StateOfOutcome(const TEchoOutcome& outcome) {
    switch (outcome.Kind) {
        case TEchoOutcome::TKind::Replied:
            return THostState::Answering;
        case TEchoOutcome::TKind::NotSent:
            return outcome.Status == kLookupFailedWord ? THostState::NoName : THostState::Failing;
        case TEchoOutcome::TKind::Lost:
            break;
    }
    const std::string& s = outcome.Status;
    if (s == "timed_out") {
        return THostState::TimedOut;
    }
    // What a router or the host itself says when the way ends before the host.
    if (s.find("unreachable") != std::string::npos || s == "ttl_expired" ||
        s == "bad_destination") {
        return THostState::Unreachable;
    }
    return THostState::Failing;
}

void THostStatistics::TCount::Add(bool sent, bool answered, double roundTripMs) {
    FSent += sent ? 1 : 0;
    if (!answered) {
        return;
    }
    FMin = FReceived == 0 ? roundTripMs : std::min(FMin, roundTripMs);
    FMax = FReceived == 0 ? roundTripMs : std::max(FMax, roundTripMs);
    ++FReceived;
    FSum += roundTripMs;
    if (FPrevious) {
        FJitterSum += std::fabs(roundTripMs - *FPrevious);
        ++FJitterPairs;
    }
    FPrevious = roundTripMs;
}

TSpanFigures THostStatistics::TCount::Figures(TDateTime from) const {
    TSpanFigures f;
    f.From = from;
    f.Sent = FSent;
    f.Received = FReceived;
    if (FReceived > 0) {
        f.Min = FMin;
        f.Max = FMax;
        f.Mean = FSum / FReceived;
    }
    f.JitterPairs = FJitterPairs;
    if (FJitterPairs > 0) {
        f.Jitter = FJitterSum / FJitterPairs;
    }
    return f;
}

void THostStatistics::SetHost(const std::string& host, TDateTime now) {
    *this = THostStatistics();
    FHost = host;
    FFrom = now;
    FStateSince = now;
}

void THostStatistics::Reset(TDateTime now) {
    FFrom = now;
    FSinceSet = TCount();
    FHour.clear();
    FLastError.clear();
    FLastErrorAt = 0;
}

void THostStatistics::Add(const TEchoOutcome& outcome, const std::string& error, TDateTime now) {
    const THostState state = StateOfOutcome(outcome);
    if (state != FState) {
        FState = state;
        FStateSince = now;
    }
    const bool answered = state == THostState::Answering;
    const bool sent = outcome.Kind != TEchoOutcome::TKind::NotSent;
    const double roundTripMs = answered ? outcome.RoundTripSeconds * 1000.0 : 0.0;
    FLastRoundTrip = answered ? std::optional<double>(roundTripMs) : std::nullopt;
    // A reply that came too late carries no error text of its own.
    FStateError = answered ? std::string() : error.empty() ? HostStateWord(state) : error;
    if (!answered) {
        FLastError = FStateError;
        FLastErrorAt = now;
    }
    FSinceSet.Add(sent, answered, roundTripMs);
    while (!FHour.empty() &&
           (FHour.front().When < now - kHour || FHour.size() >= kMaxHourSamples)) {
        FHour.pop_front();
    }
    FHour.push_back({now, roundTripMs, sent, answered});
}

void THostStatistics::ErrorInto(TSpanFigures& figures, TDateTime from) const {
    if (!FLastError.empty() && FLastErrorAt >= from) {
        figures.LastError = FLastError;
        figures.LastErrorAt = FLastErrorAt;
    }
}

TSpanFigures THostStatistics::SinceSet() const {
    TSpanFigures figures = FSinceSet.Figures(FFrom);
    ErrorInto(figures, FFrom);
    return figures;
}

TSpanFigures THostStatistics::LastHour(TDateTime now) const {
    const TDateTime from = std::max(FFrom, now - kHour);
    TCount count;
    for (const TSample& s : FHour) {
        if (s.When >= from) {
            count.Add(s.Sent, s.Answered, s.RoundTripMs);
        }
    }
    TSpanFigures figures = count.Figures(from);
    ErrorInto(figures, from);
    return figures;
}
