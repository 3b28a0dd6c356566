#pragma once
// One run of the system's ping kept for one destination while passes repeat at a period
// ("ping -n -i PERIOD"): it sends at the period by itself, its lines are read as they come, and
// each probe takes the echo ping sent last (or is about to send), matched by sequence number.
// A pass then costs no process start, only the lines of its echo.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/IcmpEcho.h"
#include "platform/linux/PingOutput.h"

// What a run is started with; a change of any of them needs another run.
struct TPingRunKey {
    TIpAddress Destination;
    size_t PayloadSize = 0;
    uint32_t TimeoutMs = 0;
    uint32_t PeriodMs = 0;  // 0: one echo, then ping ends ("-c 1")
    bool operator==(const TPingRunKey&) const = default;
};

// ping's arguments for a run, args[0] included.
std::vector<std::string> PingArguments(const TPingRunKey& key);

class TPingSession {
public:
    // Starts ping in the calling thread's network namespace.
    TPingSession(const std::string& program, const TPingRunKey& key);
    // Ends ping and reaps it.
    ~TPingSession();
    TPingSession(const TPingSession&) = delete;
    TPingSession& operator=(const TPingSession&) = delete;

    const TPingRunKey& Key() const { return FKey; }

    // One probe, as TIcmpEcho::SendEcho reports it, or kStartAgain when this run has no echo
    // for it: none is due soon enough that no probe took yet (probes came faster than ping
    // sends, or ping has fallen behind the passes), or ping ended after it had worked.
    int Echo(TEchoReply& reply, TStopSignal stop);
    static constexpr int kStartAgain = -2;

    // Reads what ping has said meanwhile; false once it has ended (it is reaped then).
    bool Running();

    // Whether a probe of the current pass came here.
    bool Used() const { return FUsed; }
    void SetUsed(bool value) { FUsed = value; }

private:
    using TClock = std::chrono::steady_clock;

    // Reads every line ping has written so far; `live` when the caller has been waiting for
    // them, so that the moment they are read is the moment they came.
    void ReadAvailable(bool live);
    void Take(const std::string& line, std::string_view next, bool live);
    // When echo `sequence` was due to leave, by the latest known sending time and the period.
    TClock::time_point Due(uint32_t sequence) const;
    // The latest echo due to have left by `when`; 0 before the run started.
    uint32_t DueBy(TClock::time_point when) const;
    void End();

    TPingRunKey FKey;
    pid_t FPid = -1;
    int FOutput = -1;
    bool FEnded = false;
    TClock::time_point FStarted;
    std::string FPartial;  // what has come of a line not yet complete
    std::string FText;     // what ping said before the first echo was taken, for a run that ends
    // An echo whose sending time is known, from which the others are reckoned at the period:
    // the first at the start of the run, until a reply's round trip tells better.
    std::pair<uint32_t, TClock::time_point> FAnchor;
    uint32_t FTaken = 0;  // the latest echo a probe took; later ones are still to come
    std::map<uint32_t, TPingLine> FOutcomes;  // what ping said of echoes still to be taken
    bool FUsed = false;
};
