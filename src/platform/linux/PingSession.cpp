#include "platform/linux/PingSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/linux/AddressText.h"
#include "platform/linux/CapturedRun.h"

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How much later than reckoned an echo may leave (ping's start, its timer, the scheduler): its
// reply is waited for that much longer than the time-out. The same for every echo of a run, so
// that a host whose echoes are lost keeps the hosts after it in the pass where they were.
constexpr milliseconds kLateMs{100};
// The longest a probe waits for ping to send the echo it is to take, at most a tenth of the
// period: a run that has fallen further behind the passes is started again.
constexpr milliseconds kMaxAheadMs{500};
// What is kept of ping's lines before its first echo, and read at once.
constexpr size_t kMaxText = 64 * 1024;
constexpr size_t kReadSize = 4096;

std::string Seconds(uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return text;
}

}  // namespace

std::vector<std::string> PingArguments(const TPingRunKey& key) {
    std::vector<std::string> args{"ping", key.Destination.IsV6() ? "-6" : "-4", "-n"};
    if (key.PeriodMs == 0) {
        args.insert(args.end(), {"-c", "1"});
    } else {
        args.insert(args.end(), {"-i", Seconds(key.PeriodMs)});
    }
    args.insert(args.end(), {"-s", std::to_string(key.PayloadSize), "-W", Seconds(key.TimeoutMs),
                             AddressText(key.Destination)});
    return args;
}

TPingSession::TPingSession(const std::string& program, const TPingRunKey& key)
    : FKey(key), FStarted(TClock::now()), FAnchor(1, FStarted) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        FEnded = true;
        return;
    }
    FPid = SpawnWithOutput(program, PingArguments(key), pipeFds[1]);
    ::close(pipeFds[1]);
    FOutput = pipeFds[0];
    (void)::fcntl(FOutput, F_SETFL, O_NONBLOCK);
    FEnded = FPid < 0;
}

TPingSession::~TPingSession() {
    End();
}

void TPingSession::End() {
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        while (::waitpid(FPid, nullptr, 0) < 0 && errno == EINTR) {
        }
        FPid = -1;
    }
    if (FOutput >= 0) {
        ::close(FOutput);
        FOutput = -1;
    }
    FEnded = true;
}

bool TPingSession::Running() {
    ReadAvailable(false);
    return !FEnded;
}

TClock::time_point TPingSession::Due(uint32_t sequence) const {
    const auto& [seq, sent] = FAnchor;
    return sent + milliseconds(int64_t{FKey.PeriodMs}) *
                      (static_cast<int64_t>(sequence) - static_cast<int64_t>(seq));
}

uint32_t TPingSession::DueBy(TClock::time_point when) const {
    const auto& [seq, sent] = FAnchor;
    const int64_t period = std::max(FKey.PeriodMs, 1u);
    const int64_t since = std::chrono::floor<milliseconds>(when - sent).count();
    const int64_t periods = since >= 0 ? since / period : -((-since + period - 1) / period);
    return static_cast<uint32_t>(std::max<int64_t>(int64_t{seq} + periods, 0));
}

void TPingSession::ReadAvailable(bool live) {
    while (FOutput >= 0) {
        char buffer[kReadSize];
        const ssize_t got = ::read(FOutput, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno == EAGAIN) {
            break;
        }
        const bool ended = got <= 0;
        if (!ended) {
            FPartial.append(buffer, static_cast<size_t>(got));
        }
        // A line is read with the one after it, and so the last complete line waits while part
        // of the next has come: ping tells of other data in a line after the reply.
        for (;;) {
            const size_t end = FPartial.find('\n');
            if (end == std::string::npos) {
                break;
            }
            const size_t nextEnd = FPartial.find('\n', end + 1);
            if (nextEnd == std::string::npos && end + 1 < FPartial.size() && !ended) {
                break;
            }
            const std::string line = FPartial.substr(0, end);
            const std::string_view rest = std::string_view(FPartial).substr(end + 1);
            Take(line, rest.substr(0, rest.find('\n')), live);
            FPartial.erase(0, end + 1);
        }
        if (ended) {
            if (!FPartial.empty()) {
                Take(FPartial, {}, live);
                FPartial.clear();
            }
            End();
        }
    }
}

void TPingSession::Take(const std::string& line, std::string_view next, bool live) {
    if (FTaken == 0 && FText.size() < kMaxText) {
        FText += line + "\n";
    }
    const TClock::time_point now = TClock::now();
    TPingLine read = ReadPingLine(line, next);
    using TKind = TPingLine::TKind;
    switch (read.Kind) {
        case TKind::SystemError:
        case TKind::Denied:
            // A failure of its own names no echo: it is the one ping was sending.
            read.Sequence = std::max(DueBy(now), 1u);
            break;
        case TKind::Reply:
        case TKind::Refused:
        case TKind::Report:
            break;
        case TKind::Header:  // it comes with the first reply: ping writes it out with that
        case TKind::Summary:
        case TKind::Other:
            return;
    }
    const uint32_t sequence = read.Sequence;
    // A line about an echo a probe has taken (or given up on) comes too late; one about an echo
    // not yet sent answers a request someone forged; the first line about an echo counts.
    if (sequence <= FTaken || sequence > std::max(DueBy(now + kLateMs), 1u) ||
        FOutcomes.count(sequence) != 0) {
        return;
    }
    if (read.Kind == TKind::Reply) {
        // ping reckons the round trip from a stamp in the echoed data, which it does not check:
        // a time longer than since the echo could have left is not the data we sent.
        const TClock::time_point earliest =
            std::max(FStarted, Due(sequence) - milliseconds(int64_t{FKey.PeriodMs}));
        const int64_t micros = read.Reply.RoundTripMicros;
        if (micros < 0 ||
            micros >
                std::chrono::duration_cast<std::chrono::microseconds>(now - earliest).count()) {
            read.Kind = TKind::Refused;
        } else {
            if (live) {
                FAnchor = {sequence, now - std::chrono::microseconds(micros)};
            }
            // A reply after the time-out is one the socket engines no longer wait for.
            if (micros >= int64_t{FKey.TimeoutMs} * 1000) {
                read.Kind = TKind::Refused;
            }
        }
    }
    FOutcomes.emplace(sequence, read);
}

int TPingSession::Echo(TEchoReply& reply, TStopSignal stop) {
    reply = TEchoReply{};
    ReadAvailable(false);
    if (FEnded && FTaken > 0) {
        return kStartAgain;
    }
    // The echo ping sent last, or will send within a tenth of the period, unless a probe took
    // it already.
    const milliseconds ahead = std::min(kMaxAheadMs, milliseconds(FKey.PeriodMs / 10));
    const uint32_t sequence = std::max(DueBy(TClock::now() + ahead), 1u);
    if (sequence <= FTaken) {
        return kStartAgain;
    }
    const auto done = [&](int result) {
        FTaken = sequence;
        FOutcomes.erase(FOutcomes.begin(), FOutcomes.upper_bound(sequence));
        FText.clear();
        if (result != 0 && reply.Address == TIpAddress()) {
            reply.Address = FKey.Destination;
        }
        return result;
    };
    for (;;) {
        if (const auto it = FOutcomes.find(sequence); it != FOutcomes.end()) {
            return done(PingLineStatus(it->second, reply));
        }
        if (FEnded) {
            // It ended before it worked: what it said is what a run of its own would have said.
            return FTaken > 0 ? kStartAgain : done(ParsePingOutput(FText, reply));
        }
        const TClock::time_point deadline = Due(sequence) + milliseconds(FKey.TimeoutMs) + kLateMs;
        const auto left = std::chrono::ceil<milliseconds>(deadline - TClock::now()).count();
        if (left <= 0) {
            reply.Status = IP_REQ_TIMED_OUT;
            return done(IP_REQ_TIMED_OUT);
        }
        // A negative descriptor is left out of the poll by the kernel.
        pollfd waits[2] = {{FOutput, POLLIN, 0}, {static_cast<int>(stop), POLLIN, 0}};
        const int polled = ::poll(waits, 2, static_cast<int>(std::min<int64_t>(left, INT32_MAX)));
        if (polled < 0 && errno != EINTR) {
            reply.Status = IP_GENERAL_FAILURE;
            return done(IP_GENERAL_FAILURE);
        }
        if ((waits[1].revents & POLLIN) != 0) {
            reply.Address = FKey.Destination;
            return ECHO_ERROR_CANCELLED;
        }
        if (polled > 0) {
            ReadAvailable(true);
        }
    }
}
