#pragma once
// How a lab host answers, and how that travels to its responder on the command line.

#include <string>
#include <vector>

struct TLabHostOptions {
    int DelayUs = 0;
    // Fraction of requests left unanswered, spread evenly: 0.5 drops every second one.
    double DropFraction = 0;
    // When ErrorType is 0 or more, the host answers with that ICMP error instead of a reply.
    int ErrorType = -1;
    int ErrorCode = 0;
    // Halfway through the delay, send traffic that resembles the answer but is not it, forged
    // replies with the request's identifier and sequence among it.
    bool Decoys = false;
    // The reply as a forger or a device on the way may change it: the echoed data cut to this
    // many bytes (when 0 or more), every data byte inverted, or sent from the next address
    // after the host's.
    int CutData = -1;
    bool FlipData = false;
    bool OtherSource = false;
};

// The responder's arguments for these options, and back. ParseHostOptions is false for
// arguments it does not know or values out of range.
std::vector<std::string> HostArguments(const TLabHostOptions& options);
bool ParseHostOptions(const std::vector<std::string>& arguments, TLabHostOptions& options);
