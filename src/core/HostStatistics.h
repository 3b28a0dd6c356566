#pragma once
// What a user asks of a host first: does it answer, since when, how fast, how steady, how much
// is lost. Counted from every probe the passes make (the trimmed mean hides a lost echo among
// the time-outs), over two spans: since the host was set or the counts were reset, and the
// last hour.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "export/LatmoMetrics.h"
#include "toolkit/SysUtils.h"

// One probe of one host as a pass made it: how it ended, in the form the metrics count it,
// and the error text the Log page shows for it (empty when it was answered).
struct TProbeRecord {
    int Slot = 0;  // host 1, 2 or 3
    TEchoOutcome Outcome;
    std::string Error;
};

enum class THostState {
    Unknown,      // not probed since the host was set
    Answering,    // the latest echo was answered in time
    TimedOut,     // no reply came in time
    Unreachable,  // the way or the host said it cannot be reached
    Failing,      // another error came back, or the echo could not go out
    NoName,       // the name did not resolve
};

// The state in a word or two, as the Statistics page and the tooltip show it.
const char* HostStateWord(THostState state);
THostState StateOfOutcome(const TEchoOutcome& outcome);

// The figures of one span.
struct TSpanFigures {
    TDateTime From = 0;  // where the span begins
    int Sent = 0;        // echoes that went out
    int Received = 0;    // of them, answered in time
    // Over the answered echoes, in milliseconds; only meaningful when Received > 0.
    double Min = 0;
    double Mean = 0;
    double Max = 0;
    // The mean absolute difference between answered round trips that follow each other (a
    // lost echo between them does not part them); only meaningful when JitterPairs > 0.
    double Jitter = 0;
    int JitterPairs = 0;
    // The latest error inside the span; LastError is empty when there was none.
    std::string LastError;
    TDateTime LastErrorAt = 0;

    // Percent of the sent echoes that were lost; 0 while none was sent.
    double LossPercent() const { return Sent > 0 ? 100.0 * (Sent - Received) / Sent : 0.0; }
};

class THostStatistics {
public:
    static constexpr double kHour = 1.0 / 24.0;
    // More probes than a pass every 200 ms gives in an hour are not kept for the hour's span.
    static constexpr size_t kMaxHourSamples = 18000;

    // A new host (an empty text too): everything starts over, the state included.
    void SetHost(const std::string& host, TDateTime now);
    // Both spans start over at now; the state and the latest round trip stay.
    void Reset(TDateTime now);
    // Counts one probe made at now.
    void Add(const TEchoOutcome& outcome, const std::string& error, TDateTime now);

    const std::string& Host() const { return FHost; }
    THostState State() const { return FState; }
    TDateTime StateSince() const { return FStateSince; }
    // The error text of the latest probe; empty when it was answered.
    const std::string& StateError() const { return FStateError; }
    // The latest probe's round trip in milliseconds; none when it was not answered.
    std::optional<double> LastRoundTrip() const { return FLastRoundTrip; }

    TSpanFigures SinceSet() const;
    TSpanFigures LastHour(TDateTime now) const;

private:
    // Sums of one span, fed probe by probe.
    class TCount {
    public:
        void Add(bool sent, bool answered, double roundTripMs);
        TSpanFigures Figures(TDateTime from) const;

    private:
        int FSent = 0;
        int FReceived = 0;
        double FMin = 0;
        double FMax = 0;
        double FSum = 0;
        double FJitterSum = 0;
        int FJitterPairs = 0;
        std::optional<double> FPrevious;  // the latest answered round trip
    };
    struct TSample {
        TDateTime When;
        double RoundTripMs;
        bool Sent;
        bool Answered;
    };
    // The latest error, kept for the span it falls into.
    void ErrorInto(TSpanFigures& figures, TDateTime from) const;

    std::string FHost;
    TDateTime FFrom = 0;  // when the first span began (host set, or reset)
    THostState FState = THostState::Unknown;
    TDateTime FStateSince = 0;
    std::string FStateError;
    std::optional<double> FLastRoundTrip;
    std::string FLastError;
    TDateTime FLastErrorAt = 0;
    TCount FSinceSet;
    std::deque<TSample> FHour;  // the probes of the last hour, oldest first
};
